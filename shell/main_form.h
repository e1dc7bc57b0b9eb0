#pragma once

#include "core/transfers.h"

#include <QDateTime>
#include <QWidget>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TBytePort;
class TMK;

// The program's main window: the four-step workflow over the one settings model.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    // port: the line beneath the window's link (a test's simulated one);
    // nullptr: the real serial port.
    explicit TMainForm(std::unique_ptr<TBytePort> port, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The settings model and the serial link; exist from the first show on.
    TMK* MK() const { return mk_.get(); }
    TSerialLink* Link() const { return link_.get(); }
    bool Modified = false;
    uint8_t DeviceAddress = kDeviceAddress;
    uint32_t ImageSize = kImageSize;
    // How long the window's transfers wait for the device; tests shorten it.
    TTransferTimings Timings;
    // Demonstration: the link uses this device (the simulator) instead of the
    // port table, and the port number in the INI file is left alone.
    QString DemoDevicePath;
    // True while a transfer runs; the window's commands are refused then.
    bool Busy() const { return busy_; }
    // What Step 4 does besides writing (INI section "Safety", each on by
    // default): the list of changes to confirm, the backup of what the trip
    // computer held, the read-back. All off: the plain write.
    struct TSafety {
        bool review = true;
        bool backup = true;
        bool verify = true;
    } Safety;
    // The backup the last Step 4 saved; empty before the first.
    QString LastBackup;

    // SIGINT, SIGTERM and SIGHUP (the session closing) close the window as
    // its close box would; a second signal ends the program at once.
    void CloseOnStopSignals();
    // What such a signal does: a transfer under way stops at its next safe
    // point, the command that ran it ends (a dialog it shows is answered
    // first), then the window closes, the question about unsaved edits
    // included.
    void CloseForSignal();

    // Handlers, named after control and event.
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void bRS232Click();
    void bGetParamsClick();
    void bLoadParamsClick();
    void bEditParamsClick();
    void bSaveParamsClick();
    void bSetParamsClick();
    void bRestoreBackupClick();
    void cbEnglishVersionClick();

    // The save command shared by Step 3 and the question before a read, a
    // load or closing. True only when a file was written.
    bool SaveParamsToFile();
    // Offers to save unsaved edits; false when the user said Yes but no file
    // was written, so the command that asked must not go on.
    bool SaveIfModified();
    void ApplyLanguage();
    void ReadFromDevice();
    void WriteToDevice();
    // Shows the port, the last answer, where the settings came from and
    // what became of them; every command ends with it.
    void UpdateStatus();

    QLabel* Label5;
    QPushButton* bRS232;
    QGroupBox* GroupBox1;
    QLabel* Label2;
    QPushButton* bGetParams;
    QLabel* Label6;
    QPushButton* bLoadParams;
    QPushButton* bRestoreBackup;
    QGroupBox* GroupBox2;
    QLabel* Label3;
    QPushButton* bEditParams;
    QGroupBox* GroupBox3;
    QLabel* Label4;
    QPushButton* bSaveParams;
    QGroupBox* GroupBox4;
    QLabel* Label1;
    QPushButton* bSetParams;
    QCheckBox* cbEnglishVersion;
    QLabel* Image1;
    QGroupBox* GroupBox5;
    QLabel* lPortStatus;
    QLabel* lDeviceStatus;
    QLabel* lSourceStatus;
    QLabel* lStateStatus;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetStepsEnabled(bool enabled);
    // Around every command, the window's start and its closing: a signal
    // meanwhile closes the window only once they have ended.
    void BeginCommand() { ++commands_; }
    void EndCommand();
    void CloseAfterSignal();
    void SetBusy(bool busy);
    template <typename Transfer> TransferResult RunTransfer(Transfer transfer);
    QString ProgramFolder() const;
    void LoadFromFile(const QString& name);
    void WritePlain();
    void WriteReviewed();
    void ReportWriteEnd(const TransferResult& r, const QString& backup);
    // A port that would not open: the chosen one, named, with the port
    // dialog offered; without a port at all, the link's words.
    void ChoosePort();
    void ReportPortFailure(const QString& why, const QString& more = {});
    QString PortName() const;
    void NoteAnswer(uint16_t version);
    bool SafetyOn() const { return Safety.review || Safety.backup || Safety.verify; }

    std::unique_ptr<TBytePort> port_; // until the link takes it
    std::unique_ptr<TSerialLink> link_;
    std::unique_ptr<TMK> mk_;
    bool busy_ = false;
    int commands_ = 0;
    bool closeRequested_ = false; // by a signal
    bool stepsEnabled_ = false;
    bool shown_ = false;
    QString dialogFolder_;

    // What the status area tells.
    struct TAnswer {
        bool any = false;
        uint16_t version = 0;
        QString port;
        QDateTime time;
    } answer_;
    struct TSource {
        QString file; // the file's name; empty when read from the trip computer
        QString port;
        QDateTime time;
    } source_;
    void NewSource(const TSource& source);
    bool edited_ = false; // edited since read, loaded or saved
    QString savedTo_;     // the file they were last saved to, unedited since
    QString writtenTo_;   // the port they were last written to, unedited since
    QDateTime writtenAt_;
    QString writtenBackup_; // what that write saved first
    enum class TWritten { Done, NotVerified, MaybePartly } writtenHow_ = TWritten::Done;
    void NoteWritten(TWritten how, const QString& backup);

    // The window's parts, made once.
    void MakeSteps();
    void MakeStatusArea();
    void ConnectCommands();
    // The status area's lines.
    QString PortStatus() const;
    QString StateStatus() const;
};
