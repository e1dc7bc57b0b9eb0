#include "link/serial_link.h"
#include "sim_process.h"
#include "support/ini_file.h"
#include "tools/simulator.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

QString SimProgram() {
    return qEnvironmentVariable("TRIPCONF_BIN") + QStringLiteral("/tripconf-sim");
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An INI file the simulator writes its entry COM4 into, and what another
// program (the window closing) saves into it while the simulator runs.
struct TIniCase {
    const char* name;
    QByteArray before;
    int signal;
    std::function<void(TIniFile&)> meanwhile;
};

QList<TIniCase> IniCases() {
    // Code page 1251, mixed line ends, odd spacing and case, no final line end.
    const QByteArray hand =
        "; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\r\n[Common]\r\nEnglishVersion=1\r\n"
        "\r\n[rs232]\nPort = 4\ncom4 = /dev/ttyUSB0  \n\n[MainWindow]\r\nLeft=10";
    const QByteArray noKey =
        "[RS232]\r\nPort=4\r\nCOM1=/dev/ttyUSB0\r\n\r\n[Common]\r\nEnglishVersion=0\r\n";
    const QByteArray noSection = "[Common]\nEnglishVersion=1";
    const auto closingWindow = [](TIniFile& ini) {
        ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false);
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 4);
    };
    const auto otherDevice = [](TIniFile& ini) {
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM4"),
                        QStringLiteral("/dev/ttyUSB1"));
    };
    return {
        {"entry replaced, SIGTERM", hand, SIGTERM, {}},
        {"entry replaced, SIGHUP", hand, SIGHUP, {}},
        {"key added to its section, SIGHUP", noKey, SIGHUP, {}},
        {"section added after an unended line, SIGTERM", noSection, SIGTERM, {}},
        {"the window's save meanwhile stays", noSection, SIGTERM, closingWindow},
        {"an entry changed meanwhile stays", hand, SIGHUP, otherDevice},
    };
}

// The faults the transfers are tested against in-process, as options.
struct TFaultOption {
    const char* name;
    QStringList options;
    std::function<void(TSimOptions&)> set;
};

QList<TFaultOption> FaultOptions() {
    const auto args = [](std::initializer_list<const char*> a) {
        QStringList all;
        for (const char* o : a)
            all << QString::fromLatin1(o);
        return all;
    };
    return {
        {"silent", args({"--silent"}), [](TSimOptions& o) { o.Silent = true; }},
        {"lose 2", args({"--lose", "2"}), [](TSimOptions& o) { o.LoseFirst = 2; }},
        {"bad checksum", args({"--bad-checksum"}), [](TSimOptions& o) { o.BadChecksum = true; }},
        {"zero header", args({"--zero-header"}), [](TSimOptions& o) { o.ZeroHeader = true; }},
        {"busy", args({"--busy"}), [](TSimOptions& o) { o.Busy = true; }},
        {"short length", args({"--short-length", "5"}), [](TSimOptions& o) { o.ShortLength = 5; }},
        {"other command", args({"--other-command", "2"}),
         [](TSimOptions& o) { o.OtherCommand = 2; }},
        {"cut", args({"--cut", "3"}), [](TSimOptions& o) { o.CutAfter = 3; }},
        {"junk", args({"--junk", "FF"}),
         [](TSimOptions& o) { o.Junk = QByteArray(1, char(0xFF)); }},
        {"faults after 1", args({"--faults-after", "1", "--busy"}),
         [](TSimOptions& o) {
             o.FaultsAfter = 1;
             o.Busy = true;
         }},
        {"hang up after 2", args({"--hang-up-after", "2"}),
         [](TSimOptions& o) { o.HangUpAfter = 2; }},
    };
}

// Sends three version requests in one go (the device handles them in
// order) and takes the replies, so a device that hangs up need not wait for
// them to be read. Done when the log shows the frames received, each logged
// with its reply, or for a device that hangs up, the hang-up after them;
// false after 5 s.
bool ThreeRequests(const QString& device, const std::function<QByteArray()>& log,
                   const TSimOptions& o) {
    const int fd = ::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const QByteArray three = QByteArray::fromHex("06f401000104").repeated(3);
    const bool sent = ::write(fd, three.constData(), size_t(three.size())) == three.size();
    bool done = false;
    for (int i = 0; sent && !done && i < 1000; ++i) {
        char replies[256];
        while (::read(fd, replies, sizeof replies) > 0) {
        }
        const QByteArray text = log();
        done = o.HangUpAfter > 0 ? text.contains("HANGUP") : text.count("RX ") >= 3;
        if (!done)
            QThread::msleep(5);
    }
    ::close(fd);
    return done;
}

