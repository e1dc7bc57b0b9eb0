#pragma once

#include <cstdint>
#include <span>

// A frame ends in a checksum byte that makes all its bytes sum to 0 modulo 256.

// The byte that, appended to these bytes, makes them sum to 0 modulo 256.
constexpr uint8_t FrameChecksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    return uint8_t(-sum);
}

// True when these bytes, a frame with its checksum, sum to 0 modulo 256.
constexpr bool SumsToZero(std::span<const uint8_t> bytes) {
    return FrameChecksum(bytes) == 0;
}
