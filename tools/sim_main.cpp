// tripconf-sim: a trip computer on a pseudo-terminal, for the demo, the tests
// and the benchmarks. The first line of its output is the device path.

#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"
#include "support/file_io.h"
#include "support/ini_file.h"
#include "tools/own_link.h"
#include "tools/sim_signals.h"
#include "tools/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cstdio>

namespace {

int ToInt(const QCommandLineParser& p, const char* name, int min, int max) {
    bool ok = false;
    const int v = p.value(QString::fromLatin1(name)).toInt(&ok, 0);
    if (!ok || v < min || v > max)
        throw TripError(QStringLiteral("--%1: a number from %2 to %3 expected")
                            .arg(QString::fromLatin1(name))
                            .arg(min)
                            .arg(max));
    return v;
}

QByteArray Hex(const QCommandLineParser& p, const char* name) {
    QByteArray text = p.value(QString::fromLatin1(name)).toLatin1();
    text.replace(' ', "");
    const QByteArray bytes = QByteArray::fromHex(text);
    if (bytes.toHex() != text.toLower())
        throw TripError(
            QStringLiteral("--%1: hexadecimal bytes expected").arg(QString::fromLatin1(name)));
    return bytes;
}

// The port-table entry --ini writes, so that the window and the command line
// find the device. Restore() puts back what the file held before, unless
// someone has changed the entry since.
class TIniEntry {
public:
    TIniEntry(const QString& file, const QString& key, const QString& device)
        : file_(file), key_(key), device_(device) {
        if (file.isEmpty())
            return;
        existed_ = QFileInfo::exists(file);
        if (existed_)
            ReadWholeFile(file, TIniFile::kMaxSize); // says why a file cannot serve
        TIniFile ini(file);
        before_ = ini.Snapshot(kSection, key);
        ini.WriteString(kSection, key, device);
        ini.UpdateFile();
        written_ = true;
    }
    ~TIniEntry() {
        try {
            Restore();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tripconf-sim: %s\n", qPrintable(ExceptionMessage(e)));
        }
    }
    TIniEntry(const TIniEntry&) = delete;
    TIniEntry& operator=(const TIniEntry&) = delete;

