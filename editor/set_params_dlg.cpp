#include "editor/set_params_dlg.h"

#include "editor/radio_group.h"
#include "editor/spin_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "shell/application.h"
#include "support/numeric.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr int kClientWidth = 1021;
constexpr int kClientHeight = 599;
constexpr int kPagesHeight = 561;
constexpr int kRowHeight = 40;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Stores v into a field of type T, rounded; the field is untouched when v
// does not fit ("Range check error").
template <typename T> void Store(T& field, double v) {
    field = RoundToField<T>(v);
}

void SelectItem(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

TMK_SetParamsDlg::TMK_SetParamsDlg(TMK& mk, QWidget* parent) : QDialog(parent), mk_(mk) {
    setObjectName(QStringLiteral("TMK_SetParamsDlg"));
    setWindowTitle(Text("Настройки МК"));
    setFixedSize(kClientWidth, kClientHeight);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(0, 0, kClientWidth, kPagesHeight);
    tsCorr = AddPage("tsCorr", "Поправки");
    tsSources = AddPage("tsSources", "Источники");
    tsLimits = AddPage("tsLimits", "Границы");
    tsDisplay = AddPage("tsDisplay", "Дисплей");
    tsVoice = AddPage("tsVoice", "Озвуч.сообщения");
    tsAverages = AddPage("tsAverages", "Средние");
    tsTank = AddPage("tsTank", "Бак");
    tsTO = AddPage("tsTO", "ТО");

    BuildCorrPage();
    BuildSourcesPage();
    BuildLimitsPage();
    BuildTankPage();
    BuildTOPage();

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(kClientWidth - 190, kPagesHeight + 6, 85, 27);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(kClientWidth - 95, kPagesHeight + 6, 85, 27);
    connect(OKBtn, &QPushButton::clicked, this, &TMK_SetParamsDlg::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &TMK_SetParamsDlg::reject);
}

TMK_SetParamsDlg::~TMK_SetParamsDlg() = default;

TSettingsRecord& TMK_SetParamsDlg::S() const {
    return mk_.Settings;
}

QWidget* TMK_SetParamsDlg::AddPage(const char* name, const char* caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    PageControl->addTab(page, Text(caption));
    return page;
}

TSpinEdit* TMK_SetParamsDlg::AddSpinEdit(QWidget* page, const char* name, const char* label, int x,
                                         int y, int labelWidth, void (TMK_SetParamsDlg::*exit)()) {
    auto* l = new QLabel(Text(label), page);
    l->setObjectName(QStringLiteral("l") + QString::fromLatin1(name + 2));
    l->setGeometry(x, y, labelWidth, 24);
    auto* e = new TSpinEdit(page);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x + labelWidth + 8, y, 90, 24);
    l->setBuddy(e);
    connect(e, &TSpinEdit::exited, this, Guarded([this, exit] { (this->*exit)(); }));
    return e;
}

QComboBox* TMK_SetParamsDlg::AddList(QWidget* page, const char* name, QLabel*& label,
                                     const char* labelName, const char* text, int x, int y,
                                     void (TMK_SetParamsDlg::*change)()) {
    label = new QLabel(Text(text), page);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(x, y, 120, 24);
    auto* list = new QComboBox(page);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(x + 128, y, 180, 24);
    label->setBuddy(list);
    // Only the user's choice runs the handler; the program's selections do not.
    connect(list, &QComboBox::activated, this, Guarded([this, change] { (this->*change)(); }));
    return list;
}

void TMK_SetParamsDlg::BuildCorrPage() {
    constexpr int x = 20, w = 220;
    seAccCorr = AddSpinEdit(tsCorr, "seAccCorr", "Напряжение АКБ, В", x, 20, w,
                            &TMK_SetParamsDlg::seAccCorrExit);
    seAccCorr->SetDecimals(1);
    seAccCorr->SetLimits(-0.7, 0.7);
    seAccCorr->SetIncrement(0.1);
    seTimeCorr = AddSpinEdit(tsCorr, "seTimeCorr", "Время (секунд в сутки)", x, 20 + kRowHeight, w,
                             &TMK_SetParamsDlg::seTimeCorrExit);
    seTimeCorr->SetLimits(-30, 30);
    seVelocityCorr = AddSpinEdit(tsCorr, "seVelocityCorr", "Скорость, %", x, 20 + 2 * kRowHeight, w,
                                 &TMK_SetParamsDlg::seVelocityCorrExit);
    seExpenseCorr = AddSpinEdit(tsCorr, "seExpenseCorr", "Расхода топлива, %", x,
                                20 + 3 * kRowHeight, w, &TMK_SetParamsDlg::seExpenseCorrExit);
    for (TSpinEdit* e : {seVelocityCorr, seExpenseCorr}) {
        e->SetDecimals(1);
        e->SetLimits(-99.0, 999.9);
    }
}

