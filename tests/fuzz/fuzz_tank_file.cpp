// Loads arbitrary bytes as a tank calibration file into a settings record.
//
// Checked: only the four calibration values change, each byte present in the
// file lands in its place, and saving gives the file's first 8 bytes back.

#include "core/protocol.h"
#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    TMK mk;
    mk.Image = QByteArray(kImageSize, char(0xA5));
    mk.UnpackSettings();
    const auto before = mk.Settings.ToBytes();
    const QByteArray beforeFile = TankFileData(mk);
    const uint16_t version = mk.Version;

    LoadTankData(mk, file);
    const auto after = mk.Settings.ToBytes();
    for (size_t i = 0; i < before.size(); ++i) {
        const bool fromFile = i >= 0x40 && i < 0x48 && i - 0x40 < size;
        Check(after[i] == (fromFile ? data[i - 0x40] : before[i]));
    }
    Check(mk.Version == version);
    Check(mk.Image == QByteArray(kImageSize, char(0xA5)));
    const QByteArray saved = TankFileData(mk);
    Check(saved.size() == 8);
    const qsizetype n = qsizetype(std::min<size_t>(size, 8));
    Check(saved.left(n) == file.left(8));
    Check(saved.mid(n) == beforeFile.mid(n));
    for (const char* name : {"Oil6L", "Lit6L", "Oil43L", "Lit43L"})
        Check(ShownFieldText(mk.Settings, *FindField(name)).has_value());
    return 0;
}