    void Restore() {
        if (!written_)
            return;
        written_ = false;
        if (!QFileInfo::exists(file_))
            return;
        TIniFile ini(file_);
        if (ini.ReadString(kSection, key_, {}) != device_)
            return;
        ini.RestoreKey(kSection, key_, before_);
        ini.UpdateFile();
        // A file made for the entry alone goes with it.
        if (!existed_ && QFileInfo(file_).size() == 0)
            QFile::remove(file_);
    }

private:
    static inline const QString kSection = QStringLiteral("RS232");
    QString file_, key_, device_;
    TIniFile::TKeySnapshot before_;
    bool existed_ = false;
    bool written_ = false;
};

// The memory and the version the device starts with.
void ReadMemoryOptions(const QCommandLineParser& p, TSimOptions& o) {
    if (p.isSet(QStringLiteral("image"))) {
        o.Memory = ReadWholeFile(p.value(QStringLiteral("image")), kImageSize);
        // A short image keeps the default content beyond its end.
        o.Memory += DefaultSimMemory().mid(o.Memory.size());
    }
    if (p.isSet(QStringLiteral("settings"))) {
        TMK mk;
        LoadSettingsFile(mk, p.value(QStringLiteral("settings")));
        o.Memory = mk.Image.left(kImageSize);
        o.Memory += DefaultSimMemory().mid(o.Memory.size());
        o.Version = mk.Version;
    }
    if (p.isSet(QStringLiteral("settings-version")))
        o.Version = uint16_t(ToInt(p, "settings-version", 0, 65535));
}

// When replies go out.
void ReadTimingOptions(const QCommandLineParser& p, TSimOptions& o) {
    if (p.isSet(QStringLiteral("delay")))
        o.ReplyDelayMs = ToInt(p, "delay", 0, 600000);
    if (p.isSet(QStringLiteral("random-delay")))
        o.RandomDelayMs = ToInt(p, "random-delay", 0, 600000);
    if (p.isSet(QStringLiteral("seed")))
        o.Seed = uint32_t(ToInt(p, "seed", 0, 0x7FFFFFFF));
    if (p.isSet(QStringLiteral("baud")))
        o.PaceBaud = uint32_t(ToInt(p, "baud", 1, 100000000));
    if (p.isSet(QStringLiteral("adapter-latency")))
        o.AdapterLatencyMs = ToInt(p, "adapter-latency", 0, 60000);
}

// Replies lost or damaged, and where the faults strike.
void ReadFaultOptions(const QCommandLineParser& p, TSimOptions& o) {
    o.Silent = p.isSet(QStringLiteral("silent"));
    if (p.isSet(QStringLiteral("lose")))
        o.LoseFirst = ToInt(p, "lose", 0, 1 << 30);
    o.BadChecksum = p.isSet(QStringLiteral("bad-checksum"));
    o.ZeroHeader = p.isSet(QStringLiteral("zero-header"));
    o.Busy = p.isSet(QStringLiteral("busy"));
    if (p.isSet(QStringLiteral("short-length")))
        o.ShortLength = ToInt(p, "short-length", 0, 5);
    if (p.isSet(QStringLiteral("cut")))
        o.CutAfter = ToInt(p, "cut", 0, 255);
    if (p.isSet(QStringLiteral("short-data")))
        o.ShortData = ToInt(p, "short-data", 0, 249);
    if (p.isSet(QStringLiteral("other-command")))
        o.OtherCommand = ToInt(p, "other-command", 0, 255);
    o.JunkStream = p.isSet(QStringLiteral("junk-stream"));
    o.LoseFirstBlockTry = p.isSet(QStringLiteral("lose-first-block-try"));
    if (p.isSet(QStringLiteral("junk")))
        o.Junk = Hex(p, "junk");
    if (p.isSet(QStringLiteral("trail")))
        o.Trail = Hex(p, "trail");
    if (p.isSet(QStringLiteral("faults")))
        o.FaultCount = ToInt(p, "faults", 0, 1 << 30);
    if (p.isSet(QStringLiteral("faults-after")))
        o.FaultsAfter = ToInt(p, "faults-after", 0, 1 << 30);
    if (p.isSet(QStringLiteral("stop-after-block")))
        o.StopAfterBlock = ToInt(p, "stop-after-block", 0, 63);
    if (p.isSet(QStringLiteral("hang-up-after")))
        o.HangUpAfter = ToInt(p, "hang-up-after", 1, 1 << 30);
}

// How the device stores a written record: its settling, a byte it stores wrong.
void ReadStoringOptions(const QCommandLineParser& p, TSimOptions& o) {
    if (p.isSet(QStringLiteral("settle")))
        o.SettleMs = ToInt(p, "settle", 0, 600000);
    o.SettleBusy = p.isSet(QStringLiteral("settle-busy"));
    if (p.isSet(QStringLiteral("corrupt-offset")))
        o.CorruptOffset = ToInt(p, "corrupt-offset", 0, kImageSize - 1);
}

// The frame log's file; standard error without --log.
FILE* OpenLog(const QCommandLineParser& p) {
    if (!p.isSet(QStringLiteral("log")))
        return stderr;
    FILE* log = std::fopen(QFile::encodeName(p.value(QStringLiteral("log"))).constData(), "a");
    if (!log)
        throw TripError(QStringLiteral("Can not open %1").arg(p.value(QStringLiteral("log"))));
    return log;
}

int Serve(QCommandLineParser& p) {
    if (const QStringList extra = p.positionalArguments(); !extra.isEmpty())
        throw TripError(QStringLiteral("Unexpected argument: %1").arg(extra.first()));

    TSimOptions o;
    ReadMemoryOptions(p, o);
    ReadTimingOptions(p, o);
    ReadFaultOptions(p, o);
    ReadStoringOptions(p, o);
    const int com = p.isSet(QStringLiteral("com")) ? ToInt(p, "com", 1, 32) : 1;

    TSimulator sim(o);
    const QString dumpFile = p.value(QStringLiteral("dump"));
    auto dump = [&dumpFile](const QByteArray& memory) {
        if (!dumpFile.isEmpty())
            WriteWholeFile(dumpFile, memory);
    };
    sim.OnDump = dump;
    FILE* log = OpenLog(p);
    sim.Log = log;

    // Set before anything is made, so that a signal from now on ends it
    // through the cleanup below.
    RouteSignalsTo(&sim);
    const auto unset = qScopeGuard([] { RouteSignalsTo(nullptr); });

    const QString path = sim.SlavePath();
    const TOwnLink link(p.value(QStringLiteral("link")), path);
    TIniEntry entry(p.value(QStringLiteral("ini")), QStringLiteral("COM%1").arg(com), path);

    std::printf("%s\n", QFile::encodeName(path).constData());
    std::fflush(stdout);
    sim.Run();

    dump(sim.Memory());
    entry.Restore();
    if (log != stderr)
        std::fclose(log);
    return 0;
}

void Opt(QCommandLineParser& p, const char* name, const char* help, const char* value = nullptr) {
    if (value)
        p.addOption(
            {QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value)});
    else
        p.addOption({QString::fromLatin1(name), QString::fromLatin1(help)});
}

