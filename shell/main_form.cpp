#include "shell/main_form.h"

#include "core/app_ini.h"
#include "core/transfers.h"
#include "editor/set_params_dlg.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/preview.h"
#include "model/settings_file.h"
#include "shell/form_placement.h"
#include "shell/port_dialog.h"
#include "shell/progress_form.h"
#include "shell/window_language.h"
#include "support/errors.h"
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

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("MainForm"));
    setFixedSize(810, 346);

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
    cbEnglishVersion->setText(QStringLiteral("English language"));
    SetBold(cbEnglishVersion);

    Image1 = Make<QLabel>(this, "Image1", {718, 256, 84, 82});
    Image1->setPixmap(DecorativePicture(Image1->size()));

    SetStepsEnabled(false);
    ApplyLanguage();

    connect(bRS232, &QPushButton::clicked, this, Guarded([this] { bRS232Click(); }));
    connect(bGetParams, &QPushButton::clicked, this, Guarded([this] { bGetParamsClick(); }));
    connect(bLoadParams, &QPushButton::clicked, this, Guarded([this] { bLoadParamsClick(); }));
    connect(bEditParams, &QPushButton::clicked, this, Guarded([this] { bEditParamsClick(); }));
    connect(bSaveParams, &QPushButton::clicked, this, Guarded([this] { bSaveParamsClick(); }));
    connect(bSetParams, &QPushButton::clicked, this, Guarded([this] { bSetParamsClick(); }));
    connect(cbEnglishVersion, &QCheckBox::clicked, this,
            Guarded([this] { cbEnglishVersionClick(); }));
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
                       static_cast<QWidget*>(bLoadParams), static_cast<QWidget*>(cbEnglishVersion)})
        w->setEnabled(!busy);
    for (QWidget* w : {bEditParams, bSaveParams, bSetParams})
        w->setEnabled(!busy && stepsEnabled_);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        RunGuarded([this] { FormShow(); });
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
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
    link_ = std::make_unique<TSerialLink>();
    link_->ProcessEvents = [] { QCoreApplication::processEvents(); };
    link_->ShowError = [](const QString& text) { ShowError(text); };
    link_->ChoosePortDialog = [this](const QList<TPortChoice>& ports, int current) {
        // While the dialog is open the list follows adapters plugged in and pulled out.
        return RunPortNumberDlg(ports, current, this, [this] {
            link_->ScanPorts();
            return link_->PortChoices();
        });
    };
    English = false;
    mk_ = std::make_unique<TMK>();
    if (QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    {
        TMIniFile ini;
        // First, so that what the port scan has to say follows the language.
        English = ini.ReadBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), false);
        link_->RussianTexts = !English;
        if (DemoDevicePath.isEmpty())
            link_->LoadSettings(ini);
        else
            link_->SetDevicePath(DemoDevicePath);
        LoadFormPlacement(ini, QStringLiteral("MainWindow"), this);
        // Said here only: the close leaves such a file alone without a word.
        if (!ini.LoadProblem().isEmpty())
            ShowError(ini.LoadProblem());
    }
    dialogFolder_ = FileDialogFolder(ProgramFolder());
    link_->SetBaudRate(kTransferBaudRate);
    link_->SetPortOpen(false);
    Modified = false;
    cbEnglishVersion->setChecked(English);
    ApplyLanguage();
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
    ini.WriteBool(QStringLiteral("Common"), QStringLiteral("EnglishVersion"), English);
    SaveFormPlacement(ini, QStringLiteral("MainWindow"), this);
    ini.UpdateFile();
}

void TMainForm::bRS232Click() {
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
    SetBusy(true);
    const auto idle = qScopeGuard([this] { SetBusy(false); });
    return transfer(progress);
}

void TMainForm::ReadFromDevice() {
    const TransferResult r = RunTransfer([this](TTransferObserver& progress) {
        return ::ReadFromDevice(*link_, *mk_, progress, Timings, WindowLanguage());
    });
    // A failed read changes no data, so what could be edited, saved or
    // written before still can.
    if (r.status == TransferStatus::Done)
        SetStepsEnabled(true);
    else if ((r.status == TransferStatus::Failed || r.status == TransferStatus::PortFailed) &&
             !r.message.isEmpty())
        ShowError(r.message);
}

