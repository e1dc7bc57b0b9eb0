#include "model/mk.h"
#include "model/settings_file.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString Bin(const char* name) {
    return qEnvironmentVariable("TRIPCONF_BIN") + QLatin1Char('/') + QString::fromLatin1(name);
}

struct Run {
    int code = -1;
    QString out, err;
};

Run Cli(const QStringList& args, int timeoutMs = 30000) {
    QProcess p;
    p.start(Bin("tripconf-cli"), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The simulator as its own process; stopped (and its memory dumped) on destruction.
class Sim {
public:
    explicit Sim(const QStringList& args, const QString& dump = {}) {
        QStringList all = args;
        all << QStringLiteral("--log") << QStringLiteral("/dev/null");
        if (!dump.isEmpty())
            all << QStringLiteral("--dump") << dump;
        p.start(Bin("tripconf-sim"), all);
        if (p.waitForReadyRead(5000))
            path = QString::fromUtf8(p.readLine()).trimmed();
    }
    ~Sim() { Stop(); }
    void Stop() {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        p.waitForFinished(5000);
    }
    QProcess p;
    QString path;
};

QByteArray Read(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void readThenShowThenWrite() {
        const QString dump = Path("memory.bin");
        Sim sim({QStringLiteral("--settings-version"), QStringLiteral("513")}, dump);
        QVERIFY(!sim.path.isEmpty());
        const QString file = Path("read.tarvg");
        Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                     QStringLiteral("-o"), file});
        QCOMPARE(r.code, 0);
        QCOMPARE(Read(file).size(), 2050);

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
        QVERIFY(r.err.contains(QStringLiteral("The settings are recorded in the device")));
        sim.Stop();
        QCOMPARE(Read(dump).left(124), mk.Image.left(124));
    }

    void failedReadLeavesTheFileAlone() {
        Sim sim({QStringLiteral("--stop-after-block"), QStringLiteral("9")});
        const QString file = Path("keep.tarvg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
        f.close();
        const Run r = Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path,
                           QStringLiteral("-o"), file});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("RS232. No link. Check PC-device connection.")));
        QCOMPARE(Read(file), QByteArray("precious"));
    }

    void connectingGivesUp() {
        Sim sim({QStringLiteral("--silent")});
        QElapsedTimer t;
        t.start();
        const Run r =
            Cli({QStringLiteral("read"), QStringLiteral("--port"), sim.path, QStringLiteral("-o"),
                 Path("never.tarvg"), QStringLiteral("--connect-timeout"), QStringLiteral("0.5")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("I can not connect to the device")));
        QVERIFY(t.elapsed() < 10000);
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
        QVERIFY(r.err.contains(
            QStringLiteral("The settings version does not match the device version!")));
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
    }

    void usageAndFileErrors() {
        QCOMPARE(Cli({}).code, 2);
        QCOMPARE(Cli({QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(Cli({QStringLiteral("--help")}).code, 0);
        for (const char* cmd : {"read", "write", "show", "preview"}) {
            const Run r = Cli({QString::fromLatin1(cmd), QStringLiteral("--help")});
            QCOMPARE(r.code, 0);
            QVERIFY(r.out.contains(QStringLiteral("--help")));
        }
        QCOMPARE(Cli({QStringLiteral("read"), QStringLiteral("-o"), Path("x")}).code, 2);
        const Run r = Cli({QStringLiteral("show"), Path("absent.tarvg")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("absent.tarvg")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
