#include "core/app_ini.h"
#include "shell/form_placement.h"

#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

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
        QCOMPARE(Read(path), QByteArray(" \r\n[MainWindow]\r\nState=0\r\nLeft=11\r\nTop=12\r\n"
                                        "Width=120\r\nHeight=90\r\n"));
    }
};

QTEST_MAIN(TestAppSettings)
#include "test_app_settings.moc"
