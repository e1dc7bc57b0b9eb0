#include "as_user.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "link/link_log.h"
#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "open_counter.h"
#include "sim_process.h"
#include "support/ini_file.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <memory>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

// The unit the editor shows with a field.
QString Unit(const char* field) {
    return ShownFieldText(TSettingsRecord::Defaults(), *FindField(field))->unit;
}

// The simulator's memory at start.
QByteArray DefaultImage() {
    QByteArray m(2048, '\0');
    const auto record = TSettingsRecord::Defaults().ToBytes();
    for (int i = 0; i < m.size(); ++i)
        m[i] = i < 124 ? char(record[size_t(i)]) : char((i + i / 256) % 256);
    return m;
}

// tripconf-cli with its standard output as bytes.
struct RawRun {
    int code = -1;
    QByteArray out;
    QString err;
};

// tripconf-cli's code run in this process, its streams captured: what a
// process would print, without starting one.
RawRun CliHere(const QStringList& args) {
    char* out = nullptr;
    char* err = nullptr;
    size_t outSize = 0, errSize = 0;
    TCliIo io;
    io.out = ::open_memstream(&out, &outSize);
    io.err = ::open_memstream(&err, &errSize);
    RawRun r;
    r.code = RunCli(args, io); // closes io.out
    std::fclose(io.err);
    r.out = QByteArray(out, qsizetype(outSize));
    r.err = QString::fromUtf8(err, qsizetype(errSize));
    std::free(out);
    std::free(err);
    return r;
}

