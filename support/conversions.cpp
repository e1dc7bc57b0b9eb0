#include "support/conversions.h"

#include "support/errors.h"

QString TwoDigitText(uint16_t n) {
    QString s = QString::number(n);
    if (s.size() == 1)
        s.prepend(QLatin1Char('0'));
    return s;
}

QString MinutesToTimeText(uint16_t minutes) {
    return TwoDigitText(uint16_t((minutes / 60) % 24)) + QLatin1Char(':') +
           TwoDigitText(uint16_t(minutes % 60));
}

int StrToInt(const QString& text) {
    auto invalid = [&] {
        return TripError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        throw invalid();
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            throw invalid();
        value = value * 10 + (c.unicode() - '0');
        if (value > 2147483648LL)
            throw invalid();
    }
    value = negative ? -value : value;
    if (value > 2147483647LL)
        throw invalid();
    return int(value);
}

uint16_t TimeTextToMinutes(const QString& text) {
    if (text.size() < 3)
        ThrowRangeError();
    if (text[2] != QLatin1Char(':'))
        return 0;
    if (text.size() < 5)
        ThrowRangeError();
    const long long minutes = (long long)StrToInt(text.mid(0, 2)) * 60 + StrToInt(text.mid(3, 2));
    if (minutes < 0 || minutes > 65535)
        ThrowRangeError();
    return uint16_t(minutes);
}

uint32_t Rgb565ToColor(uint16_t w) {
    const uint32_t r = (w >> 11) & 0x1F, g = (w >> 5) & 0x3F, b = w & 0x1F;
    const uint32_t red = (r * 541052u) >> 16;
    const uint32_t green = (g * 266294u) >> 16;
    const uint32_t blue = (b * 541052u) >> 16;
    return red | (green << 8) | (blue << 16);
}
