#pragma once

#include "link/base_device.h"
#include "link/byte_port.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

// One line of the port-choice dialog.
struct TPortChoice {
    int number = 0; // n of "COM" n
    QString devicePath;
    QString description;           // empty when unknown
    bool permissionDenied = false; // exists, but this user may not open it
    // What the system knows of the adapter behind the path (maker, serial
    // number, USB ids); empty for a path the system does not list.
    TSerialDeviceInfo adapter{};
    // What the last scan saw, without opening it (Kind::None: free).
    TOpenFailure state{};
};

// "COM3  /dev/ttyUSB0  FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001":
// the adapter's known facts after the number and path.
QString AdapterText(const TSerialDeviceInfo& adapter);

inline constexpr int kMaxPortNumber = 32;

// What the link found wrong with the port table, for the front end to word:
// no port to use; after a scan, with every entry of the table and its state.
struct TPortProblem {
    enum class Kind { NoFreePort };
    struct Entry {
        int number = 0; // n of "COM" n
        TOpenFailure state;
    };
    Kind kind = Kind::NoFreePort;
    QList<Entry> ports;
};

// The state as a word for machines: free, in-use, stale-lock, no-device,
// not-serial, no-permission, other.
const char* PortStateCode(TOpenFailure::Kind kind);

// The PC's serial port: which of COM1..COM32 exist, the chosen number, the
// line settings, opening and closing, and the port number in the INI file.
//
// COM n names a device path through the port table. When the INI section
// "RS232" holds any key "COM1".."COM32", the table is exactly those keys;
// otherwise the serial devices the system lists, in natural name order
// (ttyS2 before ttyS10), are COM1, COM2, .... LoadSettings reads the keys;
// every scan (LoadSettings, ScanPorts, ChoosePort) lists the devices anew.
//
// Construction neither scans nor shows anything, so the hooks can be set
// first; LoadSettings then does what the constructor and the INI read did.
class TSerialPortBase : public TBaseInterface {
public:
    // nullptr: the real serial line.
    explicit TSerialPortBase(std::unique_ptr<TBytePort> port = nullptr);
    ~TSerialPortBase() override;

    // Indexed by port number; index 0 is unused.
    std::array<bool, kMaxPortNumber + 1> PortPresent{};
    int32_t PortNumber = 0;
    uint32_t BaudRate = 115200;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;
    uint8_t StopBits = 2;

    // Begins each line of the traffic log ("COM3: "), so the lines of links
    // working side by side can be told apart; none by default.
    QString LogTag;
    // Tells the user of a problem the link found on its own; default: a
    // line on stderr in machine words.
    std::function<void(const TPortProblem&)> ShowPortProblem;
    // The dialog step of ChoosePort: the chosen number on OK, nullopt on
    // Cancel. Unset, ChoosePort behaves as if Cancel was pressed.
    std::function<std::optional<int>(const QList<TPortChoice>& ports, int current)>
        ChoosePortDialog;

    bool ProbePort(int n);
    // Closes the port, lists the devices, looks at COM1..COM32 without opening
    // any; returns how many are present.
    int ScanPorts();
    int FirstPresentPort() const;
    void OpenPort(int n);
    void SetPortOpen(bool open);
    bool IsPortOpen() const;
    // Why the last OpenPort left the port closed; Kind::None when it opened
    // or when no port was chosen.
    const TOpenFailure& OpenFailure() const { return openFailure_; }
    void SetBaudRate(uint32_t baud);
    void SetByteSize(uint8_t bits);
    void SetParity(uint8_t parity);
    void SetStopBits(uint8_t stopBits);
    void SetDtr();

    virtual void ChoosePort();
    virtual void ClosePort();
    virtual void PurgeInput();
    virtual void PurgeOutput();

    // Loads the port table from section "RS232" and scans the ports; the
    // port stays closed.
    void LoadPortTable(TIniFile& ini);
    // Loads the port table from section "RS232", scans the ports, reads
    // "Port" and opens it (the port is open afterwards when one was found).
    void LoadSettings(TIniFile& ini) override;
    void SaveSettings(TIniFile& ini) override;

    // Uses this exact device path as the only port, COM1, instead of the
    // table; it is opened whatever a probe says. Empty restores the table.
    void SetDevicePath(const QString& path);
    // The device path COM n stands for; empty when none.
    QString PortPath(int n) const;
    // What the system knows of the adapter behind COM n (AdapterText); empty when nothing.
    QString PortAdapterText(int n) const;
    // The ports to offer the user: present ones and those refused for lack of permission.
    QList<TPortChoice> PortChoices() const;
    // Every entry of the table, whatever its state.
    QList<TPortChoice> PortTableEntries() const;
    // COM n's state now, naming a program that has it open; never opens it.
    TOpenFailure InspectPort(int n);

protected:
    TBytePort& Port() { return *port_; }
    void ReportProblem(const TPortProblem& problem);

private:
    void BuildTable();
    // The user's choice: the number, and the device it named then.
    void Choose(int n);
    // No free port, with why each port of the table would not open.
    TPortProblem NoFreePort() const;

    std::unique_ptr<TBytePort> port_;
    QList<std::pair<int, QString>> iniTable_; // from the INI keys COMn
    std::array<QString, kMaxPortNumber + 1> table_;
    std::array<TSerialDeviceInfo, kMaxPortNumber + 1> adapters_;
    std::array<TOpenFailure, kMaxPortNumber + 1> states_{};
    QString devicePath_;
    TOpenFailure openFailure_;
    int chosenNumber_ = 0;
    QString chosenPath_;

protected:
    // The port's clock when it was last opened, for the traffic log's times.
    int64_t openedAtMs_ = 0;
};
