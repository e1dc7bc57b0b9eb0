#include "shell/main_form.h"

#include "core/app_ini.h"
#include "core/backups.h"
#include "core/port_texts.h"
#include "core/transfers.h"
#include "editor/set_params_dlg.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/preview.h"
#include "model/settings_diff.h"
#include "model/settings_file.h"
#include "shell/backup_list.h"
#include "shell/form_placement.h"
#include "shell/port_dialog.h"
#include "shell/progress_form.h"
#include "shell/window_language.h"
#include "shell/write_review.h"
#include "support/errors.h"
#include "support/stop_signals.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/message_boxes.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSocketNotifier>
#include <QVBoxLayout>

#include <optional>

namespace {

const char* const kSettingsFilter = "Файлы настроек (*.tarvg)";
const char* const kSettingsSuffix = "tarvg";

template <typename W> W* Make(QWidget* parent, const char* name, QRect geometry) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* l = Make<QLabel>(parent, name, geometry);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

void SetBold(QWidget* w) {
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
}

// The trip computer's screen as the preview draws it in the default colours,
// in a bezel, for the corner of the window.
QPixmap DecorativePicture(QSize size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setBrush(QColor(60, 60, 64));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size.width(), size.height()), 8, 8);
    const int side = qMin(size.width(), size.height()) - 12;
    p.drawImage(QRect((size.width() - side) / 2, (size.height() - side) / 2, side, side),
                PreviewImage(TSettingsRecord::Defaults()));
    return pm;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : TMainForm(nullptr, parent) {}

