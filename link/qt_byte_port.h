#pragma once

#include "link/byte_port.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <optional>

// The real serial line, on QSerialPort.
class TQtBytePort final : public TBytePort {
public:
    TQtBytePort();
    ~TQtBytePort() override;

    QList<TSerialDeviceInfo> ListDevices() override;
    TProbeResult Probe(const QString& devicePath) override;
    bool Open(const QString& devicePath) override;
    void SetLogTag(const QString& tag) override { logTag_ = tag; }
    TOpenFailure WhyNotOpen(const QString& devicePath) override;
    TOpenFailure Inspect(const QString& devicePath, bool holders) override;
    bool IsOpen() const override;
    void Close() override;
    uint32_t SetBaudRate(uint32_t baud) override;
    bool SetByteSize(uint8_t bits) override;
    bool SetParity(uint8_t parity) override;
    bool SetStopBits(uint8_t stopBits) override;
    bool SetDtr(bool on) override;
    void PurgeInput() override;
    void PurgeOutput() override;
    int64_t Write(const uint8_t* data, int64_t size) override;
    int64_t Read(uint8_t* data, int64_t max) override;
    bool WaitReadable(int ms) override;
    int64_t NowMs() override;
    void Sleep(int ms) override;

private:
    // QSerialPort keeps the last error until cleared; a refused call (DTR on a
    // pseudo-terminal, a time-out) must not poison the calls that follow.
    bool Ok(bool result);
    // Asks the driver to pass received bytes on at once (a USB adapter holds
    // short replies for its latency timer otherwise), and gives back the
    // flags it had.
    void EnterLowLatency();
    void LeaveLowLatency();
    // A line of the traffic log about the port.
    void Log(const QString& text) const;

    QSerialPort port_;
    QElapsedTimer clock_;
    std::optional<int> savedSerialFlags_; // to restore before closing
    QString openError_;                   // QSerialPort's words for the last failed Open
    QString logTag_;
};
