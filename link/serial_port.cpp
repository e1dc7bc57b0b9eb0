#include "link/serial_port.h"

#include "link/link_log.h"
#include "link/port_table.h"
#include "link/qt_byte_port.h"
#include "support/ini_file.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>

namespace {

QString Canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
}

// The words for users are the front end's; without one, a line for whoever
// reads standard error: "no free serial port: COM1 not-serial /dev/ttyS0 (...)".
void PrintProblem(const TPortProblem& problem) {
    QString line = QStringLiteral("no free serial port");
    QStringList ports;
    for (const TPortProblem::Entry& e : problem.ports) {
        QString port = QStringLiteral("COM%1 %2 %3")
                           .arg(e.number)
                           .arg(QString::fromLatin1(PortStateCode(e.state.kind)), e.state.path);
        if (!e.state.reason.isEmpty())
            port += QStringLiteral(" (%1)").arg(e.state.reason);
        ports << port;
    }
    if (!ports.isEmpty())
        line += QStringLiteral(": ") + ports.join(QStringLiteral(", "));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

} // namespace

QString AdapterText(const TSerialDeviceInfo& a) {
    QStringList parts;
    if (!a.description.isEmpty())
        parts << a.description;
    if (!a.manufacturer.isEmpty() && a.manufacturer != a.description)
        parts << a.manufacturer;
    if (!a.serialNumber.isEmpty())
        parts << QStringLiteral("serial ") + a.serialNumber;
    if (a.hasUsbIds)
        parts << QStringLiteral("USB %1:%2")
                     .arg(a.vendorId, 4, 16, QLatin1Char('0'))
                     .arg(a.productId, 4, 16, QLatin1Char('0'));
    return parts.join(QStringLiteral(", "));
}

const char* PortStateCode(TOpenFailure::Kind kind) {
    switch (kind) {
    case TOpenFailure::Kind::None:
        return "free";
    case TOpenFailure::Kind::InUse:
        return "in-use";
    case TOpenFailure::Kind::StaleLock:
        return "stale-lock";
    case TOpenFailure::Kind::NotFound:
        return "no-device";
    case TOpenFailure::Kind::NotSerial:
        return "not-serial";
    case TOpenFailure::Kind::PermissionDenied:
        return "no-permission";
    case TOpenFailure::Kind::Other:
        break;
    }
    return "other";
}

TSerialPortBase::TSerialPortBase(std::unique_ptr<TBytePort> port)
    : port_(port ? std::move(port) : std::make_unique<TQtBytePort>()) {
    ShowPortProblem = PrintProblem;
}

TSerialPortBase::~TSerialPortBase() {
    ClosePort();
}

void TSerialPortBase::ReportProblem(const TPortProblem& problem) {
    if (ShowPortProblem)
        ShowPortProblem(problem);
    else
        PrintProblem(problem);
}

void TSerialPortBase::BuildTable() {
    table_ = {};
    adapters_ = {};
    const QList<TSerialDeviceInfo> devices =
        devicePath_.isEmpty() ? port_->ListDevices() : QList<TSerialDeviceInfo>();
    if (!devicePath_.isEmpty()) {
        table_[1] = devicePath_;
    } else if (!iniTable_.isEmpty()) {
        for (const auto& [n, path] : iniTable_)
            table_[size_t(n)] = path;
    } else {
        const QStringList paths = DefaultPortPaths(devices);
        for (int n = 1; n <= kMaxPortNumber && n <= paths.size(); ++n)
            table_[size_t(n)] = paths[n - 1];
    }
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        if (table_[size_t(n)].isEmpty())
            continue;
        const QString path = Canonical(table_[size_t(n)]);
        for (const TSerialDeviceInfo& d : devices)
            if (Canonical(d.devicePath) == path)
                adapters_[size_t(n)] = d;
    }
}

QString TSerialPortBase::PortPath(int n) const {
    if (n < 1 || n > kMaxPortNumber)
        return {};
    return table_[size_t(n)];
}

