#include "model/mk.h"

#include "support/errors.h"

#include <algorithm>
#include <cstring>

TMK::TMK() : Palette(DisplayPalette()), Settings(TSettingsRecord::Defaults()) {
    BuildParameterList();
}

void TMK::BuildProtocolList() {
    CurrentProtocol = nullptr;
    ProtocolList = CreateProtocolCatalogue();
    CurrentProtocol = &ProtocolAt(Settings.Protocol);
}

const TProtBase& TMK::ProtocolAt(int number) const {
    if (number < 0 || size_t(number) >= ProtocolList.size())
        throw TripError(QStringLiteral("List index out of bounds (%1)").arg(number));
    return *ProtocolList[size_t(number)];
}

void TMK::BuildParameterList() {
    ParameterList = CreateParameterCatalogue();
}

const TMeasParBase* TMK::FindParameter(uint8_t index) const {
    return ::FindParameter(ParameterList, index);
}

TPreviewSource TMK::PreviewSource() const {
    return {Settings, Palette, ParameterList};
}

uint16_t TMK::PaletteColour(uint8_t index) const {
    return PreviewSource().Colour(index);
}

bool TMK::EditSettings(const std::function<bool(TMK&)>& runDialog) {
    UnpackSettings();
    try {
        BuildProtocolList();
    } catch (const TripError&) {
        // A protocol number without an entry: the editor still opens, with no
        // protocol chosen, and says so itself.
    }
    const TSettingsRecord saved = Settings;
    BuildParameterList();
    bool ok = false;
    try {
        ok = runDialog(*this);
    } catch (...) {
        Settings = saved;
        throw;
    }
    if (ok) {
        PackSettings();
        return true;
    }
    Settings = saved;
    return false;
}

void TMK::UnpackSettings() {
    auto bytes = Settings.ToBytes();
    const auto n = std::min<qsizetype>(Image.size(), TSettingsRecord::kSize);
    std::memcpy(bytes.data(), Image.constData(), size_t(n));
    Settings = TSettingsRecord::FromBytes(bytes);
}

void TMK::PackSettings() {
    if (Image.size() < TSettingsRecord::kSize)
        Image.resize(TSettingsRecord::kSize);
    const auto bytes = Settings.ToBytes();
    std::memcpy(Image.data(), bytes.data(), bytes.size());
}
