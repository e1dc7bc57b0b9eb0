#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes. Qt reads them as UTF-8 and puts U+FFFD in place of
// what is not, so a name in another code page (an archive from Windows in
// cp1251, say) would name no file at all. Here each byte of a sequence that
// is not UTF-8 becomes a lone surrogate U+DC80..U+DCFF, which turns back
// into the same byte: any name survives the trip through a QString.

// The text of bytes the system gives (arguments, names read from a folder).
QString DecodeNative(const QByteArray& bytes);
// The bytes a text decoded by DecodeNative came from; other text as UTF-8.
QByteArray EncodeNative(const QString& text);
// The text with each such byte shown as \xNN, for messages.
QString EscapedText(const QString& text);