void TMK_SetParamsDlg::BuildSourcesPage() {
    rgLockType = new TRadioGroup(QStringLiteral("rgLockType"), Text("Замок зажигания"),
                                 FieldItems::LockType(), 2, tsSources);
    rgLockType->setGeometry(20, 16, 300, 56);
    rgLockLevel = new TRadioGroup(QStringLiteral("rgLockLevel"), Text("Уровень виртуального замка"),
                                  FieldItems::LockLevel(), 5, tsSources);
    rgLockLevel->setGeometry(340, 16, 400, 56);
    cbProtocol = AddList(tsSources, "cbProtocol", lProtocol, "lProtocol", "Протокол", 20, 100,
                         &TMK_SetParamsDlg::cbProtocolChange);
    cbTempOilAKPPMeth =
        AddList(tsSources, "cbTempOilAKPPMeth", lTempOilAKPPMeth, "lTempOilAKPPMeth", "Т масла КПП",
                20, 140, &TMK_SetParamsDlg::cbTempOilAKPPMethChange);
    cbTempOilAKPPMeth->addItems(FieldItems::TempOilAKPPMeth());
    rgVentChan = new TRadioGroup(QStringLiteral("rgVentChan"), Text("Канал вентилятора"),
                                 FieldItems::VentChan(), 5, tsSources);
    rgVentChan->setGeometry(20, 184, 400, 56);

    connect(rgLockType, &TRadioGroup::clicked, this, Guarded([this] { rgLockTypeClick(); }));
    connect(rgLockLevel, &TRadioGroup::clicked, this, Guarded([this] { rgLockLevelClick(); }));
    connect(rgVentChan, &TRadioGroup::clicked, this, Guarded([this] { rgVentChanClick(); }));
}

void TMK_SetParamsDlg::BuildLimitsPage() {
    using D = TMK_SetParamsDlg;
    constexpr int left = 20, right = 520, w = 260;
    int y = 20;
    seLiqTemperLimit =
        AddSpinEdit(tsLimits, "seLiqTemperLimit", "ТОЖ, С", left, y, w, &D::seLiqTemperLimitExit);
    seLiqTemperLimit->SetLimits(80, 120);
    seRevolutionsLimit = AddSpinEdit(tsLimits, "seRevolutionsLimit", "Обороты двиг., об/мин * 100",
                                     left, y += kRowHeight, w, &D::seRevolutionsLimitExit);
    seRevolutionsLimit->SetLimits(25, 80);
    seUaccLowLimit = AddSpinEdit(tsLimits, "seUaccLowLimit", "Низкое напряжение АКБ, В", left,
                                 y += kRowHeight, w, &D::seUaccLowLimitExit);
    seUaccLowLimit->SetDecimals(1);
    seUaccLowLimit->SetLimits(9.0, 13.9);
    seUaccLowLimit->SetIncrement(2);
    seUaccHighLimit = AddSpinEdit(tsLimits, "seUaccHighLimit", "Высокое напряжение АКБ, В", left,
                                  y += kRowHeight, w, &D::seUaccHighLimitExit);
    seUaccHighLimit->SetDecimals(1);
    seUaccHighLimit->SetLimits(14.0, 16.0);
    seUaccHighLimit->SetIncrement(2);
    seVentTempLimit = AddSpinEdit(tsLimits, "seVentTempLimit", "Т вкл. вентилятора, С", left,
                                  y += kRowHeight, w, &D::seVentTempLimitExit);
    seVentTempLimit->SetLimits(75, 115);

    y = 20;
    seVelocityLimit = AddSpinEdit(tsLimits, "seVelocityLimit", "Скорость, км/час", right, y, w,
                                  &D::seVelocityLimitExit);
    seVelocityLimit->SetLimits(20, 200);
    seVelocityLimit->SetIncrement(2);
    seVelocityLimit->SetTypingEnabled(false);
    seTankLimit = AddSpinEdit(tsLimits, "seTankLimit", "Остаток бака, л", right, y += kRowHeight, w,
                              &D::seTankLimitExit);
    seTankLimit->SetLimits(0, 99);
    seTankLimit->SetIncrement(2);
    seAKPPOilTemperLimit = AddSpinEdit(tsLimits, "seAKPPOilTemperLimit", "Т масла КПП, С", right,
                                       y += kRowHeight, w, &D::seAKPPOilTemperLimitExit);
    seAKPPOilTemperLimit->SetLimits(80, 150);
}