// The log of the simulator made from `options` in-process for the three requests.
QByteArray InProcessLog(const TSimOptions& options, const QString& logPath) {
    TSimulator sim(options);
    FILE* log = std::fopen(qPrintable(logPath), "w");
    if (!log)
        return {};
    sim.Log = log;
    std::thread serving([&sim] { sim.Run(); });
    const bool seen = ThreeRequests(
        sim.SlavePath(), [&] { return ReadAll(logPath); }, options);
    sim.Stop();
    serving.join();
    std::fclose(log);
    return seen ? ReadAll(logPath) : QByteArray();
}

} // namespace

// The tripconf-sim program as the demo and a user run it.
class TestSimProgram : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void servesTheLinkAndLeavesItsMemoryAndLog_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void servesTheLinkAndLeavesItsMemoryAndLog() {
        QFETCH(int, signal);
        QFile::remove(Path("dump.bin"));
        QByteArray image(2048, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        QFile f(Path("image.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();

        QProcess sim;
        sim.start(SimProgram(), {QStringLiteral("--image"), Path("image.bin"),
                                 QStringLiteral("--settings-version"), QStringLiteral("0x1234"),
                                 QStringLiteral("--ini"), Path("t.ini"), QStringLiteral("--com"),
                                 QStringLiteral("4"), QStringLiteral("--link"), Path("ttyTRIP"),
                                 QStringLiteral("--log"), Path("sim.log"), QStringLiteral("--dump"),
                                 Path("dump.bin")});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY(device.startsWith(QStringLiteral("/dev/")));
        QCOMPARE(QFileInfo(Path("ttyTRIP")).symLinkTarget(), device);

        TIniFile ini(Path("t.ini"));
        QCOMPARE(ini.ReadString(QStringLiteral("RS232"), QStringLiteral("COM4"), {}), device);
        TSerialLink link;
        link.LoadSettings(ini);
        QCOMPARE(link.PortNumber, 4);
        link.ReplyTimeout = 100;
        link.Request(244, 1, 9);
        link.GetByte();
        QCOMPARE(link.GetWord(), uint16_t(0x1234));
        link.BeginRequest(244, 5);
        link.PutWord(10);
        link.Transact(38);
        for (int i = 0; i < 32; ++i)
            QCOMPARE(link.GetByte(), uint8_t(image[320 + i]));
        link.BeginRequest(244, 4);
        link.PutWord(1);
        link.PutWord(32);
        for (int i = 0; i < 32; ++i)
            link.PutByte(0xEE);
        link.Transact(6);
        link.SetPortOpen(false);

        ::kill(pid_t(sim.processId()), signal);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QByteArray expected = image;
        expected.replace(32, 32, QByteArray(32, char(0xEE)));
        QCOMPARE(ReadAll(Path("dump.bin")), expected);
        QVERIFY(!QFileInfo::exists(Path("ttyTRIP")));
        // Made for the entry alone, the INI file goes with it.
        QVERIFY(!QFileInfo::exists(Path("t.ini")));
        const QByteArray log = ReadAll(Path("sim.log"));
        QVERIFY(log.contains("RX 06 F4 01 00 01 04\n"));
        QVERIFY(log.contains("RX 08 F4 01 00 05 0A 00 F4\n"));
    }

    // The entry --ini wrote is put back as it was, every other byte of the
    // file with it, unless someone changed the entry meanwhile; what others
    // saved meanwhile stays.
    void restoresTheIniEntryItReplaced_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < IniCases().size(); ++i)
            QTest::newRow(IniCases()[i].name) << i;
    }
    void restoresTheIniEntryItReplaced() {
        QFETCH(int, row);
        const TIniCase c = IniCases()[row];
        const QString file = dir.filePath(QStringLiteral("restore%1.ini").arg(row));
        WriteFile(file, c.before);
        QByteArray expected = c.before;
        if (c.meanwhile) {
            const QString copy = file + QStringLiteral(".expected");
            WriteFile(copy, c.before);
            TIniFile ini(copy);
            c.meanwhile(ini);
            ini.UpdateFile();
            expected = ReadAll(copy);
        }

        QProcess sim;
        sim.start(SimProgram(),
                  {QStringLiteral("--ini"), file, QStringLiteral("--com"), QStringLiteral("4"),
                   QStringLiteral("--log"), QStringLiteral("/dev/null")});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        {
            TIniFile ini(file);
            QCOMPARE(ini.ReadString(QStringLiteral("RS232"), QStringLiteral("COM4"), {}), device);
            if (c.meanwhile)
                c.meanwhile(ini);
        }
        ::kill(pid_t(sim.processId()), c.signal);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QCOMPARE(sim.readAllStandardError(), QByteArray());
        QCOMPARE(ReadAll(file), expected);
    }

