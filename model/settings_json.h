#pragma once

#include "model/protocols.h"

#include <QByteArray>
#include <QStringList>

// A settings file as a JSON document a person can read and edit, and back.
// The stored numbers, the reserved bytes and the image beyond the record
// are all in it, so importing an export gives the file back byte for byte.

inline constexpr const char* kSettingsJsonFormat = "tripconf-settings";
inline constexpr int kSettingsJsonFormatVersion = 1;

// The largest JSON form import reads: that of a settings file of about
// half as many bytes.
inline constexpr qint64 kMaxSettingsJsonSize = qint64(64) << 20;

// The JSON form of the bytes of a settings file (UTF-8, indented, fields
// in the record's order). Raises TripError when the file holds less than
// the version and the whole record, or when the form would be longer than
// kMaxSettingsJsonSize.
QByteArray SettingsFileToJson(const QByteArray& file);

struct SettingsJsonImport {
    QByteArray file;         // the settings file's bytes
    QStringList valuesTaken; // "Name: value" for each field taken from its shown value
};

// The settings file a JSON form describes. Raises TripError naming the key
// or field at fault: not JSON, another format, a value the editor would not
// take, a stored number beyond its type, bad hex, an unknown, duplicate or
// missing key.
SettingsJsonImport SettingsFileFromJson(const QByteArray& json, const TProtocolList& protocols);
