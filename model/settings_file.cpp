#include "model/settings_file.h"

#include "model/key_table.h"
#include "model/mk.h"
#include "support/endian.h"
#include "support/errors.h"
#include "support/file_io.h"

void ScrambleImage(QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(bytes[i]) ^ kSettingsKey[size_t(i % 4096)]);
}

QByteArray SettingsFileData(const TMK& mk) {
    QByteArray image = mk.Image;
    ScrambleImage(image);
    QByteArray out(2, '\0');
    PutLE16(reinterpret_cast<uint8_t*>(out.data()), mk.Version);
    return out + image;
}

void SaveSettingsFile(const TMK& mk, const QString& name) {
    WriteWholeFile(name, SettingsFileData(mk));
}

void LoadSettingsFile(TMK& mk, const QString& name) {
    LoadSettingsData(mk, ReadWholeFile(name));
}

void LoadSettingsData(TMK& mk, const QByteArray& data) {
    // A short file replaces only the version bytes it holds.
    uint8_t version[2];
    PutLE16(version, mk.Version);
    for (int i = 0; i < 2 && i < data.size(); ++i)
        version[i] = uint8_t(data[i]);
    mk.Version = GetLE16(version);

    QByteArray image = data.mid(2);
    ScrambleImage(image);
    // Overwrites from the start; a longer image keeps its tail.
    if (mk.Image.size() < image.size())
        mk.Image.resize(image.size());
    mk.Image.replace(0, image.size(), image);
    mk.UnpackSettings();
}

QByteArray TankFileData(const TMK& mk) {
    const auto& s = mk.Settings;
    QByteArray out(8, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    PutLE16(p + 0, s.Oil6L);
    PutLE16(p + 2, s.Lit6L);
    PutLE16(p + 4, s.Oil43L);
    PutLE16(p + 6, s.Lit43L);
    return out;
}

void SaveTankFile(const TMK& mk, const QString& name) {
    WriteWholeFile(name, TankFileData(mk));
}

void LoadTankFile(TMK& mk, const QString& name) {
    LoadTankData(mk, ReadWholeFile(name));
}

void LoadTankData(TMK& mk, const QByteArray& data) {
    // Same bytes as record offsets 0x40..0x47; a short file fills as far as it goes.
    auto bytes = mk.Settings.ToBytes();
    for (int i = 0; i < 8 && i < data.size(); ++i)
        bytes[size_t(0x40 + i)] = uint8_t(data[i]);
    mk.Settings = TSettingsRecord::FromBytes(bytes);
}