void TMK_SetParamsDlg::BuildTankPage() {
    cbTankMeth = AddList(tsTank, "cbTankMeth", lTankMeth, "lTankMeth", "Бак тип", 20, 20,
                         &TMK_SetParamsDlg::cbTankMethChange);
    cbTankMeth->addItems(FieldItems::TankMeth());
}

void TMK_SetParamsDlg::BuildTOPage() {
    rgToTOMeth = new TRadioGroup(QStringLiteral("rgToTOMeth"), Text("Счетчик ТО"),
                                 FieldItems::ToTOMeth(), 1, tsTO);
    rgToTOMeth->setGeometry(20, 16, 220, 100);
    connect(rgToTOMeth, &TRadioGroup::exited, this, Guarded([this] { rgToTOMethExit(); }));
    seTOPath = AddSpinEdit(tsTO, "seTOPath", "Осталось до ТО, тыс.км", 20, 136, 220,
                           &TMK_SetParamsDlg::seTOPathExit);
    seTOPath->SetDecimals(1);
    seTOPath->SetLimits(0, 99.9);
    seTOTime = AddSpinEdit(tsTO, "seTOTime", "Осталось до ТО, часов", 20, 136 + kRowHeight, 220,
                           &TMK_SetParamsDlg::seTOTimeExit);
    seTOTime->SetLimits(0, 9999);
}

void TMK_SetParamsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    bool loaded = false;
    RunGuarded([&] {
        FormShow();
        loaded = true;
    });
    // A record the controls cannot show is not edited: the error has been
    // shown, and closing without OK leaves everything as it was.
    if (!loaded)
        QTimer::singleShot(0, this, &QDialog::reject);
}

void TMK_SetParamsDlg::FormShow() {
    PageControl->setCurrentWidget(tsCorr);
    LoadControls();
}

void TMK_SetParamsDlg::LoadControls() {
    TSettingsRecord& s = S();
    seAccCorr->SetValue(s.AccCorr / 10.0);
    seTimeCorr->SetValue(s.TimeCorr);
    seLiqTemperLimit->SetValue(s.LiqTemperLimit);
    seRevolutionsLimit->SetValue(s.RevolutionsLimit);

    seUaccLowLimit->SetLimits(9.0, 13.9);
    seUaccHighLimit->SetLimits(14.0, 16.0);
    seUaccLowLimit->SetValue(s.UaccLowLimit / 10.0);
    seUaccHighLimit->SetValue(s.UaccHighLimit / 10.0);

    seVelocityCorr->SetValue(CorrectionPercent(s.VelocityCorr));
    seExpenseCorr->SetValue(CorrectionPercent(s.ExpenseCorr));

    seTOPath->SetValue(TOPathThousandKm(s.TOPath));
    seTOTime->SetValue(TOTimeHours(s.TOTime));
    rgToTOMeth->SetItemIndex(s.ToTOMeth);

    seVelocityLimit->SetValue(s.VelocityLimit);
    seTankLimit->SetMaxValue(s.TankContFull);
    seTankLimit->SetValue(s.TankLimit);

    seVentTempLimit->SetLimits(80, 115);
    seVentTempLimit->SetValue(s.VentTempLimit);
    seAKPPOilTemperLimit->SetValue(s.AKPPOilTemperLimit);

    SelectItem(cbTankMeth, s.TankMeth);

    rgVentChan->SetItemIndex(s.VentChan);
    SelectItem(cbTempOilAKPPMeth, s.TempOilAKPPMeth);

    rgLockType->SetItemIndex(OptionBit(4) ? 1 : 0);
    rgLockLevel->setVisible(OptionBit(4));
    rgLockLevel->SetItemIndex(s.LockLevel);

    cbProtocol->clear();
    for (const auto& p : mk_.ProtocolList)
        cbProtocol->addItem(p->Name);
    SelectItem(cbProtocol, s.Protocol);

    ApplyProtocol();
}

void TMK_SetParamsDlg::ApplyProtocol() {
    TSettingsRecord& s = S();
    s.LastProtocol = CheckedField<uint8_t>(s.Protocol);
    mk_.CurrentProtocol = &mk_.ProtocolAt(s.Protocol);
    const TProtBase& p = *mk_.CurrentProtocol;
    s.VentChan = 0;
    rgVentChan->setVisible(p.FanChannelChoice);
    const FanChannels range = FanChannelRange(p);
    for (int i = 0; i < rgVentChan->Count(); ++i)
        rgVentChan->SetItemEnabled(i, i >= range.first && i <= range.last);
    s.VentChan = CheckedField<int8_t>(range.first);
    rgVentChan->SetItemIndex(range.first);
    const bool gearbox = HasGearboxOilSource(p);
    cbTempOilAKPPMeth->setVisible(gearbox);
    lTempOilAKPPMeth->setVisible(gearbox);
    cbTankMeth->clear();
    cbTankMeth->addItems(FuelLevelMethods(p));
    SelectItem(cbTankMeth, s.TankMeth);
}

