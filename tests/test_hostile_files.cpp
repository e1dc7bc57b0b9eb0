// Settings files from anywhere: whatever record a file holds, the window
// loads it, the editor opens on it (or refuses with a clear error) and draws
// every page, and OK or Cancel leave the program working.

#include "core/app_ini.h"
#include "editor/set_params_dlg.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_json.h"
#include "scripted_dialogs.h"
#include "shell/main_form.h"
#include "shell/window_language.h"
#include "ui/application.h"

#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

void Openable(QByteArray& record, int protocol) {
    std::array<uint8_t, TSettingsRecord::kSize> bytes;
    std::memcpy(bytes.data(), record.constData(), bytes.size());
    TSettingsRecord r = TSettingsRecord::FromBytes(bytes);
    r.Protocol = int8_t(protocol);
    r.ExpenseCorr = 1.0f;
    r.VelocityCorr = 1.0f;
    bytes = r.ToBytes();
    record = QByteArray(reinterpret_cast<const char*>(bytes.data()), TSettingsRecord::kSize);
}

} // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    // The machine's serial port is not these tests' business, and a window
    // of another test may hold it: this one would report no free port.
    QString NoDevice() const { return dir.filePath(QStringLiteral("no-device")); }

private slots:
    void init() { QFile::remove(TMIniFile::DefaultFileName()); }

    // Refused with a message, the settings held and the steps closed: a pipe
    // at once (loading it used to wait for a writer), the JSON form and the
    // preview's images by their content, in the window's language.
    void windowRefusesWhatIsNoSettingsFile_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // none: a pipe
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("message");
        QTest::newRow("pipe") << QStringLiteral("pipe.tarvg") << QByteArray() << false
                              << QStringLiteral("Cannot open file \"%1\". It is a pipe (FIFO), "
                                                "not a file.");
        TMK mk;
        mk.Image = QByteArray(2048, '\0');
        const QByteArray json = SettingsFileToJson(SettingsFileData(mk));
        QTest::newRow("JSON form")
            << QStringLiteral("s.json") << json << false
            << QStringLiteral("Невозможно загрузить настройки из файла \"%1\". Это файл "
                              "настроек в виде JSON (его пишет tripconf-cli export), а не сам "
                              "файл настроек: сделайте из него файл настроек командой "
                              "tripconf-cli import.");
        QTest::newRow("JSON form, English")
            << QStringLiteral("s.json") << json << true
            << QStringLiteral("Cannot load settings from file \"%1\". It is the JSON form of a "
                              "settings file (tripconf-cli export writes it), not a settings "
                              "file: use tripconf-cli import to make one of it.");
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        QTest::newRow("PNG image")
            << QStringLiteral("preview.tarvg") << png << false
            << QStringLiteral("Невозможно загрузить настройки из файла \"%1\". Это изображение "
                              "PNG, а не файл настроек.");
    }
    void windowRefusesWhatIsNoSettingsFile() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(bool, english);
        QFETCH(QString, message);
        ScriptedDialogs d;
        TMainForm f;
        f.DemoDevicePath = NoDevice();
        f.show();
        if (english)
            QTest::mouseClick(f.findChild<QCheckBox*>(QStringLiteral("cbEnglishVersion")),
                              Qt::LeftButton);
        QCOMPARE(WindowIsEnglish(), english);
        const QString path = dir.filePath(file);
        QFile::remove(path);
        if (content.isEmpty()) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        } else {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        const QByteArray image = f.MK()->Image;
        const uint16_t version = f.MK()->Version;
        const int shown = d.messages.size();
        d.openNames.enqueue(path);
        QTest::mouseClick(f.bLoadParams, Qt::LeftButton);
        QCOMPARE(d.messages.size(), shown + 1);
        QCOMPARE(d.messages.last().text, message.arg(path));
        QCOMPARE(f.MK()->Image, image);
        QCOMPARE(f.MK()->Version, version);
        QVERIFY(!f.bEditParams->isEnabled());
    }

    void editorTakesAnyRecord_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("ok");
        for (const int fill : {0x00, 0xFF, 0x80, 0x7F})
            for (const bool ok : {true, false})
                QTest::addRow("bytes %02X, %s", fill, ok ? "OK" : "Cancel")
                    << QByteArray(TSettingsRecord::kSize, char(fill)) << ok;
        QRandomGenerator random(808);
        for (int i = 0; i < 12; ++i) {
            QByteArray r(TSettingsRecord::kSize, '\0');
            for (char& c : r)
                c = char(random.bounded(256));
            QTest::addRow("random %d", i) << r << (i % 2 == 0);
        }
        // The editor refuses a protocol without an entry and a factor it
        // cannot show; with those sound, every other field stays hostile.
        for (const int fill : {0x00, 0xFF, 0x80, 0x7F}) {
            QByteArray r(TSettingsRecord::kSize, char(fill));
            Openable(r, fill % 19);
            QTest::addRow("openable, bytes %02X", fill) << r << true;
        }
        for (int i = 0; i < 12; ++i) {
            QByteArray r(TSettingsRecord::kSize, '\0');
            for (char& c : r)
                c = char(random.bounded(256));
            Openable(r, i);
            QTest::addRow("openable, random %d", i) << r << (i % 2 == 0);
        }
    }

    void editorTakesAnyRecord() {
        QFETCH(QByteArray, record);
        QFETCH(bool, ok);
        ScriptedDialogs d;
        TMainForm f;
        f.DemoDevicePath = NoDevice();
        f.show();
        TMK file;
        file.Version = 3;
        file.Image = record + QByteArray(2048 - record.size(), char(0x5A));
        const QString name = dir.filePath(QStringLiteral("hostile.tarvg"));
        SaveSettingsFile(file, name);
        d.openNames.enqueue(name);
        QTest::mouseClick(f.bLoadParams, Qt::LeftButton);
        QCOMPARE(f.MK()->Image, file.Image);

        bool shown = false;
        d.onExec = [&](QDialog* dialog) {
            auto& dlg = *static_cast<TMK_SetParamsDlg*>(dialog);
            dlg.show();
            for (int page = 0; page < dlg.PageControl->count(); ++page) {
                dlg.PageControl->setCurrentIndex(page);
                (void)dlg.grab();
            }
            shown = true;
            QTest::mouseClick(ok ? dlg.OKBtn : dlg.CancelBtn, Qt::LeftButton);
            return dlg.result();
        };
        QTest::mouseClick(f.bEditParams, Qt::LeftButton);
        // Refused only with one of the program's own errors.
        for (const auto& m : d.messages)
            QVERIFY2(m.text == QStringLiteral("Range check error") ||
                         m.text.startsWith(QStringLiteral("List index out of bounds")),
                     qPrintable(m.text));
        if (QByteArray(QTest::currentDataTag()).startsWith("openable"))
            QVERIFY(shown);
        if (!shown || !ok) {
            QCOMPARE(f.MK()->Image, file.Image);
            QVERIFY(!f.Modified);
        } else {
            QVERIFY(f.Modified);
            QCOMPARE(f.MK()->Image.mid(TSettingsRecord::kSize),
                     file.Image.mid(TSettingsRecord::kSize));
        }
        // The program goes on: the file saved now loads back as it is held.
        QFile::remove(dir.filePath(QStringLiteral("again.tarvg")));
        d.saveNames.enqueue(dir.filePath(QStringLiteral("again.tarvg")));
        QTest::mouseClick(f.bSaveParams, Qt::LeftButton);
        TMK again;
        LoadSettingsFile(again, dir.filePath(QStringLiteral("again.tarvg")));
        QCOMPARE(again.Image, f.MK()->Image);
        f.Modified = false;
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestHostileFiles t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_hostile_files.moc"
