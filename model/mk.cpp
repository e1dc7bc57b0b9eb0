#include "model/mk.h"

#include <algorithm>
#include <cstring>

namespace {
struct Rgb5 {
    int r, g, b;
};
constexpr Rgb5 kPaletteRgb[16] = {
    {0, 0, 0},   {16, 4, 4},  {0, 22, 22}, {25, 25, 0}, {0, 0, 25},   {18, 0, 18},
    {9, 31, 26}, {16, 16, 16}, {31, 0, 31}, {31, 0, 0},  {0, 31, 0},   {31, 31, 0},
    {0, 0, 31},  {31, 22, 0}, {0, 31, 31}, {31, 31, 31},
};
} // namespace

uint16_t TMK::PaletteEntry(int red5, int green5, int blue5) {
    // The 6-bit green repeats green's lowest bit.
    return uint16_t((red5 << 11) | (green5 << 6) | ((green5 & 1) << 5) | blue5);
}

TMK::TMK() : Settings(TSettingsRecord::Defaults()) {
    for (int i = 0; i < 16; ++i)
        Palette[size_t(i)] = PaletteEntry(kPaletteRgb[i].r, kPaletteRgb[i].g, kPaletteRgb[i].b);
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
