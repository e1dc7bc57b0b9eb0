#include "link/qt_byte_port.h"

#include "link/device_state.h"
#include "link/link_log.h"
#include "link/port_table.h"
#include "link/serial_driver.h"

#include <QFileInfo>
#include <QThread>

#include <limits>

TQtBytePort::TQtBytePort() {
    clock_.start();
}

TQtBytePort::~TQtBytePort() {
    Close();
}

bool TQtBytePort::Ok(bool result) {
    if (port_.error() != QSerialPort::NoError)
        port_.clearError();
    return result;
}

QList<TSerialDeviceInfo> TQtBytePort::ListDevices() {
    // A new listing: a program that let go of a port meanwhile is not named.
    ForgetDeviceHolders();
    return SystemSerialDevices();
}

// Never opens: presence comes from the device node, so looking at the
// ports leaves every line as it was.
TProbeResult TQtBytePort::Probe(const QString& devicePath) {
    switch (InspectDevice(devicePath, false).kind) {
    case TOpenFailure::Kind::None:
    case TOpenFailure::Kind::InUse:
    case TOpenFailure::Kind::StaleLock:
        return TProbeResult::Present;
    case TOpenFailure::Kind::PermissionDenied:
        return TProbeResult::PermissionDenied;
    default:
        return TProbeResult::Absent;
    }
}

TOpenFailure TQtBytePort::Inspect(const QString& devicePath, bool holders) {
    return InspectDevice(devicePath, holders);
}

bool TQtBytePort::Open(const QString& devicePath) {
    Close();
    port_.setPortName(QFileInfo(devicePath).absoluteFilePath());
    const bool opened = port_.open(QIODevice::ReadWrite);
    openError_ = opened ? QString() : port_.errorString();
    if (opened)
        EnterLowLatency();
    return Ok(opened);
}

TOpenFailure TQtBytePort::WhyNotOpen(const QString& devicePath) {
    using Kind = TOpenFailure::Kind;
    const QString path = QFileInfo(devicePath).absoluteFilePath();
    // What the node and the lock file tell first; the device itself is
    // asked only when they do not explain the refusal.
    if (TOpenFailure seen = InspectDevice(devicePath, true); seen.kind != Kind::None)
        return seen;
    // A lock the open should have taken over but did not (another program's
    // format, say) is still the reason.
    if (TOpenFailure stale = StaleLockOf(devicePath); stale.kind != Kind::None)
        return stale;
    // Refused over the lock file alone (no lock folder this user may write,
    // say): the device was never touched, and opening it here would be.
    if (openError_.contains(QLatin1String("lock"), Qt::CaseInsensitive))
        return {Kind::Other, devicePath, openError_, {}};
    if (TOpenFailure node = OpenNodeDirectly(devicePath); node.kind != Kind::None) {
        if (node.kind == Kind::InUse)
            node.holder = DeviceHolder(path);
        return node;
    }
    // The device itself opens, so what refused it was a program's lock.
    const QString holder = DeviceHolder(path);
    if (!holder.isEmpty() || openError_.contains(QLatin1String("lock"), Qt::CaseInsensitive))
        return {Kind::InUse, devicePath, {}, holder};
    return {Kind::Other, devicePath, openError_, {}};
}

bool TQtBytePort::IsOpen() const {
    return port_.isOpen();
}

void TQtBytePort::Close() {
    if (port_.isOpen()) {
        LeaveLowLatency();
        port_.close();
    }
    Ok(true);
}

void TQtBytePort::Log(const QString& text) const {
    if (lcLink().isDebugEnabled())
        qCDebug(lcLink).noquote() << (logTag_.isEmpty() ? port_.portName() + QStringLiteral(": ")
                                                        : logTag_) +
                                         text;
}

// Where the driver refuses, the port works the same, only replies may come later.
void TQtBytePort::EnterLowLatency() {
    const TLowLatency mode = TurnOnLowLatency(port_.handle());
    savedSerialFlags_ = mode.previousFlags;
    switch (mode.result) {
    case TLowLatency::Result::On:
        Log(QStringLiteral("low-latency mode on"));
        break;
    case TLowLatency::Result::AlreadyOn:
        Log(QStringLiteral("low-latency mode already on"));
        break;
    case TLowLatency::Result::Refused:
        Log(QStringLiteral("low-latency mode refused: %1").arg(mode.reason));
        break;
    }
}

