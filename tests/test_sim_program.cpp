#include "link/serial_link.h"
#include "support/ini_file.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString SimProgram() {
    return qEnvironmentVariable("TRIPCONF_BIN") + QStringLiteral("/tripconf-sim");
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The tripconf-sim program as the demo and a user run it.
class TestSimProgram : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void servesTheLinkAndLeavesItsMemoryAndLog() {
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

        ::kill(pid_t(sim.processId()), SIGTERM);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
        QByteArray expected = image;
        expected.replace(32, 32, QByteArray(32, char(0xEE)));
        QCOMPARE(ReadAll(Path("dump.bin")), expected);
        QVERIFY(!QFileInfo::exists(Path("ttyTRIP")));
        const QByteArray log = ReadAll(Path("sim.log"));
        QVERIFY(log.contains("RX 06 F4 01 00 01 04\n"));
        QVERIFY(log.contains("RX 08 F4 01 00 05 0A 00 F4\n"));
    }

    void refusesBadOptionsAndExplainsItself() {
        QProcess p;
        p.start(SimProgram(), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("--stop-after-block"));
        p.start(SimProgram(), {QStringLiteral("--short-length"), QStringLiteral("9")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
