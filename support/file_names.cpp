#include "support/file_names.h"

namespace {

// The byte a lone surrogate of DecodeNative stands for, or -1.
int EscapedByte(const QString& text, qsizetype i) {
    const char16_t c = text[i].unicode();
    if (c < 0xDC80 || c > 0xDCFF || (i > 0 && text[i - 1].isHighSurrogate()))
        return -1;
    return c & 0xFF;
}

// Calls bytes(i) for each escaped byte and run(from, to) for the text between.
template <typename Byte, typename Run> void Split(const QString& text, Byte bytes, Run run) {
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = EscapedByte(text, i);
        if (b < 0)
            continue;
        if (i > from)
            run(from, i);
        bytes(b);
        from = i + 1;
    }
    if (from < text.size())
        run(from, text.size());
}

} // namespace

QString DecodeNative(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar lead = p[i];
        const int length = lead < 0x80                    ? 1
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            code = code << 6 | (p[i + k] & 0x3F);
        }
        // Overlong forms, encoded surrogates and beyond U+10FFFF are not UTF-8 either.
        valid = valid && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
                code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (!valid) {
            text += QChar(char16_t(0xDC00 | lead));
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(code)) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
        i += length;
    }
    return text;
}

QByteArray EncodeNative(const QString& text) {
    QByteArray bytes;
    Split(
        text, [&bytes](int b) { bytes += char(b); },
        [&](qsizetype from, qsizetype to) {
            bytes += QStringView(text).sliced(from, to - from).toUtf8();
        });
    return bytes;
}

QString EscapedText(const QString& text) {
    QString shown;
    Split(
        text, [&shown](int b) { shown += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0')); },
        [&](qsizetype from, qsizetype to) { shown += QStringView(text).sliced(from, to - from); });
    return shown;
}
