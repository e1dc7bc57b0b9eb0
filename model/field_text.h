#pragma once

#include "model/settings_record.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string_view>

// How the settings editor shows the record's fields. The editor and the
// command-line tool both go through these, so they never disagree.

// Fixed-point text with `decimals` digits after `point`; a half goes to the
// even neighbour. No grouping; "-" for negatives, never "-0".
QString FixedText(double value, int decimals, const QString& point);

// A number as the user types it, into a spin edit with `decimals` digits or
// to tripconf-cli set: blanks around it, a sign, digits and at most one
// point, "." or "," whatever the locale (or `point`, the one the edit shows);
// rounded half to even on the decimal digits as typed, so "0.35" is a true
// half. None for any other text, a point in an integer included.
std::optional<double> ParseFixed(const QString& text, int decimals,
                                 const QString& point = QStringLiteral("."));
// Whether a text being typed can become such a number: Empty while it has
// no digit yet; a point in an integer is Invalid.
enum class FixedTextState { Invalid, Empty, Number };
FixedTextState FixedTextShape(const QString& text, int decimals,
                              const QString& point = QStringLiteral("."));
// The digits typed after the point of such a number ("9.150" has 3).
int FixedTextDecimals(const QString& text, const QString& point = QStringLiteral("."));

// A correction factor as tenths of a percent: 1.05 gives 50, 0.95 gives -50.
// Raises "Range check error" when the result does not fit 32 signed bits.
int32_t CorrectionToTenths(float factor);
// The percentage the editor shows for a factor (one decimal).
double CorrectionPercent(float factor);
// The percentage the editor's spin edit is given for a factor: one beyond
// what a percentage holds (not a number, too large) gives an infinity of its
// sign, which the edit's limits bring to the nearest end.
double ShownCorrectionPercent(float factor);
// The factor stored for a percentage: single(percent / 100 + 1).
float PercentToCorrection(double percent);
// Distance to service in thousands of km, already at one decimal.
double TOPathThousandKm(uint32_t metres);
// Time to service in whole hours (the rest of an hour is dropped).
uint32_t TOTimeHours(uint32_t seconds);
// An accumulator's time as hours (not limited to 24), ":", two-digit minutes.
QString AccumulatorTimeText(uint32_t seconds);

// The six rows the editor shows for an accumulator (seconds, metres,
// millilitres): totals, then the averages, "-----" where one would divide by 0.
struct AccumulatorRow {
    QString caption;
    QString value;
};
QList<AccumulatorRow> AccumulatorRows(uint32_t seconds, uint32_t metres, uint32_t millilitres,
                                      const QString& point);

// Choices of the record's enumerated fields; item i stands for value i.
namespace FieldItems {
QStringList LockType();
QStringList LockLevel();
QStringList VentChan();
QStringList TempOilAKPPMeth();
QStringList ToTOMeth();
QStringList IntenseMeth();
QStringList AlarmBeep();
QStringList AlarmVelType();
QStringList TankMeth(); // all three; a protocol may offer fewer
} // namespace FieldItems

// A shown value followed by its unit, if it has one.
QString WithUnit(const QString& text, const QString& unit);

// The field of that name, or none.
const FieldInfo* FindField(std::string_view name);