TMainForm::TMainForm(std::unique_ptr<TBytePort> port, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      port_(std::move(port)) {
    setObjectName(QStringLiteral("MainForm"));
    setFixedSize(810, 470);
    MakeSteps();
    MakeStatusArea();
    SetStepsEnabled(false);
    ApplyLanguage();
    ConnectCommands();
}

void TMainForm::MakeSteps() {
    Label5 = MakeLabel(this, "Label5", {10, 8, 390, 52});
    Label5->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetBold(Label5);
    QPalette red = Label5->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label5->setPalette(red);

    bRS232 = Make<QPushButton>(this, "bRS232", {10, 64, 390, 30});
    SetBold(bRS232);

    GroupBox1 = Make<QGroupBox>(this, "GroupBox1", {10, 102, 390, 236});
    SetBold(GroupBox1);
    Label2 = MakeLabel(GroupBox1, "Label2", {10, 22, 370, 44});
    bGetParams = Make<QPushButton>(GroupBox1, "bGetParams", {10, 70, 370, 32});
    Label6 = MakeLabel(GroupBox1, "Label6", {10, 112, 370, 44});
    bLoadParams = Make<QPushButton>(GroupBox1, "bLoadParams", {10, 160, 370, 32});
    bRestoreBackup = Make<QPushButton>(GroupBox1, "bRestoreBackup", {10, 198, 370, 30});

    GroupBox2 = Make<QGroupBox>(this, "GroupBox2", {410, 34, 390, 92});
    Label3 = MakeLabel(GroupBox2, "Label3", {10, 22, 370, 22});
    bEditParams = Make<QPushButton>(GroupBox2, "bEditParams", {10, 50, 370, 30});

    GroupBox3 = Make<QGroupBox>(this, "GroupBox3", {410, 132, 390, 110});
    Label4 = MakeLabel(GroupBox3, "Label4", {10, 22, 370, 40});
    bSaveParams = Make<QPushButton>(GroupBox3, "bSaveParams", {10, 68, 370, 30});

    GroupBox4 = Make<QGroupBox>(this, "GroupBox4", {410, 248, 298, 90});
    Label1 = MakeLabel(GroupBox4, "Label1", {10, 22, 278, 22});
    bSetParams = Make<QPushButton>(GroupBox4, "bSetParams", {10, 50, 278, 30});

    cbEnglishVersion = Make<QCheckBox>(this, "cbEnglishVersion", {620, 8, 180, 22});
    SetBold(cbEnglishVersion);

    Image1 = Make<QLabel>(this, "Image1", {718, 256, 84, 82});
    Image1->setPixmap(DecorativePicture(Image1->size()));
}

void TMainForm::MakeStatusArea() {
    // A layout, so a long reason (the program holding the port) wraps
    // without leaving gaps when it is short.
    GroupBox5 = Make<QGroupBox>(this, "GroupBox5", {10, 344, 790, 118});
    auto* status = new QVBoxLayout(GroupBox5);
    status->setContentsMargins(10, 4, 10, 6);
    status->setSpacing(2);
    lPortStatus = MakeLabel(GroupBox5, "lPortStatus", {});
    lDeviceStatus = MakeLabel(GroupBox5, "lDeviceStatus", {});
    lSourceStatus = MakeLabel(GroupBox5, "lSourceStatus", {});
    lStateStatus = MakeLabel(GroupBox5, "lStateStatus", {});
    for (QLabel* l : {lPortStatus, lDeviceStatus, lSourceStatus, lStateStatus}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        status->addWidget(l);
    }
    status->addStretch(1);
}

void TMainForm::ConnectCommands() {
    // Every command ends with the status brought up to date, however it ends.
    const auto command = [this](void (TMainForm::*handler)()) {
        return Guarded([this, handler] {
            const auto status = qScopeGuard([this] { UpdateStatus(); });
            BeginCommand();
            const auto ended = qScopeGuard([this] { EndCommand(); });
            (this->*handler)();
        });
    };
    connect(bRS232, &QPushButton::clicked, this, command(&TMainForm::bRS232Click));
    connect(bGetParams, &QPushButton::clicked, this, command(&TMainForm::bGetParamsClick));
    connect(bLoadParams, &QPushButton::clicked, this, command(&TMainForm::bLoadParamsClick));
    connect(bRestoreBackup, &QPushButton::clicked, this, command(&TMainForm::bRestoreBackupClick));
    connect(bEditParams, &QPushButton::clicked, this, command(&TMainForm::bEditParamsClick));
    connect(bSaveParams, &QPushButton::clicked, this, command(&TMainForm::bSaveParamsClick));
    connect(bSetParams, &QPushButton::clicked, this, command(&TMainForm::bSetParamsClick));
    connect(cbEnglishVersion, &QCheckBox::clicked, this,
            command(&TMainForm::cbEnglishVersionClick));
}

TMainForm::~TMainForm() = default;

QString TMainForm::ProgramFolder() const {
    return QCoreApplication::applicationDirPath();
}

void TMainForm::SetStepsEnabled(bool enabled) {
    stepsEnabled_ = enabled;
    if (busy_)
        return; // applied when the transfer ends
    bEditParams->setEnabled(enabled);
    bSaveParams->setEnabled(enabled);
    bSetParams->setEnabled(enabled);
}

// A transfer is not written to be entered twice: while it runs, nothing in
// the window can start another command.
void TMainForm::SetBusy(bool busy) {
    busy_ = busy;
    for (QWidget* w : {static_cast<QWidget*>(bRS232), static_cast<QWidget*>(bGetParams),
                       static_cast<QWidget*>(bLoadParams), static_cast<QWidget*>(bRestoreBackup),
                       static_cast<QWidget*>(cbEnglishVersion)})
        w->setEnabled(!busy);
    for (QWidget* w : {bEditParams, bSaveParams, bSetParams})
        w->setEnabled(!busy && stepsEnabled_);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        BeginCommand();
        const auto ended = qScopeGuard([this] { EndCommand(); });
        RunGuarded([this] { FormShow(); });
    }
}

void TMainForm::CloseOnStopSignals() {
    CatchStopSignals();
    if (StopSignalFd() < 0)
        return;
    // The handler only writes a byte; the window acts on it in its own time.
    auto* notifier = new QSocketNotifier(StopSignalFd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        DrainStopSignalFd();
        if (CaughtStopSignal() != 0)
            CloseForSignal();
    });
}