QString TSerialPortBase::PortAdapterText(int n) const {
    if (n < 1 || n > kMaxPortNumber)
        return {};
    return AdapterText(adapters_[size_t(n)]);
}

bool TSerialPortBase::ProbePort(int n) {
    const QString path = PortPath(n);
    return !path.isEmpty() && port_->Probe(path) == TProbeResult::Present;
}

int TSerialPortBase::ScanPorts() {
    ClosePort();
    BuildTable();
    int count = 0;
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const QString path = PortPath(n);
        TOpenFailure& state = states_[size_t(n)];
        state = {TOpenFailure::Kind::NotFound, path, {}, {}};
        if (!devicePath_.isEmpty())
            state.kind = n == 1 ? TOpenFailure::Kind::None : TOpenFailure::Kind::NotFound;
        else if (!path.isEmpty())
            state = port_->Inspect(path, false);
        using Kind = TOpenFailure::Kind;
        PortPresent[size_t(n)] =
            state.kind == Kind::None || state.kind == Kind::InUse || state.kind == Kind::StaleLock;
        count += PortPresent[size_t(n)] ? 1 : 0;
    }
    return count;
}

int TSerialPortBase::FirstPresentPort() const {
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (PortPresent[size_t(n)])
            return n;
    return 0;
}

QList<TPortChoice> TSerialPortBase::PortChoices() const {
    QList<TPortChoice> out;
    for (const TPortChoice& c : PortTableEntries())
        if (PortPresent[size_t(c.number)] || c.permissionDenied)
            out.append(c);
    return out;
}

TOpenFailure TSerialPortBase::InspectPort(int n) {
    const QString path = PortPath(n);
    if (path.isEmpty())
        return {TOpenFailure::Kind::NotFound, QStringLiteral("COM%1").arg(n), {}, {}};
    return port_->Inspect(path, true);
}

QList<TPortChoice> TSerialPortBase::PortTableEntries() const {
    QList<TPortChoice> out;
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (!table_[size_t(n)].isEmpty())
            out.append({n, table_[size_t(n)], AdapterText(adapters_[size_t(n)]),
                        states_[size_t(n)].kind == TOpenFailure::Kind::PermissionDenied,
                        adapters_[size_t(n)], states_[size_t(n)]});
    return out;
}

void TSerialPortBase::OpenPort(int n) {
    if (n <= 0)
        return;
    // COM n names whatever device the table gives it, so a chosen port that
    // is absent or busy is kept and reported, never replaced by another
    // port: that would reach another vehicle.
    PortNumber = n > kMaxPortNumber ? FirstPresentPort() : n;
    openFailure_ = {};
    if (PortNumber == 0) {
        ReportProblem({});
        return;
    }
    ClosePort();
    // From the system's list, numbers follow the devices present: after a
    // rescan the chosen number may name another adapter. The chosen device
    // is followed to its new number, or reported gone.
    if (iniTable_.isEmpty() && devicePath_.isEmpty() && !chosenPath_.isEmpty() &&
        PortNumber == chosenNumber_ && PortPath(PortNumber) != chosenPath_) {
        const auto at = std::find(table_.begin() + 1, table_.end(), chosenPath_);
        if (at == table_.end()) {
            openFailure_ = {TOpenFailure::Kind::NotFound, chosenPath_, {}, {}};
            return;
        }
        PortNumber = chosenNumber_ = int(at - table_.begin());
    }
    const QString path = PortPath(PortNumber);
    if (path.isEmpty()) {
        openFailure_ = {
            TOpenFailure::Kind::NotFound, QStringLiteral("COM%1").arg(PortNumber), {}, {}};
        return;
    }
    // A port that will not open stays closed; a transfer reports why.
    port_->SetLogTag(LogTag);
    if (!port_->Open(path)) {
        openFailure_ = port_->WhyNotOpen(path);
        openFailure_.path = path;
        return;
    }
    PortPresent[size_t(PortNumber)] = true;
    openedAtMs_ = port_->NowMs();
    qCDebug(lcLink).noquote() << LogTag +
                                     QStringLiteral("0 ms opened %1").arg(PortPath(PortNumber));
    SetBaudRate(BaudRate);
    SetByteSize(ByteSize);
    SetParity(Parity);
    SetStopBits(StopBits);
    SetDtr();
    PurgeInput();
}

