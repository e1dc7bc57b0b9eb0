#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// A serial device the system knows of, as it lists them.
struct TSerialDeviceInfo {
    QString devicePath;  // e.g. "/dev/ttyUSB0"
    QString description; // adapter description or product; may be empty
    QString manufacturer{};
    QString serialNumber{};
    // USB ids, when the adapter is on USB.
    bool hasUsbIds = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

enum class TProbeResult { Present, Absent, PermissionDenied };

// Why a device could not be opened, as the system tells it.
// Also what a look at the device node and its lock file tells without
// opening it (Kind::None there: free, as far as can be told).
struct TOpenFailure {
    enum class Kind { None, NotFound, NotSerial, PermissionDenied, InUse, StaleLock, Other };
    Kind kind = Kind::None; // None: opened, or nothing is known
    QString path;
    QString reason; // the system's words; may be empty
    QString holder; // the program holding the port ("name, process PID"), when known
    // StaleLock: the lock file left by a process no longer running.
    QString lockFile{};
    qint64 lockPid = 0;
    // PermissionDenied: the device's owner and group, and whether its group
    // may read and write it (so that joining the group helps).
    QString owner{};
    QString group{};
    bool groupMayOpen = false;
};

// The byte-level serial port beneath the link. Everything that depends on the
// operating system or on the serial library lives behind this interface,
// including the clock, so a test or a fuzzer can stand in for the whole line.
class TBytePort {
public:
    virtual ~TBytePort() = default;

    // Serial devices present on the system, in no particular order.
    virtual QList<TSerialDeviceInfo> ListDevices() = 0;
    // Whether the device can be opened for reading and writing right now.
    virtual TProbeResult Probe(const QString& devicePath) = 0;

    virtual bool Open(const QString& devicePath) = 0;
    // Begins the port's own lines of the traffic log (TSerialPortBase::LogTag);
    // without one they begin with the port's name.
    virtual void SetLogTag(const QString& tag) { (void)tag; }
    // Why Open(devicePath) fails right now; Kind::None when it cannot tell.
    virtual TOpenFailure WhyNotOpen(const QString& devicePath) {
        return {TOpenFailure::Kind::None, devicePath, {}, {}};
    }
    // The device's state from its node and lock file, never opening it; by
    // default what Probe says. holders: also name a program that has it
    // open without a lock (a look through every process: slower).
    virtual TOpenFailure Inspect(const QString& devicePath, bool holders) {
        (void)holders;
        switch (Probe(devicePath)) {
        case TProbeResult::Present:
            return {TOpenFailure::Kind::None, devicePath, {}, {}};
        case TProbeResult::PermissionDenied:
            return {TOpenFailure::Kind::PermissionDenied, devicePath, {}, {}};
        case TProbeResult::Absent:
            break;
        }
        return {TOpenFailure::Kind::NotFound, devicePath, {}, {}};
    }
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    // Applies a baud rate; returns the rate the driver accepted, 0 when the
    // port is closed or cannot tell.
    virtual uint32_t SetBaudRate(uint32_t baud) = 0;
    // Line settings in the codes the link keeps (data bits 5..8; parity 0 none,
    // 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two).
    virtual bool SetByteSize(uint8_t bits) = 0;
    virtual bool SetParity(uint8_t parity) = 0;
    virtual bool SetStopBits(uint8_t stopBits) = 0;
    // False when the line has no modem lines (a pseudo-terminal); harmless.
    virtual bool SetDtr(bool on) = 0;

    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
    // Queues the bytes for sending; returns how many were taken.
    virtual int64_t Write(const uint8_t* data, int64_t size) = 0;
    // Takes up to max bytes that have already arrived; never waits.
    virtual int64_t Read(uint8_t* data, int64_t max) = 0;
    // Blocks until bytes can be read or ms milliseconds have passed; true
    // when bytes can be read. Never returns early without bytes, so callers
    // cannot spin on a dead line.
    virtual bool WaitReadable(int ms) = 0;

    // Monotonic clock in milliseconds, and a plain pause.
    virtual int64_t NowMs() = 0;
    virtual void Sleep(int ms) = 0;
};
