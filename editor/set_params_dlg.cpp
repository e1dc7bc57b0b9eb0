#include "editor/set_params_dlg.h"

#include "editor/mask_edit.h"
#include "editor/paint_box.h"
#include "editor/radio_group.h"
#include "editor/spin_edit.h"
#include "editor/string_grid.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/conversions.h"
#include "support/numeric.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/message_boxes.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kClientWidth = 1021;
constexpr int kClientHeight = 599;
constexpr int kPagesHeight = 561;
constexpr int kRowHeight = 40;
constexpr int kColourRowHeight = 18;
constexpr int kAccumulatorRowHeight = 20;
const char* const kTimeMask = "!90:00;1;_";
const char* const kTankFilter = "Файлы настроек бака (*.tarvo)";
const char* const kTankSuffix = "tarvo";

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

QColor ScreenColour(uint16_t rgb565) {
    const uint32_t c = Rgb565ToColor(rgb565);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

// The tank page's notices: red, some bold, wrapped to their width.
QLabel* AddNotice(QWidget* parent, const char* name, const QString& text, bool bold,
                  const QRect& geometry) {
    QLabel* l = AddLabel(parent, name, text, geometry);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(p);
    QFont f = l->font();
    f.setBold(bold);
    l->setFont(f);
    return l;
}

QString Quoted(const char* utf8) {
    return QLatin1Char('"') + Text(utf8) + QLatin1Char('"');
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
    BuildDisplayPage();
    BuildVoicePage();
    BuildAveragesPage();
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

TSpinEdit* TMK_SetParamsDlg::NewSpinEdit(QWidget* parent, const char* name,
                                         void (TMK_SetParamsDlg::*exit)()) {
    auto* e = new TSpinEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (exit)
        connect(e, &TSpinEdit::exited, this, Guarded([this, exit] { (this->*exit)(); }));
    return e;
}

TSpinEdit* TMK_SetParamsDlg::AddSpinEdit(QWidget* page, const char* name, const char* label, int x,
                                         int y, int labelWidth, void (TMK_SetParamsDlg::*exit)()) {
    auto* l = new QLabel(Text(label), page);
    l->setObjectName(QStringLiteral("l") + QString::fromLatin1(name + 2));
    l->setGeometry(x, y, labelWidth, 24);
    TSpinEdit* e = NewSpinEdit(page, name, exit);
    e->setGeometry(x + labelWidth + 8, y, 90, 24);
    l->setBuddy(e);
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

void TMK_SetParamsDlg::BuildDisplayPage() {
    using D = TMK_SetParamsDlg;
    rgIntenseMeth =
        new TRadioGroup(QStringLiteral("rgIntenseMeth"), Text("Управление яркостью дисплея"),
                        FieldItems::IntenseMeth(), 2, tsDisplay);
    rgIntenseMeth->setGeometry(20, 16, 330, 56);
    connect(rgIntenseMeth, &TRadioGroup::clicked, this, Guarded([this] { rgIntenseMethClick(); }));
    constexpr int x = 20, w = 220;
    seIntense0 = AddSpinEdit(tsDisplay, "seIntense0", "Яркость подсветки (День)", x, 90, w,
                             &D::seIntense0Exit);
    seIntense1 = AddSpinEdit(tsDisplay, "seIntense1", "Яркость подсветки (Ночь)", x,
                             90 + kRowHeight, w, &D::seIntense1Exit);
    for (TSpinEdit* e : {seIntense0, seIntense1})
        e->SetLimits(0, 4);

    auto addTime = [&](const char* name, const char* label, int y, void (D::*exit)()) {
        auto* e = new TMaskEdit(tsDisplay);
        e->setObjectName(QString::fromLatin1(name));
        e->SetEditMask(QString::fromLatin1(kTimeMask));
        e->setGeometry(x + w + 8, y, 90, 24);
        QLabel* l = AddLabel(tsDisplay, "", Text(label), QRect(x, y, w, 24));
        l->setObjectName(QStringLiteral("l") + QString::fromLatin1(name + 2));
        l->setBuddy(e);
        connect(e, &TMaskEdit::exited, this, Guarded([this, exit] { (this->*exit)(); }));
        return e;
    };
    meIntenseDayTime = addTime("meIntenseDayTime", "Время вкл. ДНЕВНОЙ яркости",
                               90 + 2 * kRowHeight, &D::meIntenseDayTimeExit);
    meIntenseNightTime = addTime("meIntenseNightTime", "Время вкл. НОЧНОЙ яркости",
                                 90 + 3 * kRowHeight, &D::meIntenseNightTimeExit);

    // The palette: display only.
    constexpr int px = 420, gx = 620;
    QLabel* lPalette =
        AddLabel(tsDisplay, "lPalette", Text("Цветовая палитра"), QRect(px, 16, 180, 20));
    sgPalette = new TStringGrid(QStringLiteral("sgPalette"), 16, 2, tsDisplay);
    sgPalette->setColumnWidth(0, 110);
    sgPalette->setColumnWidth(1, 70);
    sgPalette->SetRowHeight(kColourRowHeight);
    sgPalette->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgPalette->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgPalette->setGeometry(QRect(QPoint(px, 40), sgPalette->FullSize()));
    lPalette->setBuddy(sgPalette);
    sgPalette->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        return DrawColourCell(p, r, sgPalette, column, row, mk_.Palette[size_t(row) & 0x0F]);
    };

    // The four colours of the record; the selected row is edited below.
    QLabel* lColours = AddLabel(tsDisplay, "lColours", Text("Цвета"), QRect(gx, 16, 180, 20));
    sgDigit = new TStringGrid(QStringLiteral("sgDigit"), 4, 2, tsDisplay);
    sgDigit->setColumnWidth(0, 200);
    sgDigit->setColumnWidth(1, 70);
    sgDigit->SetRowHeight(kColourRowHeight);
    sgDigit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgDigit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgDigit->setGeometry(QRect(QPoint(gx, 40), sgDigit->FullSize()));
    lColours->setBuddy(sgDigit);
    sgDigit->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        return DrawColourCell(p, r, sgDigit, column, row, mk_.PaletteColour(DigitField(row)));
    };
    connect(sgDigit, &TStringGrid::rowSelected, this,
            [this](int row) { RunGuarded([&] { sgDigitSelectCell(row); }); });
    for (TStringGrid* g : {sgPalette, sgDigit})
        for (int r = 0; r < g->rowCount(); ++r)
            g->SetCell(1, r, QString());

    const int groupTop = sgDigit->geometry().bottom() + 12;
    gbDigit = new QGroupBox(Text("Редактировать цвет"), tsDisplay);
    gbDigit->setObjectName(QStringLiteral("gbDigit"));
    gbDigit->setToolTip(Text("Для выбора цвета для редактирования выберите нужную строку таблицы"));
    gbDigit->setGeometry(gx, groupTop, sgDigit->width(), 64);
    lDigit = AddLabel(gbDigit, "lDigit", Text("Цвет 1"), QRect(12, 28, 140, 24));
    seDigit = NewSpinEdit(gbDigit, "seDigit", nullptr);
    seDigit->setGeometry(160, 28, 90, 24);
    seDigit->SetLimits(0, 15);
    lDigit->setBuddy(seDigit);
    connect(seDigit, &TSpinEdit::changed, this, Guarded([this] { seDigitChange(); }));

    pbDisp = new TPaintBox(tsDisplay);
    pbDisp->setObjectName(QStringLiteral("pbDisp"));
    pbDisp->setGeometry(gx, gbDigit->geometry().bottom() + 16, TMK::kPreviewSize,
                        TMK::kPreviewSize);
    pbDisp->OnPaint = [this](QPainter& p) { RunGuarded([&] { pbDispPaint(p); }); };
}

void TMK_SetParamsDlg::BuildVoicePage() {
    rgAlarmBeep = new TRadioGroup(QStringLiteral("rgAlarmBeep"), Text("Озвучивать сообщения"),
                                  FieldItems::AlarmBeep(), 3, tsVoice);
    rgAlarmBeep->setGeometry(20, 16, 400, 56);
    rgAlarmVelType =
        new TRadioGroup(QStringLiteral("rgAlarmVelType"), Text("Озвучивать превышение скорости"),
                        FieldItems::AlarmVelType(), 2, tsVoice);
    rgAlarmVelType->setGeometry(20, 90, 400, 56);
    connect(rgAlarmBeep, &TRadioGroup::clicked, this, Guarded([this] { rgAlarmBeepClick(); }));
    connect(rgAlarmVelType, &TRadioGroup::clicked, this,
            Guarded([this] { rgAlarmVelTypeClick(); }));
}

void TMK_SetParamsDlg::BuildAveragesPage() {
    auto addGrid = [&](const char* name, const char* labelName, const char* caption, int x,
                       void (TMK_SetParamsDlg::*dblClick)()) {
        QLabel* l = AddLabel(tsAverages, labelName, Text(caption), QRect(x, 16, 200, 20));
        auto* g = new TStringGrid(QString::fromLatin1(name), 6, 2, tsAverages);
        g->setColumnWidth(0, 147);
        g->setColumnWidth(1, 116);
        g->SetRowHeight(kAccumulatorRowHeight);
        g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        const QSize full = g->FullSize();
        g->setGeometry(x, 40, full.width() + g->style()->pixelMetric(QStyle::PM_ScrollBarExtent),
                       full.height());
        l->setBuddy(g);
        connect(g, &TStringGrid::dblClicked, this,
                Guarded([this, dblClick] { (this->*dblClick)(); }));
        return g;
    };
    sgTripSum =
        addGrid("sgTripSum", "lTripSum", "Поездка", 20, &TMK_SetParamsDlg::sgTripSumDblClick);
    sgResetSum =
        addGrid("sgResetSum", "lResetSum", "Сброс", 360, &TMK_SetParamsDlg::sgResetSumDblClick);
    QLabel* notice = AddLabel(
        tsAverages, "lResetHint",
        Text("Для сброса накопителей сделайте двойной щелчок мыши на соответствующей таблице"),
        QRect(0, sgTripSum->geometry().bottom() + 24, kClientWidth - 8, 24));
    notice->setAlignment(Qt::AlignCenter);
}

void TMK_SetParamsDlg::BuildTankPage() {
    using D = TMK_SetParamsDlg;
    cbTankMeth = AddList(tsTank, "cbTankMeth", lTankMeth, "lTankMeth", "Бак тип", 20, 20,
                         &D::cbTankMethChange);
    cbTankMeth->addItems(FieldItems::TankMeth());
    seTankContFull =
        AddSpinEdit(tsTank, "seTankContFull", "Полный бак, л", 20, 60, 120, &D::seTankContFullExit);
    seTankContFull->SetLimits(16, 2040);

    gbTankCalibration = new QGroupBox(Text("Калибровка бака"), tsTank);
    gbTankCalibration->setObjectName(QStringLiteral("gbTankCalibration"));
    gbTankCalibration->setGeometry(20, 110, 300, 130);
    AddLabel(gbTankCalibration, "lTankCalibrationHeader", Text("  #       литры           у.е."),
             QRect(10, 24, 280, 20));
    auto addRow = [&](const char* label, int y, TSpinEdit*& litres, const char* litresName,
                      void (D::*litresExit)(), TSpinEdit*& units, const char* unitsName,
                      void (D::*unitsExit)()) {
        AddLabel(gbTankCalibration, "", Text(label), QRect(16, y, 30, 24))
            ->setObjectName(QStringLiteral("lTankPoint") + Text(label));
        litres = NewSpinEdit(gbTankCalibration, litresName, litresExit);
        litres->setGeometry(60, y, 90, 24);
        // No limits until the tank's capacity is known.
        litres->SetLimits(0, 0);
        units = NewSpinEdit(gbTankCalibration, unitsName, unitsExit);
        units->setGeometry(180, y, 90, 24);
        units->SetLimits(0, 2000);
    };
    addRow("1", 50, seLit6L, "seLit6L", &D::seLit6LExit, seOil6L, "seOil6L", &D::seOil6LExit);
    addRow("2", 86, seLit43L, "seLit43L", &D::seLit43LExit, seOil43L, "seOil43L", &D::seOil43LExit);

    constexpr int x = 400, w = 580;
    bOilSave = new QPushButton(Text("Сохранить настройки бака в файл"), tsTank);
    bOilSave->setObjectName(QStringLiteral("bOilSave"));
    bOilSave->setGeometry(x, 20, 320, 27);
    bOilLoad = new QPushButton(Text("Считать настройки бака из файла"), tsTank);
    bOilLoad->setObjectName(QStringLiteral("bOilLoad"));
    bOilLoad->setGeometry(x, 56, 320, 27);
    connect(bOilSave, &QPushButton::clicked, this, Guarded([this] { bOilSaveClick(); }));
    connect(bOilLoad, &QPushButton::clicked, this, Guarded([this] { bOilLoadClick(); }));

    AddNotice(tsTank, "lTankVersionNotice",
              Text("Внимание! Для правильной работы программы МК НЕОБХОДИМО использовать "
                   "последние версии ПО МК и программы настройки."),
              true, QRect(x, 100, w, 44));
    AddNotice(tsTank, "lTankCopyNotice",
              Text("В том случае, если Вы хотите скопировать текущие настройки бака из текущей "
                   "версии ПО в последующие, сохраните их сейчас кнопкой ") +
                  Quoted("Сохранить настройки бака") + QLatin1String(".\n") +
                  Text("В будущем, после загрузки НОВОГО ПО МК и соответствующей новой программы "
                       "настройки, откройте закладку Бак и нажмите кнопку ") +
                  Quoted("Считать настройки бака") + QLatin1Char('.'),
              false, QRect(x, 156, w, 110));
    AddNotice(tsTank, "lTankManualNotice",
              Text("Внимание! Установка значений пользователем вручную НЕ РЕКОМЕНДУЕТСЯ! ") +
                  QLatin1Char('\n') +
                  Text("Некорректная установка может привести к неправильной работе МК!"),
              true, QRect(x, 278, w, 60));
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
    // Should loading fail all the same, the error has been shown, and
    // closing without OK leaves everything as it was.
    if (!loaded) {
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    // Damaged values are named once the dialog stands, over it.
    if (!openingNotes_.isEmpty())
        QTimer::singleShot(0, this, [notes = openingNotes_] {
            for (const QString& note : notes)
                ShowError(note);
        });
}

void TMK_SetParamsDlg::FormShow() {
    for (int r = 0; r < sgPalette->rowCount(); ++r)
        sgPalette->SetCell(0, r, Text("Цвет #") + QString::number(r));
    const QStringList digitRows = {Text("Цвет 1"), Text("Фон 1"), Text("Цвет 2"), Text("Фон 2")};
    for (int r = 0; r < digitRows.size(); ++r)
        sgDigit->SetCell(0, r, digitRows[r]);
    PageControl->setCurrentWidget(tsCorr);
    RefreshColours();
    LoadControls();
    LoadTankCalibration();
    tankFolder_ = FileDialogFolder(QCoreApplication::applicationDirPath());
    const TSettingsRecord& s = S();
    FillAccumulatorGrid(sgTripSum, s.TripTime, s.TripPath, s.TripFuel);
    FillAccumulatorGrid(sgResetSum, s.ResetTime, s.ResetPath, s.ResetFuel);
}

void TMK_SetParamsDlg::LoadControls() {
    TSettingsRecord& s = S();
    openingNotes_.clear();
    sgDigit->SetRow(0);
    sgDigitSelectCell(0);

    seAccCorr->SetValue(s.AccCorr / 10.0);
    seTimeCorr->SetValue(s.TimeCorr);
    seLiqTemperLimit->SetValue(s.LiqTemperLimit);
    seRevolutionsLimit->SetValue(s.RevolutionsLimit);

    seUaccLowLimit->SetLimits(9.0, 13.9);
    seUaccHighLimit->SetLimits(14.0, 16.0);
    seUaccLowLimit->SetValue(s.UaccLowLimit / 10.0);
    seUaccHighLimit->SetValue(s.UaccHighLimit / 10.0);

    QStringList unshown;
    LoadCorrection(seVelocityCorr, s.VelocityCorr, "Скорость, %", velocityUnshown_, unshown);
    LoadCorrection(seExpenseCorr, s.ExpenseCorr, "Расхода топлива, %", expenseUnshown_, unshown);

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
    seTankContFull->SetMaxValue(99);
    seTankContFull->SetValue(s.TankContFull);

    rgAlarmVelType->SetItemIndex(OptionBit(3) ? 1 : 0);

    rgVentChan->SetItemIndex(s.VentChan);
    SelectItem(cbTempOilAKPPMeth, s.TempOilAKPPMeth);

    rgLockType->SetItemIndex(OptionBit(4) ? 1 : 0);
    rgLockLevel->setVisible(OptionBit(4));
    rgLockLevel->SetItemIndex(s.LockLevel);

    rgIntenseMeth->SetItemIndex(s.IntenseMeth);
    meIntenseDayTime->SetText(MinutesToTimeText(uint16_t(s.IntenseDayTime)));
    meIntenseNightTime->SetText(MinutesToTimeText(uint16_t(s.IntenseNightTime)));
    seIntense0->SetValue(s.Intense0);
    seIntense1->SetValue(s.Intense1);

    rgAlarmBeep->SetItemIndex(s.AlarmBeep);

    cbProtocol->clear();
    for (const auto& p : mk_.ProtocolList)
        cbProtocol->addItem(p->Name);
    SelectItem(cbProtocol, s.Protocol);

    ApplyProtocol();
    if (!unshown.isEmpty())
        openingNotes_ << Text("Поправки, которые нельзя показать (не число или вне диапазона): ") +
                             unshown.join(QStringLiteral(", ")) +
                             Text(". Показаны ближайшие границы; записанные значения не "
                                  "изменятся, пока Вы их не измените.");
}

void TMK_SetParamsDlg::LoadCorrection(TSpinEdit* edit, float factor, const char* label,
                                      double& unshown, QStringList& names) {
    unshown = qQNaN();
    double percent = 0;
    bool fits = false;
    try {
        percent = CorrectionPercent(factor);
        fits = percent >= edit->MinValue() && percent <= edit->MaxValue();
    } catch (const std::exception&) {
        // Not a number, or beyond what a percentage can hold: by its sign.
        percent = std::signbit(factor) ? edit->MinValue() : edit->MaxValue();
    }
    edit->SetValue(percent);
    if (fits)
        return;
    unshown = edit->Value();
    names << QLatin1Char('"') + Text(label) + QStringLiteral("\" (") +
                 QString::number(double(factor)) + QLatin1Char(')');
}

void TMK_SetParamsDlg::StoreCorrection(TSpinEdit* edit, float& factor, double& unshown) {
    if (edit->Value() == unshown)
        return; // still the limit shown for a damaged factor: kept as it is
    factor = PercentToCorrection(edit->Value());
    unshown = qQNaN(); // from now on the field holds what the edit shows
}

void TMK_SetParamsDlg::ApplyProtocol() {
    TSettingsRecord& s = S();
    const bool known = s.Protocol >= 0 && size_t(s.Protocol) < mk_.ProtocolList.size();
    for (QWidget* w : {static_cast<QWidget*>(rgVentChan), static_cast<QWidget*>(cbTempOilAKPPMeth),
                       static_cast<QWidget*>(lTempOilAKPPMeth), static_cast<QWidget*>(cbTankMeth)})
        w->setEnabled(known);
    if (!known) {
        // A damaged record: no protocol is chosen, and nothing the protocol
        // decides changes until the user picks one.
        try {
            mk_.ProtocolAt(s.Protocol);
        } catch (const std::exception& e) {
            openingNotes_ << ExceptionMessage(e);
        }
        mk_.CurrentProtocol = nullptr;
        rgVentChan->setVisible(true);
        for (int i = 0; i < rgVentChan->Count(); ++i)
            rgVentChan->SetItemEnabled(i, true);
        cbTempOilAKPPMeth->setVisible(true);
        lTempOilAKPPMeth->setVisible(true);
        cbTankMeth->clear();
        cbTankMeth->addItems(FieldItems::TankMeth());
        SelectItem(cbTankMeth, s.TankMeth);
        return;
    }
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
    StoreCorrection(seVelocityCorr, S().VelocityCorr, velocityUnshown_);
}
void TMK_SetParamsDlg::seExpenseCorrExit() {
    StoreCorrection(seExpenseCorr, S().ExpenseCorr, expenseUnshown_);
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

void TMK_SetParamsDlg::rgIntenseMethClick() {
    if (rgIntenseMeth->ItemIndex() >= 0)
        S().IntenseMeth = CheckedField<int8_t>(rgIntenseMeth->ItemIndex());
}
void TMK_SetParamsDlg::seIntense0Exit() {
    Store(S().Intense0, seIntense0->Value());
}
void TMK_SetParamsDlg::seIntense1Exit() {
    Store(S().Intense1, seIntense1->Value());
}
void TMK_SetParamsDlg::meIntenseDayTimeExit() {
    S().IntenseDayTime = CheckedField<int16_t>(TimeTextToMinutes(meIntenseDayTime->Text()));
}
void TMK_SetParamsDlg::meIntenseNightTimeExit() {
    S().IntenseNightTime = CheckedField<int16_t>(TimeTextToMinutes(meIntenseNightTime->Text()));
}

uint8_t& TMK_SetParamsDlg::DigitField(int row) const {
    TSettingsRecord& s = S();
    switch (row) {
    case 1:
        return s.DigitBack1;
    case 2:
        return s.DigitColor2;
    case 3:
        return s.DigitBack2;
    default:
        return s.DigitColor1;
    }
}

bool TMK_SetParamsDlg::DrawColourCell(QPainter& painter, const QRect& rect, const TStringGrid* grid,
                                      int column, int row, uint16_t colour) {
    // The first column is the grid's own; the second is the colour swatch.
    if (column != 1 || row < 0)
        return false;
    painter.fillRect(rect, ScreenColour(colour));
    painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     grid->Cell(column, row));
    return true;
}

void TMK_SetParamsDlg::RefreshColours() {
    sgPalette->viewport()->update();
    sgDigit->viewport()->update();
    pbDisp->update();
}

void TMK_SetParamsDlg::sgDigitSelectCell(int row) {
    if (row < 0 || row >= sgDigit->rowCount())
        return;
    lDigit->setText(sgDigit->Cell(0, row));
    // Showing a colour is no change: a value beyond the palette stays as it is.
    // A byte above 15 shows the palette index that the swatch and the
    // preview draw: its low four bits.
    showingDigit_ = true;
    seDigit->SetValue(DigitField(row) & 0x0F);
    showingDigit_ = false;
}

void TMK_SetParamsDlg::seDigitChange() {
    const int row = sgDigit->Row();
    const double v = seDigit->Value();
    if (!showingDigit_ && row >= 0 && row < sgDigit->rowCount() && v >= 0 && v <= 15)
        DigitField(row) = uint8_t(v);
    RefreshColours();
}

void TMK_SetParamsDlg::pbDispPaint(QPainter& painter) {
    mk_.Preview.DrawPreview(mk_.PreviewSource(), 1, 5);
    painter.drawImage(0, 0, mk_.Preview.PreviewBitmap);
}

void TMK_SetParamsDlg::rgAlarmBeepClick() {
    if (rgAlarmBeep->ItemIndex() >= 0)
        S().AlarmBeep = CheckedField<int8_t>(rgAlarmBeep->ItemIndex());
}
void TMK_SetParamsDlg::rgAlarmVelTypeClick() {
    SetOptionBit(3, rgAlarmVelType->ItemIndex() != 0);
}

void TMK_SetParamsDlg::FillAccumulatorGrid(TStringGrid* grid, uint32_t time, uint32_t distance,
                                           uint32_t fuel) {
    const QList<AccumulatorRow> rows =
        AccumulatorRows(time, distance, fuel, QLocale().decimalPoint());
    gridRows_ = 0;
    grid->setRowCount(int(rows.size()));
    for (const AccumulatorRow& r : rows)
        AddGridRow(grid, r.caption, r.value);
    grid->setRowCount(gridRows_);
}

void TMK_SetParamsDlg::AddGridRow(TStringGrid* grid, const QString& caption, const QString& value) {
    grid->SetCell(0, gridRows_, caption);
    grid->SetCell(1, gridRows_, value);
    ++gridRows_;
}

void TMK_SetParamsDlg::sgTripSumDblClick() {
    TSettingsRecord& s = S();
    s.TripTime = s.TripPath = s.TripFuel = 0;
    FillAccumulatorGrid(sgTripSum, 0, 0, 0);
}
void TMK_SetParamsDlg::sgResetSumDblClick() {
    TSettingsRecord& s = S();
    s.ResetTime = s.ResetPath = s.ResetFuel = 0;
    FillAccumulatorGrid(sgResetSum, 0, 0, 0);
}

void TMK_SetParamsDlg::seTankContFullExit() {
    Store(S().TankContFull, seTankContFull->Value());
}
void TMK_SetParamsDlg::seLit6LExit() {
    Store(S().Lit6L, seLit6L->Value());
}
void TMK_SetParamsDlg::seOil6LExit() {
    Store(S().Oil6L, seOil6L->Value());
}
void TMK_SetParamsDlg::seLit43LExit() {
    Store(S().Lit43L, seLit43L->Value());
}
void TMK_SetParamsDlg::seOil43LExit() {
    Store(S().Oil43L, seOil43L->Value());
}

void TMK_SetParamsDlg::LoadTankCalibration() {
    const TSettingsRecord& s = S();
    seLit6L->SetValue(s.Lit6L);
    seLit6L->SetMaxValue(s.TankContFull);
    seLit43L->SetValue(s.Lit43L);
    seLit43L->SetMaxValue(s.TankContFull);
    seOil6L->SetValue(s.Oil6L);
    seOil43L->SetValue(s.Oil43L);
}

namespace {
FileDialogOptions TankFileOptions(const QString& folder) {
    return {QString(), Text(kTankFilter), QString::fromLatin1(kTankSuffix), folder};
}
} // namespace

void TMK_SetParamsDlg::bOilSaveClick() {
    const QString name = Dialogs().SaveFileName(this, TankFileOptions(tankFolder_));
    if (name.isEmpty())
        return;
    // A failure goes to the general handler; the record is untouched.
    SaveTankFile(mk_, name);
}

void TMK_SetParamsDlg::bOilLoadClick() {
    const QString name = Dialogs().OpenFileName(this, TankFileOptions(tankFolder_));
    if (name.isEmpty())
        return;
    try {
        LoadTankFile(mk_, name);
    } catch (const std::exception& e) {
        ShowError(ExceptionMessage(e));
    }
    LoadTankCalibration();
}

void TMK_SetParamsDlg::accept() {
    for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget()) {
        if (auto* e = qobject_cast<TSpinEdit*>(w)) {
            e->Leave();
            break;
        }
        // An entry the mask refuses keeps the dialog open.
        if (auto* m = qobject_cast<TMaskEdit*>(w)) {
            if (!m->Leave())
                return;
            break;
        }
        if (w == rgToTOMeth) {
            RunGuarded([this] { rgToTOMethExit(); });
            break;
        }
    }
    QDialog::accept();
}
