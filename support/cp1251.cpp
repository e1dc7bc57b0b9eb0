#include "support/cp1251.h"

namespace {

// 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order. 0 marks 0x98.
constexpr char16_t kUpper[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

} // namespace

std::optional<uint8_t> UnicodeToCp1251(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return uint8_t(u);
    if (u >= 0x0410 && u <= 0x044F)
        return uint8_t(u - 0x0410 + 0xC0);
    for (int i = 0; i < 64; ++i)
        if (kUpper[i] != 0 && kUpper[i] == u)
            return uint8_t(0x80 + i);
    return std::nullopt;
}

QChar Cp1251ToUnicode(uint8_t b) {
    if (b < 0x80)
        return QChar(char16_t(b));
    if (b >= 0xC0)
        return QChar(char16_t(0x0410 + b - 0xC0));
    const char16_t u = kUpper[b - 0x80];
    return QChar(u != 0 ? u : char16_t(0xFFFD));
}

QByteArray ToCp1251(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // One "?" for a character outside the basic plane, not one per half.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out.append(char(UnicodeToCp1251(c).value_or(uint8_t('?'))));
    }
    return out;
}
