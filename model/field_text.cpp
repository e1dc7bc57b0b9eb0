#include "model/field_text.h"

#include "model/protocols.h"
#include "support/conversions.h"
#include "support/numeric.h"

#include <cmath>
#include <cstring>

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

namespace {

// Both points are taken whatever the locale: a keyboard's own key may give
// either, and the number must not change with it.
bool IsPoint(QChar c, const QString& point) {
    return c == QLatin1Char('.') || c == QLatin1Char(',') || QString(c) == point;
}

struct Parts {
    bool negative = false;
    QString whole;
    QString fraction;
    bool point = false;
    bool valid = false; // only digits, sign and at most one point
};

Parts Split(const QString& text, const QString& point) {
    Parts p;
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        p.negative = t[i] == QLatin1Char('-');
        ++i;
    }
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c.isDigit() && c.unicode() < 128) {
            (p.point ? p.fraction : p.whole) += c;
        } else if (IsPoint(c, point) && !p.point) {
            p.point = true;
        } else {
            return p;
        }
    }
    p.valid = true;
    return p;
}

} // namespace

std::optional<double> ParseFixed(const QString& text, int decimals, const QString& point) {
    if (FixedTextShape(text, decimals, point) != FixedTextState::Number)
        return std::nullopt;
    const Parts p = Split(text, point);
    // Rounded on the decimal digits as typed, so "0.35" is a true half.
    QString digits = p.whole + p.fraction.left(decimals);
    digits +=
        QString(decimals - std::min<qsizetype>(p.fraction.size(), decimals), QLatin1Char('0'));
    double units = digits.isEmpty() ? 0 : digits.toDouble();
    const QString rest = p.fraction.mid(decimals);
    if (!rest.isEmpty()) {
        bool tail = false;
        for (qsizetype i = 1; i < rest.size(); ++i)
            tail = tail || rest[i] != QLatin1Char('0');
        if (rest[0] > QLatin1Char('5') || (rest[0] == QLatin1Char('5') && tail) ||
            (rest[0] == QLatin1Char('5') && std::fmod(units, 2.0) != 0))
            units += 1;
    }
    const double v = units / std::pow(10.0, decimals);
    if (!std::isfinite(v))
        return std::nullopt;
    return p.negative ? -v : v;
}

FixedTextState FixedTextShape(const QString& text, int decimals, const QString& point) {
    const Parts p = Split(text, point);
    if (!p.valid || (p.point && decimals == 0))
        return FixedTextState::Invalid;
    return p.whole.isEmpty() && p.fraction.isEmpty() ? FixedTextState::Empty
                                                     : FixedTextState::Number;
}

int FixedTextDecimals(const QString& text, const QString& point) {
    return int(Split(text, point).fraction.size());
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

double ShownCorrectionPercent(float factor) {
    try {
        return CorrectionPercent(factor);
    } catch (const TripError&) {
        return std::signbit(factor) ? -HUGE_VAL : HUGE_VAL;
    }
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

const FieldInfo* FindField(std::string_view name) {
    for (const FieldInfo& f : RecordFields())
        if (name == f.name)
            return &f;
    return nullptr;
}

QString WithUnit(const QString& text, const QString& unit) {
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}
