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
        QCOMPARE(Shown(r, "TankMeth"), QStringLiteral("ДУТ ЭБУ"));
        QCOMPARE(Shown(r, "ToTOMeth"), QStringLiteral("КМ "));
        QCOMPARE(Shown(r, "VentChan"), QStringLiteral("1+2"));
        QCOMPARE(Shown(r, "TempOilAKPPMeth"), QStringLiteral("CVT18"));
        QCOMPARE(Shown(r, "IntenseDayTime"), QStringLiteral("12:15"));
    }

    // Values no control offers still show, as their raw numbers.
    void valuesWithoutItemsShowTheirNumber() {
        TSettingsRecord r = TSettingsRecord::Defaults();
        r.Protocol = 19;
        r.TankMeth = 3;
        r.AlarmBeep = -1;
        r.VelocityCorr = std::nanf("");
        r.ExpenseCorr = 1e10f;
        r.TOPath = 1250000; // an exact half of a tenth goes to the even one
        QCOMPARE(Shown(r, "Protocol"), QStringLiteral("19"));
        QCOMPARE(Shown(r, "TankMeth"), QStringLiteral("3"));
        QCOMPARE(Shown(r, "AlarmBeep"), QStringLiteral("-1"));
        QCOMPARE(Shown(r, "VelocityCorr"), QStringLiteral("nan"));
        QCOMPARE(Shown(r, "ExpenseCorr"), QStringLiteral("1e+10"));
        QCOMPARE(Shown(r, "TOPath"), QStringLiteral("1.2"));
        r.TOPath = 1350000;
        QCOMPARE(Shown(r, "TOPath"), QStringLiteral("1.4"));
        r.Protocol = int8_t(200);
        QCOMPARE(Shown(r, "Protocol"), QStringLiteral("-56"));
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
