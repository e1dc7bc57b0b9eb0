#include "model/field_edit.h"
#include "model/field_text.h"
#include "support/errors.h"

#include <QtTest>
#include <cmath>

namespace {

QString Shown(const TSettingsRecord& r, const char* field, const QString& point = ".") {
    const FieldInfo* f = FindField(field);
    if (!f)
        return QStringLiteral("<no field>");
    const auto t = ShownFieldText(r, *f, point);
    return t ? t->text : QStringLiteral("<none>");
}

QString Unit(const char* field) {
    return ShownFieldText(TSettingsRecord::Defaults(), *FindField(field))->unit;
}

} // namespace

class TestFieldText : public QObject {
    Q_OBJECT
private slots:
    void fixedTextRoundsHalvesToEven() {
        QCOMPARE(FixedText(0.25, 1, "."), QStringLiteral("0.2"));
        QCOMPARE(FixedText(0.75, 1, "."), QStringLiteral("0.8"));
        QCOMPARE(FixedText(2.5, 0, "."), QStringLiteral("2"));
        QCOMPARE(FixedText(-0.05, 1, ","), QStringLiteral("0,0")); // no "-0,0"
        QCOMPARE(FixedText(-0.7, 1, ","), QStringLiteral("-0,7"));
        QCOMPARE(FixedText(12.345, 3, ","), QStringLiteral("12,345"));
        QCOMPARE(FixedText(1234567, 0, "."), QStringLiteral("1234567"));
    }

    void correctionToTenths() {
        QCOMPARE(CorrectionToTenths(1.05f), 50);
        QCOMPARE(CorrectionToTenths(0.95f), -50);
        QCOMPARE(CorrectionToTenths(1.0f), 0);
        QCOMPARE(CorrectionToTenths(1.0537f), 54);
        QCOMPARE(CorrectionToTenths(10.999f), 9999);
        QCOMPARE(PercentToCorrection(5.4), 1.054f);
        QCOMPARE(PercentToCorrection(-99.0), float(-99.0 / 100 + 1));
        for (float bad : {std::nanf(""), 1e10f, -1e10f})
            QVERIFY_THROWS_EXCEPTION(TripError, CorrectionToTenths(bad));
    }

    void editorExamples() {
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.VelocityCorr = 1.0537f;
        r.ExpenseCorr = 0.95f;
        r.TOTime = 5399;
        r.TripTime = 3725;
        r.ResetTime = 90000;
        r.TripPath = 12345;
        r.TripFuel = 987;
        r.AccCorr = -7;
        QCOMPARE(Shown(r, "VelocityCorr"), QStringLiteral("5.4"));
        QCOMPARE(Shown(r, "ExpenseCorr"), QStringLiteral("-5.0"));
        QCOMPARE(Shown(r, "IntenseDayTime"), QStringLiteral("08:00"));
        QCOMPARE(Shown(r, "IntenseNightTime"), QStringLiteral("20:00"));
        QCOMPARE(Shown(r, "TOPath"), QStringLiteral("99.9"));
        QCOMPARE(Shown(r, "TOTime"), QStringLiteral("1"));
        QCOMPARE(Shown(r, "UaccLowLimit"), QStringLiteral("11.5"));
        QCOMPARE(Shown(r, "UaccLowLimit", ","), QStringLiteral("11,5"));
        QCOMPARE(Shown(r, "AccCorr"), QStringLiteral("-0.7"));
        QCOMPARE(Shown(r, "TripTime"), QStringLiteral("1:02"));
        QCOMPARE(Shown(r, "ResetTime"), QStringLiteral("25:00"));
        QCOMPARE(Shown(r, "TripPath", ","), QStringLiteral("12,345"));
        QCOMPARE(Shown(r, "TripFuel"), QStringLiteral("0.987"));
        QCOMPARE(Shown(r, "Protocol"), QStringLiteral("M74CAN"));
        QCOMPARE(Shown(r, "Flags"),
                 QStringLiteral("AlarmVelType 1, LockType ") + QStringLiteral("Вирт."));
        QCOMPARE(Shown(r, "TankMeth"), QStringLiteral("Расчетный"));
        QCOMPARE(Shown(r, "ToTOMeth"), QStringLiteral("НЕТ"));
        QCOMPARE(Shown(r, "AlarmBeep"), QStringLiteral("Да"));
        QCOMPARE(Shown(r, "DigitBack2"), QStringLiteral("4"));
        QCOMPARE(Shown(r, "LiqTemperLimit"), QStringLiteral("115"));

        r.Flags = 0x08;
        r.Protocol = 6;
        r.TankMeth = 2;
        r.ToTOMeth = 1;
        r.VentChan = 2;
        r.TempOilAKPPMeth = 3;
        r.IntenseDayTime = -1; // the device's 16 bits, read as minutes 65535
        QCOMPARE(Shown(r, "Flags"),
                 QStringLiteral("AlarmVelType 2, LockType ") + QStringLiteral("Физич."));
        QCOMPARE(Shown(r, "Protocol"), QStringLiteral("ЯНВАРЬ"));
        QCOMPARE(Shown(r, "ToTOMeth"), QStringLiteral("КМ "));
        QCOMPARE(Shown(r, "VentChan"), QStringLiteral("1+2"));
        QCOMPARE(Shown(r, "TempOilAKPPMeth"), QStringLiteral("CVT18"));
        QCOMPARE(Shown(r, "IntenseDayTime"), QStringLiteral("12:15"));
    }

