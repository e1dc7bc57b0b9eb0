#include "as_user.h"
#include "core/app_ini.h"
#include "scripted_dialogs.h"
#include "shell/form_placement.h"
#include "shell/main_form.h"
#include "support/errors.h"
#include "tools/sim_byte_port.h"
#include "ui/application.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>

namespace {

// Run as the ordinary user: the INI file chosen for a program in folder,
// saved with a port; prints its name or the error.
int SaveIniAsUser(const QString& folder) {
    const QString name = TMIniFile::FileNameFor(folder, QStringLiteral("tripconf"));
    try {
        TMIniFile ini(name);
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 3);
        ini.UpdateFile();
        std::puts(qPrintable(name));
    } catch (const TripError& e) {
        std::puts(qPrintable(e.message()));
    }
    return 0;
}

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString WriteIni(const char* name, const QByteArray& content) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void missingFileIsCreatedWithOneBlank() {
        const QString path = dir.filePath(QStringLiteral("new.ini"));
        TMIniFile ini(path);
        QCOMPARE(Read(path), QByteArray(" \r\n"));
        QCOMPARE(ini.ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 4), 4);
        ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), true);
        ini.UpdateFile();
        QCOMPARE(Read(path), QByteArray(" \r\n[Common]\r\nEnglishVersion=1\r\n"));
    }

    void defaultPlaceIsNextToTheExecutable() {
        QCOMPARE(TMIniFile::DefaultFileName(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/") +
                     QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
                     QStringLiteral(".ini"));
    }

    void placementOfAFixedWindow() {
        QWidget w;
        w.setFixedSize(300, 200);
        w.move(50, 60);
        TMIniFile ini(WriteIni("fixed.ini", "[MainWindow]\r\nState=0\r\nLeft=-20\r\nTop=x\r\n"
                                            "Width=900\r\nHeight=-4\r\n"));
        LoadFormPlacement(ini, QStringLiteral("MainWindow"), &w);
        QCOMPARE(w.x(), 0);  // negative goes to the screen edge
        QCOMPARE(w.y(), 60); // not a number: the current value
        QCOMPARE(w.size(), QSize(300, 200));
    }

    void placementOfAResizableWindow() {
        QWidget w;
        w.setGeometry(10, 10, 300, 200);
        TMIniFile ini(WriteIni("sizable.ini", "[MainWindow]\r\nLeft=30\r\nTop=40\r\n"
                                              "Width=500\r\nHeight=-1\r\n"));
        LoadFormPlacement(ini, QStringLiteral("MainWindow"), &w);
        QCOMPARE(w.pos(), QPoint(30, 40));
        QCOMPARE(w.size(), QSize(500, 100));
    }

    void maximizedIgnoresThePlace() {
        QWidget w;
        w.move(70, 80);
        TMIniFile ini(WriteIni("max.ini", "[MainWindow]\r\nState=2\r\nLeft=5\r\nTop=5\r\n"));
        LoadFormPlacement(ini, QStringLiteral("MainWindow"), &w);
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QCOMPARE(w.pos(), QPoint(70, 80));
    }

    void saveWritesAllFiveKeys() {
        QWidget w;
        w.setFixedSize(120, 90);
        w.move(11, 12);
        const QString path = dir.filePath(QStringLiteral("save.ini"));
        TMIniFile ini(path);
        SaveFormPlacement(ini, QStringLiteral("MainWindow"), &w);
        ini.UpdateFile();
        QCOMPARE(Read(path), QByteArray(" \r\n[MainWindow]\r\nState=0\r\nLeft=11\r\nTop=12\r\n"
                                        "Width=120\r\nHeight=90\r\n"));
    }

    // The INI file beside the program only where the settings can really be
    // saved there; else the user's own. Saving it then works.
    void iniGoesWhereItCanBeSaved_data() {
        QTest::addColumn<bool>("userFolder");
        QTest::addColumn<QString>("iniOwner"); // "user", "root" or "" for none
        QTest::addColumn<int>("iniMode");
        QTest::addColumn<bool>("beside");
        QTest::newRow("folder the user may write") << true << QString() << 0 << true;
        QTest::newRow("installed program") << false << QString() << 0 << false;
        QTest::newRow("own INI in a closed folder")
            << false << QStringLiteral("user") << 0644 << true;
        QTest::newRow("another's INI in a closed folder")
            << false << QStringLiteral("root") << 0644 << false;
        QTest::newRow("read-only INI in an own folder")
            << true << QStringLiteral("user") << 0444 << false;
    }
    void iniGoesWhereItCanBeSaved() {
        QFETCH(bool, userFolder);
        QFETCH(QString, iniOwner);
        QFETCH(int, iniMode);
        QFETCH(bool, beside);
        const auto user = OrdinaryUser();
        if (!user)
            QSKIP("needs root and useradd to run as an ordinary user");
        QTemporaryDir base;
        QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString program = base.filePath(QStringLiteral("bin"));
        const QString config = base.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkdir(program) && QDir().mkdir(config));
        QVERIFY(GiveTo(*user, config));
        if (userFolder)
            QVERIFY(GiveTo(*user, program));
        const QString besideName = program + QStringLiteral("/tripconf.ini");
        if (!iniOwner.isEmpty()) {
            QFile f(besideName);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(" \r\n");
            f.close();
            if (iniOwner == QStringLiteral("user"))
                QVERIFY(GiveTo(*user, besideName));
            QVERIFY(::chmod(QFile::encodeName(besideName).constData(), mode_t(iniMode)) == 0);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        const UserRun r = RunSelfAsUser(*user, {QStringLiteral("ini"), program}, env);
        QCOMPARE(r.code, 0);
        const QString expected =
            beside ? besideName : config + QStringLiteral("/tripconf/tripconf.ini");
        QCOMPARE(r.out, expected);
        QVERIFY(Read(expected).contains("Port=3\r\n"));
    }

    // A huge INI file is not read (nor written at close); the window says so once.
    void windowLeavesAHugeIniAlone() {
        const QString ini = TMIniFile::DefaultFileName();
        const QByteArray content =
            "[Common]\r\nEnglishVersion=1\r\n" + QByteArray(TIniFile::kMaxSize, ' ');
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        ScriptedDialogs d;
        const auto aboutIni = [&] {
            int n = 0;
            for (const auto& m : d.messages)
                n += m.text.contains(ini);
            return n;
        };
        {
            // No serial ports: the machine's own stays untouched.
            TMainForm f(std::make_unique<TSimBytePort>());
            f.show();
            QCOMPARE(aboutIni(), 1);
            QVERIFY(!f.cbEnglishVersion->isChecked());
            QVERIFY(f.close());
        }
        QCOMPARE(aboutIni(), 1);
        QCOMPARE(Read(ini), content);
        QFile::remove(ini);
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--as-user") == 0 && qstrcmp(argv[2], "ini") == 0) {
        QCoreApplication app(argc, argv);
        return SaveIniAsUser(QString::fromLocal8Bit(argv[3]));
    }
    TApplication app(argc, argv);
    TestAppSettings t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_app_settings.moc"
