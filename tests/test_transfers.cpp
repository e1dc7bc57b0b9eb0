#include "cancel_click.h"
#include "core/app_ini.h"
#include "core/backups.h"
#include "core/port_texts.h"
#include "editor/set_params_dlg.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "open_counter.h"
#include "scripted_dialogs.h"
#include "shell/backup_list.h"
#include "shell/main_form.h"
#include "shell/progress_form.h"
#include "shell/window_language.h"
#include "shell/write_review.h"
#include "support/stop_signals.h"
#include "tools/sim_byte_port.h"
#include "tools/simulator.h"
#include "ui/application.h"

#include <QAccessible>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray Memory(uint8_t seed) {
    QByteArray m(2048, '\0');
    for (int i = 0; i < m.size(); ++i)
        m[i] = char((i * 7 + seed) & 0xFF);
    auto rec = TSettingsRecord::Defaults().ToBytes();
    m.replace(0, 124, QByteArray(reinterpret_cast<const char*>(rec.data()), 124));
    return m;
}

// The commands the simulator received, runs counted: "1 5x64 4x4 7".
QString Commands(const TSimDevice& sim) {
    QStringList out;
    int last = -1, run = 0;
    const auto flush = [&] {
        if (run > 0)
            out << (run == 1 ? QString::number(last) : QStringLiteral("%1x%2").arg(last).arg(run));
    };
    for (const QByteArray& frame : sim.Received()) {
        const int command = uint8_t(frame[4]);
        if (command != last) {
            flush();
            last = command;
            run = 0;
        }
        ++run;
    }
    flush();
    return out.join(QLatin1Char(' '));
}

QByteArray RecordOf(const TSettingsRecord& r) {
    const auto bytes = r.ToBytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

// The review's rows as "caption|field|now|to be written".
QStringList ReviewRows(TWriteReviewDlg& r) {
    QStringList rows;
    for (int i = 0; i < r.tvReviewChanges->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = r.tvReviewChanges->topLevelItem(i);
        rows << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join('|');
    }
    return rows;
}

// Presses Write in the review; any other dialog is rejected.
int PressWrite(QDialog* dialog) {
    if (auto* r = qobject_cast<TWriteReviewDlg*>(dialog))
        r->bReviewWrite->click();
    return dialog->result();
}

// Controls a screen reader could not name.
QStringList Unnamed(QWidget* top) {
    QStringList out;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QLabel*>(w) &&
            !qobject_cast<QGroupBox*>(w) && !qobject_cast<QAbstractItemView*>(w))
            continue;
        // A list's header is named by its sections.
        if (qobject_cast<QHeaderView*>(w))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            out << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                              : w->objectName());
    }
    return out;
}

bool StepsEnabled(TMainForm& f) {
    return f.bEditParams->isEnabled() && f.bSaveParams->isEnabled() && f.bSetParams->isEnabled();
}

bool StepsDisabled(TMainForm& f) {
    return !f.bEditParams->isEnabled() && !f.bSaveParams->isEnabled() && !f.bSetParams->isEnabled();
}

// What a failed or cancelled transfer must leave as it was.
struct Held {
    uint16_t version;
    QByteArray image;
    std::array<uint8_t, TSettingsRecord::kSize> record;
    bool modified;

    explicit Held(TMainForm& f)
        : version(f.MK()->Version), image(f.MK()->Image), record(f.MK()->Settings.ToBytes()),
          modified(f.Modified) {}
    bool operator==(const Held&) const = default;
};

const QString kSimPath = QStringLiteral("/dev/ttySIM0");

// A machine without serial ports, for a window that needs none: the
// machine's own port stays untouched.
std::unique_ptr<TBytePort> NoDevices() {
    return std::make_unique<TSimBytePort>();
}

} // namespace

class TestTransfers : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A shown window whose link talks to the device in-process, on a virtual
    // clock; its port table finds the device as COM1.
    std::unique_ptr<TMainForm> Window(TSimDevice& sim, TSimBytePort** port = nullptr) {
        auto line = std::make_unique<TSimBytePort>(&sim, kSimPath);
        if (port)
            *port = line.get();
        auto f = std::make_unique<TMainForm>(std::move(line));
        f->show();
        return f;
    }

    // Loads a settings file into the window, as Step 1 from disk.
    void Load(TMainForm& f, ScriptedDialogs& d, uint16_t version, const QByteArray& image) {
        TMK mk;
        mk.Version = version;
        mk.Image = image;
        const QString name = dir.filePath(QStringLiteral("in.tarvg"));
        SaveSettingsFile(mk, name);
        d.openNames.enqueue(name);
        QTest::mouseClick(f.bLoadParams, Qt::LeftButton);
    }

    static void WriteIni(const QByteArray& text) {
        QFile ini(TMIniFile::DefaultFileName());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(text);
    }

