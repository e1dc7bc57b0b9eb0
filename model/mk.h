#pragma once

#include "model/settings_record.h"

#include <QByteArray>
#include <array>
#include <cstdint>

// The settings model: the trip computer's parameter memory as last read or
// loaded, and the interpreted settings record at its start.
class TMK {
public:
    static constexpr int kImageSize = 2048;

    TMK();

    // The trip computer's 16 display colours, RGB565; fixed.
    std::array<uint16_t, 16> Palette;
    // Settings image; empty until a device read or a file load.
    QByteArray Image;
    TSettingsRecord Settings;
    // Settings version; 16 bits as the device and the files carry it.
    uint16_t Version = 0;

    // Image bytes 0..123 into Settings; a shorter image fills only what it has.
    void UnpackSettings();
    // Settings into image bytes 0..123; grows the image to 124 bytes if shorter.
    void PackSettings();

    static uint16_t PaletteEntry(int red5, int green5, int blue5);
};