bool TMK_SetParamsDlg::OptionBit(int n) const {
    return (S().Flags >> n) & 1u;
}

void TMK_SetParamsDlg::SetOptionBit(int n, bool on) {
    S().Flags = (S().Flags & ~(1u << n)) | (on ? 1u << n : 0u);
}

int32_t TMK_SetParamsDlg::CorrectionToTenths(float factor) {
    return ::CorrectionToTenths(factor);
}

void TMK_SetParamsDlg::seAccCorrExit() {
    Store(S().AccCorr, seAccCorr->Value() * 10);
}
void TMK_SetParamsDlg::seTimeCorrExit() {
    Store(S().TimeCorr, seTimeCorr->Value());
}
void TMK_SetParamsDlg::seVelocityCorrExit() {
    S().VelocityCorr = PercentToCorrection(seVelocityCorr->Value());
}
void TMK_SetParamsDlg::seExpenseCorrExit() {
    S().ExpenseCorr = PercentToCorrection(seExpenseCorr->Value());
}

void TMK_SetParamsDlg::rgLockTypeClick() {
    SetOptionBit(4, rgLockType->ItemIndex() != 0);
    rgLockLevel->setVisible(OptionBit(4));
}

void TMK_SetParamsDlg::rgLockLevelClick() {
    S().LockLevel = CheckedField<int8_t>(rgLockLevel->ItemIndex());
}

void TMK_SetParamsDlg::cbProtocolChange() {
    const int index = cbProtocol->currentIndex();
    if (index < 0)
        return;
    if (index != S().Protocol)
        S().Protocol = CheckedField<int8_t>(index);
    ApplyProtocol();
}

void TMK_SetParamsDlg::cbTempOilAKPPMethChange() {
    if (cbTempOilAKPPMeth->currentIndex() >= 0)
        S().TempOilAKPPMeth = CheckedField<int8_t>(cbTempOilAKPPMeth->currentIndex());
}

void TMK_SetParamsDlg::rgVentChanClick() {
    S().VentChan = CheckedField<int8_t>(rgVentChan->ItemIndex());
}

void TMK_SetParamsDlg::seLiqTemperLimitExit() {
    Store(S().LiqTemperLimit, seLiqTemperLimit->Value());
}
void TMK_SetParamsDlg::seRevolutionsLimitExit() {
    Store(S().RevolutionsLimit, seRevolutionsLimit->Value());
}
void TMK_SetParamsDlg::seVelocityLimitExit() {
    Store(S().VelocityLimit, seVelocityLimit->Value());
}
void TMK_SetParamsDlg::seTankLimitExit() {
    Store(S().TankLimit, seTankLimit->Value());
}
void TMK_SetParamsDlg::seUaccLowLimitExit() {
    Store(S().UaccLowLimit, seUaccLowLimit->Value() * 10);
}
void TMK_SetParamsDlg::seUaccHighLimitExit() {
    Store(S().UaccHighLimit, seUaccHighLimit->Value() * 10);
}
void TMK_SetParamsDlg::seVentTempLimitExit() {
    Store(S().VentTempLimit, seVentTempLimit->Value());
}
void TMK_SetParamsDlg::seAKPPOilTemperLimitExit() {
    Store(S().AKPPOilTemperLimit, seAKPPOilTemperLimit->Value());
}

void TMK_SetParamsDlg::rgToTOMethExit() {
    // A loaded value without an item shows no selection and is kept.
    if (rgToTOMeth->ItemIndex() >= 0)
        S().ToTOMeth = CheckedField<int8_t>(rgToTOMeth->ItemIndex());
}

void TMK_SetParamsDlg::seTOPathExit() {
    Store(S().TOPath, seTOPath->Value() * 1000000.0);
}
void TMK_SetParamsDlg::seTOTimeExit() {
    Store(S().TOTime, seTOTime->Value() * 3600.0);
}

void TMK_SetParamsDlg::cbTankMethChange() {
    if (cbTankMeth->currentIndex() >= 0)
        S().TankMeth = CheckedField<int8_t>(cbTankMeth->currentIndex());
}

void TMK_SetParamsDlg::accept() {
    for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget()) {
        if (auto* e = qobject_cast<TSpinEdit*>(w)) {
            e->Leave();
            break;
        }
        if (w == rgToTOMeth) {
            RunGuarded([this] { rgToTOMethExit(); });
            break;
        }
    }
    QDialog::accept();
}