    // A stored value no control can show: what the editor shows, and what is
    // stored with what the control allows.
    void valuesTheEditorCannotShow_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<std::function<void(TSettingsRecord&)>>("store");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("outside");
        auto row = [](const char* name, const char* field, std::function<void(TSettingsRecord&)> f,
                      const char* shown, const char* outside) {
            QTest::newRow(name) << QString::fromLatin1(field) << f << QString::fromUtf8(shown)
                                << QString::fromUtf8(outside);
        };
        row(
            "AccCorr 100", "AccCorr", [](auto& r) { r.AccCorr = 100; }, "0.7",
            "stored 100 lies outside -0.7..0.7 В");
        row(
            "no protocol", "Protocol", [](auto& r) { r.Protocol = 19; }, "(none)",
            "stored 19 is not one of: M74CAN (0)");
        row(
            "signed protocol", "Protocol", [](auto& r) { r.Protocol = int8_t(200); }, "(none)",
            "stored -56 is not");
        row(
            "fuel level the protocol lacks", "TankMeth",
            [](auto& r) {
                r.Protocol = 6;
                r.TankMeth = 2;
            },
            "(none)", "stored 2 is not one of: ДУТ (0), Расчетный (1)");
        row(
            "fan channel the protocol lacks", "VentChan", [](auto& r) { r.VentChan = 4; }, "4",
            "stored 4 is not offered: one of: 1 (0), 2 (1), 1+2 (2)");
        row(
            "no beep item", "AlarmBeep", [](auto& r) { r.AlarmBeep = -1; }, "(none)",
            "stored -1 is not one of: Да (0), Нет (1), 1 раз (2)");
        row(
            "factor not a number", "VelocityCorr", [](auto& r) { r.VelocityCorr = std::nanf(""); },
            "999.9", "stored nan lies outside -99.0..999.9 %");
        row(
            "factor too large", "ExpenseCorr", [](auto& r) { r.ExpenseCorr = 1e10f; }, "999.9",
            "stored 1e+10 lies outside");
        row(
            "factor too small", "ExpenseCorr", [](auto& r) { r.ExpenseCorr = -3.0f; }, "-99.0",
            "stored -3 lies outside");
        row(
            "tank above its capacity", "Lit6L", [](auto& r) { r.Lit6L = 60; }, "50",
            "stored 60 lies outside 0..50 л");
        // An erased record's capacity: no value fits, and the range is never crossed.
        row(
            "tank of negative capacity", "Lit43L",
            [](auto& r) {
                r.TankContFull = -1;
                r.Lit43L = 50;
            },
            "-1", "stored 50: no value fits, as the tank's capacity TankContFull is -1 л");
        row(
            "time past midnight", "IntenseDayTime", [](auto& r) { r.IntenseDayTime = 1570; },
            "02:10", "stored 1570 minutes lies outside 00:00..23:59");
        row(
            "colour beyond the palette", "DigitBack2", [](auto& r) { r.DigitBack2 = 0x1C; }, "12",
            "stored 28 lies outside 0..15");
        row(
            "service hours", "TOTime", [](auto& r) { r.TOTime = 36000000; }, "9999",
            "stored 36000000 lies outside 0..9999 ч");
    }

    void valuesTheEditorCannotShow() {
        QFETCH(QString, field);
        QFETCH(std::function<void(TSettingsRecord&)>, store);
        QFETCH(QString, shown);
        QFETCH(QString, outside);
        TSettingsRecord r = TSettingsRecord::Defaults();
        store(r);
        const EditorView v = EditorShows(*FindEditField(field), r);
        QCOMPARE(v.text, shown);
        QVERIFY2(v.outside.startsWith(outside), qPrintable(v.outside));
        // In range, nothing is said.
        QVERIFY(EditorShows(*FindEditField(field), TSettingsRecord::Defaults()).outside.isEmpty());
    }

    void halvesOfAServiceTenthGoToTheEvenOne() {
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.TOPath = 1250000;
        QCOMPARE(Shown(r, "TOPath"), QStringLiteral("1.2"));
        r.TOPath = 1350000;
        QCOMPARE(Shown(r, "TOPath"), QStringLiteral("1.4"));
    }

    void everyInterpretedFieldHasText() {
        const TSettingsRecord r = TSettingsRecord::Defaults();
        int shown = 0;
        for (const FieldInfo& f : RecordFields()) {
            const auto t = ShownFieldText(r, f);
            QCOMPARE(bool(t), !IsReserved(f));
            shown += bool(t);
            if (t)
                QVERIFY2(!t->text.isEmpty(), f.name);
        }
        QCOMPARE(shown, 44);
        QVERIFY(!FindField("NoSuchField"));
        QCOMPARE(Unit("TOPath"), QStringLiteral("тыс.км"));
        QCOMPARE(Unit("VelocityCorr"), QStringLiteral("%"));
        QCOMPARE(Unit("UaccHighLimit"), QStringLiteral("В"));
        QCOMPARE(Unit("Protocol"), QString());
    }
};

QTEST_APPLESS_MAIN(TestFieldText)
#include "test_field_text.moc"