// tripconf-cli as its own process, with setup run in the child.
RawRun RawCli(const QStringList& args, const std::function<void()>& setup) {
    QProcess p;
    if (setup)
        p.setChildProcessModifier(setup);
    p.start(Bin("tripconf-cli"), args);
    RawRun r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

RawRun RawCli(const QStringList& args) {
    return CliHere(args);
}

Run Cli(const QStringList& args) {
    QElapsedTimer t;
    t.start();
    const RawRun raw = CliHere(args);
    Run r;
    r.ms = t.elapsed();
    r.code = raw.code;
    r.out = QString::fromUtf8(raw.out);
    r.err = raw.err;
    return r;
}

// tripconf-cli given these argument bytes as they are (QProcess would pass
// them through UTF-8) with LANG=lang, started by exec from the child.
RawRun CliBytes(const QList<QByteArray>& args, const char* lang) {
    const QByteArray program = QFile::encodeName(Bin("tripconf-cli"));
    QList<QByteArray> env{QByteArray("LANG=") + lang};
    for (char** e = environ; *e; ++e)
        if (!QByteArray(*e).startsWith("LANG=") && !QByteArray(*e).startsWith("LC_"))
            env << QByteArray(*e);
    std::vector<char*> argv{const_cast<char*>(program.constData())}, envp;
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    for (const QByteArray& e : env)
        envp.push_back(const_cast<char*>(e.constData()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    return RawCli({}, [&] { ::execve(argv[0], argv.data(), envp.data()); });
}

// Standard output (1) or error (2) of the child to /dev/full, or closed.
std::function<void()> StreamTo(int fd, bool full) {
    return [fd, full] {
        if (full)
            ::dup2(::open("/dev/full", O_WRONLY), fd);
        else
            ::close(fd);
    };
}

// tripconf-cli with its standard error on a terminal: what the terminal
// shows; empty when no pseudo-terminal is to be had.
QString CliOnATerminal(const QStringList& args, int& code) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {};
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess p;
    p.setChildProcessModifier([slave] { ::dup2(slave, 2); });
    p.start(Bin("tripconf-cli"), args);
    QByteArray shown;
    const auto drain = [&] {
        char buf[4096];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
            shown.append(buf, n);
    };
    // Drained as it runs, so a full terminal never holds the program up.
    QElapsedTimer waited;
    waited.start();
    while (!p.waitForFinished(20) && waited.elapsed() < 30000)
        drain();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    ::close(slave);
    drain();
    ::close(master);
    code = p.exitCode();
    return QString::fromUtf8(shown);
}

// XDG_DATA_HOME, so the backups folder, of the programs started in its scope.
struct DataHome {
    QByteArray old = qgetenv("XDG_DATA_HOME");
    explicit DataHome(const QString& path) { qputenv("XDG_DATA_HOME", QFile::encodeName(path)); }
    ~DataHome() { qputenv("XDG_DATA_HOME", old); }
    QString backups() const {
        return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/tripconf/backups";
    }
};

// QSerialPort's lock files of a device path, in each folder it may keep them in.
QStringList LockFiles(const QString& devicePath) {
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList found;
    for (const char* dir : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                            "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"})
        if (const QString f = QString::fromLatin1(dir) + QStringLiteral("/LCK..") + name;
            QFile::exists(f))
            found << f;
    return found;
}

// One signal to send tripconf-cli once ready says so (given its standard
// error so far).
struct SignalStep {
    std::function<bool(const QString& err)> ready;
    int signal;
};

// tripconf-cli sent each step's signal in turn; code -2: a signal ended it.
Run CliSignalled(const QStringList& args, const QList<SignalStep>& steps) {
    QProcess p;
    p.start(Bin("tripconf-cli"), args);
    Run r;
    QElapsedTimer waited;
    waited.start();
    for (const SignalStep& step : steps) {
        while (!step.ready(r.err) && waited.elapsed() < 30000 && !p.waitForFinished(10))
            r.err += QString::fromUtf8(p.readAllStandardError());
        if (p.state() == QProcess::NotRunning)
            break;
        ::kill(pid_t(p.processId()), step.signal);
    }
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        r.code = -1;
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err += QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The first block of a write of the default record, as the simulator logs it.
const char* const kFirstWriteBlock = "RX 2A F4 01 00 04 00 00 20 00";

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    // No test leaves a backup among the user's own.
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(Path("data"))); }

    void readThenShowThenWrite() {
        const QString dump = Path("memory.bin");
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("513")}, dump);
        QVERIFY(!sim.path.isEmpty());
        const QString file = Path("read.tarvg");
        Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                     QStringLiteral("-o"), file});
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadFile(file).size(), 2050);
        // Not on a terminal: no progress, nothing but the result.
        QCOMPARE(r.err, QString());

        r = Cli({QStringLiteral("show"), file, QStringLiteral("--json")});
        QCOMPARE(r.code, 0);
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(root.value(QStringLiteral("Version")).toInt(), 513);
        const QJsonObject s = root.value(QStringLiteral("Settings")).toObject();
        QCOMPARE(s.value(QStringLiteral("IntenseDayTime"))
                     .toObject()
                     .value(QStringLiteral("shown"))
                     .toString(),
                 QStringLiteral("08:00"));
        QCOMPARE(s.value(QStringLiteral("IntenseDayTime"))
                     .toObject()
                     .value(QStringLiteral("raw"))
                     .toInt(),
                 480);
        QCOMPARE(s.value(QStringLiteral("Protocol"))
                     .toObject()
                     .value(QStringLiteral("shown"))
                     .toString(),
                 QStringLiteral("M74CAN"));
        QVERIFY(!s.contains(QStringLiteral("Reserved28")));

        // Change a setting in the file and write it back.
        TMK mk;
        LoadSettingsFile(mk, file);
        mk.Settings.TOTime = 7200;
        mk.PackSettings();
        SaveSettingsFile(mk, file);
        r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, file});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QStringLiteral("The settings are recorded in the device\n"));
        sim.Stop();
        QCOMPARE(ReadFile(dump).left(124), mk.Image.left(124));
    }

    // How a failed transfer ends: the link's message on standard error,
    // status 1, and the user's file as it was with nothing left beside it.
    // (Every fault of the simulator: test_transfer_guarantees.)
    void failedReadLeavesTheFileAlone() {
        Sim sim({QStringLiteral("--stop-after-block"), QStringLiteral("9")});
        const QString folder = Path("keep");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/keep.tarvg");
        WriteFile(file, "precious");
        const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                           QStringLiteral("-o"), file});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("RS232. No link. Check PC-device connection.")));
        QCOMPARE(ReadFile(file), QByteArray("precious"));
        QCOMPARE(Entries(folder), QStringList{QStringLiteral("keep.tarvg")});
    }

    void failedWriteSaysTheRecordMayBeTorn() {
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("5"),
                 QStringLiteral("--faults-after"), QStringLiteral("1"),
                 QStringLiteral("--bad-checksum")});
        const QString folder = Path("torn");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/mine.tarvg");
        TMK mk;
        mk.Version = 5;
        mk.PackSettings();
        SaveSettingsFile(mk, file);
        const QByteArray before = ReadFile(file);
        const Run r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, file});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("RS232. Exchange error.(0)\nThe trip computer may "
                                               "now hold partly written settings: write them "
                                               "again.")),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("The settings are recorded in the device")));
        QCOMPARE(ReadFile(file), before);
        QCOMPARE(Entries(folder), QStringList{QStringLiteral("mine.tarvg")});
    }

    // SIGINT, SIGTERM and SIGHUP end a transfer where stopping is safe:
    // between the write's blocks, saying that the record may be torn; while
    // connecting or waiting to read back, at once. The port is closed and
    // unlocked, and the status is 128 + the signal's number.
    void signalEndsTheTransferAtASafePoint_data() {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QByteArray>("when"); // the frame on the line at the signal
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("ports");
        QTest::addColumn<int>("blocksHeld"); // of the record written, at the end
        QTest::addColumn<QString>("said");
        // Paced, a written block is on the line for 0.4 s: the signal comes meanwhile.
        const QStringList paced{"--baud", "1200"};
        const QStringList write{"write", Path("signal.tarvg")};
        const QString torn = "The write was stopped after 1 of 4 blocks.\nThe trip computer may "
                             "now hold partly written settings: write them again.";
        QTest::newRow("SIGINT while writing")
            << write << paced << QByteArray(kFirstWriteBlock) << SIGINT << 1 << 1 << torn;
        QTest::newRow("SIGTERM while writing")
            << write << paced << QByteArray(kFirstWriteBlock) << SIGTERM << 1 << 1 << torn;
        QTest::newRow("SIGHUP while writing")
            << write << paced << QByteArray(kFirstWriteBlock) << SIGHUP << 1 << 1 << torn;
        QTest::newRow("SIGTERM while writing to two ports")
            << write << paced << QByteArray(kFirstWriteBlock) << SIGTERM << 2 << 1 << torn;
        QTest::newRow("SIGINT while connecting")
            << QStringList{"read", "-o", Path("signal-read.tarvg"), "--connect-timeout", "60"}
            << QStringList{"--silent"} << QByteArray("RX 06 F4 01 00 01 04") << SIGINT << 1 << 0
            << QString();
        QTest::newRow("SIGHUP while waiting to read back")
            << write + QStringList{"--verify", "--verify-delay", "600000"} << QStringList{}
            << QByteArray("RX 0A F4 01 00 07") << SIGHUP << 1 << 4
            << QStringLiteral("The settings were written, but could not be read back: the "
                              "program was asked to end");
    }
    void signalEndsTheTransferAtASafePoint() {
        QFETCH(QStringList, command);
        QFETCH(QStringList, simArgs);
        QFETCH(QByteArray, when);
        QFETCH(int, signal);
        QFETCH(int, ports);
        QFETCH(int, blocksHeld);
        QFETCH(QString, said);
        TMK mk;
        mk.Version = 1;
        mk.Image = DefaultImage();
        mk.Settings.VelocityCorr = 1.05f; // block 0
        mk.Settings.VelocityLimit = 130;  // block 3
        mk.PackSettings();
        QVERIFY(mk.Image.left(32) != DefaultImage().left(32));
        QVERIFY(mk.Image.mid(32, 92) != DefaultImage().mid(32, 92));
        SaveSettingsFile(mk, Path("signal.tarvg"));
        QFile::remove(Path("signal-read.tarvg"));

        std::vector<std::unique_ptr<Sim>> sims;
        QStringList logs;
        for (int i = 0; i < ports; ++i) {
            logs << Path("signal-sim") + QString::number(i) + QStringLiteral(".log");
            QFile::remove(logs.last());
            sims.push_back(std::make_unique<Sim>(simArgs + QStringList{"--log", logs.last()},
                                                 Path("signal-memory") + QString::number(i)));
            command << QStringLiteral("--port") << sims.back()->path;
        }
        bool locked = true;
        const auto ready = [&](const QString&) {
            for (const QString& log : logs)
                if (!ReadFile(log).contains(when))
                    return false;
            for (const auto& sim : sims)
                locked = locked && !LockFiles(sim->path).isEmpty();
            return true;
        };
        const Run r = CliSignalled(command, {{ready, signal}});

        // Several ports: a line each, on standard output.
        const QString shown = ports == 1 ? r.err : r.out;
        QVERIFY2(r.code == 128 + signal, qPrintable(QString::number(r.code) + ' ' + shown));
        const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
        QCOMPARE(shown.count(QStringLiteral("Interrupted by %1.").arg(name)), ports);
        if (!said.isEmpty())
            QCOMPARE(shown.count(ports == 1 ? said : said.simplified()), ports);
        QVERIFY(!shown.contains(QStringLiteral("The write was stopped")) ||
                said.contains(QStringLiteral("The write was stopped")));
        QVERIFY(!shown.contains(QStringLiteral("recorded in the device")));
        if (ports > 1)
            QVERIFY2(shown.contains(QStringLiteral("0 of 2 ports succeeded")), qPrintable(shown));
        QVERIFY(!QFile::exists(Path("signal-read.tarvg")));
        // Locked while it ran; closed and unlocked at its end.
        QVERIFY(locked);
        for (int i = 0; i < ports; ++i) {
            Sim& sim = *sims[size_t(i)];
            QVERIFY2(LockFiles(sim.path).isEmpty(), qPrintable(LockFiles(sim.path).join(' ')));
            sim.Stop();
            // The trip computer holds what the message says, and no more.
            const int held = std::min(blocksHeld * 32, 124);
            QCOMPARE(ReadFile(Path("signal-memory") + QString::number(i)).left(124),
                     mk.Image.left(held) + DefaultImage().mid(held, 124 - held));
        }
    }

    // A second signal ends the program at once, as one without a handler
    // would: here while the trip computer is slow to take a block.
    void secondSignalEndsAtOnce() {
        const QString log = Path("second.log");
        Sim sim({QStringLiteral("--lose-first-block-try"), QStringLiteral("--log"), log});
        TMK mk;
        mk.Version = 1;
        mk.Image = DefaultImage();
        SaveSettingsFile(mk, Path("second.tarvg"));
        const auto onTheLine = [&log](const QString&) {
            return ReadFile(log).contains(kFirstWriteBlock);
        };
        const auto noted = [](const QString& err) {
            return err.contains(QStringLiteral("a second signal ends it at once"));
        };
        // What a program ended at once leaves: its stale lock, removed however the test ends.
        const auto unlock = qScopeGuard([&sim] {
            for (const QString& lock : LockFiles(sim.path))
                QFile::remove(lock);
        });
        const Run r = CliSignalled(
            {QStringLiteral("write"), QStringLiteral("--port"), sim.path, Path("second.tarvg")},
            {{onTheLine, SIGINT}, {noted, SIGINT}});
        QCOMPARE(r.code, -2);
        QVERIFY2(!r.err.contains(QStringLiteral("Interrupted by")), qPrintable(r.err));
    }

    // A device that never answers: connecting gives up after
    // --connect-timeout, which also cuts the wait of the attempt under way.
    void connectingGivesUp() {
        Sim sim({QStringLiteral("--silent")});
        const QString folder = Path("never");
        QVERIFY(QDir().mkpath(folder));
        const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                           QStringLiteral("-o"), folder + QStringLiteral("/never.tarvg"),
                           QStringLiteral("--connect-timeout"), QStringLiteral("0.5")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("I can not connect to the device")),
                 qPrintable(r.err));
        // A bound for hangs only.
        QVERIFY2(r.ms < 10000, qPrintable(QString::number(r.ms)));
        QVERIFY(Entries(folder).isEmpty());
    }

    // A port that will not open fails at once, naming the path and the
    // reason, instead of waiting out the connect time-out.
    void portsThatWillNotOpen_data() {
        QTest::addColumn<QString>("port"); // "held", "denied": a simulator's port, so held
        QTest::addColumn<QString>("said");
        QTest::newRow("absent") << Path("nothing/ttyUSB0")
                                << QStringLiteral("does not exist (No such file or directory)");
        QTest::newRow("folder") << dir.path()
                                << QStringLiteral("is not a serial port (Is a directory)");
        QTest::newRow("file") << Path("plain")
                              << QStringLiteral("is not a serial port (Inappropriate ioctl");
        QTest::newRow("/dev/null") << QStringLiteral("/dev/null")
                                   << QStringLiteral("is not a serial port (Inappropriate ioctl");
        QTest::newRow("held") << QStringLiteral("held")
                              << QStringLiteral(
                                     "is in use by another program (tripconf-cli, process");
        // As an ordinary user: the remedy follows the device's group and mode.
        QTest::newRow("denied") << QStringLiteral("denied")
                                << QStringLiteral("(Permission denied). Only its owner root may "
                                                  "read and write it, not its group root: ask the "
                                                  "administrator for access");
        QTest::newRow("dialout") << QStringLiteral("dialout")
                                 << QStringLiteral(
                                        "(Permission denied). Add your user to the group "
                                        "dialout: sudo usermod -aG dialout $USER, then "
                                        "log in again.");
        QTest::newRow("other group")
            << QStringLiteral("tripconf-port")
            << QStringLiteral("(Permission denied). Add your user to the group tripconf-port: "
                              "sudo usermod -aG tripconf-port $USER, then log in again.");
        // Left by a root run that was killed: the user may not remove it.
        QTest::newRow("stale lock") << QStringLiteral("stale")
                                    << QStringLiteral("(process %1, not running) blocks the port; "
                                                      "remove it: sudo rm /var/lock/LCK..");
    }
    void portsThatWillNotOpen() {
        QFETCH(QString, port);
        QFETCH(QString, said);
        WriteFile(Path("plain"), "not a tty");
        Sim sim({QStringLiteral("--silent")});
        const auto read = [this](const QString& p) {
            return QStringList{QStringLiteral("read"), QStringLiteral("--port"), p,
                               QStringLiteral("-o"), Path("never.tarvg")};
        };
        Run r;
        QProcess holder;
        if (port == QLatin1String("held")) {
            port = sim.path;
            holder.start(Bin("tripconf-cli"),
                         read(port) << QStringLiteral("--connect-timeout") << QStringLiteral("20"));
            // Once the first has the port open; it keeps it while it tries to connect.
            const QString device = QFileInfo(port).canonicalFilePath();
            const auto holds = [&holder, &device] {
                const QDir fds(QStringLiteral("/proc/%1/fd").arg(holder.processId()));
                for (const QString& fd : fds.entryList(QDir::Files | QDir::System))
                    if (QFile::symLinkTarget(fds.filePath(fd)) == device)
                        return true;
                return false;
            };
            QElapsedTimer waited;
            waited.start();
            while (!holds() && waited.elapsed() < 10000 && !holder.waitForFinished(10))
                ;
            r = Cli(read(port) << QStringLiteral("--connect-timeout") << QStringLiteral("0"));
            holder.kill();
            holder.waitForFinished();
        } else if (QStringList{"denied", "dialout", "tripconf-port", "stale"}.contains(port)) {
            const std::optional<TestUser> user = OrdinaryUser();
            if (!user)
                QSKIP("no ordinary user to run as");
            // The simulator's port belongs to root alone, unless given to a group.
            const QByteArray device = QFile::encodeName(QFileInfo(sim.path).canonicalFilePath());
            const bool ownGroup = port == QLatin1String("tripconf-port");
            if (ownGroup)
                QProcess::execute(QStringLiteral("groupadd"),
                                  {QStringLiteral("--system"), QStringLiteral("-f"), port});
            const auto dropGroup = qScopeGuard([ownGroup, port] {
                if (ownGroup)
                    QProcess::execute(QStringLiteral("groupdel"), {port});
            });
            // Whatever the machine mounts its pseudo-terminals with: root's alone.
            if (port == QLatin1String("denied")) {
                QVERIFY(::chown(device.constData(), 0, 0) == 0);
                QVERIFY(::chmod(device.constData(), 0600) == 0);
            }
            if (port != QLatin1String("denied") && port != QLatin1String("stale")) {
                const group* g = ::getgrnam(port.toLatin1().constData());
                if (!g)
                    QSKIP("no such group");
                QVERIFY(::chown(device.constData(), 0, g->gr_gid) == 0);
                QVERIFY(::chmod(device.constData(), 0660) == 0);
            }
            QString lock;
            const auto unlock = qScopeGuard([&lock] {
                if (!lock.isEmpty())
                    QFile::remove(lock);
            });
            if (port == QLatin1String("stale")) {
                QVERIFY(::chmod(device.constData(), 0666) == 0);
                // Above the largest pid the system gives: certainly not running.
                QFile pidMax(QStringLiteral("/proc/sys/kernel/pid_max"));
                QVERIFY(pidMax.open(QIODevice::ReadOnly));
                const qint64 pid = pidMax.readAll().trimmed().toLongLong() + 1;
                lock = QStringLiteral("/var/lock/LCK..") +
                       QString::fromLocal8Bit(device).mid(5).replace(QLatin1Char('/'),
                                                                     QLatin1Char('_'));
                WriteFile(lock, QStringLiteral("%1\ntripconf-cli\n%2\n")
                                    .arg(pid)
                                    .arg(QSysInfo::machineHostName())
                                    .toUtf8());
                said = said.arg(pid);
            }
            port = sim.path;
            QProcess p;
            StartAsUser(p, *user, Bin("tripconf-cli"), read(port));
            QVERIFY(p.waitForFinished(30000));
            r.code = p.exitCode();
            r.err = QString::fromUtf8(p.readAllStandardError());
        } else {
            r = Cli(read(port));
        }
        QCOMPARE(r.code, 1);
        // The stale lock's message names its lock file instead of the port.
        QVERIFY2((r.err.contains(port) || said.contains(QLatin1String("LCK.."))) &&
                     r.err.contains(said),
                 qPrintable(r.err));
        // Said at once: the connect time-out never ran.
        QVERIFY2(!r.err.contains(QStringLiteral("I can not connect")), qPrintable(r.err));
        QVERIFY(!QFile::exists(Path("never.tarvg")));
    }

    void writeRefusesAnotherVersion() {
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("2")});
        TMK mk;
        mk.Version = 1;
        mk.PackSettings();
        SaveSettingsFile(mk, Path("v1.tarvg"));
        const Run r =
            Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, Path("v1.tarvg")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("The settings version does not match the device "
                                               "version!\nFile: 1, device: 2")),
                 qPrintable(r.err));
        // With several ports each port's line names both too, with and without a backup.
        Sim other({QStringLiteral("--settings-version"), QStringLiteral("3")});
        const DataHome home(Path("versions-home"));
        for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("--backup")}}) {
            const Run many =
                Cli(QStringList{QStringLiteral("write"), QStringLiteral("--port"), sim.path,
                                QStringLiteral("--port"), other.path, Path("v1.tarvg")} +
                    extra);
            QCOMPARE(many.code, 1);
            for (const auto& [port, version] : {std::pair{sim.path, 2}, std::pair{other.path, 3}})
                QVERIFY2(many.out.contains(QStringLiteral("%1: failed: The settings version does "
                                                          "not match the device version! File: "
                                                          "1, device: %2")
                                               .arg(port)
                                               .arg(version)),
                         qPrintable(many.out));
        }
    }

    // --backup saves the memory the write is about to change and says where;
    // when it cannot, it writes nothing.
    void writeWithBackup() {
        QByteArray held = DefaultImage();
        held[0x6B] = char(40); // TankContFull: the write changes it
        held[1000] = char(0x5A);
        WriteFile(Path("held.bin"), held);
        Sim sim({"--image", Path("held.bin"), "--settings-version", "3"}, Path("written.bin"));
        TMK mk;
        mk.Version = 3;
        mk.Image = DefaultImage();
        SaveSettingsFile(mk, Path("new.tarvg"));
        const QStringList write{"write",  "--backup", "--verify",
                                "--port", sim.path,   Path("new.tarvg")};
        WriteFile(Path("not-a-folder"), "a file");
        {
            const DataHome home(Path("not-a-folder/data"));
            const Run r = Cli(write);
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains("No backup could be saved, so nothing was written: The backups "
                                    "folder " +
                                    home.backups() + " cannot be made: Not a directory"),
                     qPrintable(r.err));
        }
        const DataHome home(Path("home"));
        const Run r = Cli(write);
        QCOMPARE(r.code, 0);
        QVERIFY(r.err.contains("Read back: the trip computer holds the record"));
        QCOMPARE(Entries(home.backups()).size(), 1);
        QCOMPARE(r.out, home.backups() + '/' + Entries(home.backups())[0] + '\n');
        // The memory as it was, so also untouched by the refused write.
        TMK backup;
        LoadSettingsFile(backup, r.out.trimmed());
        QCOMPARE(int(backup.Version), 3);
        QCOMPARE(backup.Image, held);
        sim.Stop();
        QCOMPARE(ReadFile(Path("written.bin")).left(124), mk.Image.left(124));
    }

    // Newest first by the time in the name, the later copy of one second
    // first; a file that is no settings file is listed with why.
    void backupsAreListedNewestFirst() {
        const DataHome home(Path("listed"));
        const QString folder = home.backups();
        QCOMPARE(Cli({"backups"}).err, "No backups in " + folder + ".\n");
        QVERIFY(QDir().mkpath(folder));
        TMK mk;
        mk.Version = 3;
        mk.PackSettings();
        for (const char* name :
             {"2026-01-02_03-04-05_COM3_v3.tarvg", "2026-03-01_00-00-00_ttyUSB0_v3-2.tarvg",
              "2026-03-01_00-00-00_ttyUSB0_v3.tarvg"})
            SaveSettingsFile(mk, folder + '/' + name);
        WriteFile(folder + "/2026-02-01_00-00-00_COM1_v1.tarvg", "junk");
        Run r = Cli({"backups"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("2026-03-01 00:00:00  ttyUSB0  settings version 3  "
                                       "%1/2026-03-01_00-00-00_ttyUSB0_v3-2.tarvg\n"
                                       "2026-03-01 00:00:00  ttyUSB0  settings version 3  "
                                       "%1/2026-03-01_00-00-00_ttyUSB0_v3.tarvg\n"
                                       "2026-02-01 00:00:00  COM1  unreadable: holds 4 of the 126 "
                                       "bytes of a settings file's version and record  "
                                       "%1/2026-02-01_00-00-00_COM1_v1.tarvg\n"
                                       "2026-01-02 03:04:05  COM3  settings version 3  "
                                       "%1/2026-01-02_03-04-05_COM3_v3.tarvg\n")
                            .arg(folder));
        r = Cli({"backups", "--json"});
        const QJsonArray listed = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(listed.size(), 4);
        QCOMPARE(listed[0].toObject(),
                 QJsonObject({{"time", "2026-03-01T00:00:00"},
                              {"port", "ttyUSB0"},
                              {"version", 3},
                              {"path", folder + "/2026-03-01_00-00-00_ttyUSB0_v3-2.tarvg"},
                              {"problem", QJsonValue()}}));
        QVERIFY(listed[2]["version"].isNull() && listed[2]["problem"].isString());
    }

    // On a terminal: the tool's own phase words (the core's connecting text
    // is its give-up message), every block counted, 100 % at the end.
    void progressOnATerminal() {
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("3")});
        const QString file = Path("tty.tarvg");
        int code = -1;
        QString shown = CliOnATerminal({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                                        QStringLiteral("-o"), file},
                                       code);
        if (shown.isEmpty())
            QSKIP("no pseudo-terminal");
        QCOMPARE(code, 0);
        const QString full =
            QStringLiteral(" [") + QString(30, QLatin1Char('#')) + QStringLiteral("] 100%");
        QVERIFY2(shown.contains(QStringLiteral("Connecting...")) &&
                     shown.contains(QStringLiteral("Reading: blocks 1 of 64 [")) &&
                     shown.contains(QStringLiteral("Reading: blocks 64 of 64") + full),
                 qPrintable(shown));
        QVERIFY2(!shown.contains(QStringLiteral("I can not connect")), qPrintable(shown));

        shown = CliOnATerminal({QStringLiteral("write"), QStringLiteral("--verify"),
                                QStringLiteral("--port"), sim.path, file},
                               code);
        QCOMPARE(code, 0);
        QVERIFY2(shown.contains(QStringLiteral("Writing: blocks 4 of 4") + full) &&
                     shown.contains(QStringLiteral("Reading back: blocks 4 of 4") + full) &&
                     shown.contains(QStringLiteral("The settings are recorded in the device")),
                 qPrintable(shown));
        QVERIFY2(!shown.contains(QStringLiteral("I can not connect")), qPrintable(shown));
    }

    void portFromThePortTable() {
        const QString ini = Path("ports.ini");
        Sim sim({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("4")});
        const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM4"),
                           QStringLiteral("--ini"), ini, QStringLiteral("-o"), Path("com4.tarvg")});
        QCOMPARE(r.code, 0);
        QVERIFY(QFile::exists(Path("com4.tarvg")));
        const Run missing =
            Cli({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM9"),
                 QStringLiteral("--ini"), ini, QStringLiteral("-o"), Path("com9.tarvg")});
        QCOMPARE(missing.code, 2);
    }

    // ports lists the port table with its paths; --probe marks the trip
    // computer that answers and not a silent one; --port auto reads the one
    // that answers, and with none or two fails listing what it found;
    // --trace has every frame of the version exchange.
    // Listing the ports and reading from one opens only that one; every
    // entry of the table is listed with its state.
    void lookingAtPortsOpensNone() {
        const QString ini = Path("look.ini");
        // "Not a serial device" on a node of its own: /dev/null is opened by
        // every process started meanwhile, and those opens would count here.
        QString notSerial = Path("null");
        QFile::remove(notSerial);
        if (::mknod(QFile::encodeName(notSerial).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            notSerial = QStringLiteral("/dev/null");
        Sim a({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("2")});
        Sim held({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("5")});
        {
            TIniFile table(ini);
            table.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 5);
            table.WriteString(QStringLiteral("RS232"), QStringLiteral("COM7"), Path("unplugged"));
            table.WriteString(QStringLiteral("RS232"), QStringLiteral("COM8"), notSerial);
        }
        // Another program with COM5 open, without a lock.
        QProcess holder;
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("exec sleep 30 <%1").arg(held.path)});
        const QString device = QFileInfo(held.path).canonicalFilePath();
        QElapsedTimer waited;
        waited.start();
        const auto holds = [&] {
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(holder.processId()));
            return QFile::symLinkTarget(fds.filePath(QStringLiteral("0"))) == device;
        };
        while (!holds() && waited.elapsed() < 10000)
            QThread::msleep(5);
        QVERIFY(holds());
        // COM3: a run killed while it held the port left its lock behind.
        Sim silent({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("3"),
                    QStringLiteral("--silent")});
        const QString lock =
            QStringLiteral("/var/lock/LCK..") + QFileInfo(silent.path)
                                                    .canonicalFilePath()
                                                    .mid(5)
                                                    .replace(QLatin1Char('/'), QLatin1Char('_'));
        const auto unlock = qScopeGuard([&lock] { QFile::remove(lock); });
        {
            QProcess killed;
            killed.start(Bin("tripconf-cli"),
                         {QStringLiteral("read"), QStringLiteral("--port"), silent.path,
                          QStringLiteral("-o"), Path("never.tarvg"),
                          QStringLiteral("--connect-timeout"), QStringLiteral("20")});
            // Killed only once the lock names it: an empty lock, caught between
            // its creation and its first line, holds for 30 s as Qt judges it.
            const QByteArray pid = QByteArray::number(killed.processId()) + '\n';
            const auto named = [&] {
                QFile f(lock);
                return f.open(QIODevice::ReadOnly) && f.readLine() == pid;
            };
            waited.restart();
            while (!named() && waited.elapsed() < 10000)
                QThread::msleep(5);
            killed.kill();
            killed.waitForFinished();
        }
        QVERIFY(QFile::exists(lock));
        TOpenCounter opens;
        QVERIFY(opens.Watch(a.path) && opens.Watch(held.path) && opens.Watch(silent.path));
        const bool watchNode = notSerial != QLatin1String("/dev/null");
        QVERIFY(!watchNode || opens.Watch(notSerial));
        // The machine's own serial ports, for the listing from the system.
        QStringList machine;
        for (const QString& name :
             QDir(QStringLiteral("/dev")).entryList({QStringLiteral("ttyS*")}, QDir::System))
            if (opens.Watch(QStringLiteral("/dev/") + name))
                machine << QStringLiteral("/dev/") + name;
        const QStringList iniArgs = {QStringLiteral("--ini"), ini};
        Run r = Cli(QStringList{QStringLiteral("ports")} + iniArgs);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("COM2  %1  free\n"
                                       "COM3  %5  free\n"
                                       "COM5  %2  in use by sleep, process %3\n"
                                       "COM7  %4  no such device\n"
                                       "COM8  %6  not a serial device\n")
                            .arg(a.path, held.path)
                            .arg(holder.processId())
                            .arg(Path("unplugged"), silent.path, notSerial));
        r = Cli(QStringList{QStringLiteral("ports"), QStringLiteral("--json")} + iniArgs);
        const QJsonArray json = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(json.size(), 5);
        QCOMPARE(json[2][QStringLiteral("state")].toString(), QStringLiteral("in-use"));
        QCOMPARE(json[3][QStringLiteral("state")].toString(), QStringLiteral("no-device"));
        QVERIFY(json[0][QStringLiteral("reason")].isNull());
        for (const QString& path : {a.path, held.path, silent.path})
            QCOMPARE(opens.Opens(path), 0);
        if (watchNode)
            QCOMPARE(opens.Opens(notSerial), 0);
        const QString plain = Path("plain.ini");
        WriteFile(plain, " \r\n");
        r = Cli({QStringLiteral("ports"), QStringLiteral("--ini"), plain});
        QCOMPARE(r.code, 0);
        for (const QString& path : machine)
            QCOMPARE(opens.Opens(path), 0);
        // COM2 named: the INI's COM5 is not touched.
        r = Cli(QStringList{QStringLiteral("read"), QStringLiteral("--port"),
                            QStringLiteral("COM2"), QStringLiteral("-o"), Path("look.tarvg")} +
                iniArgs);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(opens.Opens(held.path), 0);
        QCOMPARE(opens.Opens(a.path), 1);
        // The stale lock does not keep the port: taken over, then released.
        r = Cli(QStringList{QStringLiteral("read"), QStringLiteral("--port"),
                            QStringLiteral("COM3"), QStringLiteral("-o"), Path("look.tarvg"),
                            QStringLiteral("--connect-timeout"), QStringLiteral("0")} +
                iniArgs);
        QVERIFY2(r.err.contains(QStringLiteral("I can not connect")), qPrintable(r.err));
        QVERIFY(!QFile::exists(lock));
        holder.kill();
        holder.waitForFinished();
    }

    void portsAreListedProbedAndChosenAutomatically() {
        const QString ini = Path("auto.ini");
        Sim a({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("2"),
               QStringLiteral("--settings-version"), QStringLiteral("7")});
        Sim silent({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("5"),
                    QStringLiteral("--silent")});
        const QStringList iniArgs = {QStringLiteral("--ini"), ini};
        Run r = Cli(QStringList{QStringLiteral("ports")} + iniArgs);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out,
                 QStringLiteral("COM2  %1  free\nCOM5  %2  free\n").arg(a.path, silent.path));

        const QString trace = Path("probe.trace");
        r = Cli(QStringList{QStringLiteral("ports"), QStringLiteral("--probe"),
                            QStringLiteral("--json"), QStringLiteral("--trace"), trace} +
                iniArgs);
        QCOMPARE(r.code, 0);
        const QJsonArray ports = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports[0][QStringLiteral("port")].toString(), QStringLiteral("COM2"));
        QCOMPARE(ports[0][QStringLiteral("path")].toString(), a.path);
        QCOMPARE(ports[0][QStringLiteral("answers")].toBool(), true);
        QCOMPARE(ports[0][QStringLiteral("version")].toInt(), 7);
        QCOMPARE(ports[1][QStringLiteral("answers")].toBool(), false);
        QVERIFY(ports[1][QStringLiteral("version")].isNull());
        // Times, direction and hex: the request, then the reply of version 7.
        const QStringList lines = QString::fromUtf8(ReadFile(trace)).split(QLatin1Char('\n'));
        const QRegularExpression tx(QStringLiteral("^\\d+ ms TX 06 F4 01 00 01 04$"));
        const QRegularExpression rx(QStringLiteral("^\\d+ ms RX 09 F4 01 00 01 00 07 00 FA$"));
        const qsizetype txAt = lines.indexOf(tx);
        QVERIFY2(txAt >= 0 && lines.indexOf(rx) == txAt + 1, qPrintable(lines.join('|')));
        // The run's end turned the traffic log off again: the next run leaves it alone.
        const QByteArray traced = ReadFile(trace);
        QVERIFY(!lcLink().isDebugEnabled());

        const QStringList read = {QStringLiteral("read"), QStringLiteral("--port"),
                                  QStringLiteral("auto"), QStringLiteral("-o"), Path("auto.tarvg")};
        r = Cli(read + iniArgs);
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadFile(Path("auto.tarvg")).left(2), QByteArray("\x07\x00", 2));
        QCOMPARE(ReadFile(trace), traced);

        Sim b({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("3")});
        r = Cli(read + iniArgs);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("2 ports answer")) && r.err.contains(a.path) &&
                     r.err.contains(b.path) && r.err.contains(silent.path),
                 qPrintable(r.err));

        const QString silentOnly = Path("silent.ini");
        WriteFile(silentOnly, QStringLiteral("[RS232]\r\nCOM1=%1\r\n").arg(silent.path).toUtf8());
        r = Cli(read + QStringList{QStringLiteral("--ini"), silentOnly});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("no trip computer answers")) &&
                     r.err.contains(QStringLiteral("COM1  %1  free, no answer").arg(silent.path)),
                 qPrintable(r.err));
    }

    // The command's part of a diff: loading, the side order and the exit
    // status; the report itself is tested in test_settings_diff.
    void diffOfFiles() {
        TMK mk;
        mk.Version = 3;
        mk.Image = DefaultImage();
        mk.UnpackSettings();
        SaveSettingsFile(mk, Path("a.tarvg"));
        SaveSettingsFile(mk, Path("same.tarvg"));
        Run r = Cli({QStringLiteral("diff"), Path("a.tarvg"), Path("same.tarvg")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString());

        mk.Settings.VelocityLimit = 130;
        mk.PackSettings();
        SaveSettingsFile(mk, Path("b.tarvg"));
        r = Cli({QStringLiteral("diff"), Path("b.tarvg"), Path("a.tarvg")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out,
                 QStringLiteral("VelocityLimit: 130 %1 -> 200 %1\n").arg(Unit("VelocityLimit")));
        r = Cli(
            {QStringLiteral("diff"), Path("b.tarvg"), Path("a.tarvg"), QStringLiteral("--json")});
        QCOMPARE(r.code, 1);
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(root.value(QStringLiteral("A")).toString(), Path("b.tarvg"));
        QCOMPARE(root.value(QStringLiteral("B")).toString(), Path("a.tarvg"));
        QCOMPARE(root.value(QStringLiteral("differ")).toBool(), true);
        r = Cli({QStringLiteral("diff"), Path("a.tarvg"), Path("same.tarvg"),
                 QStringLiteral("--json")});
        QCOMPARE(r.code, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("differ")),
                 QJsonValue(false));

        // Errors are 2, as with diff(1).
        r = Cli({QStringLiteral("diff"), Path("a.tarvg"), Path("absent.tarvg")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("absent.tarvg")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(Cli({QStringLiteral("diff"), Path("a.tarvg")}).code, 2);
    }

    void diffWithTheTripComputer() {
        // The link, not the pseudo-terminal, names the port after the stop:
        // the freed terminal's number goes to the next test that opens one.
        const QString link = Path("sim-tty");
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("3"),
                 QStringLiteral("--link"), link});
        TMK mk;
        mk.Version = 3;
        mk.Image = DefaultImage();
        mk.UnpackSettings();
        SaveSettingsFile(mk, Path("device.tarvg"));
        Run r =
            Cli({QStringLiteral("diff"), Path("device.tarvg"), QStringLiteral("--port"), sim.path});
        QCOMPARE(r.code, 0);
        mk.Settings.TankContFull = 60;
        mk.PackSettings();
        SaveSettingsFile(mk, Path("bigger.tarvg"));
        // The side named first is A.
        r = Cli({QStringLiteral("diff"), Path("bigger.tarvg"), QStringLiteral("--port"), sim.path});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QStringLiteral("TankContFull: 60 %1 -> 50 %1\n").arg(Unit("TankContFull")));
        r = Cli({QStringLiteral("diff"), QStringLiteral("--port"), sim.path, Path("bigger.tarvg"),
                 QStringLiteral("--json")});
        QCOMPARE(r.code, 1);
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("A")),
                 QJsonValue(QStringLiteral("port ") + sim.path));
        sim.Stop();
        QVERIFY(!QFileInfo::exists(link));
        r = Cli({QStringLiteral("diff"), Path("bigger.tarvg"), QStringLiteral("--port"), link,
                 QStringLiteral("--connect-timeout"), QStringLiteral("0.3")});
        QCOMPARE(r.code, 2);
    }

    void verifiedWrite() {
        // The trip computer answers nothing for a while after the closing command.
        const QString dump = Path("verified.bin");
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("3"),
                 QStringLiteral("--settle"), QStringLiteral("500")},
                dump);
        TMK mk;
        mk.Version = 3;
        mk.Image = DefaultImage();
        mk.Settings.VelocityLimit = 111;
        mk.PackSettings();
        SaveSettingsFile(mk, Path("w.tarvg"));
        Run r = Cli({QStringLiteral("write"), QStringLiteral("--verify"), QStringLiteral("--port"),
                     sim.path, Path("w.tarvg")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.err.contains(QStringLiteral("Read back")));
        // Giving up on the read-back fails although the write went through.
        r = Cli({QStringLiteral("write"), QStringLiteral("--verify"), QStringLiteral("--port"),
                 sim.path, Path("w.tarvg"), QStringLiteral("--connect-timeout"),
                 QStringLiteral("0.25")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("could not be read back")));
        // ... and waiting out the busy time first succeeds with a short time-out.
        QTest::qWait(500);
        r = Cli({QStringLiteral("write"), QStringLiteral("--verify"), QStringLiteral("--port"),
                 sim.path, Path("w.tarvg"), QStringLiteral("--connect-timeout"),
                 QStringLiteral("0.25"), QStringLiteral("--verify-delay"), QStringLiteral("600")});
        QCOMPARE(r.code, 0);
        QCOMPARE(Cli({QStringLiteral("write"), QStringLiteral("--verify-delay"),
                      QStringLiteral("soon"), QStringLiteral("--port"), sim.path, Path("w.tarvg")})
                     .code,
                 2);
        sim.Stop();
        QCOMPARE(ReadFile(dump).left(124), mk.Image.left(124));
    }

    void verifiedWriteFindsACorruptByte() {
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("3"),
                 QStringLiteral("--corrupt-offset"), QStringLiteral("0x6B")});
        TMK mk;
        mk.Version = 3;
        mk.Image = DefaultImage();
        SaveSettingsFile(mk, Path("c.tarvg"));
        Run r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, Path("c.tarvg")});
        QCOMPARE(r.code, 0); // unverified, the fault goes unnoticed
        r = Cli({QStringLiteral("write"), QStringLiteral("--verify"), QStringLiteral("--port"),
                 sim.path, Path("c.tarvg")});
        QCOMPARE(r.code, 1);
        QVERIFY2(
            r.err.contains(QStringLiteral("TankContFull was written as 50 %1 (stored 50) but reads "
                                          "back as 16 %1 (stored -51) (first difference at "
                                          "offset 0x6B)")
                               .arg(Unit("TankContFull"))),
            qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("Read back:")));
    }

    // Several ports at once: each trip computer's memory in a file named
    // after its port; refusals of what cannot work come before any transfer.
    void readFromManyIntoAFolder() {
        std::vector<std::unique_ptr<Sim>> sims;
        QStringList args{QStringLiteral("read")};
        QList<QByteArray> images;
        for (int i = 0; i < 3; ++i) {
            QByteArray image = DefaultImage();
            image[200] = char(i + 1);
            images << image;
            const QString file = Path("image") + QString::number(i);
            WriteFile(file, image);
            sims.push_back(std::make_unique<Sim>(QStringList{QStringLiteral("--image"), file,
                                                             QStringLiteral("--settings-version"),
                                                             QString::number(10 + i)}));
            args << QStringLiteral("--port") << sims.back()->path;
        }
        const QString folder = Path("many");
        QVERIFY(QDir().mkpath(folder));
        Run r = Cli(args + QStringList{QStringLiteral("-o"), Path("absent")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("is not a folder")), qPrintable(r.err));
        for (const QString& port : {QStringLiteral("auto"), sims[0]->path}) {
            r = Cli(args +
                    QStringList{QStringLiteral("--port"), port, QStringLiteral("-o"), folder});
            QCOMPARE(r.code, 2);
        }
        QVERIFY(Entries(folder).isEmpty());

        r = Cli(args + QStringList{QStringLiteral("-o"), folder});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QStringLiteral("3 of 3 ports succeeded")), qPrintable(r.out));
        for (int i = 0; i < 3; ++i) {
            const QString& port = sims[size_t(i)]->path;
            TMK mk;
            LoadSettingsFile(
                mk, QDir(folder).filePath(QFileInfo(port).fileName() + QStringLiteral(".tarvg")));
            QCOMPARE(int(mk.Version), 10 + i);
            QCOMPARE(mk.Image, images[i]);
            QVERIFY(r.out.contains(port + QStringLiteral(": ok: saved as")));
        }
    }

    // One trip computer that never answers fails its own line only; with
    // --backup each of the others has its own backup.
    void writeToMany() {
        TMK mk;
        mk.Version = 4;
        mk.Image = DefaultImage();
        mk.Settings.VelocityLimit = 99;
        mk.PackSettings();
        SaveSettingsFile(mk, Path("many.tarvg"));
        QByteArray held[2] = {DefaultImage(), DefaultImage()};
        held[1][500] = char(2);
        WriteFile(Path("b.img"), held[1]);
        const QStringList version{QStringLiteral("--settings-version"), QStringLiteral("4")};
        Sim a(version, Path("a.bin")),
            b(version + QStringList{"--image", Path("b.img")}, Path("b.bin"));
        Sim silent({QStringLiteral("--silent")});
        const QStringList twoPorts{QStringLiteral("--port"), a.path, QStringLiteral("--port"),
                                   b.path};
        const DataHome home(Path("many-home"));
        Run r = Cli(QStringList{QStringLiteral("write"), QStringLiteral("--backup")} + twoPorts +
                    QStringList{QStringLiteral("--port"), silent.path,
                                QStringLiteral("--connect-timeout"), QStringLiteral("0.3"),
                                Path("many.tarvg")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(silent.path +
                                QStringLiteral(": failed: I can not connect to the device")),
                 qPrintable(r.out));
        QVERIFY(r.out.contains(a.path + QStringLiteral(": ok: The settings are recorded")));
        QVERIFY(r.out.contains(b.path + QStringLiteral(": ok: The settings are recorded")));
        QVERIFY(r.out.contains(QStringLiteral("2 of 3 ports succeeded")));
        QCOMPARE(Entries(home.backups()).size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QString port = (i == 0 ? a : b).path + ": backup: ";
            TMK backup;
            LoadSettingsFile(backup, r.out.section(port, 1).section('\n', 0, 0));
            QCOMPARE(backup.Image, held[i]);
        }

        const QString trace = Path("many.trace");
        r = Cli(QStringList{QStringLiteral("write"), QStringLiteral("--verify"),
                            QStringLiteral("--trace"), trace} +
                twoPorts + QStringList{Path("many.tarvg")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.count(QStringLiteral("read back: the trip computer holds the record")), 2);
        QVERIFY(r.out.contains(QStringLiteral("2 of 2 ports succeeded")));
        // The traffic of ports side by side: each line names its port, the
        // port's opening and its low-latency mode as well as the frames.
        int tagged[2] = {0, 0};
        for (const QString& line :
             QString::fromUtf8(ReadFile(trace)).split('\n', Qt::SkipEmptyParts)) {
            const bool ofA = line.startsWith(a.path + QStringLiteral(": "));
            QVERIFY2(ofA || line.startsWith(b.path + QStringLiteral(": ")), qPrintable(line));
            ++tagged[ofA ? 0 : 1];
            const Sim& own = ofA ? a : b;
            if (line.contains(QStringLiteral(" opened ")))
                QCOMPARE(line, own.path + QStringLiteral(": 0 ms opened ") + own.path);
        }
        QVERIFY(tagged[0] > 0 && tagged[1] > 0);
        const QString text = QString::fromUtf8(ReadFile(trace));
        for (const Sim* sim : {&a, &b})
            QVERIFY2(text.contains(sim->path + QStringLiteral(": 0 ms opened ")) &&
                         text.contains(sim->path + QStringLiteral(": low-latency mode")),
                     qPrintable(text));
        a.Stop();
        b.Stop();
        QCOMPARE(ReadFile(Path("a.bin")).left(124), mk.Image.left(124));
        QCOMPARE(ReadFile(Path("b.bin")).left(124), mk.Image.left(124));
    }

    // The picture is the editor's: default colours give green digits on black
    // and a dark-blue caption band.
    void previewOfASettingsFile() {
        TMK mk;
        mk.PackSettings();
        mk.Image[0x7B] = char(12); // background 2 blue
        SaveSettingsFile(mk, Path("colours.tarvg"));
        const Run r = Cli({QStringLiteral("preview"), Path("colours.tarvg"), QStringLiteral("-o"),
                           Path("p.png")});
        QCOMPARE(r.code, 0);
        const QImage png(Path("p.png"));
        QCOMPARE(png.size(), QSize(128, 128));
        QCOMPARE(png.pixelColor(0, 0), QColor(0, 0, 0));
        QCOMPARE(png.pixelColor(127, 127), QColor(0, 0, 255));
        QCOMPARE(png.pixelColor(127, 42), QColor(0, 0, 255));
        bool green = false;
        for (int x = 32; x < 128; ++x)
            for (int y = 0; y < 42; ++y)
                green = green || png.pixelColor(x, y) == QColor(0, 255, 0);
        QVERIFY(green);
        QCOMPARE(Cli({QStringLiteral("preview"), Path("colours.tarvg")}).code, 2);

        // The suffix names the format; the picture is the same.
        const QImage picture = png.convertToFormat(QImage::Format_RGB32);
        for (const auto& [name, format, magic] :
             {std::tuple{"p.bmp", QByteArray("bmp"), QByteArray("BM")},
              std::tuple{"p.PPM", QByteArray("ppm"), QByteArray("P6")}}) {
            QCOMPARE(Cli({QStringLiteral("preview"), Path("colours.tarvg"), QStringLiteral("-o"),
                          Path(name)})
                         .code,
                     0);
            QByteArray bytes = ReadFile(Path(name));
            QVERIFY2(bytes.startsWith(magic), name);
            QBuffer buffer(&bytes);
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QCOMPARE(QImageReader::imageFormat(&buffer), format);
            QCOMPARE(QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32), picture);
        }
        for (const char* name : {"p.jpg", "p"}) {
            const Run r = Cli({QStringLiteral("preview"), Path("colours.tarvg"),
                               QStringLiteral("-o"), Path(name)});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QStringLiteral(".png, .bmp or .ppm")), qPrintable(r.err));
            QVERIFY(!QFileInfo::exists(Path(name)));
        }
    }

    // -o - is standard output; a pipe or a folder is refused and stays, as
    // the --trace file (also a link or a device); a file size limit fails the
    // command instead of killing it; output that cannot be written fails it;
    // a name reaches exactly the file it names, whatever its bytes.
    void outputGoesOnlyWhereItMay() {
        QTemporaryDir d;
        TMK mk;
        mk.PackSettings();
        const QString source = d.filePath(QStringLiteral("s.tarvg"));
        SaveSettingsFile(mk, source);
        RawRun r =
            RawCli({QStringLiteral("preview"), source, QStringLiteral("-o"), QStringLiteral("-")});
        QCOMPARE(r.code, 0);
        QCOMPARE(QImage::fromData(r.out, "PNG").size(), QSize(128, 128));

        const QString pipe = d.filePath(QStringLiteral("pipe.png"));
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        const QString folder = d.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkdir(folder));
        const QString link = d.filePath(QStringLiteral("link.trace"));
        QVERIFY(QFile::link(source, link));
        const QByteArray settings = ReadFile(source);
        for (const auto& [target, reason] :
             {std::pair{pipe, QStringLiteral("It is a pipe (FIFO), not a file.")},
              std::pair{folder, QStringLiteral("It is a folder, not a file.")},
              std::pair{link, QStringLiteral("It is a symbolic link")},
              std::pair{QStringLiteral("/dev/null"), QStringLiteral("It is a device")}}) {
            if (!target.endsWith(QLatin1String(".trace")) && target != QLatin1String("/dev/null")) {
                r = RawCli({QStringLiteral("preview"), source, QStringLiteral("-o"), target});
                QCOMPARE(r.code, 1);
                QVERIFY2(r.err.contains(reason), qPrintable(r.err));
            }
            // A pipe without a reader is refused at once, not waited on.
            r = RawCli({QStringLiteral("--trace"), target, QStringLiteral("show"), source});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(
                         QStringLiteral("Cannot write the trace file %1. %2").arg(target, reason)),
                     qPrintable(r.err));
        }
        {
            // A serial device is refused unopened: an open would raise its lines.
            Sim sim({});
            TOpenCounter opens;
            QVERIFY(opens.Watch(sim.path));
            r = RawCli({QStringLiteral("--trace"), sim.path, QStringLiteral("show"), source});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(QStringLiteral("It is a device")), qPrintable(r.err));
            QCOMPARE(opens.Opens(sim.path), 0);
        }
        QFileInfo info(pipe);
        QVERIFY(!info.isFile() && info.exists());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadFile(source), settings);

        // A trace cut by a file size limit fails the command with the reason.
        const QString trace = d.filePath(QStringLiteral("cut.trace"));
        {
            Sim sim({});
            for (const auto& [args, trouble] : QList<std::pair<QStringList, int>>{
                     {{QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                       QStringLiteral("-o"), QStringLiteral("-")},
                      1},
                     {{QStringLiteral("diff"), QStringLiteral("--port"), sim.path, source}, 2}}) {
                r = RawCli(QStringList{QStringLiteral("--trace"), trace} + args, [] {
                    rlimit lim{100, 100};
                    ::setrlimit(RLIMIT_FSIZE, &lim);
                });
                QVERIFY2(r.code == trouble &&
                             r.err.contains(
                                 QStringLiteral("The trace file %1 was not written "
                                                "whole. %2")
                                     .arg(trace, QString::fromLocal8Bit(std::strerror(EFBIG)))),
                         qPrintable(r.err));
                QCOMPARE(ReadFile(trace).size(), 100);
            }
        }

        // Output that cannot be written, full or closed, fails the command
        // (diff: trouble) and says so where it can.
        const DataHome home(d.filePath(QStringLiteral("home")));
        TMK other;
        other.Settings.VelocityLimit = 130;
        other.PackSettings();
        const QString changed = d.filePath(QStringLiteral("changed.tarvg"));
        SaveSettingsFile(other, changed);
        for (const auto& [args, trouble] : QList<std::pair<QStringList, int>>{
                 {{QStringLiteral("show"), source}, 1},
                 {{QStringLiteral("get"), source, QStringLiteral("AccCorr")}, 1},
                 {{QStringLiteral("diff"), source, changed}, 2},
                 {{QStringLiteral("ports"), QStringLiteral("--json")}, 1},
                 {{QStringLiteral("backups"), QStringLiteral("--json")}, 1},
                 {{QStringLiteral("export"), source}, 1},
                 {{QStringLiteral("set"), source, QStringLiteral("AccCorr=0"), QStringLiteral("-o"),
                   QStringLiteral("-")},
                  1},
                 {{QStringLiteral("show"), QStringLiteral("--help")}, 1},
                 {{QStringLiteral("--version")}, 1}}) {
            for (const bool full : {true, false}) {
                r = RawCli(args, StreamTo(1, full));
                QVERIFY2(r.code == trouble &&
                             r.err.contains(QStringLiteral("Cannot write to standard output. %1")
                                                .arg(QString::fromLocal8Bit(
                                                    std::strerror(full ? ENOSPC : EBADF)))),
                         qPrintable(args.join(' ') + QStringLiteral(": ") + r.err));
            }
        }
        // Standard error: a message or a note that does not get out fails too.
        const QString absent = d.filePath(QStringLiteral("absent.tarvg"));
        WriteFile(d.filePath(QStringLiteral("short.tarvg")), "ab");
        for (const QStringList& args :
             QList<QStringList>{{QStringLiteral("show"), absent},
                                {QStringLiteral("show"), d.filePath(QStringLiteral("short.tarvg"))},
                                {QStringLiteral("backups")}})
            QCOMPARE(RawCli(args, StreamTo(2, true)).code, 1);
        QCOMPARE(RawCli({QStringLiteral("diff"), source, source}, StreamTo(1, false)).code, 0);

        // Names as bytes, under a UTF-8 locale and under C: a name that is not
        // UTF-8 is created and found as it is, and shown escaped.
        for (const char* lang : {"C.UTF-8", "C"}) {
            const QByteArray folderBytes = QFile::encodeName(d.path()) + '/';
            const QByteArray name = folderBytes + QByteArray(lang) + "-out\xe0\xe1.tarvg";
            RawRun named =
                CliBytes({"set", QFile::encodeName(source), "AccCorr=0.3", "-o", name}, lang);
            QVERIFY2(named.code == 0, qPrintable(named.err));
            QFile made;
            QVERIFY(made.open(::open(name.constData(), O_RDONLY), QIODevice::ReadOnly,
                              QFileDevice::AutoCloseHandle));
            TMK back;
            LoadSettingsData(back, made.readAll());
            QCOMPARE(int(back.Settings.AccCorr), 3);
            // "файл" in code page 1251, as an archive from Windows names it.
            const QByteArray cp1251 = folderBytes + QByteArray(lang) + "\xf4\xe0\xe9\xeb.tarvg";
            QVERIFY(::link(name.constData(), cp1251.constData()) == 0);
            named = CliBytes({"get", cp1251, "AccCorr"}, lang);
            QCOMPARE(named.code, 0);
            QVERIFY2(named.out.startsWith("AccCorr: 0.3 "), named.out.constData());
            // A port table by such a name serves too.
            const QByteArray ini = folderBytes + QByteArray(lang) + "\xf4\xe0\xe9\xeb.ini";
            WriteFile(QFile::decodeName(folderBytes) + QStringLiteral("plain.ini"),
                      "[RS232]\r\nCOM9=/dev/null\r\n");
            QVERIFY(::rename(QFile::encodeName(d.filePath(QStringLiteral("plain.ini"))).constData(),
                             ini.constData()) == 0);
            named = CliBytes({"ports", "--ini", ini}, lang);
            QVERIFY2(named.code == 0 && named.out.startsWith("COM9  /dev/null"),
                     qPrintable(named.err));
            // QTemporaryDir, going by QString names, could not remove them.
            ::unlink(name.constData());
            ::unlink(cp1251.constData());
            ::unlink(ini.constData());
            named = CliBytes({"show", folderBytes + "absent\xe0.tarvg"}, lang);
            QCOMPARE(named.code, 1);
            QVERIFY2(named.err.contains(QStringLiteral("absent\\xe0.tarvg\". No such file")),
                     qPrintable(named.err));
        }

        const QString png = d.filePath(QStringLiteral("p.png"));
        WriteFile(png, "old");
        const QStringList before = Entries(d.path());
        r = RawCli({QStringLiteral("preview"), source, QStringLiteral("-o"), png}, [] {
            rlimit lim{100, 100};
            ::setrlimit(RLIMIT_FSIZE, &lim);
        });
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(r.err));
        QCOMPARE(ReadFile(png), QByteArray("old"));
        QCOMPARE(Entries(d.path()), before);
    }

    // A file without a whole record would send the program's defaults for
    // the rest: refused unless asked for.
    void writeOfAShortFile() {
        const QString file = Path("short.tarvg");
        // Version 0, then the record's Size (124) and six bytes of its own.
        TMK mk;
        mk.Version = 0;
        mk.Image = QByteArray("\x7C\x00\x00\x00", 4) + QByteArray(6, char(0x42));
        WriteFile(file, SettingsFileData(mk));
        const QString dump = Path("short-memory.bin");
        {
            Sim sim({}, dump);
            const Run r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, file});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(QStringLiteral("holds 10 of the 124 bytes of the settings "
                                                   "record; nothing was sent")),
                     qPrintable(r.err));
        }
        QCOMPARE(ReadFile(dump), DefaultImage());
        {
            Sim sim({QStringLiteral("--settings-version"), QStringLiteral("0")}, dump);
            const Run r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, file,
                               QStringLiteral("--allow-partial")});
            QCOMPARE(r.code, 0);
        }
        QCOMPARE(ReadFile(dump).left(10), mk.Image);
    }

    // Whatever the file, show prints the settings or a clear error; it never crashes.
    void showTakesAnyFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("partial");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("1 byte") << QByteArray("\x07") << true;
        QTest::newRow("125 bytes") << QByteArray(125, char(0x33)) << true;
        QTest::newRow("126 bytes") << QByteArray(126, char(0x33)) << false;
        // Record bytes all FF: factors that are not numbers, every field at its end.
        TMK mk;
        mk.Version = 0xFFFF;
        mk.Image = QByteArray(2048, char(0xFF));
        QTest::newRow("record all FF") << SettingsFileData(mk) << false;
        mk.Image.fill(0);
        QTest::newRow("record all zero") << SettingsFileData(mk) << false;
        // Settings files have no header: only what is surely another kind is refused.
        QTest::newRow("begins as a BMP") << QByteArray("BM") + QByteArray(200, char(0x11)) << false;
        QTest::newRow("begins as a PPM") << QByteArray("P6\n") + QByteArray(200, 'x') << false;
        QTest::newRow("JSON of another format")
            << QByteArray("{\"format\": \"other\", \"pad\": \"") + QByteArray(150, 'p') + "\"}"
            << false;
        QRandomGenerator random(20260509);
        for (int n : {5000, 2050, 3, 127, 700, 4099}) {
            QByteArray bytes(n, '\0');
            for (char& c : bytes)
                c = char(random.bounded(256));
            QTest::newRow(qPrintable(QStringLiteral("random %1 bytes").arg(n)))
                << bytes << (n < 126);
        }
    }

    void showTakesAnyFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, partial);
        const QString file = Path("any.tarvg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();

        const Run text = Cli({QStringLiteral("show"), file});
        QCOMPARE(text.code, 0);
        QVERIFY(text.out.startsWith(QStringLiteral("Version: ")));
        const auto fields = RecordFields();
        const auto shown = std::count_if(fields.begin(), fields.end(),
                                         [](const auto& f) { return !IsReserved(f); });
        QCOMPARE(text.out.count(QLatin1Char('\n')), 1 + shown);
        // A file without a whole record says that what it lacks is not its own.
        QCOMPARE(text.err.contains(QStringLiteral("the rest is shown as a new program holds it")),
                 partial);

        const Run json = Cli({QStringLiteral("show"), file, QStringLiteral("--json")});
        QCOMPARE(json.code, 0);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value(QStringLiteral("Settings")).toObject().size(), shown);
        if (content.size() >= 2)
            QCOMPARE(root.value(QStringLiteral("Version")).toInt(),
                     uint8_t(content[0]) | uint8_t(content[1]) << 8);
    }

    // What is no settings file is refused with its name and reason, and
    // nothing is written: for show, what is no file at all (an endless device
    // is cut off at the size limit instead of filling memory; a pipe is
    // refused at once, not read until something writes to it); for every
    // command reading settings, what is surely something else.
    void commandsRefuseWhatIsNoSettingsFile_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        for (const char* kind : {"device", "folder", "pipe"})
            QTest::addRow("show, %s", kind)
                << QStringLiteral("show") << QString::fromLatin1(kind) << QString();
        const QString json = QStringLiteral("It is the JSON form of a settings file (tripconf-cli "
                                            "export writes it), not a settings file: use "
                                            "tripconf-cli import to make one of it.");
        for (const char* command : {"show", "get", "set", "diff", "write", "export", "preview"}) {
            QTest::addRow("%s, JSON form", command)
                << QString::fromLatin1(command) << QStringLiteral("json") << json;
            for (const char* image : {"PNG", "BMP", "PPM"})
                QTest::addRow("%s, %s image", command, image)
                    << QString::fromLatin1(command) << QString::fromLatin1(image)
                    << QStringLiteral("It is a %1 image, not a settings file.")
                           .arg(QLatin1String(image));
        }
    }
    void commandsRefuseWhatIsNoSettingsFile() {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir d;
        QString name = d.filePath(QStringLiteral("input.tarvg"));
        QByteArray content;
        if (kind == QLatin1String("device")) {
            name = QStringLiteral("/dev/zero");
        } else if (kind == QLatin1String("folder")) {
            name = d.path();
        } else if (kind == QLatin1String("pipe")) {
            QVERIFY(::mkfifo(QFile::encodeName(name).constData(), 0644) == 0);
        } else if (kind == QLatin1String("json")) {
            TMK mk;
            mk.Image = DefaultImage();
            const QString source = d.filePath(QStringLiteral("source.tarvg"));
            SaveSettingsFile(mk, source);
            content = RawCli({QStringLiteral("export"), source}).out;
            QFile::remove(source);
        } else {
            QImage image(6, 2, QImage::Format_RGB32);
            image.fill(Qt::yellow);
            QBuffer buffer(&content);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, qPrintable(kind));
        }
        if (!content.isEmpty())
            WriteFile(name, content);
        const QString good = d.filePath(QStringLiteral("good.tarvg"));
        const QString out = d.filePath(QStringLiteral("out"));
        const QString dump = d.filePath(QStringLiteral("memory.bin"));
        const QString frames = d.filePath(QStringLiteral("frames.log"));
        std::unique_ptr<Sim> sim;
        QStringList args{command};
        if (command == QLatin1String("get"))
            args << name << QStringLiteral("VelocityLimit");
        else if (command == QLatin1String("set"))
            args << name << QStringLiteral("VelocityLimit=130");
        else if (command == QLatin1String("diff")) {
            TMK mk;
            mk.Image = DefaultImage();
            SaveSettingsFile(mk, good);
            args << good << name;
        } else if (command == QLatin1String("write")) {
            // Refused before any port is asked or the trace begun.
            const QString ini = d.filePath(QStringLiteral("t.ini"));
            WriteFile(ini, "[RS232]\r\nPort=1\r\n");
            sim = std::make_unique<Sim>(QStringList{QStringLiteral("--ini"), ini,
                                                    QStringLiteral("--com"), QStringLiteral("1"),
                                                    QStringLiteral("--log"), frames},
                                        dump);
            args << QStringLiteral("--port") << QStringLiteral("auto") << QStringLiteral("--ini")
                 << ini << QStringLiteral("--trace") << d.filePath(QStringLiteral("trace.log"))
                 << name;
        } else if (command == QLatin1String("export"))
            args << name << QStringLiteral("-o") << out;
        else if (command == QLatin1String("preview"))
            args << name << QStringLiteral("-o") << out + QStringLiteral(".png");
        else
            args << name;
        // What the simulator leaves is its own.
        const auto entries = [&] {
            QStringList e = QDir(d.path()).entryList(QDir::Files | QDir::System | QDir::Hidden);
            for (const QString& own : {QStringLiteral("memory.bin"), QStringLiteral("frames.log"),
                                       QStringLiteral("t.ini")})
                e.removeAll(own);
            return e;
        };
        const QStringList before = entries();

        const Run r = Cli(args);
        // diff, as diff(1), says trouble with 2.
        QCOMPARE(r.code, command == QLatin1String("diff") ? 2 : 1);
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QVERIFY2(r.err.contains(name), qPrintable(r.err));
        if (!reason.isEmpty())
            QVERIFY2(
                r.err.contains(
                    QStringLiteral("Cannot load settings from file \"%1\". %2").arg(name, reason)),
                qPrintable(r.err));
        if (sim) {
            sim->Stop();
            QCOMPARE(ReadFile(dump), DefaultImage());
            QCOMPARE(ReadFile(frames), QByteArray());
        }
        QCOMPARE(entries().join(QLatin1Char(' ')), before.join(QLatin1Char(' ')));
        if (!content.isEmpty())
            QCOMPARE(ReadFile(name), content);
    }

    // export and import give the file back; a refused edit writes nothing.
    void exportAndImport() {
        QTemporaryDir d;
        TMK mk;
        mk.Version = 4;
        mk.Image = DefaultImage();
        const QString source = d.filePath(QStringLiteral("s.tarvg"));
        SaveSettingsFile(mk, source);
        const RawRun exported = RawCli({QStringLiteral("export"), source});
        QCOMPARE(exported.code, 0);
        const QString json = d.filePath(QStringLiteral("s.json"));
        QCOMPARE(Cli({QStringLiteral("export"), source, QStringLiteral("-o"), json}).code, 0);
        QCOMPARE(ReadFile(json), exported.out);
        const RawRun back =
            RawCli({QStringLiteral("import"), json, QStringLiteral("-o"), QStringLiteral("-")});
        QCOMPARE(back.code, 0);
        QCOMPARE(back.out, ReadFile(source));

        const QString target = d.filePath(QStringLiteral("t.tarvg"));
        QByteArray edited = exported.out;
        edited.replace("\"value\": \"200\"", "\"value\": \"130\"");
        WriteFile(json, edited);
        Run r = Cli({QStringLiteral("import"), json, QStringLiteral("-o"), target});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QStringLiteral("Taken as shown: VelocityLimit: 130\n"));
        QVERIFY(Cli({QStringLiteral("show"), target})
                    .out.contains(QStringLiteral("VelocityLimit: 130")));

        WriteFile(target, "old");
        edited.replace("\"value\": \"130\"", "\"value\": \"1300\"");
        WriteFile(json, edited);
        r = Cli({QStringLiteral("import"), json, QStringLiteral("-o"), target});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(json + QStringLiteral(": ")) &&
                     r.err.contains(QStringLiteral("VelocityLimit")),
                 qPrintable(r.err));
        QCOMPARE(ReadFile(target), QByteArray("old"));
        QCOMPARE(Cli({QStringLiteral("import"), json}).code, 2);

        // A stand-in for a value the editor cannot show is no edit, also once
        // the capacity behind it has changed.
        QCOMPARE(Cli({QStringLiteral("set"), source, QStringLiteral("--raw"),
                      QStringLiteral("TankContFull=20"), QStringLiteral("Lit43L=50")})
                     .code,
                 0);
        edited = RawCli({QStringLiteral("export"), source}).out;
        QVERIFY(edited.contains(
            QStringLiteral("\"Lit43L\": { \"value\": \"20 (stored 50 lies outside 0..20 л)\"")
                .toUtf8()));
        QVERIFY(edited.contains(
            QStringLiteral("\"value\": \"20\", \"unit\": \"л\", \"stored\": 20 }").toUtf8()));
        edited.replace(
            QStringLiteral("\"value\": \"20\", \"unit\": \"л\", \"stored\": 20 }").toUtf8(),
            "\"stored\": 60 }");
        WriteFile(json, edited);
        r = Cli({QStringLiteral("import"), json, QStringLiteral("-o"), target});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(Cli({QStringLiteral("get"), target, QStringLiteral("Lit43L"),
                      QStringLiteral("TankContFull")})
                     .out,
                 QStringLiteral("Lit43L: 50 л\nTankContFull: 60 л\n"));

        // Less than a version and a record has nothing to stand for the rest.
        WriteFile(source, QByteArray(10, char(1)));
        r = Cli({QStringLiteral("export"), source, QStringLiteral("-o"), json});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("holds 10 of the 126 bytes")), qPrintable(r.err));
        // What export writes, import takes: a larger form is refused, saying why.
        QFile big(source);
        QVERIFY(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(big.resize(40 << 20));
        big.close();
        QFile::remove(json);
        r = Cli({QStringLiteral("export"), source, QStringLiteral("-o"), json});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("more than the 67108864 that import reads")),
                 qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(json));
        // A file that cannot be read or written fails the command, as with set.
        QCOMPARE(Cli({QStringLiteral("export"), d.filePath(QStringLiteral("absent"))}).code, 1);
        WriteFile(json, exported.out);
        QCOMPARE(Cli({QStringLiteral("import"), json, QStringLiteral("-o"), d.path()}).code, 1);
    }

    // set takes what the editor takes, all or nothing; get shows what the
    // editor shows. (Every field through both: test_editor.)
    void getAndSetByTheEditorsRules() {
        TMK mk;
        mk.Version = 7;
        mk.Image = DefaultImage();
        mk.UnpackSettings();
        const QString file = Path("set.tarvg");
        const QByteArray original = SettingsFileData(mk);
        const TSettingsRecord before = mk.Settings;
        const TProtocolList protocols = CreateProtocolCatalogue();
        struct Case {
            QStringList args;
            int code;
            const char* err;
            std::function<void(TSettingsRecord&)> changed; // none: the file stays as it was
        };
        const Case cases[] = {
            {{"VelocityCorr=5,4", "IntenseDayTime=8:30", "Protocol=январь", "AlarmBeep=Нет"},
             0,
             "",
             [&](TSettingsRecord& r) {
                 r.VelocityCorr = 1.054f;
                 r.IntenseDayTime = 510;
                 r.Protocol = r.LastProtocol = 6;
                 r.VentChan = int8_t(FanChannelRange(*protocols[6]).first);
                 r.AlarmBeep = 1;
             }},
            // The protocol goes first, so its fan channels apply to VentChan.
            {{"VentChan=1+2", "Protocol=0"},
             0,
             "",
             [](TSettingsRecord& r) {
                 r.Protocol = r.LastProtocol = 0;
                 r.VentChan = 2;
             }},
            {{"TimeCorr=5", "AccCorr=1.5"}, 1, "AccCorr: 1.5 is outside -0.7..0.7 В", nullptr},
            {{"VelocityLimit=121"}, 1, "in steps of 2", nullptr},
            {{"TOTime=1.5"}, 1, "TOTime: '1.5' is not a whole number; allowed: 0..9999 ч", nullptr},
            {{"IntenseNightTime=24:00"}, 1, "outside", nullptr},
            {{"Protocol=19"}, 1, "Protocol: '19' is not one of: M74CAN (0)", nullptr},
            {{"TripTime=0"}, 1, "use --raw", nullptr},
            {{"Velocitycorr=1"},
             2,
             "Unknown field: Velocitycorr. Did you mean: VelocityCorr?",
             nullptr},
            {{"TimeCorr"}, 2, "Not FIELD=VALUE: TimeCorr", nullptr},
            {{"--raw", "AccCorr=128"},
             1,
             "AccCorr: '128' is not a stored number: a signed byte",
             nullptr},
            // More decimals than the control shows would be rounded away.
            {{"AccCorr=0.05"},
             1,
             "AccCorr: '0.05' has 2 decimals, more than the field's 1",
             nullptr},
            {{"UaccLowLimit=9.15"}, 1, "UaccLowLimit: '9.15' has 2 decimals", nullptr},
            // A factor holds only the infinity or the 0 asked for.
            {{"--raw", "VelocityCorr=1e39"}, 1, "would hold it as inf", nullptr},
            {{"--raw", "VelocityCorr=-1e-50"}, 1, "it would be stored as 0", nullptr},
            {{"--raw", "VelocityCorr=-inf"},
             0,
             "",
             [](TSettingsRecord& r) { r.VelocityCorr = -HUGE_VALF; }},
            // Stored, but the window would set the protocol's first channel.
            {{"VentChan=1+2"},
             0,
             "VentChan: 1+2 is stored, but the editor sets 1, the protocol's first channel, "
             "when it opens",
             [](TSettingsRecord& r) { r.VentChan = 2; }},
            {{"--raw", "AccCorr=100", "LockType=0", "LastProtocol=3"},
             0,
             "LastProtocol: 3 is stored, but the editor sets 0, the protocol's number",
             [](TSettingsRecord& r) {
                 r.AccCorr = 100;
                 r.Flags &= ~0x10u;
                 r.LastProtocol = 3;
             }},
        };
        for (const Case& c : cases) {
            WriteFile(file, original);
            const Run r = Cli(QStringList{QStringLiteral("set"), file} + c.args);
            const QString what = c.args.join(' ') + QStringLiteral(": ") + r.err;
            QVERIFY2(r.code == c.code, qPrintable(what));
            QVERIFY2(r.err.contains(QString::fromUtf8(c.err)), qPrintable(what));
            TSettingsRecord expected = before;
            if (c.changed)
                c.changed(expected);
            else
                QVERIFY2(r.err.isEmpty() || r.code == 2 || r.err.contains("is unchanged"),
                         qPrintable(what));
            TMK after;
            LoadSettingsFile(after, file);
            QVERIFY2(after.Settings == expected, qPrintable(what));
            // Nothing but the changed fields moves.
            QCOMPARE(after.Image.mid(124), mk.Image.mid(124));
            QCOMPARE(after.Version, mk.Version);
        }

        // The last case left a value the editor cannot show and one it would
        // not keep: get says so.
        Run r = Cli({QStringLiteral("get"), file, QStringLiteral("AccCorr"),
                     QStringLiteral("LockType"), QStringLiteral("LastProtocol")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("AccCorr: 0.7 В (stored 100 lies outside -0.7..0.7 В)\n"
                                       "LockType: Физич.\n"
                                       "LastProtocol: 3 (the editor sets 0, the protocol's "
                                       "number, when it opens)\n"));
        r = Cli({QStringLiteral("get"), file, QStringLiteral("--json")});
        const QJsonObject all = QJsonDocument::fromJson(r.out.toUtf8())
                                    .object()
                                    .value(QStringLiteral("Settings"))
                                    .toObject();
        QCOMPARE(all.size(), qsizetype(EditFields().size()));
        QCOMPARE(all.value(QStringLiteral("AccCorr")).toObject().value("outside").toString(),
                 QStringLiteral("stored 100 lies outside -0.7..0.7 В"));
        QCOMPARE(all.value(QStringLiteral("LastProtocol")).toObject().value("editorResets"),
                 QStringLiteral("the editor sets 0, the protocol's number, when it opens"));
        QCOMPARE(Cli({QStringLiteral("get"), file, QStringLiteral("Nope")}).code, 2);

        // -o writes elsewhere and leaves FILE alone; a file without the whole
        // record is refused rather than completed with defaults.
        WriteFile(file, original);
        const QString out = Path("set-out.tarvg");
        QCOMPARE(Cli({QStringLiteral("set"), file, QStringLiteral("-o"), out,
                      QStringLiteral("TimeCorr=-7")})
                     .code,
                 0);
        QCOMPARE(ReadFile(file), original);
        TMK changed;
        LoadSettingsFile(changed, out);
        QCOMPARE(changed.Settings.TimeCorr, int8_t(-7));
        // An erased record's capacity leaves no value for the tank's litres.
        TMK erased;
        erased.Version = mk.Version;
        erased.Image = mk.Image;
        erased.UnpackSettings();
        erased.Settings.TankContFull = -1;
        erased.Settings.Lit43L = 50;
        erased.PackSettings();
        WriteFile(file, SettingsFileData(erased));
        r = Cli({QStringLiteral("set"), file, QStringLiteral("Lit43L=0")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Lit43L: not set: no value fits, as the tank's "
                                               "capacity TankContFull is -1 л")),
                 qPrintable(r.err));
        QCOMPARE(Cli({QStringLiteral("get"), file, QStringLiteral("Lit43L")}).out,
                 QStringLiteral("Lit43L: -1 л (stored 50: no value fits, as the tank's capacity "
                                "TankContFull is -1 л)\n"));
        WriteFile(file, original.left(100));
        r = Cli({QStringLiteral("set"), file, QStringLiteral("TimeCorr=1")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("holds 100 of the 126 bytes")), qPrintable(r.err));
        QCOMPARE(ReadFile(file), original.left(100));
    }

    void usageAndFileErrors() {
        QCOMPARE(Cli({}).code, 2);
        QCOMPARE(Cli({QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(Cli({QStringLiteral("--help")}).code, 0);
        for (const char* cmd :
             {"read", "write", "show", "diff", "preview", "ports", "export", "import", "backups"}) {
            const Run r = Cli({QString::fromLatin1(cmd), QStringLiteral("--help")});
            QCOMPARE(r.code, 0);
            QVERIFY(r.out.contains(QStringLiteral("--help")));
            // The usage line names the command, not the program's path.
            QVERIFY2(r.out.startsWith(QStringLiteral("Usage: tripconf-cli %1 [options]")
                                          .arg(QString::fromLatin1(cmd))),
                     qPrintable(r.out));
        }
        // Every command refuses an argument it does not take.
        const QString file = Path("any.tarvg");
        const QString null = QStringLiteral("/dev/null");
        const QString extra = QStringLiteral("extra");
        for (const QStringList& args : QList<QStringList>{
                 {QStringLiteral("read"), QStringLiteral("--port"), null, QStringLiteral("-o"),
                  Path("x"), extra},
                 {QStringLiteral("read"), QStringLiteral("--port"), null, QStringLiteral("--port"),
                  QStringLiteral("/dev/zero"), QStringLiteral("-o"), dir.path(), extra},
                 {QStringLiteral("write"), QStringLiteral("--port"), null, file, extra},
                 {QStringLiteral("show"), file, extra},
                 {QStringLiteral("diff"), file, file, extra},
                 {QStringLiteral("diff"), file, QStringLiteral("--port"), null, extra},
                 {QStringLiteral("diff"), QStringLiteral("--port"), null, file, extra,
                  QStringLiteral("last")},
                 {QStringLiteral("preview"), file, QStringLiteral("-o"), Path("x.png"), extra},
                 {QStringLiteral("ports"), extra},
                 {QStringLiteral("backups"), extra},
                 {QStringLiteral("export"), file, extra},
                 {QStringLiteral("import"), file, QStringLiteral("-o"), Path("x"), extra}}) {
            const Run r = Cli(args);
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QStringLiteral("Unexpected argument: extra")),
                     qPrintable(args.join(' ') + QStringLiteral(": ") + r.err));
        }
        // --ini names an existing port table; a typo is refused, never created.
        const QString typo = Path("typo.ini");
        for (const QStringList& args : QList<QStringList>{
                 {QStringLiteral("ports"), QStringLiteral("--ini"), typo},
                 {QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM1"),
                  QStringLiteral("--ini"), typo, QStringLiteral("-o"), Path("x")},
                 {QStringLiteral("diff"), file, file, QStringLiteral("--ini"), typo}}) {
            const Run r = Cli(args);
            // diff's 1 is "different": its trouble is 2.
            QCOMPARE(r.code, args.first() == QLatin1String("diff") ? 2 : 1);
            QVERIFY2(r.err.contains(typo), qPrintable(r.err));
        }
        QVERIFY(!QFileInfo::exists(typo));
        for (const char* cmd : {"read", "preview"})
            QVERIFY(Cli({QString::fromLatin1(cmd), QStringLiteral("--help")})
                        .out.contains(QStringLiteral("- for standard output")));
        QCOMPARE(Cli({QStringLiteral("read"), QStringLiteral("-o"), Path("x")}).code, 2);
        // Time-outs that fit no clock: refused, not taken as "give up at once".
        for (const char* t : {"inf", "nan", "1e300", "-1", "ten"}) {
            const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"),
                               QStringLiteral("/dev/null"), QStringLiteral("-o"), Path("x"),
                               QStringLiteral("--connect-timeout"), QString::fromLatin1(t)});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QStringLiteral("Bad --connect-timeout")), qPrintable(r.err));
        }
        // A missing input file: the command failed (diff: trouble), for every command alike.
        const QString absent = Path("absent.tarvg");
        WriteFile(file, QByteArray(2050, '\0'));
        for (const auto& [args, code] : QList<std::pair<QStringList, int>>{
                 {{QStringLiteral("show"), absent}, 1},
                 {{QStringLiteral("get"), absent}, 1},
                 {{QStringLiteral("set"), absent, QStringLiteral("AccCorr=0")}, 1},
                 {{QStringLiteral("preview"), absent, QStringLiteral("-o"), Path("x.png")}, 1},
                 {{QStringLiteral("write"), QStringLiteral("--port"), null, absent}, 1},
                 {{QStringLiteral("export"), absent}, 1},
                 {{QStringLiteral("import"), absent, QStringLiteral("-o"), Path("x")}, 1},
                 {{QStringLiteral("diff"), file, absent}, 2},
                 {{QStringLiteral("diff"), absent, QStringLiteral("--port"), null}, 2}}) {
            const Run r = Cli(args);
            QVERIFY2(r.code == code && r.err.contains(absent),
                     qPrintable(args.join(' ') + QStringLiteral(": ") + r.err));
        }
        // A refused command line touches no file: not even the one --trace took
        // in place of the settings file forgotten after it.
        const QString kept = Path("kept.tarvg");
        WriteFile(kept, "settings");
        for (const QStringList& args : QList<QStringList>{
                 {QStringLiteral("write"), QStringLiteral("--port"), null,
                  QStringLiteral("--trace"), kept},
                 {QStringLiteral("--trace"), kept, QStringLiteral("show"), file, extra},
                 {QStringLiteral("--trace=") + kept, QStringLiteral("read"), QStringLiteral("-o"),
                  Path("x")},
                 {QStringLiteral("show"), file, QStringLiteral("--trace")}}) {
            const Run r = Cli(args);
            QVERIFY2(r.code == 2, qPrintable(args.join(' ') + QStringLiteral(": ") + r.err));
            QCOMPARE(ReadFile(kept), QByteArray("settings"));
        }
        // COMn is COM and digits: a blank or a sign names no port.
        for (const char* port : {"COM 1", "COM1 ", "COM+1", "COM"}) {
            const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"),
                               QString::fromLatin1(port), QStringLiteral("-o"), Path("x")});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QStringLiteral("Not a port: %1").arg(QLatin1String(port))),
                     qPrintable(r.err));
        }
        QVERIFY(!QFileInfo::exists(Path("x")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