void TMainForm::CloseForSignal() {
    closeRequested_ = true;
    if (commands_ == 0)
        CloseAfterSignal();
}

void TMainForm::EndCommand() {
    if (--commands_ == 0 && closeRequested_)
        QMetaObject::invokeMethod(
            this, [this] { CloseAfterSignal(); }, Qt::QueuedConnection);
}

void TMainForm::CloseAfterSignal() {
    closeRequested_ = false;
    if (!isVisible())
        return;
    // Kept open (Yes to saving, then no file): a later signal asks again.
    if (!close())
        ForgetStopSignal();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    BeginCommand();
    const auto ended = qScopeGuard([this] { EndCommand(); });
    bool closing = false;
    RunGuarded([&] {
        closing = FormCloseQuery();
        if (closing)
            FormClose();
    });
    // A failed save while closing ends the close: nothing unsaved is dropped.
    if (closing)
        event->accept();
    else
        event->ignore();
}

void TMainForm::FormShow() {
    QDir::setCurrent(ProgramFolder());
    link_ = std::make_unique<TSerialLink>(std::move(port_));
    link_->ProcessEvents = [] { QCoreApplication::processEvents(); };
    link_->ShowPortProblem = [](const TPortProblem& problem) {
        ShowError(PortProblemText(problem));
    };
    link_->ChoosePortDialog = [this](const QList<TPortChoice>& ports, int current) {
        // While the dialog is open the list follows adapters plugged in and pulled out.
        return RunPortNumberDlg(ports, current, this, [this] {
            link_->ScanPorts();
            return link_->PortChoices();
        });
    };
    mk_ = std::make_unique<TMK>();
    if (QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    {
        TMIniFile ini;
        // First, so that what the port scan has to say follows the language.
        const QString translation = ini.ReadString(
            QStringLiteral("Common"), QStringLiteral("Translation"), WindowTranslation());
        const bool held = SetWindowTranslation(translation);
        SetWindowLanguage(
            ini.ReadBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false));
        if (!held)
            ShowInfo(tr("The translation \"%1\" named in the INI file is not available (this "
                        "program has: %2); Russian is used in its place.")
                         .arg(translation, AvailableTranslations().join(QStringLiteral(", "))));
        if (DemoDevicePath.isEmpty())
            link_->LoadSettings(ini);
        else
            link_->SetDevicePath(DemoDevicePath);
        LoadFormPlacement(ini, QStringLiteral("MainWindow"), this);
        const QString safety = QStringLiteral("Safety");
        Safety.review = ini.ReadBool(safety, QStringLiteral("Review"), true);
        Safety.backup = ini.ReadBool(safety, QStringLiteral("Backup"), true);
        Safety.verify = ini.ReadBool(safety, QStringLiteral("Verify"), true);
        // Said here only: the close leaves such a file alone without a word.
        if (!ini.LoadProblem().isEmpty())
            ShowError(ini.LoadProblem());
    }
    dialogFolder_ = FileDialogFolder(ProgramFolder());
    link_->SetBaudRate(kTransferBaudRate);
    link_->SetPortOpen(false);
    Modified = false;
    cbEnglishVersion->setChecked(WindowIsEnglish());
    ApplyLanguage();
    UpdateStatus();
}

bool TMainForm::FormCloseQuery() {
    return SaveIfModified();
}

// A Yes that ends without a file (the save dialog cancelled, the overwrite
// refused) changes the user's mind about the command, not about the edits.
bool TMainForm::SaveIfModified() {
    if (Modified && AskYesNo(Texts::UnsavedQuestion()) == kIdYes)
        return SaveParamsToFile();
    return true;
}

