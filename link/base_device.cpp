#include "link/base_device.h"

#include "link/checksum.h"
#include "support/errors.h"

#include <QtEndian>
#include <bit>

namespace {

// Multi-byte puts and gets go byte by byte, so one that runs past the buffer
// stops at the first byte beyond it, as single bytes do.
template <class T> void PutLittleEndian(TBaseInterface& link, T value) {
    uint8_t bytes[sizeof value];
    qToLittleEndian(value, bytes);
    for (uint8_t b : bytes)
        link.PutByte(b);
}

template <class T> T GetLittleEndian(TBaseInterface& link) {
    uint8_t bytes[sizeof(T)];
    for (uint8_t& b : bytes)
        b = link.GetByte();
    return qFromLittleEndian<T>(bytes);
}

} // namespace

void TBaseDevice::LoadSettings(TIniFile&) {}
void TBaseDevice::SaveSettings(TIniFile&) {}

bool TBaseInterface::ReplyChecksumOk() {
    return SumsToZero(std::span(ReplyBuffer).first(ReplyBuffer[0]));
}

void TBaseInterface::BeginFrame() {
    RequestPos = 1;
}

void TBaseInterface::FinishFrame() {
    const int32_t n = RequestPos;
    if (n < 0 || n + 1 > kMaxFrame)
        ThrowRangeError();
    RequestBuffer[0] = uint8_t(n + 1);
    RequestBuffer[size_t(n)] = FrameChecksum(std::span(RequestBuffer).first(size_t(n)));
}

void TBaseInterface::PutByte(uint8_t b) {
    if (RequestPos < 0 || RequestPos >= kBufferSize)
        ThrowRangeError();
    RequestBuffer[size_t(RequestPos)] = b;
    ++RequestPos;
}

void TBaseInterface::PutWord(uint16_t w) {
    PutLittleEndian(*this, w);
}

void TBaseInterface::PutDWord(int32_t d) {
    PutLittleEndian(*this, d);
}

void TBaseInterface::PutSingle(float f) {
    PutLittleEndian(*this, std::bit_cast<uint32_t>(f));
}

uint8_t TBaseInterface::GetByte() {
    if (ReplyPos < 0 || ReplyPos >= kBufferSize)
        ThrowRangeError();
    return ReplyBuffer[size_t(ReplyPos++)];
}

uint16_t TBaseInterface::GetWord() {
    return GetLittleEndian<uint16_t>(*this);
}

int32_t TBaseInterface::GetDWord() {
    return GetLittleEndian<int32_t>(*this);
}

float TBaseInterface::GetSingle() {
    return std::bit_cast<float>(GetLittleEndian<uint32_t>(*this));
}

double TBaseInterface::GetDouble() {
    return std::bit_cast<double>(GetLittleEndian<uint64_t>(*this));
}

QByteArray TBaseInterface::GetString() {
    return {};
}

void TBaseInterface::BeginRequest(uint8_t, uint8_t) {}

void TBaseInterface::Request(uint8_t, uint8_t, int) {}
