#include "editor/mask_edit.h"
#include "editor/string_grid.h"
#include "editor_driver.h"
#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/settings_file.h"
#include "scripted_dialogs.h"
#include "shell/main_form.h"
#include "support/errors.h"
#include "ui/application.h"

#include <QLabel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

class TestEditor : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void layoutAndControls() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        Edit(mk, [](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.objectName(), QStringLiteral("TMK_SetParamsDlg"));
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Настройки МК"));
            QCOMPARE(dlg.size(), QSize(1021, 599));
            QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
            QCOMPARE(dlg.PageControl->geometry(), QRect(0, 0, 1021, 561));
            QStringList pages;
            for (int i = 0; i < dlg.PageControl->count(); ++i)
                pages << dlg.PageControl->tabText(i);
            QCOMPARE(pages, QStringList({"Поправки", "Источники", "Границы", "Дисплей",
                                         "Озвуч.сообщения", "Средние", "Бак", "ТО"}));
            QCOMPARE(dlg.PageControl->currentWidget(), dlg.tsCorr);
            QVERIFY(dlg.OKBtn->isDefault());
            QCOMPARE(dlg.OKBtn->text(), QStringLiteral("OK"));

            struct Row {
                const char* name;
                const char* label;
                int decimals;
                double min, max, step;
            };
            const Row rows[] = {
                {"seAccCorr", "Напряжение АКБ, В", 1, -0.7, 0.7, 0.1},
                {"seTimeCorr", "Время (секунд в сутки)", 0, -30, 30, 1},
                {"seVelocityCorr", "Скорость, %", 1, -99, 999.9, 1},
                {"seExpenseCorr", "Расхода топлива, %", 1, -99, 999.9, 1},
                {"seLiqTemperLimit", "ТОЖ, С", 0, 80, 120, 1},
                {"seRevolutionsLimit", "Обороты двиг., об/мин * 100", 0, 25, 80, 1},
                {"seVelocityLimit", "Скорость, км/час", 0, 20, 200, 2},
                {"seTankLimit", "Остаток бака, л", 0, 0, 50, 2}, // TankContFull
                {"seUaccLowLimit", "Низкое напряжение АКБ, В", 1, 9, 13.9, 2},
                {"seUaccHighLimit", "Высокое напряжение АКБ, В", 1, 14, 16, 2},
                {"seVentTempLimit", "Т вкл. вентилятора, С", 0, 80, 115, 1},
                {"seAKPPOilTemperLimit", "Т масла КПП, С", 0, 80, 150, 1},
                {"seTOPath", "Осталось до ТО, тыс.км", 1, 0, 99.9, 1},
                {"seTOTime", "Осталось до ТО, часов", 0, 0, 9999, 1},
            };
            for (const Row& r : rows) {
                auto* e = dlg.findChild<TSpinEdit*>(QString::fromLatin1(r.name));
                QVERIFY2(e, r.name);
                QCOMPARE(e->Decimals(), r.decimals);
                QCOMPARE(e->MinValue(), r.min);
                QCOMPARE(e->MaxValue(), r.max);
                QCOMPARE(e->Increment(), r.step);
                QCOMPARE(e->TypingEnabled(), std::strcmp(r.name, "seVelocityLimit") != 0);
                auto* l = dlg.findChild<QLabel*>(QStringLiteral("l") + (r.name + 2));
                QVERIFY2(l && l->buddy() == e, r.name);
                QCOMPARE(l->text(), QString::fromUtf8(r.label));
            }
            QCOMPARE(dlg.rgLockType->title(), QStringLiteral("Замок зажигания"));
            QCOMPARE(dlg.rgLockLevel->title(), QStringLiteral("Уровень виртуального замка"));
            QCOMPARE(dlg.rgVentChan->Button(2)->text(), QStringLiteral("1+2"));
            QCOMPARE(dlg.rgToTOMeth->Button(1)->text(), QStringLiteral("КМ "));
            QCOMPARE(dlg.lTempOilAKPPMeth->text(), QStringLiteral("Т масла КПП"));
            QCOMPARE(Items(dlg.cbTempOilAKPPMeth), QStringList({"НЕТ", "JAT", "2180", "CVT18"}));
            QCOMPARE(dlg.cbProtocol->count(), 19);
            QCOMPARE(dlg.cbProtocol->itemText(18), QStringLiteral("86L"));
            QVERIFY(dlg.findChild<TRadioGroup*>("rgToTOMeth"));
            QVERIFY(dlg.findChild<QComboBox*>("cbTankMeth"));
        });
    }

    // OK with nothing touched: only the protocol's refresh shows in the image.
    void okWithoutChangesPacksTheRecord() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Protocol = 1; // "M74.8/9": fan channels "3" and "4"
        r.VentChan = 1;
        r.TOTime = 5399;        // shown as 1 h, kept when not passed through
        r.LiqTemperLimit = 20;  // below the edit's range, kept likewise
        r.Flags = 0xFFFFFFF7u;  // bits the editor does not know stay
        r.Reserved48[3] = 0x77; // so do reserved bytes
        LoadImage(mk, r);
        const QByteArray tail = mk.Image.mid(124);
        QVERIFY(Edit(mk, [](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.seTOTime->text(), QStringLiteral("1"));
            QCOMPARE(dlg.seLiqTemperLimit->text(), QStringLiteral("80"));
        }));
        r.LastProtocol = 1;
        r.VentChan = 3;
        QCOMPARE(mk.Image.left(124), Bytes(r));
        QCOMPARE(mk.Image.mid(124), tail);
        QCOMPARE(mk.Image.size(), 2048);
    }

    void changesAreStoredOnLeaving() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        TSettingsRecord expected = TSettingsRecord::Defaults();
        expected.LastProtocol = 0;
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            TSettingsRecord& s = mk.Settings;
            // Shown numbers use the locale's separator.
            QCOMPARE(dlg.seUaccLowLimit->text(), QStringLiteral("11,5"));
            QCOMPARE(dlg.seTOPath->text(), QStringLiteral("99,9"));
            QCOMPARE(dlg.seVelocityCorr->text(), QStringLiteral("0,0"));

            Type(dlg.seAccCorr, "0,5");
            QCOMPARE(s.AccCorr, int8_t(0)); // not before leaving
            Tab(dlg.seAccCorr);
            QCOMPARE(s.AccCorr, int8_t(5));
            expected.AccCorr = 5;

            // Typed beyond the range: kept as typed until leaving, then limited.
            Type(dlg.seTimeCorr, "45");
            QCOMPARE(dlg.seTimeCorr->text(), QStringLiteral("45"));
            Tab(dlg.seTimeCorr);
            QCOMPARE(dlg.seTimeCorr->text(), QStringLiteral("30"));
            QCOMPARE(s.TimeCorr, int8_t(30));
            expected.TimeCorr = 30;

            Type(dlg.seVelocityCorr, "5.4"); // "." is accepted as well
            Tab(dlg.seVelocityCorr);
            QCOMPARE(dlg.seVelocityCorr->text(), QStringLiteral("5,4"));
            QCOMPARE(s.VelocityCorr, float(5.4 / 100 + 1));
            expected.VelocityCorr = float(5.4 / 100 + 1);

            Page(dlg, dlg.tsLimits);
            Type(dlg.seUaccLowLimit, "13,9");
            Tab(dlg.seUaccLowLimit);
            expected.UaccLowLimit = 139;
            Type(dlg.seLiqTemperLimit, "200");
            Tab(dlg.seLiqTemperLimit);
            expected.LiqTemperLimit = 120;

            Page(dlg, dlg.tsTO);
            Type(dlg.seTOTime, "9999");
            Tab(dlg.seTOTime);
            expected.TOTime = 35996400;
            Type(dlg.seTOPath, "12,3");
            // The OK button takes the focus: the edit stores first.
        }));
        expected.TOPath = 12300000;
        QCOMPARE(mk.Image.left(124), Bytes(expected));
    }

    // Each edit that only stores its field reaches its own field, in its unit;
    // a control bound to a neighbour's field shows up as a second difference.
    void everyEditStoresItsOwnField() {
        using D = TMK_SetParamsDlg;
        struct Row {
            QWidget* D::*page;
            const char* edit;
            const char* typed; // nullptr: one step down with the arrow key
            std::function<void(TSettingsRecord&)> stored;
        };
        const Row rows[] = {
            {&D::tsCorr, "seAccCorr", "-0.3", [](auto& r) { r.AccCorr = -3; }},
            {&D::tsCorr, "seTimeCorr", "-7", [](auto& r) { r.TimeCorr = -7; }},
            {&D::tsLimits, "seLiqTemperLimit", "99", [](auto& r) { r.LiqTemperLimit = 99; }},
            {&D::tsLimits, "seRevolutionsLimit", "61", [](auto& r) { r.RevolutionsLimit = 61; }},
            {&D::tsLimits, "seUaccLowLimit", "12.1", [](auto& r) { r.UaccLowLimit = 121; }},
            {&D::tsLimits, "seUaccHighLimit", "14.7", [](auto& r) { r.UaccHighLimit = 147; }},
            {&D::tsLimits, "seVentTempLimit", "97", [](auto& r) { r.VentTempLimit = 97; }},
            {&D::tsLimits, "seVelocityLimit", nullptr, [](auto& r) { r.VelocityLimit = 198; }},
            {&D::tsLimits, "seTankLimit", "17", [](auto& r) { r.TankLimit = 17; }},
            {&D::tsLimits, "seAKPPOilTemperLimit", "133",
             [](auto& r) { r.AKPPOilTemperLimit = 133; }},
            {&D::tsTO, "seTOPath", "4.5", [](auto& r) { r.TOPath = 4500000; }},
            {&D::tsTO, "seTOTime", "3", [](auto& r) { r.TOTime = 10800; }},
            {&D::tsDisplay, "seIntense0", "2", [](auto& r) { r.Intense0 = 2; }},
            {&D::tsDisplay, "seIntense1", "3", [](auto& r) { r.Intense1 = 3; }},
            {&D::tsDisplay, "meIntenseDayTime", "0705", [](auto& r) { r.IntenseDayTime = 425; }},
            {&D::tsDisplay, "meIntenseNightTime", "2110",
             [](auto& r) { r.IntenseNightTime = 1270; }},
            {&D::tsTank, "seTankContFull", "60", [](auto& r) { r.TankContFull = 60; }},
            {&D::tsTank, "seLit6L", "7", [](auto& r) { r.Lit6L = 7; }},
            {&D::tsTank, "seOil6L", "13", [](auto& r) { r.Oil6L = 13; }},
            {&D::tsTank, "seLit43L", "44", [](auto& r) { r.Lit43L = 44; }},
            {&D::tsTank, "seOil43L", "101", [](auto& r) { r.Oil43L = 101; }},
        };
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        TSettingsRecord expected = TSettingsRecord::Defaults();
        expected.LastProtocol = 0;
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            for (const Row& r : rows) {
                auto* e = dlg.findChild<QWidget*>(QString::fromLatin1(r.edit));
                QVERIFY2(e, r.edit);
                Page(dlg, dlg.*r.page);
                if (r.typed) {
                    Type(e, QString::fromLatin1(r.typed));
                } else {
                    e->setFocus(Qt::MouseFocusReason);
                    QTest::keyClick(e, Qt::Key_Down);
                }
                Tab(e);
                r.stored(expected);
                QVERIFY2(Bytes(mk.Settings) == Bytes(expected), r.edit);
            }
        }));
    }

    // Every field the editor edits, through its control, stores what
    // `tripconf-cli set` stores for the same text: within the limits, at them
    // and beyond them (the editor shows the nearest limit, set refuses), and
    // every item a choice offers (set refuses those the editor does not).
    void everyFieldStoresAsTheCommandLineDoes() {
        const TProtocolList protocols = CreateProtocolCatalogue();
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        int walked = 0, editable = 0;
        for (const EditField& f : EditFields())
            editable += f.kind != EditKind::Stored && f.kind != EditKind::Accumulator;
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            TSettingsRecord expected = mk.Settings; // as opened: its protocol applied
            QString step;
            auto same = [&] { return Bytes(mk.Settings) == Bytes(expected); };
            auto set = [&](const EditField& f, const QString& typed) {
                step = QString::fromLatin1(f.name) + QLatin1Char('=') + typed;
                try {
                    EditorStore(expected, f, typed, protocols);
                } catch (const std::exception& e) {
                    step += QStringLiteral(" refused: ") + ExceptionMessage(e);
                }
            };
            auto refused = [&](const EditField& f, const QString& typed) {
                TSettingsRecord r = expected;
                try {
                    EditorStore(r, f, typed, protocols);
                } catch (const TripError&) {
                    return true;
                }
                return false;
            };
            for (const EditField& f : EditFields()) {
                auto* control = dlg.findChild<QWidget*>(QString::fromLatin1(f.control));
                if (f.kind == EditKind::Stored || f.kind == EditKind::Accumulator)
                    continue;
                QVERIFY2(control, f.name);
                ++walked;
                for (QWidget* w = control; w; w = w->parentWidget())
                    if (dlg.PageControl->indexOf(w) >= 0)
                        Page(dlg, w);
                // A click on another edit of the page is the focus leaving.
                auto leave = [&] {
                    for (auto* other : control->parentWidget()->findChildren<TSpinEdit*>())
                        if (other != control && other->isVisible())
                            return QTest::mouseClick(other, Qt::LeftButton);
                };
                switch (f.kind) {
                case EditKind::Number:
                case EditKind::Correction:
                case EditKind::Colour: {
                    auto* edit = static_cast<TSpinEdit*>(control);
                    if (f.kind == EditKind::Colour)
                        dlg.sgDigit->SetRow(f.detail);
                    const EditLimits l = LimitsOf(f, mk.Settings);
                    const double unit = std::pow(10.0, -f.decimals);
                    if (!f.typing) {
                        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}) {
                            edit->setFocus(Qt::MouseFocusReason);
                            QTest::keyClick(edit, key);
                            Tab(edit);
                            set(f, edit->text());
                            QVERIFY2(same(), qPrintable(step));
                        }
                        QVERIFY(refused(f, FixedText(l.max - unit, f.decimals, ".")));
                        break;
                    }
                    const double middle = std::round((l.min + l.max) / 2 / unit) * unit;
                    for (double v : {l.min, middle, l.max}) {
                        const QString text = FixedText(v, f.decimals, ".");
                        Type(edit, text);
                        Tab(edit);
                        set(f, text);
                        QVERIFY2(same(), qPrintable(step));
                    }
                    for (double beyond : {l.min - unit, l.max + unit}) {
                        const QString text = FixedText(beyond, f.decimals, ".");
                        QVERIFY2(refused(f, text), qPrintable(text));
                        Type(edit, text);
                        Tab(edit);
                        set(f, edit->text());
                        QVERIFY2(same(), qPrintable(step));
                    }
                    break;
                }
                case EditKind::Time:
                    for (const char* typed : {"0705", "2359", "0000"}) {
                        Type(control, QString::fromLatin1(typed));
                        Tab(control);
                        set(f, static_cast<TMaskEdit*>(control)->Text());
                        QVERIFY2(same(), qPrintable(step));
                    }
                    QVERIFY(refused(f, QStringLiteral("24:00")));
                    break;
                case EditKind::Choice:
                case EditKind::Flag:
                case EditKind::Protocol: {
                    auto* group = qobject_cast<TRadioGroup*>(control);
                    auto* list = qobject_cast<QComboBox*>(control);
                    const int count = group ? group->Count() : list->count();
                    // Each item by its text, then by its number; the last item chosen
                    // is the first, so later fields see the record as opened.
                    QList<int> order;
                    for (int i = count - 1; i >= 0; --i)
                        order << i;
                    if (f.kind == EditKind::Protocol)
                        order = {6, 0};
                    for (int i : order) {
                        const QString text = group ? group->Button(i)->text() : list->itemText(i);
                        // A number that is another item's text means that item.
                        bool clash = false;
                        for (int j = 0; j < count; ++j)
                            clash |= (group ? group->Button(j)->text() : list->itemText(j)) ==
                                     QString::number(i);
                        const QString typed = i % 2 && !clash ? QString::number(i) : text;
                        const bool offered = control->isVisible() && control->isEnabled() &&
                                             (!group || group->ItemEnabled(i));
                        QVERIFY2(refused(f, typed) == !offered, qPrintable(typed));
                        if (!offered)
                            continue;
                        if (group)
                            ClickItem(group, i);
                        else
                            Choose(list, i);
                        leave();
                        set(f, typed);
                        QVERIFY2(same(), qPrintable(step));
                    }
                    break;
                }
                case EditKind::Accumulator:
                case EditKind::Stored:
                    break;
                }
            }
        }));
        QCOMPARE(walked, editable);
    }

    void typingDisabledEditChangesOnlyBySpinning() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsLimits);
            TSpinEdit* e = dlg.seVelocityLimit;
            Type(e, "7");
            QCOMPARE(e->text(), QStringLiteral("200"));
            QTest::keyClick(e, Qt::Key_Down);
            QTest::keyClick(e, Qt::Key_Down);
            QCOMPARE(e->text(), QStringLiteral("196"));
            QCOMPARE(mk.Settings.VelocityLimit, int16_t(200));
            Tab(e);
            QCOMPARE(mk.Settings.VelocityLimit, int16_t(196));
            // Spinning stops at the limit.
            Type(dlg.seRevolutionsLimit, "");
            QTest::keyClick(dlg.seRevolutionsLimit, Qt::Key_Up);
            QCOMPARE(dlg.seRevolutionsLimit->text(), QStringLiteral("80"));
        }));
        QCOMPARE(Packed(mk).VelocityLimit, int16_t(196));
    }

    void cancelRestoresEverything_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void cancelRestoresEverything() {
        QFETCH(QString, how);
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Protocol = 6;
        r.VentChan = 2;
        LoadImage(mk, r);
        const QByteArray image = mk.Image;
        const bool ok = mk.EditSettings([&](TMK& m) {
            TMK_SetParamsDlg dlg(m);
            return Show(
                       dlg,
                       [&](TMK_SetParamsDlg& d) {
                           Type(d.seAccCorr, "0.7");
                           Tab(d.seAccCorr);
                           Page(d, d.tsSources);
                           ClickItem(d.rgLockType, 0);
                           Choose(d.cbProtocol, 3);
                           Page(d, d.tsTO);
                           ClickItem(d.rgToTOMeth, 2);
                           Type(d.seTOTime, "12");
                           Tab(d.seTOTime);
                           QVERIFY(!(m.Settings == TSettingsRecord::FromBytes(r.ToBytes())));
                           if (how == "escape")
                               QTest::keyClick(&d, Qt::Key_Escape);
                           else if (how == "close")
                               d.close();
                       },
                       how == "cancel" ? "CancelBtn" : nullptr) == QDialog::Accepted;
        });
        QVERIFY(!ok);
        QCOMPARE(mk.Image, image);
        QCOMPARE(Bytes(mk.Settings), Bytes(r));
    }

    void roundingAtHalves_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");
        QTest::newRow("0.25 down to even") << "0.25"
                                           << "0.2" << 2;
        QTest::newRow("0.35 up to even") << "0.35"
                                         << "0.4" << 4;
        QTest::newRow("-0.25") << "-0.25"
                               << "-0.2" << -2;
        QTest::newRow("0.05") << "0.05"
                              << "0.0" << 0;
        QTest::newRow("above half") << "0.251"
                                    << "0.3" << 3;
        QTest::newRow("limited after rounding") << "0.75"
                                                << "0.7" << 7;
        // "," is a point too where the locale's is ".", shown as the locale's.
        QTest::newRow("comma, half to even") << "0,35"
                                             << "0.4" << 4;
        QTest::newRow("comma, negative") << "-0,3"
                                         << "-0.3" << -3;
    }
    void roundingAtHalves() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Type(dlg.seAccCorr, typed);
            Tab(dlg.seAccCorr);
            QCOMPARE(dlg.seAccCorr->text(), shown);
        }));
        QCOMPARE(Packed(mk).AccCorr, int8_t(stored));
    }

    // A text that is no number stays as typed and is refused on leaving, never
    // read as another number ("5,4" in an integer is not 54); Escape brings
    // back the value shown before.
    void textThatIsNoNumberIsRefused_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("comma in an integer") << "seTimeCorr"
                                             << "5,4"
                                             << "'5,4' is not a valid integer value";
        QTest::newRow("two points") << "seAccCorr"
                                    << "0,2.5"
                                    << "'0,2.5' is not a valid floating point value";
    }
    void textThatIsNoNumberIsRefused() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        ScriptedDialogs dialogs;
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.TimeCorr = -7;
        r.AccCorr = 3;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            auto* e = dlg.findChild<TSpinEdit*>(edit);
            const QString before = e->text();
            Type(e, typed);
            QCOMPARE(e->text(), typed);
            Tab(e);
            QVERIFY(e->hasFocus());
            QTRY_COMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.messages[0].kind, MessageKind::Exception);
            QCOMPARE(dialogs.messages[0].text, message);
            QCOMPARE(e->text(), typed);
            // Nor does Enter take it: the dialog stays.
            QTest::keyClick(e, Qt::Key_Return);
            QVERIFY(dlg.isVisible());
            QTRY_COMPARE(dialogs.messages.size(), 2);
            QCOMPARE(mk.Settings.TimeCorr, int8_t(-7));
            QCOMPARE(mk.Settings.AccCorr, int8_t(3));
            QTest::keyClick(e, Qt::Key_Escape);
            QVERIFY(dlg.isVisible());
            QCOMPARE(e->text(), before);
            Tab(e);
            QVERIFY(!e->hasFocus());
        }));
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(Packed(mk).TimeCorr, int8_t(-7));
        QCOMPARE(Packed(mk).AccCorr, int8_t(3));
    }

    // Passing through an edit stores what it shows, also when nothing was typed.
    void passingThroughStoresTheShownValue() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.TOTime = 5399;
        r.TOPath = 1250000;       // shown as 1.2: the half goes to the even tenth
        r.VelocityCorr = 1.0537f; // shown as 5.4
        r.TankContFull = 40;
        r.TankLimit = 60; // above the tank: shown as 40
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.seVelocityCorr->text(), QStringLiteral("5.4"));
            dlg.seVelocityCorr->setFocus(Qt::MouseFocusReason);
            Tab(dlg.seVelocityCorr);
            Page(dlg, dlg.tsLimits);
            QCOMPARE(dlg.seTankLimit->text(), QStringLiteral("40"));
            QCOMPARE(mk.Settings.TankLimit, int8_t(60));
            dlg.seTankLimit->setFocus(Qt::MouseFocusReason);
            Tab(dlg.seTankLimit);
            Page(dlg, dlg.tsTO);
            QCOMPARE(dlg.seTOPath->text(), QStringLiteral("1.2"));
            dlg.seTOPath->setFocus(Qt::MouseFocusReason);
            Tab(dlg.seTOPath);
            dlg.seTOTime->setFocus(Qt::MouseFocusReason);
        }));
        const TSettingsRecord p = Packed(mk);
        QCOMPARE(p.VelocityCorr, float(5.4 / 100 + 1));
        QCOMPARE(p.TankLimit, int8_t(40));
        QCOMPARE(p.TOPath, uint32_t(1200000));
        QCOMPARE(p.TOTime, uint32_t(3600));
    }

    // A page change moves the focus into the new page: no entering, so a
    // loaded value beyond an edit's range keeps its field until the user
    // enters the edit (a click, Tab, typing) and leaves it.
    void aPageChangeStoresNothing() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.AccCorr = 100;         // shown as 0.7
        r.LiqTemperLimit = 20;   // shown as 80
        r.RevolutionsLimit = 10; // shown as 25
        LoadImage(mk, r);
        const TSettingsRecord& s = mk.Settings;
        auto page = [](TMK_SetParamsDlg& dlg, QWidget* p) {
            QTabBar* tabs = dlg.PageControl->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {},
                              tabs->tabRect(dlg.PageControl->indexOf(p)).center());
            QCOMPARE(dlg.PageControl->currentWidget(), p);
        };
        QVERIFY(Edit(
            mk,
            [&](TMK_SetParamsDlg& dlg) {
                page(dlg, dlg.tsSources);
                ClickItem(dlg.rgLockType, dlg.rgLockType->ItemIndex());
                for (QWidget* p : {dlg.tsLimits, dlg.tsCorr, dlg.tsTO, dlg.tsCorr, dlg.tsLimits})
                    page(dlg, p);
                QVERIFY(dlg.seLiqTemperLimit->hasFocus());
                QCOMPARE(dlg.seLiqTemperLimit->text(), QStringLiteral("80"));
                QCOMPARE(s.AccCorr, int8_t(100));
                QCOMPARE(s.LiqTemperLimit, int8_t(20));
                // Enter closes with OK from an edit never entered: nothing stored.
                QTest::keyClick(dlg.seLiqTemperLimit, Qt::Key_Return);
            },
            nullptr));
        r.LastProtocol = 0;
        QCOMPARE(Bytes(Packed(mk)), Bytes(r));

        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            page(dlg, dlg.tsSources);
            ClickItem(dlg.rgLockType, dlg.rgLockType->ItemIndex());
            page(dlg, dlg.tsLimits);
            Tab(dlg.seLiqTemperLimit);
            QVERIFY(dlg.seRevolutionsLimit->hasFocus());
            QCOMPARE(s.LiqTemperLimit, int8_t(20));
            page(dlg, dlg.tsCorr);
            QCOMPARE(s.RevolutionsLimit, int8_t(25));
            QTest::mouseClick(dlg.seAccCorr, Qt::LeftButton);
            page(dlg, dlg.tsLimits);
            QCOMPARE(s.AccCorr, int8_t(7));
            // Typing where a page change put the focus enters the edit.
            QVERIFY(dlg.seRevolutionsLimit->hasFocus());
            QTest::keyClick(dlg.seRevolutionsLimit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(dlg.seRevolutionsLimit, "61");
            page(dlg, dlg.tsCorr);
            QCOMPARE(s.RevolutionsLimit, int8_t(61));
        }));
        QCOMPARE(Packed(mk).LiqTemperLimit, int8_t(20));
    }

    // A tank capacity of 0 leaves the reserve edit without limits, so a value
    // can exceed its byte: the general handler shows the error, nothing is stored.
    void valueBeyondTheFieldIsARangeError() {
        ScriptedDialogs dialogs;
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.TankContFull = 0;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsLimits);
            Type(dlg.seTankLimit, "300");
            Tab(dlg.seTankLimit);
            QCOMPARE(dialogs.Count(MessageKind::Exception), 1);
            QCOMPARE(dialogs.messages.last().text, QStringLiteral("Range check error"));
            QCOMPARE(mk.Settings.TankLimit, int8_t(10));
            Type(dlg.seTankLimit, "-128");
            Tab(dlg.seTankLimit);
            QCOMPARE(mk.Settings.TankLimit, int8_t(-128));
            Type(dlg.seTankLimit, "-129");
        }));
        QCOMPARE(dialogs.Count(MessageKind::Exception), 2);
        QCOMPARE(Packed(mk).TankLimit, int8_t(-128));
    }

    void serviceCounterStoredWhenFocusLeavesTheGroup() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsTO);
            QCOMPARE(dlg.rgToTOMeth->ItemIndex(), 0);
            ClickItem(dlg.rgToTOMeth, 2);
            QCOMPARE(dlg.rgToTOMeth->ItemIndex(), 2);
            QCOMPARE(mk.Settings.ToTOMeth, int8_t(0));
            // Moving between its own items is no leaving.
            dlg.rgToTOMeth->Button(1)->setFocus(Qt::TabFocusReason);
            QCOMPARE(mk.Settings.ToTOMeth, int8_t(0));
            QTest::mouseClick(dlg.seTOPath, Qt::LeftButton);
            QCOMPARE(mk.Settings.ToTOMeth, int8_t(2));
            ClickItem(dlg.rgToTOMeth, 1);
            QCOMPARE(mk.Settings.ToTOMeth, int8_t(2));
        }));
        QCOMPARE(Packed(mk).ToTOMeth, int8_t(1)); // OK took the focus
    }

    // Enter closes with OK from inside an edit; the typed value is not lost.
    void enterInAnEditKeepsTheValue() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QVERIFY(Edit(
            mk,
            [&](TMK_SetParamsDlg& dlg) {
                Type(dlg.seTimeCorr, "-12");
                QTest::keyClick(dlg.seTimeCorr, Qt::Key_Return);
            },
            nullptr));
        QCOMPARE(Packed(mk).TimeCorr, int8_t(-12));
    }

    void protocolRefresh_data() {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("fanShown");
        QTest::addColumn<QList<bool>>("fanItems");
        QTest::addColumn<int>("preset");
        QTest::addColumn<bool>("gearbox");
        QTest::addColumn<int>("fuelMethods");
        const bool T = true, F = false;
        QTest::newRow("M74CAN") << 0 << T << QList<bool>{T, T, T, F, F} << 0 << T << 3;
        QTest::newRow("M74.8/9") << 1 << T << QList<bool>{F, F, F, T, T} << 3 << T << 3;
        QTest::newRow("IVECO") << 2 << F << QList<bool>{T, T, F, F, F} << 0 << F << 2;
        QTest::newRow("CAN") << 3 << F << QList<bool>{T, T, F, F, F} << 0 << F << 3;
        QTest::newRow("ЯНВАРЬ") << 6 << T << QList<bool>{T, T, T, T, F} << 0 << F << 2;
        QTest::newRow("74L") << 17 << T << QList<bool>{T, T, F, F, F} << 0 << T << 3;
    }
    void protocolRefresh() {
        QFETCH(int, protocol);
        QFETCH(bool, fanShown);
        QFETCH(QList<bool>, fanItems);
        QFETCH(int, preset);
        QFETCH(bool, gearbox);
        QFETCH(int, fuelMethods);
        auto check = [&](TMK_SetParamsDlg& dlg, TMK& mk) {
            QCOMPARE(dlg.cbProtocol->currentIndex(), protocol);
            QCOMPARE(mk.CurrentProtocol, mk.ProtocolList[size_t(protocol)].get());
            QCOMPARE(!dlg.rgVentChan->isHidden(), fanShown);
            QCOMPARE(EnabledItems(dlg.rgVentChan), fanItems);
            QCOMPARE(dlg.rgVentChan->ItemIndex(), preset);
            QCOMPARE(mk.Settings.VentChan, int8_t(preset));
            QCOMPARE(!dlg.cbTempOilAKPPMeth->isHidden(), gearbox);
            QCOMPARE(!dlg.lTempOilAKPPMeth->isHidden(), gearbox);
            QCOMPARE(dlg.cbTankMeth->count(), fuelMethods);
            QCOMPARE(mk.Settings.LastProtocol, uint8_t(protocol));
        };

        // On opening.
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Protocol = int8_t(protocol);
        r.VentChan = 4;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) { check(dlg, mk); }));
        QCOMPARE(Packed(mk).VentChan, int8_t(preset));

        // Chosen in the list, from another protocol.
        LoadImage(mk, TSettingsRecord::Defaults());
        mk.Settings.Protocol = protocol == 6 ? 13 : 6;
        mk.PackSettings();
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsSources);
            Choose(dlg.cbProtocol, protocol);
            QCOMPARE(mk.Settings.Protocol, int8_t(protocol));
            check(dlg, mk);
        }));
        QCOMPARE(Packed(mk).Protocol, int8_t(protocol));
    }

    void choosingTheSameProtocolStillResetsTheFanChannel() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Protocol = 6;
        r.TankMeth = 2; // "ДУТ ЭБУ", which "ЯНВАРЬ" does not offer
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsSources);
            ClickItem(dlg.rgVentChan, 3);
            QCOMPARE(mk.Settings.VentChan, int8_t(3));
            Choose(dlg.cbProtocol, 6);
            QCOMPARE(mk.Settings.Protocol, int8_t(6));
            QCOMPARE(mk.Settings.VentChan, int8_t(0));
            QCOMPARE(dlg.cbTankMeth->currentIndex(), -1);
            // A disabled fan item cannot be chosen.
            ClickItem(dlg.rgVentChan, 4);
            QCOMPARE(mk.Settings.VentChan, int8_t(0));
        }));
        QCOMPARE(Packed(mk).TankMeth, int8_t(2));
    }

    void lockTypeAndLevel() {
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Flags = 0xFFFFFFFFu;
        r.LockLevel = 3;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            Page(dlg, dlg.tsSources);
            QCOMPARE(dlg.rgLockType->ItemIndex(), 1);
            QVERIFY(dlg.rgLockLevel->isVisible());
            QCOMPARE(dlg.rgLockLevel->ItemIndex(), 3);
            ClickItem(dlg.rgLockType, 0);
            QVERIFY(!dlg.rgLockLevel->isVisible());
            QVERIFY(!dlg.OptionBit(4));
            QCOMPARE(mk.Settings.Flags, 0xFFFFFFEFu);
            ClickItem(dlg.rgLockType, 1);
            ClickItem(dlg.rgLockLevel, 1);
            QCOMPARE(mk.Settings.LockLevel, int8_t(1));
            ClickItem(dlg.rgLockType, 0);
            dlg.SetOptionBit(3, false);
            QVERIFY(!dlg.OptionBit(3));
        }));
        QCOMPARE(Packed(mk).Flags, 0xFFFFFFE7u);
        QCOMPARE(Packed(mk).LockLevel, int8_t(1)); // kept while hidden

        // A level without an item shows none and is kept.
        r.Flags = 0x10;
        r.LockLevel = 9;
        LoadImage(mk, r);
        QVERIFY(
            Edit(mk, [&](TMK_SetParamsDlg& dlg) { QCOMPARE(dlg.rgLockLevel->ItemIndex(), -1); }));
        QCOMPARE(Packed(mk).LockLevel, int8_t(9));
    }

    void commaLocaleLeavesSampleTextsAlone() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        TMK mk;
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.AccCorr = -3;
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QCOMPARE(dlg.seAccCorr->text(), QStringLiteral("-0,3"));
            QCOMPARE(dlg.seUaccHighLimit->text(), QStringLiteral("15,5"));
            QCOMPARE(mk.FindParameter(2)->SampleText, QStringLiteral("14.0"));
            QCOMPARE(mk.FindParameter(6)->SampleText, QStringLiteral(" 10.0"));
        }));
    }

    void openingTwiceGivesTheSameCatalogue() {
        TMK mk;
        LoadImage(mk, TSettingsRecord::Defaults());
        QList<QStringList> seen;
        for (int i = 0; i < 2; ++i)
            Edit(
                mk, [&](TMK_SetParamsDlg& dlg) { seen << Items(dlg.cbProtocol); }, "CancelBtn");
        QCOMPARE(seen[0].size(), 19);
        QCOMPARE(seen[1], seen[0]);
        QCOMPARE(mk.ProtocolList.size(), size_t(19));
        QCOMPARE(mk.ParameterList.size(), size_t(12));
    }

    // A damaged record opens: what the controls cannot show is named once,
    // and OK changes no byte the user did not change.
    void damagedRecordOpens_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("velocity");
        QTest::addColumn<QString>("expense");
        const QString factors = QStringLiteral(
            "Поправки, которые нельзя показать (не число или вне диапазона): %1. Показаны "
            "ближайшие границы; записанные значения не изменятся, пока Вы их не измените.");
        auto with = [](auto change) {
            TSettingsRecord r = TSettingsRecord::Defaults();
            change(r);
            return Bytes(r);
        };
        QTest::newRow("erased: every byte 0xFF")
            << QByteArray(124, char(0xFF))
            << QStringList{"List index out of bounds (-1)",
                           factors.arg(R"("Скорость, %" (nan), "Расхода топлива, %" (nan))")}
            << "-99.0"
            << "-99.0";
        QTest::newRow("protocol without an entry")
            << with([](TSettingsRecord& r) { r.Protocol = 19; })
            << QStringList{"List index out of bounds (19)"} << "0.0"
            << "0.0";
        QTest::newRow("factor beyond a percentage")
            << with([](TSettingsRecord& r) { r.ExpenseCorr = 1e10f; })
            << QStringList{factors.arg(R"("Расхода топлива, %" (1e+10))")} << "0.0"
            << "999.9";
        QTest::newRow("factors beyond the edit's range") << with([](TSettingsRecord& r) {
            r.VelocityCorr = 0.0f;
            r.ExpenseCorr = -std::numeric_limits<float>::infinity();
        }) << QStringList{factors.arg(R"("Скорость, %" (0), "Расхода топлива, %" (-inf))")}
                                                         << "-99.0"
                                                         << "-99.0";
    }
    void damagedRecordOpens() {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, messages);
        QFETCH(QString, velocity);
        QFETCH(QString, expense);
        ScriptedDialogs dialogs;
        TMK mk;
        std::array<uint8_t, 124> bytes;
        std::memcpy(bytes.data(), record.constData(), bytes.size());
        const TSettingsRecord r = TSettingsRecord::FromBytes(bytes);
        LoadImage(mk, r);
        const QByteArray image = mk.Image;
        const bool known = r.Protocol >= 0 && r.Protocol < kProtocolCount;
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QTRY_COMPARE(dialogs.messages.size(), messages.size());
            for (int i = 0; i < messages.size(); ++i) {
                QCOMPARE(dialogs.messages[i].kind, MessageKind::Error);
                QCOMPARE(dialogs.messages[i].text, messages[i]);
            }
            QCOMPARE(dlg.seVelocityCorr->text(), velocity);
            QCOMPARE(dlg.seExpenseCorr->text(), expense);
            QCOMPARE(dlg.cbProtocol->currentIndex(), known ? int(r.Protocol) : -1);
            QCOMPARE(dlg.cbProtocol->count(), kProtocolCount);
            QCOMPARE(!mk.CurrentProtocol, !known);
            for (QWidget* w : {static_cast<QWidget*>(dlg.rgVentChan),
                               static_cast<QWidget*>(dlg.cbTempOilAKPPMeth),
                               static_cast<QWidget*>(dlg.cbTankMeth)})
                QCOMPARE(w->isEnabled(), known);
            // Passing through a factor's edit is no change.
            for (TSpinEdit* e : {dlg.seVelocityCorr, dlg.seExpenseCorr}) {
                e->setFocus(Qt::TabFocusReason);
                Tab(e);
            }
            QCOMPARE(dialogs.messages.size(), messages.size());
        }));
        if (known) // the fan channel follows a known protocol, as ever
            return;
        QCOMPARE(mk.Image, image);
    }

    // The user repairs an erased record: only what was chosen changes.
    void erasedRecordRepairedByTheUser() {
        ScriptedDialogs dialogs;
        TMK mk;
        std::array<uint8_t, 124> bytes;
        bytes.fill(0xFF);
        TSettingsRecord r = TSettingsRecord::FromBytes(bytes);
        LoadImage(mk, r);
        QVERIFY(Edit(mk, [&](TMK_SetParamsDlg& dlg) {
            QTRY_COMPARE(dialogs.messages.size(), 2);
            Page(dlg, dlg.tsSources);
            Choose(dlg.cbProtocol, 1);
            QCOMPARE(mk.CurrentProtocol, mk.ProtocolList[1].get());
            QVERIFY(dlg.rgVentChan->isEnabled());
            QVERIFY(dlg.cbTankMeth->isEnabled());
            QCOMPARE(dlg.rgVentChan->ItemIndex(), 3);
            Page(dlg, dlg.tsCorr);
            Type(dlg.seVelocityCorr, "5");
            Tab(dlg.seVelocityCorr);
            QCOMPARE(mk.Settings.VelocityCorr, 1.05f);
            // Once changed, the lowest value is a value like any other.
            Type(dlg.seVelocityCorr, "-99");
            Tab(dlg.seVelocityCorr);
            QCOMPARE(mk.Settings.VelocityCorr, 0.01f);
            Type(dlg.seVelocityCorr, "5");
            Tab(dlg.seVelocityCorr);
        }));
        r.Protocol = 1;
        r.LastProtocol = 1;
        r.VentChan = 3;
        r.VelocityCorr = 1.05f;
        QCOMPARE(Bytes(Packed(mk)), Bytes(r));
    }

    void mainWindowOpensTheEditor() {
        ScriptedDialogs dialogs;
        TMainForm form;
        // Not the machine's serial port: another test's window may hold it.
        form.DemoDevicePath = QStringLiteral("/nonexistent/tripconf-test-device");
        form.show();
        auto loadFile = [&](int8_t protocol) {
            TMK src;
            TSettingsRecord r = TSettingsRecord::Defaults();
            r.Protocol = protocol;
            LoadImage(src, r);
            src.Version = 7;
            const QString name = dir.filePath(QStringLiteral("p%1.tarvg").arg(protocol));
            SaveSettingsFile(src, name);
            dialogs.openNames.enqueue(name);
            QTest::mouseClick(form.bLoadParams, Qt::LeftButton);
            form.Modified = false;
        };

        loadFile(0);
        const QByteArray before = form.MK()->Image;
        dialogs.onExec = [](QDialog* d) {
            auto& dlg = *static_cast<TMK_SetParamsDlg*>(d);
            return Show(
                dlg, [](TMK_SetParamsDlg&) {}, "CancelBtn");
        };
        QTest::mouseClick(form.bEditParams, Qt::LeftButton);
        QCOMPARE(dialogs.executed, QStringList({"TMK_SetParamsDlg"}));
        QVERIFY(!form.Modified);
        QCOMPARE(form.MK()->Image, before);

        dialogs.onExec = [](QDialog* d) {
            auto& dlg = *static_cast<TMK_SetParamsDlg*>(d);
            return Show(
                dlg,
                [](TMK_SetParamsDlg& e) {
                    Type(e.seTimeCorr, "7");
                    Tab(e.seTimeCorr);
                },
                "OKBtn");
        };
        QTest::mouseClick(form.bEditParams, Qt::LeftButton);
        QVERIFY(form.Modified);
        QCOMPARE(form.MK()->Image[0x76], char(7));
        QCOMPARE(form.MK()->Image.mid(124), before.mid(124));
        QVERIFY(dialogs.messages.isEmpty());

        // A protocol without an entry: the editor says so and opens; OK
        // changes no byte.
        loadFile(19);
        const QByteArray bad = form.MK()->Image;
        dialogs.executed.clear();
        dialogs.onExec = [](QDialog* d) {
            return Show(
                *static_cast<TMK_SetParamsDlg*>(d), [](TMK_SetParamsDlg&) {}, "OKBtn");
        };
        QTest::mouseClick(form.bEditParams, Qt::LeftButton);
        QCOMPARE(dialogs.executed, QStringList({"TMK_SetParamsDlg"}));
        QCOMPARE(dialogs.Count(MessageKind::Error), 1);
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("List index out of bounds (19)"));
        QCOMPARE(form.MK()->Image, bad);
        QVERIFY(form.Modified);
        QVERIFY(!form.MK()->CurrentProtocol);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestEditor t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_editor.moc"
