#include "link/serial_port.h"

#include "link/link_log.h"
#include "link/port_table.h"
#include "link/qt_byte_port.h"
#include "support/ini_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

namespace {

QString Canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
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

namespace {
// The ports' texts: English, or the window's translation (context "Ports").
struct TPortTexts {
    Q_DECLARE_TR_FUNCTIONS(Ports)
};
} // namespace

QString OpenFailureText(const TOpenFailure& f) {
    using Kind = TOpenFailure::Kind;
    const QString reason = f.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(f.reason);
    switch (f.kind) {
    case Kind::None:
        return {};
    case Kind::NotFound:
        return TPortTexts::tr("The port %1 does not exist%2.").arg(f.path, reason);
    case Kind::NotSerial:
        return TPortTexts::tr("%1 is not a serial port%2.").arg(f.path, reason);
    case Kind::PermissionDenied:
        // Joining a group helps only when that group may read and write it.
        // Joining root is no remedy to give.
        if (f.group.isEmpty() || (f.groupMayOpen && f.group != QLatin1String("root")))
            return TPortTexts::tr(
                       "No permission to open the port %1%2. Add your user to the group %3: "
                       "sudo usermod -aG %3 $USER, then log in again.")
                .arg(f.path, reason, f.group.isEmpty() ? QStringLiteral("dialout") : f.group);
        return TPortTexts::tr(
                   "No permission to open the port %1%2. Only its owner %3 may read and write "
                   "it, not its group %4: ask the administrator for access (a udev rule, for "
                   "instance).")
            .arg(f.path, reason, f.owner, f.group);
    case Kind::StaleLock:
        return TPortTexts::tr(
                   "A stale lock file %1 (process %2, not running) blocks the port; remove it: "
                   "sudo rm %1")
            .arg(f.lockFile)
            .arg(f.lockPid);
    case Kind::InUse:
        if (!f.holder.isEmpty())
            return TPortTexts::tr("The port %1 is in use by another program (%2).")
                .arg(f.path, f.holder);
        return TPortTexts::tr("The port %1 is in use by another program.").arg(f.path);
    case Kind::Other:
        break;
    }
    return TPortTexts::tr("The port %1 cannot be opened%2.").arg(f.path, reason);
}

QString PortStateText(const TOpenFailure& f) {
    switch (f.kind) {
    case TOpenFailure::Kind::None:
        return TPortTexts::tr("free");
    case TOpenFailure::Kind::InUse:
        return f.holder.isEmpty() ? TPortTexts::tr("in use by another program")
                                  : TPortTexts::tr("in use by %1").arg(f.holder);
    case TOpenFailure::Kind::NotFound:
        return TPortTexts::tr("no such device");
    case TOpenFailure::Kind::NotSerial:
        return TPortTexts::tr("not a serial device");
    default:
        return OpenFailureText(f);
    }
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
    ShowError = [](const QString& text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    };
}

TSerialPortBase::~TSerialPortBase() {
    ClosePort();
}

void TSerialPortBase::ReportError(const QString& text) {
    if (ShowError)
        ShowError(text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
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
        ReportError(QString::fromLatin1(kNoFreePortText));
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
        ReportError(NoFreePortText());
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
        ReportError(NoFreePortText());
        if (chosen < 1 || chosen > kMaxPortNumber)
            return;
    }
    // Tried even when absent, so why it cannot be used is known from the start.
    OpenPort(chosen);
}

QString TSerialPortBase::NoFreePortText() {
    QString text = QString::fromLatin1(kNoFreePortText);
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (!PortPath(n).isEmpty())
            if (const QString why = OpenFailureText(states_[size_t(n)]); !why.isEmpty())
                text += QStringLiteral("\nCOM%1: %2").arg(n).arg(why);
    return text;
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