void TMainForm::FormClose() {
    QDir::setCurrent(ProgramFolder());
    TMIniFile ini;
    if (link_ && DemoDevicePath.isEmpty())
        link_->SaveSettings(ini);
    ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), WindowIsEnglish());
    SaveFormPlacement(ini, QStringLiteral("MainWindow"), this);
    ini.UpdateFile();
}

void TMainForm::bRS232Click() {
    if (!busy_)
        ChoosePort();
}

void TMainForm::ChoosePort() {
    link_->ChoosePort();
    link_->SetPortOpen(false);
}

void TMainForm::bGetParamsClick() {
    if (!SaveIfModified())
        return;
    ReadFromDevice();
}

// Runs one transfer with the window's commands refused until it ends,
// however it ends.
template <typename Transfer> TransferResult TMainForm::RunTransfer(Transfer transfer) {
    DeviceAddress = kDeviceAddress;
    ImageSize = kImageSize;
    TProgressObserver progress(this);
    progress.StopRequested = [this] { return closeRequested_; };
    const bool wasBusy = busy_;
    SetBusy(true);
    const auto idle = qScopeGuard([this, wasBusy] { SetBusy(wasBusy); });
    return transfer(progress);
}

void TMainForm::ReadFromDevice() {
    if (busy_)
        return;
    const TransferResult r = RunTransfer([this](TTransferObserver& progress) {
        return ::ReadFromDevice(*link_, *mk_, progress, Timings);
    });
    // A failed read changes no data, so what could be edited, saved or
    // written before still can.
    if (r.status == TransferStatus::Done) {
        SetStepsEnabled(true);
        NoteAnswer(mk_->Version);
        NewSource({QString(), PortName(), answer_.time});
    } else if (r.status == TransferStatus::PortFailed) {
        ReportPortFailure(r.message);
    } else if (r.status == TransferStatus::Failed && !r.message.isEmpty()) {
        ShowError(r.message);
    }
}

// Settings from elsewhere: neither edited, saved nor written yet.
void TMainForm::NewSource(const TSource& source) {
    source_ = source;
    edited_ = false;
    savedTo_.clear();
    writtenTo_.clear();
}

QString TMainForm::PortName() const {
    return QStringLiteral("COM%1").arg(link_ ? link_->PortNumber : 0);
}

void TMainForm::NoteAnswer(uint16_t version) {
    answer_ = {true, version, PortName(), QDateTime::currentDateTime()};
}

void TMainForm::ReportPortFailure(const QString& why, const QString& more) {
    if (why.isEmpty())
        return; // the link has said it
    const int n = link_->PortNumber;
    if (n == 0 || why == QLatin1String(kNoFreePortText)) {
        ShowError(why + more);
        return;
    }
    // The chosen port is kept: only the user picks another.
    if (AskYesNo(tr("The chosen port COM%1 cannot be used:\n%2\n\nChoose another port?")
                     .arg(n)
                     .arg(why + more)) == kIdYes)
        ChoosePort(); // also from within Step 4, which keeps the window busy
}

void TMainForm::WriteToDevice() {
    if (busy_)
        return;
    if (SafetyOn())
        WriteReviewed();
    else
        WritePlain();
}

void TMainForm::WritePlain() {
    const TransferResult r = RunTransfer([this](TTransferObserver& progress) {
        return ::WriteToDevice(*link_, *mk_, progress, Timings);
    });
    ReportWriteEnd(r, QString());
}