// The faults, as --help lists them after the rest.
void AddFaultOptions(QCommandLineParser& p) {
    Opt(p, "silent", "Never answer.");
    Opt(p, "lose", "Give no reply to the first K requests.", "k");
    Opt(p, "bad-checksum", "Replies with a wrong checksum.");
    Opt(p, "zero-header", "Replies with bytes 1..3 zero.");
    Opt(p, "busy", "Replies with the busy command 255.");
    Opt(p, "short-length", "Replies whose length byte is this value (0..5).", "n");
    Opt(p, "cut", "Send only the first N bytes of each reply.", "n");
    Opt(p, "short-data", "Replies lacking their last N data bytes (length and checksum good).",
        "n");
    Opt(p, "other-command", "Replies with this command byte (checksum good).", "c");
    Opt(p, "junk-stream", "Answer nothing; send random bytes without end instead.");
    Opt(p, "lose-first-block-try",
        "Give no reply to a block request (4 or 5) the first time it is asked for.");
    Opt(p, "junk", "Send these bytes (hex) before each reply.", "hex");
    Opt(p, "trail", "Send these bytes (hex) right after each reply.", "hex");
    Opt(p, "faults", "Apply the faults to the first N requests only.", "n");
    Opt(p, "faults-after", "Answer the first K requests without faults.", "k");
    Opt(p, "stop-after-block", "Answer nothing after the request for this block.", "b");
    Opt(p, "hang-up-after", "Close the line after answering N requests.", "n");
    Opt(p, "settle", "After answering command 7, answer nothing for this many ms.", "ms");
    Opt(p, "settle-busy", "During --settle, answer with the busy command 255 instead.");
    Opt(p, "corrupt-offset", "A write block storing this memory byte stores it inverted.", "n");
}

// The program's options, as --help lists them.
void AddOptions(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Plays the trip computer on a pseudo-terminal: answers commands 1 (version),\n"
        "5 (read block), 4 (write block) and 7 (end of write) at address 244.\n"
        "Prints the device path as the first line, then serves until SIGTERM,\n"
        "SIGINT or SIGHUP; SIGUSR1 writes the memory to the --dump file. Every frame\n"
        "received is logged in hex as \"RX ..\", every reply as \"TX ..\".\n"
        "Faults apply to the first --faults requests (all by default) after the\n"
        "first --faults-after requests (none by default)."));
    p.addHelpOption();
    p.addVersionOption();
    Opt(p, "image", "Memory from a raw image of up to 2048 bytes.", "file");
    Opt(p, "settings", "Memory and version from a settings file (.tarvg).", "file");
    Opt(p, "settings-version", "Settings version answered to command 1 (default 1).", "n");
    Opt(p, "ini",
        "Write the device path into this INI file, section RS232, key COMn, while it runs; "
        "the entry is put back as it was at exit.",
        "file");
    Opt(p, "com", "The n of that key (default 1).", "n");
    Opt(p, "link",
        "Make a symbolic link to the device path here (removed at exit); a path that exists "
        "is refused.",
        "path");
    Opt(p, "log", "Append the frame log to this file instead of standard error.", "file");
    Opt(p, "dump", "Write the memory to this file at exit and on SIGUSR1.", "file");
    Opt(p, "delay", "Wait this many ms before each reply.", "ms");
    Opt(p, "random-delay", "Wait up to this many ms more before each reply, drawn per reply.",
        "ms");
    Opt(p, "seed", "Seed of the random delays and of the junk stream (default 1).", "n");
    Opt(p, "baud", "Take the wire time of request and reply at this rate (11 bits a byte).",
        "rate");
    Opt(p, "adapter-latency",
        "Play a USB adapter: a reply's bytes reach the line only this many ms after the first "
        "of them was ready, or when 62 are waiting.",
        "ms");
    AddFaultOptions(p);
}

void PrintHelp(const QCommandLineParser& p) {
    // Qt's usage line names the program by the path it was started with.
    QString help = p.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype options = help.indexOf(QStringLiteral(" [options]"));
    if (help.startsWith(usage) && options > 0)
        help.replace(usage.size(), options - usage.size(), QCoreApplication::applicationName());
    std::fputs(help.toLocal8Bit().constData(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tripconf-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRIPCONF_VERSION));
    QCommandLineParser p;
    AddOptions(p);
    if (!p.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tripconf-sim: %s\n", qPrintable(p.errorText()));
        return 1;
    }
    if (p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("help-all"))) {
        PrintHelp(p);
        return 0;
    }
    if (p.isSet(QStringLiteral("version")))
        p.showVersion();
    try {
        return Serve(p);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tripconf-sim: %s\n", ExceptionMessage(e).toLocal8Bit().constData());
        return 1;
    }
}
