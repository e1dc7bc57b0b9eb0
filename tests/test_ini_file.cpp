#include "support/errors.h"
#include "support/ini_file.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestIniFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void readsWithDefaultsAndWithoutCase() {
        const QString path = dir.filePath(QStringLiteral("a.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(" \r\n[common]\r\nEnglishVersion = 1\r\n; note\r\n[RS232]\r\nPort=x7\r\n"
                "COM1=/dev/ttyUSB0\r\n");
        f.close();
        TIniFile ini(path);
        QVERIFY(ini.ReadBool(QStringLiteral("Common"), QStringLiteral("englishversion"), false));
        QCOMPARE(ini.ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 3), 3);
        QCOMPARE(ini.ReadString(QStringLiteral("RS232"), QStringLiteral("COM1"), {}),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ini.ReadInteger(QStringLiteral("MainWindow"), QStringLiteral("Left"), -5), -5);
        QVERIFY(!ini.ValueExists(QStringLiteral("Common"), QStringLiteral("note")));
    }

    void writesKeepOtherLinesAndUseCrLf() {
        const QString path = dir.filePath(QStringLiteral("b.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(" \r\n[RS232]\r\nCOM2=/dev/pts/4\r\n\r\n[Other]\r\nx=1\r\n");
        f.close();
        TIniFile ini(path);
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 2);
        ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), true);
        ini.WriteInteger(QStringLiteral("other"), QStringLiteral("X"), 5);
        // Nothing reaches the disk before the one save.
        QCOMPARE(Read(path),
                 QByteArray(" \r\n[RS232]\r\nCOM2=/dev/pts/4\r\n\r\n[Other]\r\nx=1\r\n"));
        ini.UpdateFile();
        QCOMPARE(Read(path), QByteArray(" \r\n[RS232]\r\nCOM2=/dev/pts/4\r\nPort=2\r\n\r\n"
                                        "[Other]\r\nX=5\r\n[Common]\r\nEnglishVersion=1\r\n"));
        TIniFile again(path);
        QCOMPARE(again.ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 0), 2);
    }

    void unwritableFileIsAnError() {
        const QString path = dir.filePath(QStringLiteral("no/such/dir/c.ini"));
        TIniFile ini(path);
        QCOMPARE(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("B"), 4), 4);
        ini.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1);
        try {
            ini.UpdateFile();
            QFAIL("saved where no folder is");
        } catch (const TripError& e) {
            // With the reason, not only the file's name.
            QCOMPARE(e.message(),
                     QStringLiteral("Unable to write to %1. No such file or directory").arg(path));
        }
    }

    // Lines the program does not change keep their bytes: any encoding,
    // either line end, spacing, a byte order mark, no line end at the end.
    void unchangedBytesSurvive_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        // "; Порт" in code page 1251, and a device path that is no UTF-8.
        const QByteArray cp1251 = "; \xCF\xEE\xF0\xF2\r\n";
        const QByteArray path = "COM2=/dev/tty\xE9\xFF\r\n";
        QTest::newRow("code page 1251, CR LF")
            << " \r\n[RS232]\r\n" + cp1251 + path + "Port=1\r\n[Common]\r\nEnglishVersion = 1\r\n"
            << " \r\n[RS232]\r\n" + cp1251 + path + "Port=4\r\n[Common]\r\nEnglishVersion = 1\r\n";
        QTest::newRow("LF, no line end at the end")
            << QByteArray("\xEF\xBB\xBF[rs232]\n; \xFE\n[Common]\nEnglishVersion=1")
            << QByteArray("\xEF\xBB\xBF[rs232]\n; \xFE\nPort=4\r\n[Common]\nEnglishVersion=1");
        QTest::newRow("section at the end without a line end")
            << QByteArray("[Common]\nEnglishVersion=1\n[RS232]")
            << QByteArray("[Common]\nEnglishVersion=1\n[RS232]\r\nPort=4\r\n");
    }
    void unchangedBytesSurvive() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString path = dir.filePath(QStringLiteral("bytes.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(before);
        f.close();
        {
            TIniFile ini(path);
            QVERIFY(
                ini.ReadBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false));
            ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), true);
            ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 4);
            ini.UpdateFile();
        }
        QCOMPARE(Read(path), after);
    }

    // Not read and never written: too large, or no file at all.
    void fileThatCannotBeReadIsLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("larger than 1 MiB") << QStringLiteral("large");
        QTest::newRow("pipe") << QStringLiteral("pipe");
        QTest::newRow("folder") << QStringLiteral("folder");
    }
    void fileThatCannotBeReadIsLeftAlone() {
        QFETCH(QString, kind);
        QTemporaryDir d;
        const QString path = d.filePath(QStringLiteral("big.ini"));
        QByteArray content = "[Common]\r\nEnglishVersion=1\r\n";
        if (kind == QStringLiteral("large")) {
            content += QByteArray(TIniFile::kMaxSize, ';');
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        } else if (kind == QStringLiteral("pipe")) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        } else {
            QVERIFY(QDir().mkdir(path));
        }
        {
            TIniFile ini(path);
            QVERIFY(ini.LoadProblem().contains(path));
            QVERIFY(
                !ini.ReadBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false));
            ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false);
            ini.UpdateFile();
        }
        if (kind == QStringLiteral("large"))
            QCOMPARE(Read(path), content);
        QCOMPARE(QDir(d.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                          QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("big.ini")});
    }
};

QTEST_APPLESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
