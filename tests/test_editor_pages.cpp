#include "editor/mask_edit.h"
#include "editor/paint_box.h"
#include "editor/string_grid.h"
#include "editor_driver.h"
#include "scripted_dialogs.h"
#include "ui/application.h"

#include <QLabel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPoint CellCentre(TStringGrid* g, int column, int row) {
    return g->visualRect(g->model()->index(row, column)).center();
}

void ClickCell(TStringGrid* g, int column, int row) {
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, CellCentre(g, column, row));
}

QRgb Swatch(TStringGrid* g, int row) {
    return g->viewport()->grab().toImage().pixel(CellCentre(g, 1, row));
}

QStringList Column(TStringGrid* g, int column) {
    QStringList texts;
    for (int r = 0; r < g->rowCount(); ++r)
        texts << g->Cell(column, r);
    return texts;
}

QByteArray TankBytes(uint16_t oil6, uint16_t lit6, uint16_t oil43, uint16_t lit43) {
    QByteArray b;
    for (uint16_t v : {oil6, lit6, oil43, lit43})
        b += char(v & 0xFF), b += char(v >> 8);
    return b;
}

QByteArray ReadFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
}

const QString kRefused = QStringLiteral("Invalid input value.  Use escape key to abandon changes");

} // namespace

class TestEditorPages : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void editMaskTranslation_data() {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("qt");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("optional");
        QTest::newRow("time") << "!90:00;1;_"
                              << "09:99;_" << true << 1;
        QTest::newRow("phone") << "(999)000-0000;0;*"
                               << "(000)999-9999;*" << false << 3;
        QTest::newRow("letters, escapes") << ">LL\\0<>a_c"
                                          << ">AA\\0!n x;_" << true << 2;
    }
    void editMaskTranslation() {
        QFETCH(QString, mask);
        QFETCH(QString, qt);
        QFETCH(bool, keep);
        QFETCH(int, optional);
        const TEditMask m = TEditMask::Parse(mask);
        QCOMPARE(m.qtMask, qt);
        QCOMPARE(m.keepLiterals, keep);
        QCOMPARE(m.positions.count(TEditMask::Optional), optional);
    }

    void timeEntry() {
        ScriptedDialogs dialogs;
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsDisplay);
            TMaskEdit* day = dlg.meIntenseDayTime;
            QCOMPARE(day->displayText(), QStringLiteral("08:00"));
            QCOMPARE(dlg.meIntenseNightTime->Text(), QStringLiteral("20:00"));
            Type(day, "2570");
            QCOMPARE(mk.Settings.IntenseDayTime, int16_t(480));
            Tab(day);
            QCOMPARE(mk.Settings.IntenseDayTime, int16_t(1570));

            // A required digit left blank: refused, the focus stays, nothing stored.
            Type(day, "8:3");
            QCOMPARE(day->displayText(), QStringLiteral("8_:3_"));
            Tab(day);
            QVERIFY(day->hasFocus());
            QTRY_COMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.messages[0].kind, MessageKind::Exception);
            QCOMPARE(dialogs.messages[0].text, kRefused);
            QCOMPARE(mk.Settings.IntenseDayTime, int16_t(1570));
            // A click elsewhere neither takes the focus nor acts.
            ClickItem(dlg.rgIntenseMeth, 0);
            QVERIFY(day->hasFocus());
            QCOMPARE(mk.Settings.IntenseMeth, int8_t(1));
            QTRY_COMPARE(dialogs.messages.size(), 2);
            QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
            QVERIFY(dlg.isVisible());
            QTRY_COMPARE(dialogs.messages.size(), 3);
            // Escape abandons the entry; then leaving is allowed.
            QTest::keyClick(day, Qt::Key_Escape);
            QVERIFY(dlg.isVisible());
            QCOMPARE(day->displayText(), QStringLiteral("25:70"));
            Tab(day);
            QVERIFY(!day->hasFocus());

            // Choosing another page refuses too, and brings this page back:
            // the focus is never in a control the user cannot see.
            Type(day, "1");
            QTabBar* tabs = dlg.PageControl->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {},
                              tabs->tabRect(dlg.PageControl->indexOf(dlg.tsTO)).center());
            QTRY_COMPARE(dialogs.messages.size(), 4);
            QCOMPARE(dialogs.messages.last().text, kRefused);
            QCOMPARE(dlg.PageControl->currentWidget(), dlg.tsDisplay);
            QVERIFY(day->isVisible());
            QVERIFY(day->hasFocus());
            QTest::keyClick(day, Qt::Key_Escape);
        }));
        QCOMPARE(Packed(mk).IntenseDayTime, int16_t(1570));
        QCOMPARE(dialogs.messages.size(), 4);

        // Shown wrapped at 24 hours; a blank first hour digit is allowed.
        dialogs.messages.clear();
        QVERIFY(Edit(
            mk,
            [&](TMK_SetParamsDlg& dlg) {
                TMaskEdit* day = dlg.meIntenseDayTime;
                QCOMPARE(day->displayText(), QStringLiteral("02:10"));
                Page(dlg, dlg.tsDisplay);
                // Focus the program put there is no entering: leaving stores
                // nothing.
                day->setFocus(Qt::OtherFocusReason);
                Tab(day);
                QCOMPARE(mk.Settings.IntenseDayTime, int16_t(1570));
                day->setFocus(Qt::MouseFocusReason);
                day->setCursorPosition(0);
                QTest::keyClick(day, Qt::Key_Space);
                QCOMPARE(day->Text(), QStringLiteral(" 2:10"));
                Tab(day);
                QCOMPARE(mk.Settings.IntenseDayTime, int16_t(130));
                // Enter with an incomplete entry keeps the dialog open.
                Type(day, "1");
                QTest::keyClick(day, Qt::Key_Return);
                QVERIFY(dlg.isVisible());
                QTRY_COMPARE(dialogs.messages.size(), 1);
                QTest::keyClick(day, Qt::Key_Escape);
                QCOMPARE(day->Text(), QStringLiteral(" 2:10"));
                QTest::keyClick(day, Qt::Key_Return);
            },
            nullptr));
        QCOMPARE(Packed(mk).IntenseDayTime, int16_t(130));
    }

    // Texts the mask would never let through: not a number, no colon third.
    void timeTextsBeyondTheMask() {
        ScriptedDialogs dialogs;
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsDisplay);
            TMaskEdit* night = dlg.meIntenseNightTime;
            night->SetEditMask(QString());
            Type(night, "ab:30");
            Tab(night);
            QCOMPARE(dialogs.Count(MessageKind::Exception), 1);
            QCOMPARE(dialogs.messages[0].text, QStringLiteral("'ab' is not a valid integer value"));
            QCOMPARE(mk.Settings.IntenseNightTime, int16_t(1200));
            Type(night, "8.30");
            Tab(night);
            QCOMPARE(mk.Settings.IntenseNightTime, int16_t(0));
        }));
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.meIntenseNightTime->displayText(), QStringLiteral("00:00"));
        }));
    }

    void coloursAndPreview() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsDisplay);
            TStringGrid* g = dlg.sgDigit;
            QCOMPARE(Column(g, 0), QStringList({"Цвет 1", "Фон 1", "Цвет 2", "Фон 2"}));
            QStringList paletteRows;
            for (int i = 0; i < 16; ++i)
                paletteRows << QStringLiteral("Цвет #") + QString::number(i);
            QCOMPARE(Column(dlg.sgPalette, 0), paletteRows);
            QCOMPARE(g->Row(), 0);
            QCOMPARE(dlg.lDigit->text(), QStringLiteral("Цвет 1"));
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("10"));
            QCOMPARE(Swatch(dlg.sgPalette, 13), qRgb(255, 178, 0));
            QCOMPARE(Swatch(g, 3), qRgb(0, 0, 206));
            QImage preview = dlg.pbDisp->grab().toImage();
            QCOMPARE(preview.size(), QSize(128, 128));
            QCOMPARE(preview.pixel(127, 50), qRgb(0, 0, 206));

            // A press on the first column selects the row.
            ClickCell(g, 0, 3);
            QCOMPARE(g->Row(), 3);
            QCOMPARE(dlg.lDigit->text(), QStringLiteral("Фон 2"));
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("4"));
            // Every change is stored at once and repaints.
            Type(dlg.seDigit, "1");
            QCOMPARE(mk.Settings.DigitBack2, uint8_t(1));
            QTest::keyClicks(dlg.seDigit, "2");
            QCOMPARE(mk.Settings.DigitBack2, uint8_t(12));
            QCOMPARE(Swatch(g, 3), qRgb(0, 0, 255));
            preview = dlg.pbDisp->grab().toImage();
            QCOMPARE(preview.pixel(127, 50), qRgb(0, 0, 255));
            QCOMPARE(preview.pixel(127, 110), qRgb(0, 0, 255));
            QCOMPARE(preview.pixel(0, 0), qRgb(0, 0, 0));

            // Beyond the palette: not stored until leaving limits it.
            Type(dlg.seDigit, "20");
            QCOMPARE(mk.Settings.DigitBack2, uint8_t(2));
            Tab(dlg.seDigit);
            QCOMPARE(mk.Settings.DigitBack2, uint8_t(15));

            // By keyboard.
            g->setFocus(Qt::TabFocusReason);
            QTest::keyClick(g, Qt::Key_Up);
            QCOMPARE(dlg.lDigit->text(), QStringLiteral("Цвет 2"));
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("11"));
            ClickCell(dlg.sgPalette, 0, 5);
            QCOMPARE(dlg.sgPalette->Row(), 5);
            QCOMPARE(mk.Settings.DigitColor2, uint8_t(11));
        }));
        QCOMPARE(Packed(mk).DigitBack2, uint8_t(15));
    }

    // A colour byte beyond the palette: the edit, the swatch and the preview
    // all show its low four bits; showing it stores nothing.
    void colourBeyondThePaletteIsKept() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.DigitColor1 = 20;  // palette 4, dark blue
        r.DigitBack2 = 0xFF; // palette 15, white
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsDisplay);
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("4"));
            // A text that is no number stores no colour, nor does Escape,
            // which brings back the one shown.
            dlg.seDigit->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(dlg.seDigit, Qt::Key_End);
            QTest::keyClicks(dlg.seDigit, ",");
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("4,"));
            QTest::keyClick(dlg.seDigit, Qt::Key_Escape);
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("4"));
            QVERIFY(dlg.isVisible());
            QCOMPARE(mk.Settings.DigitColor1, uint8_t(20));
            QCOMPARE(Swatch(dlg.sgDigit, 0), qRgb(0, 0, 206));
            const QImage preview = dlg.pbDisp->grab().toImage();
            ClickCell(dlg.sgDigit, 1, 3);
            QCOMPARE(dlg.seDigit->text(), QStringLiteral("15"));
            QCOMPARE(Swatch(dlg.sgDigit, 3), qRgb(255, 255, 255));
            QCOMPARE(preview.pixel(127, 50), qRgb(255, 255, 255));
            Tab(dlg.seDigit);
            ClickCell(dlg.sgDigit, 1, 0);
        }));
        QCOMPARE(Packed(mk).DigitColor1, uint8_t(20));
        QCOMPARE(Packed(mk).DigitBack2, uint8_t(0xFF));
    }

    void averages() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        ScriptedDialogs dialogs;
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.TripTime = 3600;
        r.TripPath = 12345;
        r.TripFuel = 987;
        r.ResetTime = 3725;
        LoadImage(mk, r);
        const QByteArray image = mk.Image;
        QVERIFY(!Edit(
            mk,
            [&](TMK_SetParamsDlg& dlg) {
                Page(dlg, dlg.tsAverages);
                QCOMPARE(Column(dlg.sgTripSum, 0),
                         QStringList({"Время", "Пробег, км", "Расход, л", "Ср.скорость, км/час",
                                      "Ср.расход, л/100", "Ср.расход, л/час"}));
                QCOMPARE(Column(dlg.sgTripSum, 1),
                         QStringList({"1:00", "12,345", "0,987", "12,3", "8,0", "1,0"}));
                QCOMPARE(Column(dlg.sgResetSum, 1),
                         QStringList({"1:02", "0,000", "0,000", "0,0", "-----", "0,0"}));
                QTest::mouseDClick(dlg.sgTripSum->viewport(), Qt::LeftButton, {},
                                   CellCentre(dlg.sgTripSum, 0, 2));
                QCOMPARE(Column(dlg.sgTripSum, 1),
                         QStringList({"0:00", "0,000", "0,000", "-----", "-----", "-----"}));
                const TSettingsRecord& s = mk.Settings;
                QCOMPARE(s.TripTime + s.TripPath + s.TripFuel, 0u);
                QCOMPARE(s.ResetTime, 3725u);
                QTest::mouseDClick(dlg.sgResetSum->viewport(), Qt::LeftButton, {},
                                   CellCentre(dlg.sgResetSum, 1, 0));
                QCOMPARE(s.ResetTime, 0u);
            },
            "CancelBtn"));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(mk.Image, image);
        QCOMPARE(Bytes(mk.Settings), Bytes(r));

        r.ResetTime = 90000; // hours are not limited to 24
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.sgResetSum->Cell(1, 0), QStringLiteral("25:00"));
        }));
    }

    void tankFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("fields"); // Oil6L, Lit6L, Oil43L, Lit43L
        const QByteArray all = TankBytes(515, 40, 1029, 45);
        QTest::newRow("8 bytes") << all << QList<int>{515, 40, 1029, 45};
        QTest::newRow("5 bytes: low byte of Oil43L") << all.left(5) << QList<int>{515, 40, 5, 50};
        QTest::newRow("4 bytes: point 1") << all.left(4) << QList<int>{515, 40, 100, 50};
        QTest::newRow("empty") << QByteArray() << QList<int>{12, 6, 100, 50};
        QTest::newRow("longer") << all + "tail" << QList<int>{515, 40, 1029, 45};
    }
    // Loaded, shown, then undone by Cancel.
    void tankFiles() {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, fields);
        const QString name = dir.filePath(QStringLiteral("load.tarvo"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(file);
        f.close();
        ScriptedDialogs dialogs;
        dialogs.openNames.enqueue(name);
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        const QByteArray image = mk.Image;
        QVERIFY(!Edit(
            mk,
            [&](TMK_SetParamsDlg& dlg) {
                Page(dlg, dlg.tsTank);
                QTest::mouseClick(dlg.bOilLoad, Qt::LeftButton);
                QVERIFY(dialogs.messages.isEmpty());
                const TSettingsRecord& s = mk.Settings;
                QCOMPARE(QList<int>({s.Oil6L, s.Lit6L, s.Oil43L, s.Lit43L}), fields);
                QCOMPARE(QList<QString>({dlg.seOil6L->text(), dlg.seLit6L->text(),
                                         dlg.seOil43L->text(), dlg.seLit43L->text()}),
                         QList<QString>({QString::number(fields[0]), QString::number(fields[1]),
                                         QString::number(fields[2]), QString::number(fields[3])}));
            },
            "CancelBtn"));
        QCOMPARE(dialogs.fileDialogs.size(), 1);
        QCOMPARE(dialogs.fileDialogs[0].filter, QStringLiteral("Файлы настроек бака (*.tarvo)"));
        QCOMPARE(dialogs.fileDialogs[0].defaultSuffix, QStringLiteral("tarvo"));
        QCOMPARE(dialogs.fileDialogs[0].directory, QCoreApplication::applicationDirPath());
        QCOMPARE(mk.Image, image);
        QCOMPARE(Bytes(mk.Settings), Bytes(TSettingsRecord::Defaults()));
    }

    void litresAboveTheTankAreKeptUntilLeaving() {
        const QString name = dir.filePath(QStringLiteral("big.tarvo"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(TankBytes(20, 70, 200, 90));
        f.close();
        ScriptedDialogs dialogs;
        dialogs.openNames.enqueue(name);
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults()); // a 50-litre tank
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsTank);
            QTest::mouseClick(dlg.bOilLoad, Qt::LeftButton);
            QCOMPARE(dlg.seLit6L->text(), QStringLiteral("50"));
            QCOMPARE(dlg.seLit43L->text(), QStringLiteral("50"));
            QCOMPARE(mk.Settings.Lit6L, uint16_t(70));
            dlg.seLit43L->setFocus(Qt::MouseFocusReason);
            Tab(dlg.seLit43L);
            QCOMPARE(mk.Settings.Lit43L, uint16_t(50));
        }));
        QCOMPARE(Packed(mk).Lit6L, uint16_t(70));
        QCOMPARE(Packed(mk).Lit43L, uint16_t(50));
    }

    void tankFileSaveAndFailures() {
        ScriptedDialogs dialogs;
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        const QString saved = dir.filePath(QStringLiteral("saved.tarvo"));
        dialogs.openNames << dir.filePath(QStringLiteral("missing.tarvo")) << QString();
        dialogs.saveNames << dir.filePath(QStringLiteral("no/folder/x.tarvo")) << saved;
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsTank);
            // The button takes the focus: the typed value is stored first.
            Type(dlg.seOil6L, "777");
            QTest::mouseClick(dlg.bOilLoad, Qt::LeftButton);
            QCOMPARE(dialogs.Count(MessageKind::Error), 1);
            QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("missing.tarvo")));
            QCOMPARE(mk.Settings.Oil6L, uint16_t(777));
            QCOMPARE(dlg.seOil6L->text(), QStringLiteral("777"));
            QTest::mouseClick(dlg.bOilLoad, Qt::LeftButton); // cancelled
            const TSettingsRecord before = mk.Settings;

            QTest::mouseClick(dlg.bOilSave, Qt::LeftButton);
            QCOMPARE(dialogs.Count(MessageKind::Exception), 1);
            QVERIFY(mk.Settings == before);
            Type(dlg.seOil43L, "1999");
            QTest::mouseClick(dlg.bOilSave, Qt::LeftButton);
            QCOMPARE(dialogs.messages.size(), 2);
        }));
        QCOMPARE(ReadFile(dir.filePath(QStringLiteral("saved.tarvo"))),
                 TankBytes(777, 6, 1999, 50));
        QCOMPARE(dialogs.fileDialogs.size(), 4);
        QCOMPARE(dialogs.fileDialogs[2].filter, QStringLiteral("Файлы настроек бака (*.tarvo)"));
    }

    void voiceTankAndBrightnessControls() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Flags = 0xFFFFFFFFu;
        r.AlarmBeep = 2;
        r.TankContFull = 60;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsVoice);
            QCOMPARE(dlg.rgAlarmBeep->ItemIndex(), 2);
            QCOMPARE(dlg.rgAlarmVelType->ItemIndex(), 1);
            ClickItem(dlg.rgAlarmVelType, 0);
            QCOMPARE(mk.Settings.Flags, 0xFFFFFFF7u);
            ClickItem(dlg.rgAlarmBeep, 1);
            QCOMPARE(mk.Settings.AlarmBeep, int8_t(1));

            Page(dlg, dlg.tsTank);
            QCOMPARE(dlg.seTankContFull->MinValue(), 16.0);
            QCOMPARE(dlg.seTankContFull->MaxValue(), 99.0);
            QCOMPARE(dlg.seLit6L->MaxValue(), 60.0);
            Type(dlg.seTankContFull, "120");
            Tab(dlg.seTankContFull);
            QCOMPARE(mk.Settings.TankContFull, int8_t(99));

            Page(dlg, dlg.tsDisplay);
            QCOMPARE(dlg.rgIntenseMeth->ItemIndex(), 1);
            ClickItem(dlg.rgIntenseMeth, 0);
            QCOMPARE(mk.Settings.IntenseMeth, int8_t(0));
            Type(dlg.seIntense1, "7");
            Tab(dlg.seIntense1);
            QCOMPARE(mk.Settings.Intense1, int8_t(4));
        }));
        const TSettingsRecord p = Packed(mk);
        QCOMPARE(p.Flags, 0xFFFFFFF7u);
        QCOMPARE(p.AlarmBeep, int8_t(1));
        QCOMPARE(p.TankContFull, int8_t(99));
        QCOMPARE(p.IntenseMeth, int8_t(0));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestEditorPages t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_editor_pages.moc"
