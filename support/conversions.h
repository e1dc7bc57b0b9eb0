#pragma once

#include <QString>
#include <cstdint>

// The decimal text of n, with a leading "0" when it has one digit.
QString TwoDigitText(uint16_t n);
// Minutes after midnight as "hh:mm"; hours wrap at 24.
QString MinutesToTimeText(uint16_t minutes);
// "hh:mm" to minutes; 0 when the third character is not ":". Raises
// "Range check error" for short texts and results outside 0..65535, and
// "'%s' is not a valid integer value" for a part that is not a number.
uint16_t TimeTextToMinutes(const QString& text);
// RGB565 to the screen colour: red in bits 7..0, green 15..8, blue 23..16.
uint32_t Rgb565ToColor(uint16_t rgb565);

// Integer conversion as the settings texts use it: leading blanks and a sign
// are accepted; anything else raises "'%s' is not a valid integer value".
int StrToInt(const QString& text);
