#pragma once

#include <QString>
#include <cstdint>

class TMK;
class TSerialLink;

// What a device transfer shows while it runs. The window implements it with
// its progress window, the command-line tool with a bar on standard error.
class TTransferObserver {
public:
    virtual ~TTransferObserver() = default;
    virtual void Open() = 0;  // progress shown, not modal
    virtual void Close() = 0; // progress gone; runs after every transfer
    virtual void SetText(const QString& text) = 0;
    virtual void SetGauge(int percent) = 0;
    virtual void ShowGauge(bool visible) = 0;
    virtual void ShowCancel(bool visible) = 0;
    virtual bool Cancelled() = 0;
    virtual void ProcessEvents() = 0;
};

enum class TransferStatus {
    Done,            // message: the success text (a write's information)
    Cancelled,       // the user gave up while connecting; nothing changed
    Failed,          // a read failed in its block phase; message: the error
    VersionMismatch, // a write found another settings version; nothing sent
    Refused,         // a write refused before connecting; nothing sent
    NotVerified,     // a verified write was sent, but its read-back failed or differs
};

struct TransferResult {
    TransferStatus status;
    QString message;
};

inline constexpr uint8_t kDeviceAddress = 244;
inline constexpr int kImageSize = 2048;
inline constexpr int kBlockSize = 32;
inline constexpr uint32_t kTransferBaudRate = 115200;
// Whole reply frames: the version (a byte and a word), a block of 32 bytes,
// and the empty acknowledgement of a written block and of the closing command.
inline constexpr int kVersionReplyLength = 9;
inline constexpr int kBlockReplyLength = 38;
inline constexpr int kAckReplyLength = 6;

// How long a transfer waits for the trip computer. The defaults are the
// device's own; tests shorten them so a silent line costs little.
struct TTransferTimings {
    // Reply time-out while connecting and while reading blocks.
    uint16_t readReplyMs = 100;
    // Reply time-out of a written block and of the closing command: the
    // device stores the block before it answers.
    uint16_t writeReplyMs = 3000;
    // The longest gap between two bytes of one reply.
    uint16_t byteMs = 200;
    // The pause before the link tries an exchange again.
    uint16_t retryPauseMs = 50;
};

// Reads version and image; they and the record change together, only when
// all blocks have arrived. The port is closed at the end, whatever happened.
TransferResult ReadFromDevice(TSerialLink& link, TMK& mk, TTransferObserver& observer,
                              const TTransferTimings& timings = {});

// Writes the settings record after the version check. Link errors in the
// block phase are raised after the port has been closed; once a block
// request has gone out, their message gains the line Texts::TornWrite().
TransferResult WriteToDevice(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                             const TTransferTimings& timings = {});

// How a verified write reads the record back after the closing command.
struct VerifyOptions {
    // Pause after the closing command before asking for the version again:
    // the trip computer may be busy storing the record.
    int delayMs = 0;
};

// WriteToDevice, then on the same open port: the pause, Connecting again
// (given up when the observer cancels), command 5 for the blocks written,
// and a comparison of their first Size bytes with the record sent. The
// filler bytes of the last block are not compared: they are not part of the
// record, and the trip computer may keep its own bytes there.
TransferResult WriteAndVerify(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                              const VerifyOptions& options, const TTransferTimings& timings = {});

namespace Texts {
QString Connecting();
QString Reading();
QString Writing();
QString VersionMismatch();
QString Written();
QString TornWrite();
QString BadRecordSize(uint32_t size);
QString NotVerified(const QString& why);
QString ReadBackDiffers(const QString& field, int offset, const QString& written,
                        const QString& readBack, int fields);
} // namespace Texts
