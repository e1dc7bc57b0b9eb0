#include "model/settings_file.h"

#include "model/mk.h"
#include "model/settings_json.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <iterator>

namespace {

bool IsNetpbmSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// "P6" or "P3", then width, height and largest value, as the format writes
// them: each after white space (or a "#" comment), the last followed by one
// white space character.
bool IsPpm(const QByteArray& d) {
    if (d.size() < 3 || d[0] != 'P' || (d[1] != '6' && d[1] != '3'))
        return false;
    qsizetype at = 2;
    for (int number = 0; number < 3; ++number) {
        const qsizetype before = at;
        while (at < d.size() && (IsNetpbmSpace(d[at]) || d[at] == '#')) {
            if (d[at] == '#')
                while (at < d.size() && d[at] != '\n' && d[at] != '\r')
                    ++at;
            else
                ++at;
        }
        if (at == before)
            return false;
        qint64 value = 0;
        const qsizetype digits = at;
        while (at < d.size() && d[at] >= '0' && d[at] <= '9' && at - digits < 10)
            value = value * 10 + (d[at++] - '0');
        if (at == digits || value == 0 || (number == 2 && value > 65535))
            return false;
    }
    return at < d.size() && IsNetpbmSpace(d[at]);
}

// "BM", reserved words at zero, an information header of a size the format
// knows and the pixels after it.
bool IsBmp(const QByteArray& d) {
    if (d.size() < 26 || !d.startsWith("BM"))
        return false;
    const auto* b = reinterpret_cast<const uint8_t*>(d.constData());
    const uint32_t offset = qFromLittleEndian<uint32_t>(b + 10),
                   header = qFromLittleEndian<uint32_t>(b + 14);
    static constexpr uint32_t kHeaders[] = {12, 40, 52, 56, 64, 108, 124};
    return qFromLittleEndian<uint32_t>(b + 6) == 0 &&
           std::find(std::begin(kHeaders), std::end(kHeaders), header) != std::end(kHeaders) &&
           offset >= 14 + header;
}

// What export writes: a JSON object with its format named. Only text that
// opens as an object is parsed.
bool IsSettingsJson(const QByteArray& d) {
    qsizetype at = d.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < d.size() && (d[at] == ' ' || d[at] == '\t' || d[at] == '\n' || d[at] == '\r'))
        ++at;
    if (at == d.size() || d[at] != '{')
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(d.mid(at));
    return doc.isObject() &&
           doc.object().value(QStringLiteral("format")) == QLatin1String(kSettingsJsonFormat);
}

} // namespace

TForeignFile RecognizeForeignFile(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1A\n"))
        return TForeignFile::Png;
    if (IsBmp(data))
        return TForeignFile::Bmp;
    if (IsPpm(data))
        return TForeignFile::Ppm;
    if (IsSettingsJson(data))
        return TForeignFile::SettingsJson;
    return TForeignFile::None;
}

QString ForeignFileReason(TForeignFile kind) {
    switch (kind) {
    case TForeignFile::SettingsJson:
        return QStringLiteral("It is the JSON form of a settings file (tripconf-cli export writes "
                              "it), not a settings file: use tripconf-cli import to make one of "
                              "it.");
    case TForeignFile::Png:
        return QStringLiteral("It is a PNG image, not a settings file.");
    case TForeignFile::Bmp:
        return QStringLiteral("It is a BMP image, not a settings file.");
    case TForeignFile::Ppm:
        return QStringLiteral("It is a PPM image, not a settings file.");
    case TForeignFile::None:
        break;
    }
    return {};
}

NotSettingsFileError::NotSettingsFileError(const QString& name, TForeignFile kind)
    : FileError(QStringLiteral("Cannot load settings from file \"%1\". %2")
                    .arg(name, ForeignFileReason(kind)),
                ForeignFileReason(kind)),
      kind_(kind) {}

QByteArray ReadSettingsFile(const QString& name) {
    QByteArray data = ReadWholeFile(name);
    if (const TForeignFile kind = RecognizeForeignFile(data); kind != TForeignFile::None)
        throw NotSettingsFileError(name, kind);
    return data;
}

QByteArray SettingsFileData(const TMK& mk) {
    return EncodeSettingsFile(mk.Version, mk.Image);
}

void SaveSettingsFile(const TMK& mk, const QString& name) {
    WriteWholeFile(name, SettingsFileData(mk));
}

void LoadSettingsFile(TMK& mk, const QString& name) {
    LoadSettingsData(mk, ReadSettingsFile(name));
}

void LoadSettingsData(TMK& mk, const QByteArray& data) {
    // A short file replaces only the version bytes it holds.
    const TSettingsFileContent content = DecodeSettingsFile(data, mk.Version);
    mk.Version = content.version;
    const QByteArray& image = content.image;
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
    qToLittleEndian<uint16_t>(s.Oil6L, p + 0);
    qToLittleEndian<uint16_t>(s.Lit6L, p + 2);
    qToLittleEndian<uint16_t>(s.Oil43L, p + 4);
    qToLittleEndian<uint16_t>(s.Lit43L, p + 6);
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
