#include "model/settings_format.h"

#include "model/key_table.h"

#include <QtEndian>

#include <algorithm>

void ScrambleImage(QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(bytes[i]) ^ kSettingsKey[size_t(i % 4096)]);
}

TSettingsFileContent DecodeSettingsFile(const QByteArray& file, uint16_t versionBefore) {
    uint8_t version[kSettingsVersionSize];
    qToLittleEndian<uint16_t>(versionBefore, version);
    for (qsizetype i = 0; i < kSettingsVersionSize && i < file.size(); ++i)
        version[i] = uint8_t(file[i]);
    TSettingsFileContent content{qFromLittleEndian<uint16_t>(version),
                                 file.mid(kSettingsVersionSize)};
    ScrambleImage(content.image);
    return content;
}

QByteArray EncodeSettingsFile(uint16_t version, QByteArray image) {
    ScrambleImage(image);
    QByteArray file(kSettingsVersionSize, '\0');
    qToLittleEndian<uint16_t>(version, file.data());
    return file + image;
}

TSettingsFileExtent SettingsFileExtent(const QByteArray& file) {
    return {file.size(),
            std::clamp<qsizetype>(file.size() - kSettingsVersionSize, 0, TSettingsRecord::kSize)};
}

QString ShortfallText(const TSettingsFileExtent& extent) {
    return QStringLiteral("holds %1 of the %2 bytes of a version and a settings record")
        .arg(extent.fileBytes)
        .arg(kWholeSettingsSize);
}
