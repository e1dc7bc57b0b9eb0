#include "model/field_text.h"

#include "model/protocols.h"
#include "support/conversions.h"
#include "support/numeric.h"

#include <cmath>
#include <cstring>
#include <functional>

QString FixedText(double value, int decimals, const QString& point) {
    const double scaled = RoundHalfEven(value * std::pow(10.0, decimals));
    if (!std::isfinite(scaled))
        return QString::number(value);
    QString digits = QString::number(std::fabs(scaled), 'f', 0);
    if (decimals > 0) {
        if (digits.size() <= decimals)
            digits.prepend(QString(decimals + 1 - digits.size(), QLatin1Char('0')));
        digits.insert(digits.size() - decimals, point);
    }
    if (scaled < 0)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

int32_t CorrectionToTenths(float factor) {
    // The small nudge keeps factors stored as 1.05 from showing 4.9.
    const float y =
        factor >= 1.0f ? float(double(factor) + 0.00001) : float(double(factor) - 0.00001);
    return RoundToField<int32_t>((double(y) - 1.0) * 1000.0);
}

double CorrectionPercent(float factor) {
    return CorrectionToTenths(factor) / 10.0;
}

float PercentToCorrection(double percent) {
    return float(percent / 100.0 + 1.0);
}

double TOPathThousandKm(uint32_t metres) {
    // One correctly rounded division, so an exact half stays exact.
    return RoundHalfEven(metres / 100000.0) / 10.0;
}

uint32_t TOTimeHours(uint32_t seconds) {
    return seconds / 3600;
}

QString AccumulatorTimeText(uint32_t seconds) {
    return QString::number(seconds / 3600) + QLatin1Char(':') +
           TwoDigitText(uint16_t((seconds / 60) % 60));
}

QList<AccumulatorRow> AccumulatorRows(uint32_t seconds, uint32_t metres, uint32_t millilitres,
                                      const QString& point) {
    const long double time = seconds, distance = metres, fuel = millilitres;
    const QString none = QStringLiteral("-----");
    auto average = [&](long double numerator, long double denominator) {
        return denominator > 0 ? FixedText(double(numerator / denominator), 1, point) : none;
    };
    return {
        {QStringLiteral("Время"), AccumulatorTimeText(seconds)},
        {QStringLiteral("Пробег, км"), FixedText(double(distance / 1000), 3, point)},
        {QStringLiteral("Расход, л"), FixedText(double(fuel / 1000), 3, point)},
        {QStringLiteral("Ср.скорость, км/час"), average(distance * 3.6L, time)},
        {QStringLiteral("Ср.расход, л/100"), average(fuel * 100, distance)},
        {QStringLiteral("Ср.расход, л/час"), average(fuel * 3.6L, time)},
    };
}

namespace FieldItems {
QStringList LockType() {
    return {QStringLiteral("Физич."), QStringLiteral("Вирт.")};
}
QStringList LockLevel() {
    return {"0", "1", "2", "3", "4"};
}
QStringList VentChan() {
    return {"1", "2", "1+2", "3", "4"};
}
QStringList TempOilAKPPMeth() {
    return {QStringLiteral("НЕТ"), "JAT", "2180", "CVT18"};
}
QStringList ToTOMeth() {
    return {QStringLiteral("НЕТ"), QStringLiteral("КМ "), QStringLiteral("ЧАСЫ")};
}
QStringList IntenseMeth() {
    return {QStringLiteral("Руч."), QStringLiteral("Время")};
}
QStringList AlarmBeep() {
    return {QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("1 раз")};
}
QStringList AlarmVelType() {
    return {"1", "2"};
}
QStringList TankMeth() {
    TProtBase any(QString(), 0);
    any.EcuFuelLevel = true;
    return FuelLevelMethods(any);
}
} // namespace FieldItems

namespace {

using Record = TSettingsRecord;
using Shown = std::function<QString(const Record&, const QString&)>;

struct FieldView {
    const char* name;
    const char* unit;
    Shown text;
};

QString Number(double v) {
    return QString::number(v, 'f', 0);
}

QString Item(const QStringList& items, long long v) {
    return v >= 0 && v < items.size() ? items[qsizetype(v)] : QString::number(v);
}

QString CorrectionText(float factor, const QString& point) {
    try {
        return FixedText(CorrectionPercent(factor), 1, point);
    } catch (const TripError&) {
        return QString::number(double(factor), 'g', 9);
    }
}

QString ProtocolName(int number) {
    static const TProtocolList catalogue = CreateProtocolCatalogue();
    if (number < 0 || size_t(number) >= catalogue.size())
        return QString::number(number);
    return catalogue[size_t(number)]->Name;
}

template <typename T> Shown Plain(T Record::*field) {
    return [field](const Record& r, const QString&) { return Number(double(r.*field)); };
}
template <typename T> Shown Tenths(T Record::*field) {
    return [field](const Record& r, const QString& p) { return FixedText(r.*field / 10.0, 1, p); };
}
template <typename T> Shown Thousandths(T Record::*field) {
    return
        [field](const Record& r, const QString& p) { return FixedText(r.*field / 1000.0, 3, p); };
}
template <typename T> Shown Choice(T Record::*field, QStringList (*items)()) {
    return [field, items](const Record& r, const QString&) { return Item(items(), r.*field); };
}
Shown Correction(float Record::*field) {
    return [field](const Record& r, const QString& p) { return CorrectionText(r.*field, p); };
}
Shown Time(int16_t Record::*field) {
    return
        [field](const Record& r, const QString&) { return MinutesToTimeText(uint16_t(r.*field)); };
}
Shown Accumulated(uint32_t Record::*field) {
    return [field](const Record& r, const QString&) { return AccumulatorTimeText(r.*field); };
}

const std::vector<FieldView>& Views() {
    using namespace FieldItems;
    static const std::vector<FieldView> views = {
        {"Size", "", Plain(&Record::Size)},
        {"Flags", "",
         [](const Record& r, const QString&) {
             return QStringLiteral("AlarmVelType ") + Item(AlarmVelType(), (r.Flags >> 3) & 1) +
                    QStringLiteral(", LockType ") + Item(LockType(), (r.Flags >> 4) & 1);
         }},
        {"ExpenseCorr", "%", Correction(&Record::ExpenseCorr)},
        {"VelocityCorr", "%", Correction(&Record::VelocityCorr)},
        {"TripTime", "", Accumulated(&Record::TripTime)},
        {"TripPath", "км", Thousandths(&Record::TripPath)},
        {"TripFuel", "л", Thousandths(&Record::TripFuel)},
        {"ResetTime", "", Accumulated(&Record::ResetTime)},
        {"ResetPath", "км", Thousandths(&Record::ResetPath)},
        {"ResetFuel", "л", Thousandths(&Record::ResetFuel)},
        {"TOPath", "тыс.км",
         [](const Record& r, const QString& p) {
             return FixedText(TOPathThousandKm(r.TOPath), 1, p);
         }},
        {"TOTime", "ч",
         [](const Record& r, const QString&) { return QString::number(TOTimeHours(r.TOTime)); }},
        {"UaccLowLimit", "В", Tenths(&Record::UaccLowLimit)},
        {"UaccHighLimit", "В", Tenths(&Record::UaccHighLimit)},
        {"AKPPOilTemperLimit", "С", Plain(&Record::AKPPOilTemperLimit)},
        {"Oil6L", "у.е.", Plain(&Record::Oil6L)},
        {"Lit6L", "л", Plain(&Record::Lit6L)},
        {"Oil43L", "у.е.", Plain(&Record::Oil43L)},
        {"Lit43L", "л", Plain(&Record::Lit43L)},
        {"Intense0", "", Plain(&Record::Intense0)},
        {"Intense1", "", Plain(&Record::Intense1)},
        {"IntenseMeth", "", Choice(&Record::IntenseMeth, IntenseMeth)},
        {"ToTOMeth", "", Choice(&Record::ToTOMeth, ToTOMeth)},
        {"IntenseDayTime", "", Time(&Record::IntenseDayTime)},
        {"IntenseNightTime", "", Time(&Record::IntenseNightTime)},
        {"Protocol", "", [](const Record& r, const QString&) { return ProtocolName(r.Protocol); }},
        {"LastProtocol", "", Plain(&Record::LastProtocol)},
        {"AccCorr", "В", Tenths(&Record::AccCorr)},
        {"VentChan", "", Choice(&Record::VentChan, VentChan)},
        {"RevolutionsLimit", "об/мин * 100", Plain(&Record::RevolutionsLimit)},
        {"VelocityLimit", "км/час", Plain(&Record::VelocityLimit)},
        {"LiqTemperLimit", "С", Plain(&Record::LiqTemperLimit)},
        {"TankLimit", "л", Plain(&Record::TankLimit)},
        {"VentTempLimit", "С", Plain(&Record::VentTempLimit)},
        {"TankContFull", "л", Plain(&Record::TankContFull)},
        {"TankMeth", "", Choice(&Record::TankMeth, TankMeth)},
        {"LockLevel", "", Choice(&Record::LockLevel, LockLevel)},
        {"TempOilAKPPMeth", "", Choice(&Record::TempOilAKPPMeth, TempOilAKPPMeth)},
        {"TimeCorr", "секунд в сутки", Plain(&Record::TimeCorr)},
        {"AlarmBeep", "", Choice(&Record::AlarmBeep, AlarmBeep)},
        {"DigitColor1", "", Plain(&Record::DigitColor1)},
        {"DigitBack1", "", Plain(&Record::DigitBack1)},
        {"DigitColor2", "", Plain(&Record::DigitColor2)},
        {"DigitBack2", "", Plain(&Record::DigitBack2)},
    };
    return views;
}

} // namespace

std::optional<FieldText> ShownFieldText(const TSettingsRecord& r, const FieldInfo& f,
                                        const QString& point) {
    if (IsReserved(f))
        return std::nullopt;
    for (const FieldView& v : Views())
        if (std::strcmp(v.name, f.name) == 0)
            return FieldText{v.text(r, point), QString::fromUtf8(v.unit)};
    return std::nullopt;
}

const FieldInfo* FindField(std::string_view name) {
    for (const FieldInfo& f : RecordFields())
        if (name == f.name)
            return &f;
    return nullptr;
}

QString WithUnit(const QString& text, const QString& unit) {
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}
