#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

class TIniFile;

// A device with its own section in the application's INI file.
class TBaseDevice {
public:
    virtual ~TBaseDevice() = default;

    QString SectionName;

    virtual void LoadSettings(TIniFile& ini);
    virtual void SaveSettings(TIniFile& ini);
};

// Everything one request/reply exchange needs apart from the line itself:
// the two frame buffers, the puts that build a request, the gets that take a
// reply apart, and the frame's length byte and checksum.
class TBaseInterface : public TBaseDevice {
public:
    static constexpr int kBufferSize = 2048;
    static constexpr int kMaxFrame = 255;

    std::array<uint8_t, kBufferSize> RequestBuffer{};
    std::array<uint8_t, kBufferSize> ReplyBuffer{};
    // Next put writes here; after FinishFrame, the index of the checksum byte.
    int32_t RequestPos = 0;
    // Next get reads here; 5 (the first data byte) after an exchange.
    int32_t ReplyPos = 0;

    // True when the bytes of the received frame sum to 0 modulo 256.
    virtual bool ReplyChecksumOk();
    virtual void BeginFrame();
    // Writes the length byte and the checksum byte; "Range check error" for a
    // frame longer than 255 bytes.
    virtual void FinishFrame();

    // Every put is a sequence of PutByte calls and every get a sequence of
    // GetByte calls; both raise "Range check error" past index 2047.
    virtual void PutChar(char c) = 0;
    virtual void PutByte(uint8_t b);
    virtual void PutWord(uint16_t w);
    virtual void PutDWord(int32_t d);
    virtual void PutSingle(float f);
    virtual char GetChar() = 0;
    virtual uint8_t GetByte();
    virtual uint16_t GetWord();
    virtual int32_t GetDWord();
    virtual float GetSingle();
    virtual double GetDouble();
    // Empty here; the serial link reads a zero-terminated string.
    virtual QByteArray GetString();

    virtual void BeginRequest(uint8_t address, uint8_t command);
    // Finishes the request and exchanges it; the reply is then ready for gets.
    // replyLength is the whole reply frame's length that the request's
    // command returns; a reply of another length is not its answer.
    virtual void Transact(int replyLength) = 0;
    virtual void Request(uint8_t address, uint8_t command, int replyLength);
};