void TSerialPortBase::Choose(int n) {
    chosenNumber_ = n;
    chosenPath_ = PortPath(n);
}

void TSerialPortBase::SetPortOpen(bool open) {
    if (open)
        OpenPort(PortNumber);
    else
        ClosePort();
}

bool TSerialPortBase::IsPortOpen() const {
    return port_->IsOpen();
}

void TSerialPortBase::SetBaudRate(uint32_t baud) {
    BaudRate = baud;
    if (const uint32_t accepted = port_->SetBaudRate(baud); accepted != 0)
        BaudRate = accepted;
}

void TSerialPortBase::SetByteSize(uint8_t bits) {
    ByteSize = bits;
    port_->SetByteSize(bits);
}

void TSerialPortBase::SetParity(uint8_t parity) {
    Parity = parity;
    port_->SetParity(parity);
}

void TSerialPortBase::SetStopBits(uint8_t stopBits) {
    StopBits = stopBits;
    port_->SetStopBits(stopBits);
}

// A pseudo-terminal refuses this; the port works the same without it.
void TSerialPortBase::SetDtr() {
    port_->SetDtr(true);
}

void TSerialPortBase::ClosePort() {
    port_->Close();
}

void TSerialPortBase::PurgeInput() {
    port_->PurgeInput();
}

void TSerialPortBase::PurgeOutput() {
    port_->PurgeOutput();
}

void TSerialPortBase::ChoosePort() {
    ClosePort();
    ScanPorts();
    const QList<TPortChoice> choices = PortChoices();
    // Ports refused for lack of permission are still offered, so the user
    // learns the remedy rather than only that there is no port.
    if (choices.isEmpty()) {
        ReportProblem(NoFreePort());
        return;
    }
    if (ChoosePortDialog)
        if (const std::optional<int> chosen = ChoosePortDialog(choices, PortNumber)) {
            PortNumber = *chosen;
            Choose(*chosen);
        }
    SetPortOpen(false);
    OpenPort(PortNumber);
}

void TSerialPortBase::LoadPortTable(TIniFile& ini) {
    iniTable_.clear();
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const QString path =
            ini.ReadString(SectionName, QStringLiteral("COM%1").arg(n), QString()).trimmed();
        if (!path.isEmpty())
            iniTable_.append({n, path});
    }
    ScanPorts();
}

void TSerialPortBase::LoadSettings(TIniFile& ini) {
    LoadPortTable(ini);
    const int count = int(std::count(PortPresent.begin(), PortPresent.end(), true));
    // Without a choice, the first present port; a choice stays the choice.
    PortNumber = FirstPresentPort();
    const int chosen = ini.ReadInteger(SectionName, QStringLiteral("Port"), PortNumber);
    Choose(chosen);
    if (count == 0) {
        ReportProblem(NoFreePort());
        if (chosen < 1 || chosen > kMaxPortNumber)
            return;
    }
    // Tried even when absent, so why it cannot be used is known from the start.
    OpenPort(chosen);
}

TPortProblem TSerialPortBase::NoFreePort() const {
    TPortProblem problem;
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (!PortPath(n).isEmpty())
            problem.ports.append({n, states_[size_t(n)]});
    return problem;
}

void TSerialPortBase::SaveSettings(TIniFile& ini) {
    ini.WriteInteger(SectionName, QStringLiteral("Port"), PortNumber);
}

void TSerialPortBase::SetDevicePath(const QString& path) {
    devicePath_ = path;
    ScanPorts();
    if (PortNumber < 1 || PortNumber > kMaxPortNumber || !PortPresent[size_t(PortNumber)])
        PortNumber = FirstPresentPort();
}
