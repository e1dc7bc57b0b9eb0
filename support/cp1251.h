#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

// Code page 1251, the single-byte code of every text the trip computer shows.

// The byte of a character, or none when the code page has no such character.
std::optional<uint8_t> UnicodeToCp1251(QChar c);
// The character of a byte; 0x98, unassigned, gives U+FFFD.
QChar Cp1251ToUnicode(uint8_t b);
// A text in code page 1251; characters it lacks become "?", as the system's
// own conversion does.
QByteArray ToCp1251(const QString& text);