// Reads what the trip computer holds, keeps a copy of it, shows what the
// write would change and, once the user agrees, writes to the same unit and
// reads it back. The window stays busy throughout, the review included.
void TMainForm::WriteReviewed() {
    SetBusy(true);
    const auto idle = qScopeGuard([this] { SetBusy(false); });
    const QString port = PortName();
    QString backup;
    QByteArray expected;
    if (Safety.review || Safety.backup) {
        TMK device;
        const TransferResult r = RunTransfer([&](TTransferObserver& progress) {
            return ReadBeforeWrite(*link_, *mk_, device, progress, Timings);
        });
        if (r.status != TransferStatus::Done) {
            ReportWriteEnd(r, QString());
            return;
        }
        NoteAnswer(device.Version);
        if (Safety.backup) {
            try {
                backup = SaveBackup(BackupFolder(), port, device.Version, device.Image);
            } catch (const std::exception& e) {
                ShowError(tr("The backup of the trip computer's settings could not be saved, "
                             "so nothing was written.\n%1")
                              .arg(ExceptionMessage(e)));
                return;
            }
            LastBackup = backup;
        }
        // The window is closing: nothing more to review or write.
        if (closeRequested_)
            return;
        if (Safety.review) {
            const QString source = source_.file.isEmpty() ? port : source_.file;
            // The device path too: the number alone does not say which adapter.
            const QString path = link_->PortPath(link_->PortNumber);
            // Only the record's first Size bytes are sent: fields beyond stay as they are.
            SettingsDiff diff = CompareSettings(DiffSideOf(port, device), DiffSideOf(source, *mk_));
            std::erase_if(diff.fields, [this](const FieldDifference& d) {
                return uint32_t(d.field->offset) >= mk_->Settings.Size;
            });
            TWriteReviewDlg review(
                diff, path.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, path),
                device.Version, this);
            if (Dialogs().Exec(&review) != QDialog::Accepted)
                return;
        }
        expected = device.Image.left(TSettingsRecord::kSize);
    }
    VerifyOptions verify;
    WriteOptions options;
    if (Safety.verify)
        options.verify = &verify;
    if (!expected.isEmpty())
        options.expectedRecord = &expected;
    const TransferResult r = RunTransfer([&](TTransferObserver& progress) {
        return WriteChecked(*link_, *mk_, progress, options, Timings);
    });
    ReportWriteEnd(r, backup);
}

void TMainForm::NoteWritten(TWritten how, const QString& backup) {
    writtenTo_ = PortName();
    writtenAt_ = QDateTime::currentDateTime();
    writtenBackup_ = backup;
    writtenHow_ = how;
}

void TMainForm::ReportWriteEnd(const TransferResult& r, const QString& backup) {
    const QString kept =
        backup.isEmpty()
            ? QString()
            : QLatin1Char('\n') + tr("A backup of the trip computer's former settings: %1")
                                      .arg(QDir::toNativeSeparators(backup));
    const bool checked = SafetyOn();
    const auto wrote = [&](TWritten how) { NoteWritten(how, backup); };
    switch (r.status) {
    case TransferStatus::Done:
        NoteAnswer(mk_->Version);
        wrote(TWritten::Done);
        ShowInfo(r.message);
        break;
    case TransferStatus::Cancelled:
        break;
    case TransferStatus::Failed: {
        // Link errors go on to the general handler; a checked write also
        // says when none of the record had gone out.
        const bool partly = r.message.contains(Texts::TornWrite());
        if (partly)
            wrote(TWritten::MaybePartly);
        QString text = r.message;
        if (checked && !partly)
            text += QLatin1Char('\n') + tr("Nothing was written to the trip computer.");
        ReportException(TripError(text + kept));
        break;
    }
    case TransferStatus::NotVerified:
        wrote(TWritten::NotVerified);
        ShowError(r.message + kept);
        break;
    case TransferStatus::Interrupted:
        // Stopped for the window's closing; said only when the trip computer changed.
        if (r.message.contains(Texts::TornWrite())) {
            wrote(TWritten::MaybePartly);
            ReportException(TripError(r.message + kept));
        } else if (!r.message.isEmpty()) {
            wrote(TWritten::NotVerified);
            ShowError(r.message + kept);
        }
        break;
    case TransferStatus::PortFailed:
        ReportPortFailure(r.message, kept);
        break;
    case TransferStatus::VersionMismatch:
        NoteAnswer(r.deviceVersion);
        // Where the write was reviewed, both versions are named.
        if (checked)
            ShowError(r.message + QLatin1Char('\n') +
                      Texts::VersionsNamed(mk_->Version, r.deviceVersion) + kept);
        else
            ShowError(r.message);
        break;
    default:
        if (!r.message.isEmpty())
            ShowError(r.message + kept);
    }
}