void TMainForm::WriteToDevice() {
    const TransferResult r = RunTransfer([this](TTransferObserver& progress) {
        return ::WriteToDevice(*link_, *mk_, progress, Timings, WindowLanguage());
    });
    if (r.status == TransferStatus::Done)
        ShowInfo(r.message);
    else if (r.status == TransferStatus::Failed)
        // Link errors of the block phase go on to the general handler.
        ReportException(TripError(r.message));
    else if (r.status != TransferStatus::Cancelled && !r.message.isEmpty())
        ShowError(r.message);
}

void TMainForm::bLoadParamsClick() {
    if (!SaveIfModified())
        return;
    const QString name =
        Dialogs().OpenFileName(this, {QString(), QString::fromUtf8(kSettingsFilter),
                                      QString::fromLatin1(kSettingsSuffix), dialogFolder_});
    if (name.isEmpty())
        return;
    try {
        LoadSettingsFile(*mk_, name);
    } catch (const std::exception& e) {
        ShowError(ExceptionMessage(e));
        SetStepsEnabled(false);
        return;
    }
    SetStepsEnabled(true);
}

void TMainForm::bEditParamsClick() {
    const bool ok = mk_->EditSettings([](TMK& mk) {
        TMK_SetParamsDlg dlg(mk);
        return Dialogs().Exec(&dlg) == QDialog::Accepted;
    });
    if (ok)
        Modified = true;
}

void TMainForm::bSaveParamsClick() {
    SaveParamsToFile();
}

void TMainForm::bSetParamsClick() {
    WriteToDevice();
}

void TMainForm::cbEnglishVersionClick() {
    English = cbEnglishVersion->isChecked();
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
    return true;
}

void TMainForm::ApplyLanguage() {
    if (link_)
        link_->RussianTexts = !English;
    setWindowTitle(Lang("Просмотр и настройка параметров МК (Версия 12.03.26)",
                        "Viewing and configuring trip computer parameters (Version 12.03.26)"));
    Label5->setText(Lang("Внимание! Для правильной работы программы НЕОБХОДИМО предварительно "
                         "загрузить в МК последнюю версию ПО.",
                         "Attention! For the program to work correctly, you MUST first download "
                         "the latest version of the software to the device."));
    GroupBox1->setTitle(Lang("Шаг 1", "Step 1"));
    Label2->setText(Lang("Для адекватного отображения возможных вариантов настроек считайте "
                         "текущие настройки МК.",
                         "For an adequate display of possible settings, read the current "
                         "settings of the device."));
    bGetParams->setText(Lang("Считать настройки из МК", "Read settings from the device"));
    Label6->setText(Lang("или, если Вы ранее уже сохраняли настройки на диск, считайте файл с "
                         "диска.",
                         "or, if you have previously saved the settings to disk, read the file "
                         "from disk."));
    bLoadParams->setText(
        Lang("Считать настройки из файла на диске", "Read settings from a file on disk"));
    GroupBox2->setTitle(Lang("Шаг 2", "Step 2"));
    Label3->setText(Lang("Произведите изменения настроек.", "Make changes to the settings."));
    bEditParams->setText(Lang("Редактировать настройки", "Edit settings"));
    GroupBox3->setTitle(Lang("Шаг 3", "Step 3"));
    Label4->setText(Lang("Для возможности повторного просмотра или редактирования сохраните "
                         "настройки на диск.",
                         "To be able to view or edit the settings again, save the settings to "
                         "disk."));
    bSaveParams->setText(
        Lang("Сохранить настройки в файл на диске", "Save the settings to a file on disk"));
    GroupBox4->setTitle(Lang("Шаг 4", "Step 4"));
    Label1->setText(Lang("Запишите настройки в МК", "Write the settings to the device"));
    bSetParams->setText(Lang("Записать настройки в МК", "Write the settings to the device"));
    bRS232->setText(Lang("Выбрать СОМ-порт вручную", "Select the COM port manually"));
}
