#pragma once

#include "model/settings_record.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The settings file ("tarvg"): the version, little-endian, then the image
// scrambled with the key table. No header and no length: any content is a
// settings file, so a short one is decoded as far as it goes.
inline constexpr qsizetype kSettingsVersionSize = 2;
// The version and the whole record: what every use of a file but loading needs.
inline constexpr qsizetype kWholeSettingsSize = kSettingsVersionSize + TSettingsRecord::kSize;

struct TSettingsFileContent {
    uint16_t version = 0;
    QByteArray image; // unscrambled; as long as the file's part after the version
};

// A file shorter than the version replaces only the bytes of versionBefore
// it holds.
TSettingsFileContent DecodeSettingsFile(const QByteArray& file, uint16_t versionBefore = 0);
QByteArray EncodeSettingsFile(uint16_t version, QByteArray image);

// How much of the version and the record a file holds. Callers word the
// shortfall by their purpose; most with ShortfallText.
struct TSettingsFileExtent {
    qsizetype fileBytes = 0;
    qsizetype recordBytes = 0; // of the record's, after the version
    bool Whole() const { return fileBytes >= kWholeSettingsSize; }
};
TSettingsFileExtent SettingsFileExtent(const QByteArray& file);
// "holds 10 of the 126 bytes of a version and a settings record"
QString ShortfallText(const TSettingsFileExtent& extent);

// Scrambling and unscrambling are one operation; index counts image bytes.
void ScrambleImage(QByteArray& bytes);
