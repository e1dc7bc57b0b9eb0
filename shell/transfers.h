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
};

struct TransferResult {
    TransferStatus status;
    QString message;
};

inline constexpr uint8_t kDeviceAddress = 244;
inline constexpr int kImageSize = 2048;
inline constexpr int kBlockSize = 32;
inline constexpr uint32_t kTransferBaudRate = 115200;

// Reads version and image; they and the record change together, only when
// all blocks have arrived. The port is closed at the end, whatever happened.
TransferResult ReadFromDevice(TSerialLink& link, TMK& mk, TTransferObserver& observer);

// Writes the settings record after the version check. Link errors in the
// block phase are raised after the port has been closed.
TransferResult WriteToDevice(TSerialLink& link, const TMK& mk, TTransferObserver& observer);

namespace Texts {
QString Connecting();
QString Reading();
QString Writing();
QString VersionMismatch();
QString Written();
QString BadRecordSize(uint32_t size);
} // namespace Texts
