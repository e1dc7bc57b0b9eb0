#pragma once

#include <cstdint>

// The trip computer's side of the packet protocol: where it listens, what it
// is asked and how much each answer carries. The link frames these requests;
// the transfers and the simulator speak them.

inline constexpr uint8_t kDeviceAddress = 244;
inline constexpr uint32_t kTransferBaudRate = 115200;

// The parameter memory a read fetches, in blocks of one request each.
inline constexpr int kImageSize = 2048;
inline constexpr int kBlockSize = 32;
static_assert(kImageSize % kBlockSize == 0);

// Commands, with their request data:
inline constexpr uint8_t kVersionCommand = 1;    // none
inline constexpr uint8_t kReadBlockCommand = 5;  // block number
inline constexpr uint8_t kWriteBlockCommand = 4; // block number, kBlockSize, the block
inline constexpr uint8_t kEndWriteCommand = 7;   // 0, record size - 4

// Whole reply frames: the version (a byte and a word), a block of 32 bytes,
// and the empty acknowledgement of a written block and of the closing command.
inline constexpr int kVersionReplyLength = 9;
inline constexpr int kBlockReplyLength = 6 + kBlockSize;
inline constexpr int kAckReplyLength = 6;
