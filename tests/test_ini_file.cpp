#include "support/errors.h"
#include "support/ini_file.h"

#include <QTemporaryDir>
#include <QtTest>

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
        QCOMPARE(Read(path), QByteArray(" \r\n[RS232]\r\nCOM2=/dev/pts/4\r\nPort=2\r\n\r\n"
                                        "[Other]\r\nX=5\r\n[Common]\r\nEnglishVersion=1\r\n"));
        TIniFile again(path);
        QCOMPARE(again.ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 0), 2);
    }

    void unwritableFileIsAnError() {
        TIniFile ini(dir.filePath(QStringLiteral("no/such/dir/c.ini")));
        QCOMPARE(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("B"), 4), 4);
        QVERIFY_THROWS_EXCEPTION(TripError,
                                 ini.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1));
    }
};

QTEST_APPLESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