    // Each fault option makes the device its TSimOptions field makes: both
    // meet three version requests alike, and unlike a sound device.
    void faultOptionsMakeTheirDevice_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < FaultOptions().size(); ++i)
            QTest::newRow(FaultOptions()[i].name) << i;
    }
    void faultOptionsMakeTheirDevice() {
        QFETCH(int, row);
        const TFaultOption fault = FaultOptions()[row];
        TSimOptions o;
        fault.set(o);

        // The program appends to its log: one of its own for each row.
        const QString logPath = dir.filePath(QStringLiteral("options%1.log").arg(row));
        QProcess sim;
        sim.start(SimProgram(), QStringList(fault.options) << QStringLiteral("--log") << logPath);
        QVERIFY(sim.waitForReadyRead(10000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        const bool seen = ThreeRequests(
            device, [&] { return ReadAll(logPath); }, o);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QVERIFY(seen);
        const QByteArray log = ReadAll(logPath);

        QCOMPARE(log, InProcessLog(o, Path("fields.log")));
        QVERIFY(log != InProcessLog(TSimOptions{}, Path("sound.log")));
    }

    void explainsItselfByItsName() {
        QProcess p;
        p.start(SimProgram(), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray help = p.readAllStandardOutput();
        QVERIFY2(help.startsWith("Usage: tripconf-sim [options]\n"), help.left(80).constData());
        QVERIFY(help.contains("--stop-after-block"));
    }

    // What it would have to guess at or clobber: refused before anything is
    // made, and whatever stands at a --link path stays as it was.
    void refusesBadOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, QStringList args, const QString& message) {
            QTest::newRow(name) << args << message;
        };
        row("value out of range", {QStringLiteral("--short-length"), QStringLiteral("9")},
            QStringLiteral("--short-length: a number from 0 to 5 expected"));
        row("stray argument", {QStringLiteral("--silent"), QStringLiteral("extra")},
            QStringLiteral("Unexpected argument: extra"));
        // Of several bad values, the one checked first is named: memory,
        // timing, faults, then storing.
        row("version before timing",
            {QStringLiteral("--delay"), QStringLiteral("-1"), QStringLiteral("--settings-version"),
             QStringLiteral("65536")},
            QStringLiteral("--settings-version: a number from 0 to 65535 expected"));
        row("timing before faults",
            {QStringLiteral("--corrupt-offset"), QStringLiteral("2048"), QStringLiteral("--lose"),
             QStringLiteral("-1"), QStringLiteral("--adapter-latency"), QStringLiteral("60001")},
            QStringLiteral("--adapter-latency: a number from 0 to 60000 expected"));
        row("faults before storing",
            {QStringLiteral("--settle"), QStringLiteral("-1"), QStringLiteral("--hang-up-after"),
             QStringLiteral("0")},
            QStringLiteral("--hang-up-after: a number from 1 to 1073741824 expected"));
        row("storing before the port number",
            {QStringLiteral("--com"), QStringLiteral("33"), QStringLiteral("--corrupt-offset"),
             QStringLiteral("2048")},
            QStringLiteral("--corrupt-offset: a number from 0 to 2047 expected"));
        row("image over 2048 bytes", {QStringLiteral("--image"), Path("big.bin")},
            QStringLiteral("It is longer than 2048 bytes."));
        row("a file at the link path", {QStringLiteral("--link"), Path("foreign.txt")},
            QStringLiteral("--link %1: there is a file there already").arg(Path("foreign.txt")));
        row("a link to another device", {QStringLiteral("--link"), Path("foreign-link")},
            QStringLiteral("there is a link to /dev/null there already"));
        row("a dangling link", {QStringLiteral("--link"), Path("dangling-link")},
            QStringLiteral("there is a link to /nonexistent/ttyTRIP there already"));
    }
    void refusesBadOptions() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        if (!QFileInfo::exists(Path("big.bin"))) {
            WriteFile(Path("big.bin"), QByteArray(2049, '\x55'));
            WriteFile(Path("foreign.txt"), "mine\n");
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), Path("foreign-link")));
            QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyTRIP"), Path("dangling-link")));
        }
        QFile::remove(Path("refused.ini"));
        QProcess p;
        p.start(SimProgram(), args << QStringLiteral("--ini") << Path("refused.ini"));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.startsWith(QStringLiteral("tripconf-sim: ")) && err.contains(message),
                 qPrintable(err));
        QVERIFY(!QFileInfo::exists(Path("refused.ini")));
        QCOMPARE(ReadAll(Path("foreign.txt")), QByteArray("mine\n"));
        QCOMPARE(QFile::symLinkTarget(Path("foreign-link")), QStringLiteral("/dev/null"));
        QCOMPARE(QFile::symLinkTarget(Path("dangling-link")),
                 QStringLiteral("/nonexistent/ttyTRIP"));
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
