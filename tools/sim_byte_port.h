#pragma once

#include "link/byte_port.h"
#include "tools/simulator.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>

// The simulated trip computer as the link's byte port, in-process and on a
// virtual clock: what is written goes to the device at once, and its replies
// become readable at the times their delay, pacing and adapter say, as over
// the pseudo-terminal. WaitReadable and Sleep move the clock on, so a wait
// costs no real time. The port lists one device, its path, while one is
// plugged in; without one it is a machine without serial ports.
class TSimBytePort : public TBytePort {
public:
    // The device stays the caller's and must outlive the port; nullptr: none.
    explicit TSimBytePort(TSimDevice* device = nullptr,
                          QString path = QStringLiteral("/dev/ttySIM0"));

    // Plugs another device in behind the path, or pulls it out (nullptr):
    // what was on its way is lost.
    void Plug(TSimDevice* device);
    QString Path() const { return path_; }
    // Called after each Write has reached the device, on the writer's thread.
    std::function<void()> OnWrite;

    QList<TSerialDeviceInfo> ListDevices() override;
    TProbeResult Probe(const QString& devicePath) override;
    bool Open(const QString& devicePath) override;
    TOpenFailure WhyNotOpen(const QString& devicePath) override;
    bool IsOpen() const override { return open_; }
    void Close() override;
    uint32_t SetBaudRate(uint32_t baud) override { return open_ ? baud : 0; }
    bool SetByteSize(uint8_t) override { return open_; }
    bool SetParity(uint8_t) override { return open_; }
    bool SetStopBits(uint8_t) override { return open_; }
    bool SetDtr(bool) override { return false; } // as a pseudo-terminal
    void PurgeInput() override;
    void PurgeOutput() override {}
    int64_t Write(const uint8_t* data, int64_t size) override;
    int64_t Read(uint8_t* data, int64_t max) override;
    bool WaitReadable(int ms) override;
    int64_t NowMs() override { return nowNs_ / 1000000; }
    void Sleep(int ms) override;

private:
    // The device, when one is there and has not hung up by now.
    TSimDevice* Present();
    // Moves the clock on, letting the junk stream run meanwhile.
    void Advance(int64_t toNs);
    // Bytes readable by now.
    qsizetype Readable() const;

    TSimDevice* device_;
    QString path_;
    bool open_ = false;
    int64_t nowNs_ = 0;
    QByteArray pending_;      // the request bytes not yet cut into frames
    int64_t lastRxNs_ = 0;    // when the last of them came
    int64_t busyUntilNs_ = 0; // the device reads the next request after its last reply
    int64_t hangUpNs_ = -1;   // the device closed its line then
    struct TBytes {
        int64_t readyNs;
        QByteArray bytes;
    };
    std::deque<TBytes> incoming_; // in order of readyNs
};
