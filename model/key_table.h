#pragma once

#include <array>
#include <cstdint>

// Key with which the settings image is scrambled in settings files. Never
// changes: files are exchangeable only between programs with the same table.
extern const std::array<uint8_t, 4096> kSettingsKey;