void TMainForm::bLoadParamsClick() {
    if (!SaveIfModified())
        return;
    const QString name =
        Dialogs().OpenFileName(this, {QString(), QString::fromUtf8(kSettingsFilter),
                                      QString::fromLatin1(kSettingsSuffix), dialogFolder_});
    if (!name.isEmpty())
        LoadFromFile(name);
}

void TMainForm::LoadFromFile(const QString& name) {
    std::optional<QString> error;
    try {
        LoadSettingsFile(*mk_, name);
    } catch (const NotSettingsFileError& e) {
        error = Texts::NotSettingsFile(name, e);
    } catch (const std::exception& e) {
        error = ExceptionMessage(e);
    }
    if (error) {
        ShowError(*error);
        SetStepsEnabled(false);
        source_ = {};
        return;
    }
    SetStepsEnabled(true);
    NewSource({QFileInfo(name).fileName(), QString(), QDateTime::currentDateTime()});
}

// Loaded as a settings file is, so Step 4 writes it back.
void TMainForm::bRestoreBackupClick() {
    if (busy_ || !SaveIfModified())
        return;
    const QString folder = BackupFolder();
    TBackupListDlg dlg(folder, ListBackups(folder), stepsEnabled_ ? mk_.get() : nullptr, this);
    if (Dialogs().Exec(&dlg) != QDialog::Accepted)
        return;
    if (const QString name = dlg.SelectedPath(); !name.isEmpty())
        LoadFromFile(name);
}

void TMainForm::bEditParamsClick() {
    const bool ok = mk_->EditSettings([](TMK& mk) {
        TMK_SetParamsDlg dlg(mk);
        return Dialogs().Exec(&dlg) == QDialog::Accepted;
    });
    if (ok) {
        Modified = true;
        edited_ = true;
        savedTo_.clear();
        writtenTo_.clear();
    }
}

void TMainForm::bSaveParamsClick() {
    SaveParamsToFile();
}

void TMainForm::bSetParamsClick() {
    WriteToDevice();
}

void TMainForm::cbEnglishVersionClick() {
    SetWindowLanguage(cbEnglishVersion->isChecked());
    ApplyLanguage();
}

bool TMainForm::SaveParamsToFile() {
    const QString name =
        Dialogs().SaveFileName(this, {QString(), QString::fromUtf8(kSettingsFilter),
                                      QString::fromLatin1(kSettingsSuffix), dialogFolder_});
    if (name.isEmpty())
        return false;
    if (QFileInfo::exists(name) && AskYesNo(Texts::OverwriteQuestion()) != kIdYes)
        return false;
    SaveSettingsFile(*mk_, name);
    SetStepsEnabled(true);
    Modified = false;
    edited_ = false;
    savedTo_ = QFileInfo(name).fileName();
    return true;
}

void TMainForm::ApplyLanguage() {
    if (link_)
        cbEnglishVersion->setText(tr("English language"));
    setWindowTitle(tr("Viewing and configuring trip computer parameters (Version 12.03.26)"));
    Label5->setText(tr("Attention! For the program to work correctly, you MUST first download "
                       "the latest version of the software to the device."));
    GroupBox1->setTitle(tr("Step 1"));
    Label2->setText(tr("For an adequate display of possible settings, read the current "
                       "settings of the device."));
    bGetParams->setText(tr("Read settings from the device"));
    Label6->setText(tr("or, if you have previously saved the settings to disk, read the file "
                       "from disk."));
    bLoadParams->setText(tr("Read settings from a file on disk"));
    GroupBox2->setTitle(tr("Step 2"));
    Label3->setText(tr("Make changes to the settings."));
    bEditParams->setText(tr("Edit settings"));
    GroupBox3->setTitle(tr("Step 3"));
    Label4->setText(tr("To be able to view or edit the settings again, save the settings to "
                       "disk."));
    bSaveParams->setText(tr("Save the settings to a file on disk"));
    GroupBox4->setTitle(tr("Step 4"));
    Label1->setText(tr("Write the settings to the device"));
    bSetParams->setText(tr("Write the settings to the device", "button"));
    bRS232->setText(tr("Select the COM port manually"));
    bRestoreBackup->setText(tr("Restore from a backup..."));
    Image1->setAccessibleName(tr("The trip computer's screen"));
    GroupBox5->setTitle(tr("Status"));
    UpdateStatus();
}