private slots:
    // Backups go to a folder of the test's own.
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data"))); }
    // Each test starts without the INI file and the backups an earlier one left.
    void init() {
        QFile::remove(TMIniFile::DefaultFileName());
        QDir(dir.filePath(QStringLiteral("data"))).removeRecursively();
    }

    void readFillsEverythingAtOnce() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Memory = Memory(3);
        o.Version = 0x0203;
        TSimDevice sim(o);
        auto f = Window(sim);
        f->Modified = true;
        d.answers.enqueue(7); // do not save first
        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        QCOMPARE(d.Count(MessageKind::Question), 1);
        QCOMPARE(f->MK()->Image, o.Memory);
        QCOMPARE(f->MK()->Version, uint16_t(0x0203));
        QVERIFY(f->MK()->Settings == TSettingsRecord::Defaults());
        QVERIFY(StepsEnabled(*f));
        QVERIFY(f->Modified);
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());

        const QList<QByteArray> rx = sim.Received();
        QCOMPARE(rx.size(), 65);
        QCOMPARE(rx[0], Hex("06 F4 01 00 01 04"));
        QCOMPARE(rx[4], Hex("08 F4 01 00 05 03 00 FB"));
    }

    // With review, backup and read-back switched off, the plain write.
    void writeSendsTheRecordInFourBlocks() {
        WriteIni("[Safety]\r\nReview=0\r\nBackup=0\r\nVerify=0\r\n");
        ScriptedDialogs d;
        TSimOptions o;
        o.Memory = QByteArray(2048, char(0xEE));
        o.Version = 7;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 7, Memory(9));
        QVERIFY(StepsEnabled(*f));
        f->MK()->Settings.TOTime = 0x11223344;
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(d.messages.last().kind, MessageKind::Info);
        QCOMPARE(d.messages.last().text, QStringLiteral("Настройки записаны в МК"));

        const QList<QByteArray> rx = sim.Received();
        QCOMPARE(rx.size(), 6);
        const auto record = f->MK()->Settings.ToBytes();
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(rx[1 + i].size(), 42);
            QCOMPARE(uint8_t(rx[1 + i][4]), uint8_t(4));
            QCOMPARE(uint8_t(rx[1 + i][5]), uint8_t(i));
        }
        // The last block: 28 record bytes, then the last one repeated.
        QCOMPARE(rx[4].mid(9, 28),
                 QByteArray(reinterpret_cast<const char*>(record.data()) + 96, 28));
        QCOMPARE(rx[4].mid(37, 4), QByteArray(4, char(record[123])));
        QCOMPARE(rx[5], Hex("0A F4 01 00 07 00 00 78 00 82"));
        QCOMPARE(sim.Memory().left(124),
                 QByteArray(reinterpret_cast<const char*>(record.data()), 124));
        QCOMPARE(sim.Memory().mid(128), QByteArray(2048 - 128, char(0xEE)));
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!f->Modified);
        QVERIFY(d.executed.isEmpty());
        QVERIFY(!QDir(BackupFolder()).exists());
    }

    // Step 4 as it is by default: the whole image read and kept as a backup,
    // the changes shown with the port closed (Cancel writes nothing), then
    // the same unit checked, written and read back.
    void reviewedWriteKeepsACopyAndShowsTheChanges() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Memory = Memory(3);
        o.Version = 7;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 7, Memory(9));
        f->MK()->Settings.TOTime = 0x11223344;
        const QByteArray before = sim.Memory();

        QString title, summary;
        QStringList rows, unnamed;
        bool portOpen = true, cancelIsDefault = false, stepOffered = true;
        d.onExec = [&](QDialog* dialog) {
            auto* r = qobject_cast<TWriteReviewDlg*>(dialog);
            if (!r)
                return int(QDialog::Rejected);
            title = r->windowTitle();
            summary = r->lReviewSummary->text();
            rows = ReviewRows(*r);
            unnamed = Unnamed(r);
            portOpen = f->Link()->IsPortOpen();
            cancelIsDefault = r->bReviewCancel->isDefault() && !r->bReviewWrite->autoDefault();
            // A second Step 4 from here is refused.
            stepOffered = f->bSetParams->isEnabled();
            f->WriteToDevice();
            r->setResult(QDialog::Accepted); // so only Escape can reject it
            QTest::keyClick(r, Qt::Key_Escape);
            return r->result();
        };
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(d.executed, QStringList{QStringLiteral("TWriteReviewDlg")});
        QCOMPARE(title, QStringLiteral("Запись настроек в МК"));
        QVERIFY2(summary.startsWith(
                     QStringLiteral("МК на порту COM1 (%1), версия настроек 7.\nБудут изменены "
                                    "поля (1):")
                         .arg(kSimPath)),
                 qPrintable(summary));
        QCOMPARE(rows.size(), 1);
        const QStringList row = rows[0].split('|');
        QCOMPARE(row[1], QStringLiteral("TOTime"));
        QVERIFY(!row[0].isEmpty());
        QVERIFY(row[2] != row[3]);
        QCOMPARE(unnamed, QStringList());
        QVERIFY(!portOpen);
        QVERIFY(cancelIsDefault);
        QVERIFY(!stepOffered);
        QCOMPARE(Commands(sim), QStringLiteral("1 5x64"));
        QVERIFY(d.messages.isEmpty());
        QCOMPARE(sim.Memory(), before);
        // What the unit held, saved before anything could be written.
        QList<TBackupEntry> backups = ListBackups(BackupFolder());
        QCOMPARE(backups.size(), 1);
        QVERIFY(QFileInfo(backups[0].path)
                    .fileName()
                    .contains(QRegularExpression(
                        QStringLiteral(R"(^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_COM1_v7\.tarvg$)"))));
        QCOMPARE(backups[0].image, before);
        QCOMPARE(backups[0].version, uint16_t(7));

        d.onExec = PressWrite;
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].kind, MessageKind::Info);
        QCOMPARE(d.messages[0].text, QStringLiteral("Настройки записаны в МК"));
        QCOMPARE(Commands(sim), QStringLiteral("1 5x64 1 5x64 1 5x4 4x4 7 1 5x4"));
        QCOMPARE(sim.Memory().left(124), RecordOf(f->MK()->Settings));
        backups = ListBackups(BackupFolder());
        QCOMPARE(backups.size(), 2); // one per Step 4, none ever replaced
        QCOMPARE(backups[0].image, before);
        QCOMPARE(f->LastBackup, backups[0].path);
        QVERIFY2(f->lStateStatus->text().contains(QFileInfo(f->LastBackup).fileName()),
                 qPrintable(f->lStateStatus->text()));
        QVERIFY(!f->Busy());
    }

    // A shorter record leaves the fields beyond it as they are: the review
    // does not list them.
    void reviewListsOnlyWhatIsSent() {
        ScriptedDialogs d;
        TSimDevice sim;
        auto f = Window(sim);
        Load(*f, d, 1, Memory(2));
        f->MK()->Settings.Size = 0x34; // up to TOTime
        f->MK()->Settings.TOTime = 5;
        f->MK()->Settings.TOPath = 7;
        QStringList rows;
        d.onExec = [&rows](QDialog* dialog) {
            rows = ReviewRows(*qobject_cast<TWriteReviewDlg*>(dialog));
            return int(QDialog::Rejected);
        };
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(rows.size(), 2); // Size and TOPath
        QVERIFY(rows[0].contains(QStringLiteral("|Size|")));
        QVERIFY(rows[1].contains(QStringLiteral("|TOPath|")));
    }

    // Between the review and the write another trip computer is plugged in
    // behind the same path, or the adapter is pulled out: nothing is
    // written, and the backup stays.
    void unitSwappedAfterTheReviewGetsNothing_data() {
        QTest::addColumn<bool>("unplugged");
        QTest::newRow("another unit") << false;
        QTest::newRow("adapter pulled out") << true;
    }
    void unitSwappedAfterTheReviewGetsNothing() {
        QFETCH(bool, unplugged);
        ScriptedDialogs d;
        TSimOptions o;
        o.Version = 4;
        o.Memory = Memory(1);
        TSimDevice first(o);
        TSettingsRecord other = TSettingsRecord::Defaults();
        other.TOTime = 99;
        o.Memory.replace(0, 124, RecordOf(other));
        TSimDevice second(o);
        const QString unit = kSimPath;
        auto line = std::make_unique<TSimBytePort>(&first, unit);
        TSimBytePort& port = *line;
        TMainForm f(std::move(line));
        f.DemoDevicePath = unit; // the port dialog offers the path even once it is gone
        f.show();
        Load(f, d, 4, Memory(2));
        f.MK()->Settings.TOTime = 1234;
        d.onExec = [&](QDialog* dialog) {
            port.Plug(unplugged ? nullptr : &second);
            return PressWrite(dialog);
        };
        d.answers.enqueue(6);
        QTest::mouseClick(f.bSetParams, Qt::LeftButton);
        QCOMPARE(Commands(first), QStringLiteral("1 5x64"));
        QCOMPARE(Commands(second), unplugged ? QString() : QStringLiteral("1 5x4"));
        QCOMPARE(second.Memory(), o.Memory);
        QCOMPARE(d.messages.size(), 1);
        const QString kept =
            QStringLiteral("\nРезервная копия прежних настроек МК: ") + f.LastBackup;
        if (unplugged) {
            // Asked while Step 4 still holds the window: Yes opens the port dialog.
            QCOMPARE(d.executed, (QStringList{QStringLiteral("TWriteReviewDlg"),
                                              QStringLiteral("TPortNumberDlg")}));
            QCOMPARE(d.messages[0].kind, MessageKind::Question);
            QVERIFY2(
                d.messages[0].text.contains(QStringLiteral("Порт %1 не существует").arg(unit)) &&
                    d.messages[0].text.contains(kept),
                qPrintable(d.messages[0].text));
        } else {
            QCOMPARE(d.messages[0].kind, MessageKind::Error);
            QCOMPARE(d.messages[0].text, Texts::UnitChanged(QStringLiteral("TOTime")) + kept);
        }
        QCOMPARE(ListBackups(BackupFolder()).value(0).image, first.Memory());
    }

    // Each switch of the INI section turns its own part off.
    void switchesTurnEachPartOff_data() {
        QTest::addColumn<QByteArray>("safety");
        QTest::addColumn<bool>("reviewed");
        QTest::addColumn<int>("backups");
        QTest::addColumn<QString>("commands");
        const QString all = QStringLiteral("1 5x64 1 5x4 4x4 7 1 5x4");
        QTest::newRow("no review") << QByteArray("Review=0") << false << 1 << all;
        QTest::newRow("no backup") << QByteArray("Backup=0") << true << 0 << all;
        QTest::newRow("read-back only")
            << QByteArray("Review=0\r\nBackup=0") << false << 0 << QStringLiteral("1 4x4 7 1 5x4");
        QTest::newRow("no read-back")
            << QByteArray("Verify=0") << true << 1 << QStringLiteral("1 5x64 1 5x4 4x4 7");
    }
    void switchesTurnEachPartOff() {
        QFETCH(QByteArray, safety);
        QFETCH(bool, reviewed);
        QFETCH(int, backups);
        QFETCH(QString, commands);
        WriteIni("[Safety]\r\n" + safety + "\r\n");
        ScriptedDialogs d;
        d.onExec = PressWrite;
        TSimDevice sim;
        auto f = Window(sim);
        Load(*f, d, 1, Memory(2));
        f->MK()->Settings.TOTime = 77;
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(d.executed.size(), reviewed ? 1 : 0);
        QCOMPARE(ListBackups(BackupFolder()).size(), backups);
        QCOMPARE(Commands(sim), commands);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].text, QStringLiteral("Настройки записаны в МК"));
        QCOMPARE(sim.Memory().left(124), RecordOf(f->MK()->Settings));
    }

    // The read before the write fails: nothing went out, and the box says so.
    void checkedWriteThatFailsBeforeSendingSaysSo() {
        ScriptedDialogs d;
        TSimOptions o;
        o.StopAfterBlock = 9;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 1, Memory(2));
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QVERIFY(d.executed.isEmpty());
        QVERIFY(!Commands(sim).contains(QStringLiteral(" 4")));
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].kind, MessageKind::Exception);
        QCOMPARE(d.messages[0].text, QStringLiteral("RS232. No link. Check PC-device connection.\n"
                                                    "В МК ничего не записано."));
        QVERIFY(StepsEnabled(*f) && !f->Busy());
    }

    // The read-back differs: an error naming the field, never "written".
    void verifyThatFailsIsAnError() {
        ScriptedDialogs d;
        TSimOptions o;
        o.CorruptOffset = 0x34; // TOTime's first byte
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 1, Memory(2));
        f->MK()->Settings.TOTime = 0x01020304;
        d.onExec = PressWrite;
        SetWindowLanguage(true);
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        SetWindowLanguage(false);
        QCOMPARE(Commands(sim), QStringLiteral("1 5x64 1 5x4 4x4 7 1 5x4"));
        QCOMPARE(d.Count(MessageKind::Info), 0);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].kind, MessageKind::Error);
        const QString& text = d.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("TOTime")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\nA backup of the trip computer's former "
                                              "settings: ") +
                               f->LastBackup),
                 qPrintable(text));
        QVERIFY2(f->lStateStatus->text().contains(
                     QStringLiteral("; written to the trip computer on COM1 at ")) &&
                     f->lStateStatus->text().contains(
                         QStringLiteral(", not verified (the former ones in the backup ")),
                 qPrintable(f->lStateStatus->text()));
    }

    // A backup that cannot be saved stops Step 4 before the review.
    void backupThatCannotBeSavedWritesNothing() {
        ScriptedDialogs d;
        TSimDevice sim;
        auto f = Window(sim);
        Load(*f, d, 1, Memory(2));
        const QString plain = dir.filePath(QStringLiteral("plain"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(plain));
        const auto restore = qScopeGuard(
            [this] { qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data"))); });
        d.onExec = PressWrite;
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QVERIFY(d.executed.isEmpty());
        QCOMPARE(Commands(sim), QStringLiteral("1 5x64"));
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].kind, MessageKind::Error);
        QVERIFY2(d.messages[0].text.startsWith(QStringLiteral(
                     "Не удалось сохранить резервную копию настроек МК, поэтому в МК ничего не "
                     "записано.\n")),
                 qPrintable(d.messages[0].text));
        QVERIFY(d.messages[0].text.contains(plain));
        QVERIFY(f->LastBackup.isEmpty());
    }

    // A backup is loaded as a settings file is, the unsaved edits asked
    // about first; files that are no settings are listed, not offered.
    void restoreLoadsABackupBack() {
        ScriptedDialogs d;
        TSimDevice sim;
        const QByteArray held = Memory(5);
        const QString older = SaveBackup(BackupFolder(), QStringLiteral("COM2"), 3, Memory(6),
                                         QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
        const QString newer = SaveBackup(BackupFolder(), QStringLiteral("COM1"), 3, held);
        QFile junk(QDir(BackupFolder()).filePath(QStringLiteral("junk.tarvg")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("no");
        junk.close();
        auto f = Window(sim);
        Load(*f, d, 3, Memory(6));
        f->Modified = true;
        QStringList files;
        QList<bool> offered;
        bool loadEnabled = false;
        d.onExec = [&](QDialog* dialog) {
            auto* b = qobject_cast<TBackupListDlg*>(dialog);
            for (int i = 0; i < b->tvBackups->topLevelItemCount(); ++i) {
                files << b->tvBackups->topLevelItem(i)->text(4);
                offered << b->tvBackups->topLevelItem(i)->flags().testFlag(Qt::ItemIsEnabled);
            }
            loadEnabled = b->bBackupLoad->isEnabled() && Unnamed(b).isEmpty();
            b->bBackupLoad->click();
            return b->result();
        };
        QTest::mouseClick(f->bRestoreBackup, Qt::LeftButton);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].text, Texts::UnsavedQuestion());
        QCOMPARE(d.executed, QStringList{QStringLiteral("TBackupListDlg")});
        QCOMPARE(files.size(), 3);
        QCOMPARE(files.indexOf(QFileInfo(newer).fileName()) <
                     files.indexOf(QFileInfo(older).fileName()),
                 true);
        QCOMPARE(offered[files.indexOf(QStringLiteral("junk.tarvg"))], false);
        QVERIFY(loadEnabled);
        QCOMPARE(f->MK()->Image, held);
        QCOMPARE(f->lSourceStatus->text(),
                 QStringLiteral("Настройки: из файла ") + QFileInfo(newer).fileName());
        QVERIFY(StepsEnabled(*f));
        QCOMPARE(sim.Requests(), 0);
    }

    // The status area through read, edit, save and write, in both languages;
    // every control can be named by a screen reader.
    void statusFollowsEachStep() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Version = 515;
        TSimDevice sim(o);
        auto f = Window(sim);
        const auto shows = [&f](QLabel* label, const QString& pattern) {
            const bool ok = QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'))
                                .match(label->text())
                                .hasMatch();
            if (!ok)
                qWarning("%s: %s", qPrintable(label->objectName()), qPrintable(label->text()));
            return ok;
        };
        const QString time = QStringLiteral(R"(\d\d:\d\d)");
        QCOMPARE(f->lPortStatus->text(), QStringLiteral("Порт: COM1 — ") + kSimPath);
        QCOMPARE(f->lDeviceStatus->text(), QStringLiteral("МК: ещё не отвечал"));
        QCOMPARE(f->lSourceStatus->text(), QStringLiteral("Настройки: ещё не считаны"));
        QCOMPARE(f->lStateStatus->text(), QStringLiteral("Состояние: нет настроек"));
        QCOMPARE(Unnamed(f.get()), QStringList());

        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        QVERIFY(shows(
            f->lDeviceStatus,
            QStringLiteral("МК: версия настроек 515, ответил в %1:\\d\\d на COM1").arg(time)));
        QVERIFY(shows(f->lSourceStatus,
                      QStringLiteral("Настройки: считаны из МК на COM1 в %1").arg(time)));
        QCOMPARE(f->lStateStatus->text(),
                 QStringLiteral("Состояние: не изменялись; в МК не записаны"));

        d.onExec = [](QDialog* dialog) {
            return int(qobject_cast<TMK_SetParamsDlg*>(dialog) ? QDialog::Accepted
                                                               : QDialog::Rejected);
        };
        QTest::mouseClick(f->bEditParams, Qt::LeftButton);
        QCOMPARE(f->lStateStatus->text(),
                 QStringLiteral("Состояние: изменены, не сохранены; в МК не записаны"));
        d.saveNames.enqueue(dir.filePath(QStringLiteral("status.tarvg")));
        QFile::remove(dir.filePath(QStringLiteral("status.tarvg")));
        QTest::mouseClick(f->bSaveParams, Qt::LeftButton);
        QCOMPARE(f->lStateStatus->text(),
                 QStringLiteral("Состояние: сохранены в файл status.tarvg; в МК не записаны"));

        // Edited without a change: the review says so and still offers Write.
        QString summary;
        d.onExec = [&summary](QDialog* dialog) {
            summary = qobject_cast<TWriteReviewDlg*>(dialog)->lReviewSummary->text();
            return PressWrite(dialog);
        };
        QTest::mouseClick(f->cbEnglishVersion, Qt::LeftButton);
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(summary,
                 QStringLiteral("The trip computer on COM1 (%1), settings version 515.\nThe "
                                "trip computer already holds these settings: writing "
                                "them changes nothing.")
                     .arg(kSimPath));
        QCOMPARE(d.messages.last().text, QStringLiteral("The settings are recorded in the device"));
        QCOMPARE(f->lPortStatus->text(), QStringLiteral("Port: COM1 — ") + kSimPath);
        QVERIFY(
            shows(f->lSourceStatus,
                  QStringLiteral("Settings: read from the trip computer on COM1 at %1").arg(time)));
        QVERIFY(shows(f->lStateStatus,
                      QStringLiteral("State: saved to the file status\\.tarvg; written to the trip "
                                     "computer on COM1 at %1 \\(the former ones in the backup "
                                     "\\S+_COM1_v515\\.tarvg\\)")
                          .arg(time)));
        QCOMPARE(f->GroupBox5->title(), QStringLiteral("Status"));
        QCOMPARE(f->bRestoreBackup->text(), QStringLiteral("Restore from a backup..."));
        QTest::mouseClick(f->cbEnglishVersion, Qt::LeftButton);
        QCOMPARE(f->bRestoreBackup->text(), QStringLiteral("Восстановить из резервной копии..."));
    }

    // The chosen port busy or absent at start: the choice is kept and shown,
    // a transfer names it and offers the port dialog, and no other port is
    // touched.
    void chosenPortThatCannotBeUsed_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("why");
        QTest::newRow("busy") << true << QStringLiteral("занят другой программой");
        QTest::newRow("absent") << false << QStringLiteral("не существует");
    }
    void chosenPortThatCannotBeUsed() {
        QFETCH(bool, busy);
        QFETCH(QString, why);
        // On pseudo-terminals: another program holds the busy one, and the
        // opens of the other's device node are counted.
        TSimulatorThread first, second;
        const QString chosen =
            busy ? second.sim.SlavePath() : dir.filePath(QStringLiteral("unplugged"));
        QSerialPort holder;
        if (busy) {
            holder.setPortName(chosen);
            QVERIFY(holder.open(QIODevice::ReadWrite));
        }
        WriteIni("[RS232]\r\nPort=2\r\nCOM1=" + QFile::encodeName(first.sim.SlavePath()) +
                 "\r\nCOM2=" + QFile::encodeName(chosen) + "\r\n");
        ScriptedDialogs d;
        // The other port is never opened: not at start, not by the port
        // dialog's rescans while it stays open.
        TOpenCounter opens;
        QVERIFY(opens.Watch(first.sim.SlavePath()));
        d.onExec = [](QDialog* dialog) {
            if (auto* rescan = dialog->findChild<QTimer*>(QStringLiteral("RescanTimer"))) {
                rescan->setInterval(10);
                QTest::qWait(100);
            }
            return int(QDialog::Rejected);
        };
        {
            TMainForm f;
            f.show();
            QVERIFY(d.messages.isEmpty());
            QCOMPARE(f.Link()->PortNumber, 2);
            const QString status = f.lPortStatus->text();
            QVERIFY2(status.startsWith(QStringLiteral("Порт: COM2 — ")) && status.contains(why) &&
                         status.contains(chosen),
                     qPrintable(status));
            d.answers.enqueue(6); // Yes: the port dialog
            QTest::mouseClick(f.bGetParams, Qt::LeftButton);
            QCOMPARE(d.messages.size(), 1);
            QCOMPARE(d.messages[0].kind, MessageKind::Question);
            const QString& asked = d.messages[0].text;
            QVERIFY2(asked.startsWith(QStringLiteral("Выбранный порт COM2 не может быть "
                                                     "использован:\n")) &&
                         asked.contains(chosen) && asked.contains(why) &&
                         asked.endsWith(QStringLiteral("Выбрать другой порт?")),
                     qPrintable(asked));
            QCOMPARE(d.executed, QStringList{QStringLiteral("TPortNumberDlg")});
            QCOMPARE(f.Link()->PortNumber, 2); // the dialog was cancelled
            QVERIFY(!StepsEnabled(f));
            QVERIFY(f.close());
        }
        QCOMPARE(opens.Opens(first.sim.SlavePath()), 0);
        QCOMPARE(first.sim.Requests(), 0);
        QCOMPARE(second.sim.Requests(), 0);
        QCOMPARE(TIniFile(TMIniFile::DefaultFileName())
                     .ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), -1),
                 2);
    }

    void versionMismatchSendsNoBlock() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Version = 2;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 1, Memory(1));
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        QCOMPARE(d.messages.last().kind, MessageKind::Error);
        QCOMPARE(d.messages.last().text,
                 QStringLiteral("Версия настроек не совпадает с версией устройства!\nВерсия "
                                "настроек: 1, версия МК: 2."));
        QVERIFY(d.executed.isEmpty());
        for (const QByteArray& frame : sim.Received())
            QCOMPARE(uint8_t(frame[4]), uint8_t(1));
        QVERIFY(StepsEnabled(*f));
    }

    void recordSizeOutsideItsRangeIsRefused() {
        ScriptedDialogs d;
        TSimDevice sim;
        auto f = Window(sim);
        Load(*f, d, 1, Memory(1));
        for (uint32_t size : {3u, 125u}) {
            f->MK()->Settings.Size = size;
            QTest::mouseClick(f->bSetParams, Qt::LeftButton);
            QCOMPARE(d.messages.last().kind, MessageKind::Error);
            QVERIFY(d.messages.last().text.contains(QString::number(size)));
        }
        QCOMPARE(sim.Requests(), 0);
    }

    // A device that never answers is asked again and again, silently, until
    // Cancel; Cancel ends the read at once with nothing changed. (Every other
    // fault while connecting: test_transfer_guarantees.)
    void cancelWhileConnectingChangesNothing() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Silent = true;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 5, Memory(4));
        f->MK()->Settings.TOTime = 1234; // an edit not yet in the image
        const Held before(*f);
        // Cancel once the device has been asked more often than the link's
        // own three attempts: the read keeps asking.
        int requestsBeforeCancel = 0;
        QString label;
        QElapsedTimer waited;
        waited.start();
        TCancelClick cancel(
            [&] {
                requestsBeforeCancel = sim.Requests();
                return requestsBeforeCancel > TSerialLink::kAttempts || waited.elapsed() >= 10000;
            },
            [&](TProgressForm& p) { label = p.ProgressLabel->text(); });
        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        QVERIFY(cancel.Clicked());
        // Bound only; the figure itself is measured by the benchmark.
        QVERIFY2(cancel.SinceClick() < 1000, qPrintable(QString::number(cancel.SinceClick())));
        QCOMPARE(label, QStringLiteral("Не могу подключиться к МК..."));
        QVERIFY2(requestsBeforeCancel > TSerialLink::kAttempts,
                 qPrintable(QString::number(requestsBeforeCancel)));
        QVERIFY(d.messages.isEmpty());
        QVERIFY(Held(*f) == before);
        QVERIFY(StepsEnabled(*f));
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(!f->Busy());
    }

    // A port that will not open: one error box, in the window's language,
    // naming the path and why; the transfer ends as a Cancel would.
    void portThatWillNotOpenEndsTheTransfer() {
        ScriptedDialogs d;
        TMainForm f;
        const QString path = dir.filePath(QStringLiteral("gone/ttyUSB0"));
        f.DemoDevicePath = path;
        f.show();
        Load(f, d, 5, Memory(4));
        const Held before(f);
        QTest::mouseClick(f.bGetParams, Qt::LeftButton);
        SetWindowLanguage(true);
        QTest::mouseClick(f.bSetParams, Qt::LeftButton);
        SetWindowLanguage(false);
        QCOMPARE(d.messages.size(), 2);
        const QString reason =
            QStringLiteral(" (%1).").arg(QString::fromLocal8Bit(std::strerror(ENOENT)));
        QCOMPARE(d.messages[0].kind, MessageKind::Question);
        QCOMPARE(d.messages[0].text, QStringLiteral("Выбранный порт COM1 не может быть "
                                                    "использован:\nПорт %1 не существует")
                                             .arg(path) +
                                         reason + QStringLiteral("\n\nВыбрать другой порт?"));
        QCOMPARE(d.messages[1].kind, MessageKind::Question);
        QCOMPARE(d.messages[1].text,
                 QStringLiteral("The chosen port COM1 cannot be used:\nThe port %1 does not exist")
                         .arg(path) +
                     reason + QStringLiteral("\n\nChoose another port?"));
        // No was the answer: no port dialog.
        QVERIFY(d.executed.isEmpty());
        QVERIFY(Held(f) == before);
        QVERIFY(StepsEnabled(f));
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(!f.Busy());
    }

    // No port at all, or the chosen one gone with none left: the transfer
    // ends at once instead of asking a closed line until Cancel. The chosen
    // one is named and kept; without a choice there is only the link's word.
    void noPortEndsTheTransferAtOnce_data() {
        QTest::addColumn<QByteArray>("choice");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("question");
        QTest::newRow("chosen port gone")
            << QByteArray("Port=1\r\n") << QStringLiteral("Выбранный порт COM1 не может быть")
            << true;
        QTest::newRow("no choice") << QByteArray() << QString::fromLatin1(kNoFreePortText) << false;
    }
    void noPortEndsTheTransferAtOnce() {
        QFETCH(QByteArray, choice);
        QFETCH(QString, said);
        QFETCH(bool, question);
        const MessageKind kind = question ? MessageKind::Question : MessageKind::Error;
        WriteIni("[RS232]\r\n" + choice +
                 "COM1=" + QFile::encodeName(dir.filePath(QStringLiteral("none"))) + "\r\n");
        ScriptedDialogs d;
        {
            TMainForm f;
            f.show();
            Load(f, d, 5, Memory(4));
            const Held before(f);
            const qsizetype shown = d.messages.size();
            // Were a transfer to ask a closed line, these end it.
            bool asked = false;
            for (QPushButton* step : {f.bGetParams, f.bSetParams}) {
                TCancelClick guard(TCancelClick::After(2000));
                QTest::mouseClick(step, Qt::LeftButton);
                asked = asked || guard.Clicked();
            }
            QVERIFY(!asked);
            QCOMPARE(d.messages.size(), shown + 2);
            for (qsizetype i = shown; i < d.messages.size(); ++i) {
                QCOMPARE(d.messages[i].kind, kind);
                QVERIFY2(d.messages[i].text.startsWith(said), qPrintable(d.messages[i].text));
            }
            QVERIFY(Held(f) == before);
            QVERIFY(StepsEnabled(f));
            QVERIFY(!TProgressObserver::Current());
            QVERIFY(!f.Busy());
            QVERIFY(f.close());
        }
        // The choice outlives a start without its port.
        QCOMPARE(TIniFile(TMIniFile::DefaultFileName())
                     .ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), -1),
                 choice.isEmpty() ? 0 : 1);
    }

    void windowRefusesCommandsDuringATransfer() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Silent = true;
        TSimDevice sim(o);
        auto f = Window(sim);
        // Noted while the read runs, asserted once Cancel has ended it.
        bool anyEnabled = true, closed = true, visible = false, cancelShown = false,
             gaugeShown = true;
        QString label;
        TCancelClick cancel(TCancelClick::After(300), [&](TProgressForm& p) {
            anyEnabled = f->bRS232->isEnabled() || f->bGetParams->isEnabled() ||
                         f->bLoadParams->isEnabled() || f->cbEnglishVersion->isEnabled();
            closed = f->close();
            visible = f->isVisible();
            cancelShown = p.BitBtn1->isVisible();
            gaugeShown = p.ProgressGauge->isVisible();
            label = p.ProgressLabel->text();
        });
        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        QVERIFY(cancel.Clicked());
        QVERIFY(!anyEnabled);
        QVERIFY(!closed);
        QVERIFY(visible);
        QVERIFY(cancelShown && !gaugeShown);
        QCOMPARE(label, QStringLiteral("Не могу подключиться к МК..."));
        QVERIFY(f->bGetParams->isEnabled() && f->cbEnglishVersion->isEnabled());
        QVERIFY(StepsDisabled(*f));
    }

    void readFailingAfterTenBlocksKeepsWhatWasHeld() {
        ScriptedDialogs d;
        TSimOptions o;
        o.StopAfterBlock = 9;
        o.Version = 99;
        TSimDevice sim(o);
        auto f = Window(sim);
        Load(*f, d, 5, Memory(4));
        f->MK()->Settings.TOTime = 1234; // an edit not yet in the image
        f->Modified = true;
        const Held before(*f);
        d.answers.enqueue(7); // no save first
        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages.last().kind, MessageKind::Error);
        QCOMPARE(d.messages.last().text,
                 QStringLiteral("RS232. No link. Check PC-device connection."));
        QVERIFY(StepsEnabled(*f)); // nothing changed: the loaded settings stay usable
        QVERIFY(Held(*f) == before);
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(!f->Busy());
    }

    void writeFailingInItsBlocksGoesToTheGeneralHandler() {
        ScriptedDialogs d;
        TSimOptions o;
        o.HangUpAfter = 2; // the version and the first block
        TSimDevice sim(o);
        auto f = Window(sim);
        f->Safety = {false, false, false}; // the hang-up counts the plain write's requests
        Load(*f, d, 1, Memory(2));
        f->MK()->Settings.TOTime = 1234;
        const Held before(*f);
        SetWindowLanguage(true);
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        SetWindowLanguage(false);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages.last().kind, MessageKind::Exception);
        QCOMPARE(d.messages.last().text,
                 QStringLiteral("RS232. No link. Check PC-device connection.\nThe trip computer "
                                "may now hold partly written settings: write them again."));
        QVERIFY2(f->lStateStatus->text().contains(
                     QStringLiteral("possibly partly written to the trip computer on COM1")),
                 qPrintable(f->lStateStatus->text()));
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(Held(*f) == before);
        QVERIFY(StepsEnabled(*f));
    }

    // A signal closes the window as its close box would; during a write it
    // first stops the write between blocks, which the window says.
    void signalClosesTheWindow() {
        ScriptedDialogs d;
        TSimOptions o;
        o.Memory = Memory(2);
        o.ReplyDelayMs = 300; // a block's wait to signal into
        TSimDevice sim(o);
        TSimBytePort* port = nullptr;
        auto f = Window(sim, &port);
        f->CloseOnStopSignals();
        f->Timings.readReplyMs = 2000;
        f->Safety = {false, false, false};
        Load(*f, d, 1, Memory(2));
        f->MK()->Settings.TOTime = 1234;
        f->Modified = true;

        // Outside a transfer: the question about the edits; Yes, then no
        // file, keeps the window, and the next signal counts as a first.
        d.answers.enqueue(6);
        ::raise(SIGHUP);
        QTRY_COMPARE(d.Count(MessageKind::Question), 1);
        QVERIFY(f->isVisible());
        QCOMPARE(CaughtStopSignal(), 0);

        // Into the first block's wait: the virtual clock passes it between two
        // looks of a timer, so the port raises it as the block goes out.
        bool raised = false;
        port->OnWrite = [&] {
            if (!raised && Commands(sim) == QLatin1String("1 4")) {
                raised = true;
                ::raise(SIGTERM);
            }
        };
        SetWindowLanguage(true);
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        SetWindowLanguage(false);
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages.last().kind, MessageKind::Exception);
        QCOMPARE(d.messages.last().text,
                 QStringLiteral("The write was stopped after 1 of 4 blocks.\nThe trip computer "
                                "may now hold partly written settings: write them again."));
        QCOMPARE(Commands(sim), QStringLiteral("1 4"));
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        // Then closed, after the question about the edits (No).
        QTRY_VERIFY(!f->isVisible());
        QCOMPARE(d.Count(MessageKind::Question), 2);
        QCOMPARE(CaughtStopSignal(), SIGTERM);
        ForgetStopSignal();
    }

    void iniFileAtStartAndClose() {
        const QString ini = TMIniFile::DefaultFileName();
        QFile::remove(ini);
        ScriptedDialogs d;
        {
            TMainForm f(NoDevices());
            f.show();
            QFile file(ini);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray(" \r\n"));
            QVERIFY(!f.cbEnglishVersion->isChecked());
            QTest::mouseClick(f.cbEnglishVersion, Qt::LeftButton);
            QVERIFY(f.close());
        }
        TIniFile written(ini);
        QCOMPARE(
            written.ReadInteger(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), -1), 1);
        QVERIFY(written.ValueExists(QStringLiteral("RS232"), QStringLiteral("Port")));
        QVERIFY(written.ValueExists(QStringLiteral("MainWindow"), QStringLiteral("Height")));

        // Started again: English, with the box ticked.
        TMainForm again(NoDevices());
        again.show();
        QVERIFY(WindowIsEnglish());
        QVERIFY(again.cbEnglishVersion->isChecked());
        QCOMPARE(again.bGetParams->text(), QStringLiteral("Read settings from the device"));
        again.close();
        TIniFile(ini).WriteString(QStringLiteral("Common"), QStringLiteral("EnglishVersion"),
                                  QStringLiteral("yes"));
        TMainForm third(NoDevices());
        third.show();
        QVERIFY(!WindowIsEnglish()); // not an integer: the default
        third.close();
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestTransfers t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_transfers.moc"
