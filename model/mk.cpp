#include "model/mk.h"

#include "support/errors.h"

#include <algorithm>
#include <cstring>

namespace {
struct Rgb5 {
    int r, g, b;
};
constexpr Rgb5 kPaletteRgb[16] = {
    {0, 0, 0},   {16, 4, 4},   {0, 22, 22}, {25, 25, 0},  {0, 0, 25}, {18, 0, 18},
    {9, 31, 26}, {16, 16, 16}, {31, 0, 31}, {31, 0, 0},   {0, 31, 0}, {31, 31, 0},
    {0, 0, 31},  {31, 22, 0},  {0, 31, 31}, {31, 31, 31},
};
} // namespace

uint16_t TMK::PaletteEntry(int red5, int green5, int blue5) {
    // The 6-bit green repeats green's lowest bit.
    return uint16_t((red5 << 11) | (green5 << 6) | ((green5 & 1) << 5) | blue5);
}

TMK::TMK() : Settings(TSettingsRecord::Defaults()) {
    for (int i = 0; i < 16; ++i)
        Palette[size_t(i)] = PaletteEntry(kPaletteRgb[i].r, kPaletteRgb[i].g, kPaletteRgb[i].b);
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
    ParameterList.clear();
    ParameterList.push_back(std::make_unique<TTime>());
    ParameterList.push_back(std::make_unique<TRevolutions>());
    ParameterList.push_back(std::make_unique<TAccVoltage>());
    ParameterList.push_back(std::make_unique<TTemperLiq>());
    ParameterList.push_back(std::make_unique<TVelocity>());
    ParameterList.push_back(std::make_unique<TThrottle>());
    ParameterList.push_back(std::make_unique<TMomentaryExpense>());
    ParameterList.push_back(std::make_unique<TOil>());
    ParameterList.push_back(std::make_unique<TPrognoz>());
    ParameterList.push_back(std::make_unique<TTemperOilAKPP>());
    ParameterList.push_back(std::make_unique<TMAF>());
    ParameterList.push_back(std::make_unique<TUOZ>());
}

const TMeasParBase* TMK::FindParameter(uint8_t index) const {
    for (const auto& p : ParameterList)
        if (p->Index == index)
            return p.get();
    return nullptr;
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