void TQtBytePort::LeaveLowLatency() {
    if (!savedSerialFlags_)
        return;
    const int before = *savedSerialFlags_;
    savedSerialFlags_.reset();
    // A pulled adapter fails here; nothing is left to restore then.
    if (const QString failed = RestoreSerialFlags(port_.handle(), before); !failed.isEmpty())
        Log(QStringLiteral("serial flags not restored: %1").arg(failed));
}

uint32_t TQtBytePort::SetBaudRate(uint32_t baud) {
    if (!port_.isOpen() || baud > uint32_t(std::numeric_limits<qint32>::max()))
        return 0;
    if (!Ok(port_.setBaudRate(qint32(baud))))
        return 0;
    const uint32_t actual = DriverBaudRate(port_.handle());
    return actual != 0 ? actual : uint32_t(port_.baudRate());
}

bool TQtBytePort::SetByteSize(uint8_t bits) {
    if (!port_.isOpen() || bits < 5 || bits > 8)
        return false;
    return Ok(port_.setDataBits(QSerialPort::DataBits(bits)));
}

bool TQtBytePort::SetParity(uint8_t parity) {
    static const QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                  QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                  QSerialPort::SpaceParity};
    if (!port_.isOpen() || parity > 4)
        return false;
    return Ok(port_.setParity(kParity[parity]));
}

bool TQtBytePort::SetStopBits(uint8_t stopBits) {
    static const QSerialPort::StopBits kStop[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                  QSerialPort::TwoStop};
    if (!port_.isOpen() || stopBits > 2)
        return false;
    return Ok(port_.setStopBits(kStop[stopBits]));
}

bool TQtBytePort::SetDtr(bool on) {
    if (!port_.isOpen())
        return false;
    return Ok(port_.setDataTerminalReady(on));
}

void TQtBytePort::PurgeInput() {
    if (port_.isOpen())
        Ok(port_.clear(QSerialPort::Input));
}

void TQtBytePort::PurgeOutput() {
    if (port_.isOpen())
        Ok(port_.clear(QSerialPort::Output));
}

int64_t TQtBytePort::Write(const uint8_t* data, int64_t size) {
    if (!port_.isOpen())
        return 0;
    const qint64 n = port_.write(reinterpret_cast<const char*>(data), size);
    Ok(n >= 0);
    // Hand everything to the driver now; without an event loop nothing else would.
    QElapsedTimer t;
    t.start();
    while (port_.bytesToWrite() > 0 && t.elapsed() < 1000) {
        if (!Ok(port_.waitForBytesWritten(int(1000 - t.elapsed()))))
            break;
    }
    return n < 0 ? 0 : n;
}

int64_t TQtBytePort::Read(uint8_t* data, int64_t max) {
    if (!port_.isOpen() || max <= 0)
        return 0;
    const qint64 n = port_.read(reinterpret_cast<char*>(data), max);
    Ok(true);
    return n < 0 ? 0 : n;
}

bool TQtBytePort::WaitReadable(int ms) {
    if (ms <= 0)
        return port_.isOpen() && port_.bytesAvailable() > 0;
    if (!port_.isOpen()) {
        Sleep(ms);
        return false;
    }
    // Bytes the event loop already fetched do not wake waitForReadyRead.
    if (port_.bytesAvailable() > 0)
        return true;
    const int64_t start = NowMs();
    if (Ok(port_.waitForReadyRead(ms)) || port_.bytesAvailable() > 0)
        return true;
    // A line that hung up fails at once; sleep out the rest instead of spinning.
    const int64_t left = ms - (NowMs() - start);
    if (left > 0)
        Sleep(int(left));
    return port_.bytesAvailable() > 0;
}

int64_t TQtBytePort::NowMs() {
    return clock_.elapsed();
}

void TQtBytePort::Sleep(int ms) {
    if (ms > 0)
        QThread::msleep(ulong(ms));
}