// The port: which one, the device behind it, or why it cannot be used.
QString TMainForm::PortStatus() const {
    QString port;
    const int n = link_ ? link_->PortNumber : 0;
    if (!link_) {
        port = QString();
    } else if (n == 0) {
        port = tr("none — ") + QString::fromLatin1(kNoFreePortText);
    } else if (const TOpenFailure& f = link_->OpenFailure(); f.kind != TOpenFailure::Kind::None) {
        port = QStringLiteral("COM%1 — ").arg(n) + OpenFailureText(f);
    } else {
        port = QStringLiteral("COM%1").arg(n);
        if (const QString path = link_->PortPath(n); !path.isEmpty())
            port += QStringLiteral(" — ") + path;
        if (const QString adapter = link_->PortAdapterText(n); !adapter.isEmpty())
            port += QStringLiteral(" (%1)").arg(adapter);
        if (n <= kMaxPortNumber && !link_->PortPresent[size_t(n)])
            port += tr(" — not found now");
    }
    return tr("Port: ") + port;
}

QString TMainForm::StateStatus() const {
    const QString hhmm = QStringLiteral("HH:mm");
    QStringList state;
    if (stepsEnabled_) {
        if (edited_)
            state << tr("edited, not saved");
        else if (!savedTo_.isEmpty())
            state << tr("saved to the file %1").arg(savedTo_);
        else
            state << tr("not edited");
        if (!writtenTo_.isEmpty())
            state << (writtenHow_ == TWritten::Done ? tr("written to the trip computer on %1 at %2")
                      : writtenHow_ == TWritten::NotVerified
                          ? tr("written to the trip computer on %1 at %2, not verified")
                          : tr("possibly partly written to the trip computer on %1 (%2)"))
                             .arg(writtenTo_, writtenAt_.toString(hhmm)) +
                         (writtenBackup_.isEmpty()
                              ? QString()
                              : tr(" (the former ones in the backup %1)")
                                    .arg(QFileInfo(writtenBackup_).fileName()));
        else
            state << tr("not written to the trip computer");
    } else {
        state << tr("no settings");
    }
    return tr("State: ") + state.join(QStringLiteral("; "));
}

void TMainForm::UpdateStatus() {
    const QString hhmm = QStringLiteral("HH:mm");
    lPortStatus->setText(PortStatus());

    lDeviceStatus->setText(
        answer_.any ? tr("Trip computer: settings version %1, answered at %2 on %3")
                          .arg(answer_.version)
                          .arg(answer_.time.toString(QStringLiteral("HH:mm:ss")), answer_.port)
                    : tr("Trip computer: no answer read yet"));

    QString source;
    if (!stepsEnabled_)
        source = tr("Settings: none read yet");
    else if (!source_.file.isEmpty())
        source = tr("Settings: from the file %1").arg(source_.file);
    else if (!source_.port.isEmpty())
        source = tr("Settings: read from the trip computer on %1 at %2")
                     .arg(source_.port, source_.time.toString(hhmm));
    else
        source = tr("Settings: in the program");
    lSourceStatus->setText(source);

    lStateStatus->setText(StateStatus());
    for (QLabel* l : {lPortStatus, lDeviceStatus, lSourceStatus, lStateStatus})
        l->setToolTip(l->text());
}
