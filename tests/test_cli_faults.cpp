// tripconf-cli's transfers against every fault of the simulator: each ends
// in the time its time-outs allow, with the link's message and status 1, and
// no file the user already had is changed.

#include "fault_table.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "sim_process.h"
#include "tools/simulator.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr uint16_t kVersion = 5;
// Room for a loaded machine, and for starting the program, on top of what
// the time-outs allow.
constexpr int kMarginMs = 4000;

QStringList WithVersion(QStringList options) {
    return options << QStringLiteral("--settings-version") << QString::number(kVersion);
}

// A settings file the user already has.
QByteArray UsersFile() {
    TMK mk;
    mk.Version = kVersion;
    mk.Image = QByteArray(2048, char(0x42));
    mk.Settings = TSettingsRecord::Defaults();
    mk.Settings.TripPath = 987654;
    mk.PackSettings();
    return SettingsFileData(mk);
}

} // namespace

class TestCliFaults : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A fresh folder holding only the user's settings file.
    QString UsersFolder() {
        const QString folder = dir.filePath(QString::number(++folders_));
        QDir().mkpath(folder);
        WriteFile(folder + QStringLiteral("/mine.tarvg"), UsersFile());
        return folder;
    }
    int folders_ = 0;

    static void Faults() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        for (const TFault& f : BlockPhaseFaults())
            QTest::newRow(f.name) << f.options << f.message;
    }

private slots:
    void readFault_data() { Faults(); }
    void readFault() {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        Sim sim(WithVersion(options));
        QVERIFY(!sim.path.isEmpty());
        const QString folder = UsersFolder();
        const QString mine = folder + QStringLiteral("/mine.tarvg");
        const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                           QStringLiteral("-o"), mine});
        QVERIFY(r.code >= 0);
        // Nothing else is left beside it, not even a temporary file.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mine.tarvg"});
        if (message.isEmpty()) {
            QCOMPARE(r.code, 0);
            TMK read;
            LoadSettingsFile(read, mine);
            QCOMPARE(read.Version, kVersion);
            QCOMPARE(read.Image, DefaultSimMemory());
            return;
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY2(r.ms < FailingExchangeBoundMs(100, 8) + kMarginMs,
                 qPrintable(QString::number(r.ms)));
        QCOMPARE(ReadFile(mine), UsersFile());
    }

    void writeFault_data() { Faults(); }
    void writeFault() {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        Sim sim(WithVersion(options));
        QVERIFY(!sim.path.isEmpty());
        const QString folder = UsersFolder();
        const QString mine = folder + QStringLiteral("/mine.tarvg");
        const Run r = Cli({QStringLiteral("write"), QStringLiteral("--port"), sim.path, mine});
        QCOMPARE(ReadFile(mine), UsersFile());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mine.tarvg"});
        if (message.isEmpty()) {
            QCOMPARE(r.code, 0);
            QVERIFY(r.err.contains(QStringLiteral("The settings are recorded in the device")));
            return;
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message + QStringLiteral("\nThe trip computer may now hold partly "
                                                         "written settings: write them again.")),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("The settings are recorded in the device")));
        QVERIFY2(r.ms < FailingExchangeBoundMs(3000, 42) + kMarginMs,
                 qPrintable(QString::number(r.ms)));
    }

    // A device that never answers well: connecting gives up after
    // --connect-timeout with its own message.
    void connectingGivesUp_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("command");
        for (const TFault& f : ConnectingFaults())
            QTest::newRow(f.name) << f.options << QStringLiteral("read");
        QTest::newRow("silence, write")
            << QStringList{QStringLiteral("--silent")} << QStringLiteral("write");
    }
    void connectingGivesUp() {
        QFETCH(QStringList, options);
        QFETCH(QString, command);
        Sim sim(WithVersion(options));
        const QString folder = UsersFolder();
        const QString mine = folder + QStringLiteral("/mine.tarvg");
        QStringList args{command, QStringLiteral("--port"), sim.path,
                         QStringLiteral("--connect-timeout"), QStringLiteral("0.7")};
        if (command == QStringLiteral("read"))
            args << QStringLiteral("-o");
        args << mine;
        const Run r = Cli(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("I can not connect to the device")),
                 qPrintable(r.err));
        // The time-out also cuts the wait of the attempt under way.
        QVERIFY2(r.ms < 700 + kMarginMs, qPrintable(QString::number(r.ms)));
        QCOMPARE(ReadFile(mine), UsersFile());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mine.tarvg"});
    }
};

QTEST_GUILESS_MAIN(TestCliFaults)
#include "test_cli_faults.moc"
