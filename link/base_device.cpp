#include "link/base_device.h"

#include "support/endian.h"
#include "support/errors.h"

void TBaseDevice::LoadSettings(TIniFile&) {}
void TBaseDevice::SaveSettings(TIniFile&) {}

bool TBaseInterface::ReplyChecksumOk() {
    const int m = ReplyBuffer[0];
    unsigned sum = 0;
    for (int i = 0; i < m; ++i)
        sum += ReplyBuffer[size_t(i)];
    return sum % 256 == 0;
}

void TBaseInterface::BeginFrame() {
    RequestPos = 1;
}

void TBaseInterface::FinishFrame() {
    const int32_t n = RequestPos;
    if (n < 0 || n + 1 > kMaxFrame)
        ThrowRangeError();
    RequestBuffer[0] = uint8_t(n + 1);
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += RequestBuffer[size_t(i)];
    RequestBuffer[size_t(n)] = uint8_t((256 - sum % 256) % 256);
}

void TBaseInterface::PutByte(uint8_t b) {
    if (RequestPos < 0 || RequestPos >= kBufferSize)
        ThrowRangeError();
    RequestBuffer[size_t(RequestPos)] = b;
    ++RequestPos;
}

void TBaseInterface::PutWord(uint16_t w) {
    PutByte(uint8_t(w));
    PutByte(uint8_t(w >> 8));
}

void TBaseInterface::PutDWord(int32_t d) {
    const auto u = uint32_t(d);
    for (int i = 0; i < 4; ++i)
        PutByte(uint8_t(u >> (8 * i)));
}

void TBaseInterface::PutSingle(float f) {
    const uint32_t u = FloatBits(f);
    for (int i = 0; i < 4; ++i)
        PutByte(uint8_t(u >> (8 * i)));
}

uint8_t TBaseInterface::GetByte() {
    if (ReplyPos < 0 || ReplyPos >= kBufferSize)
        ThrowRangeError();
    return ReplyBuffer[size_t(ReplyPos++)];
}

uint16_t TBaseInterface::GetWord() {
    const uint8_t lo = GetByte();
    const uint8_t hi = GetByte();
    return uint16_t(lo | (hi << 8));
}

int32_t TBaseInterface::GetDWord() {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(GetByte()) << (8 * i);
    return int32_t(u);
}

float TBaseInterface::GetSingle() {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(GetByte()) << (8 * i);
    return FloatFromBits(u);
}

double TBaseInterface::GetDouble() {
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= uint64_t(GetByte()) << (8 * i);
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

QByteArray TBaseInterface::GetString() {
    return {};
}

void TBaseInterface::BeginRequest(uint8_t, uint8_t) {}

void TBaseInterface::Request(uint8_t, uint8_t, int) {}
