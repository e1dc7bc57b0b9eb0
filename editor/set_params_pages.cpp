// Building the editor's pages, all but "Дисплей" (set_params_display_page.cpp):
// controls, texts and geometry. What the controls do is connected in
// ConnectControls; the spin edits take decimals, limits and steps from the
// field table (ConfigureSpinEdits).

#include "editor/set_params_dlg.h"

#include "editor/radio_group.h"
#include "editor/set_params_shared.h"
#include "editor/spin_edit.h"
#include "editor/string_grid.h"
#include "model/field_text.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

using namespace SetParams;

namespace {

constexpr int kAccumulatorRowHeight = 20;

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

QLabel* SetParams::AddLabel(QWidget* parent, const char* name, const QString& text,
                            const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

QWidget* TMK_SetParamsDlg::AddPage(const char* name, const char* caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    PageControl->addTab(page, Text(caption));
    return page;
}

TSpinEdit* TMK_SetParamsDlg::NewSpinEdit(QWidget* parent, const char* name) {
    auto* e = new TSpinEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

TSpinEdit* TMK_SetParamsDlg::AddSpinEdit(QWidget* page, const char* name, const char* label, int x,
                                         int y, int labelWidth) {
    auto* l = new QLabel(Text(label), page);
    l->setObjectName(QStringLiteral("l") + QString::fromLatin1(name + 2));
    l->setGeometry(x, y, labelWidth, 24);
    TSpinEdit* e = NewSpinEdit(page, name);
    e->setGeometry(x + labelWidth + 8, y, 90, 24);
    l->setBuddy(e);
    return e;
}

QComboBox* TMK_SetParamsDlg::AddList(QWidget* page, const char* name, QLabel*& label,
                                     const char* labelName, const char* text, int x, int y) {
    label = new QLabel(Text(text), page);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(x, y, 120, 24);
    auto* list = new QComboBox(page);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(x + 128, y, 180, 24);
    label->setBuddy(list);
    return list;
}

void TMK_SetParamsDlg::BuildCorrPage() {
    constexpr int x = 20, w = 220;
    seAccCorr = AddSpinEdit(tsCorr, "seAccCorr", "Напряжение АКБ, В", x, 20, w);
    seTimeCorr = AddSpinEdit(tsCorr, "seTimeCorr", "Время (секунд в сутки)", x, 20 + kRowHeight, w);
    seVelocityCorr =
        AddSpinEdit(tsCorr, "seVelocityCorr", "Скорость, %", x, 20 + 2 * kRowHeight, w);
    seExpenseCorr =
        AddSpinEdit(tsCorr, "seExpenseCorr", "Расхода топлива, %", x, 20 + 3 * kRowHeight, w);
}

void TMK_SetParamsDlg::BuildSourcesPage() {
    rgLockType = new TRadioGroup(QStringLiteral("rgLockType"), Text("Замок зажигания"),
                                 FieldItems::LockType(), 2, tsSources);
    rgLockType->setGeometry(20, 16, 300, 56);
    rgLockLevel = new TRadioGroup(QStringLiteral("rgLockLevel"), Text("Уровень виртуального замка"),
                                  FieldItems::LockLevel(), 5, tsSources);
    rgLockLevel->setGeometry(340, 16, 400, 56);
    cbProtocol = AddList(tsSources, "cbProtocol", lProtocol, "lProtocol", "Протокол", 20, 100);
    cbTempOilAKPPMeth = AddList(tsSources, "cbTempOilAKPPMeth", lTempOilAKPPMeth,
                                "lTempOilAKPPMeth", "Т масла КПП", 20, 140);
    cbTempOilAKPPMeth->addItems(FieldItems::TempOilAKPPMeth());
    rgVentChan = new TRadioGroup(QStringLiteral("rgVentChan"), Text("Канал вентилятора"),
                                 FieldItems::VentChan(), 5, tsSources);
    rgVentChan->setGeometry(20, 184, 400, 56);
}

void TMK_SetParamsDlg::BuildLimitsPage() {
    constexpr int left = 20, right = 520, w = 260;
    int y = 20;
    seLiqTemperLimit = AddSpinEdit(tsLimits, "seLiqTemperLimit", "ТОЖ, С", left, y, w);
    seRevolutionsLimit = AddSpinEdit(tsLimits, "seRevolutionsLimit", "Обороты двиг., об/мин * 100",
                                     left, y += kRowHeight, w);
    seUaccLowLimit = AddSpinEdit(tsLimits, "seUaccLowLimit", "Низкое напряжение АКБ, В", left,
                                 y += kRowHeight, w);
    seUaccHighLimit = AddSpinEdit(tsLimits, "seUaccHighLimit", "Высокое напряжение АКБ, В", left,
                                  y += kRowHeight, w);
    seVentTempLimit =
        AddSpinEdit(tsLimits, "seVentTempLimit", "Т вкл. вентилятора, С", left, y += kRowHeight, w);

    y = 20;
    seVelocityLimit = AddSpinEdit(tsLimits, "seVelocityLimit", "Скорость, км/час", right, y, w);
    seTankLimit =
        AddSpinEdit(tsLimits, "seTankLimit", "Остаток бака, л", right, y += kRowHeight, w);
    seAKPPOilTemperLimit =
        AddSpinEdit(tsLimits, "seAKPPOilTemperLimit", "Т масла КПП, С", right, y += kRowHeight, w);
}

void TMK_SetParamsDlg::BuildVoicePage() {
    rgAlarmBeep = new TRadioGroup(QStringLiteral("rgAlarmBeep"), Text("Озвучивать сообщения"),
                                  FieldItems::AlarmBeep(), 3, tsVoice);
    rgAlarmBeep->setGeometry(20, 16, 400, 56);
    rgAlarmVelType =
        new TRadioGroup(QStringLiteral("rgAlarmVelType"), Text("Озвучивать превышение скорости"),
                        FieldItems::AlarmVelType(), 2, tsVoice);
    rgAlarmVelType->setGeometry(20, 90, 400, 56);
}

void TMK_SetParamsDlg::BuildAveragesPage() {
    auto addGrid = [&](const char* name, const char* labelName, const char* caption, int x) {
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
        return g;
    };
    sgTripSum = addGrid("sgTripSum", "lTripSum", "Поездка", 20);
    sgResetSum = addGrid("sgResetSum", "lResetSum", "Сброс", 360);
    QLabel* notice = AddLabel(
        tsAverages, "lResetHint",
        Text("Для сброса накопителей сделайте двойной щелчок мыши на соответствующей таблице"),
        QRect(0, sgTripSum->geometry().bottom() + 24, kClientWidth - 8, 24));
    notice->setAlignment(Qt::AlignCenter);
}

void TMK_SetParamsDlg::BuildTankPage() {
    cbTankMeth = AddList(tsTank, "cbTankMeth", lTankMeth, "lTankMeth", "Бак тип", 20, 20);
    cbTankMeth->addItems(FieldItems::TankMeth());
    seTankContFull = AddSpinEdit(tsTank, "seTankContFull", "Полный бак, л", 20, 60, 120);

    gbTankCalibration = new QGroupBox(Text("Калибровка бака"), tsTank);
    gbTankCalibration->setObjectName(QStringLiteral("gbTankCalibration"));
    gbTankCalibration->setGeometry(20, 110, 300, 130);
    AddLabel(gbTankCalibration, "lTankCalibrationHeader", Text("  #       литры           у.е."),
             QRect(10, 24, 280, 20));
    auto addRow = [&](const char* label, int y, TSpinEdit*& litres, const char* litresName,
                      TSpinEdit*& units, const char* unitsName) {
        AddLabel(gbTankCalibration, "", Text(label), QRect(16, y, 30, 24))
            ->setObjectName(QStringLiteral("lTankPoint") + Text(label));
        litres = NewSpinEdit(gbTankCalibration, litresName);
        litres->setGeometry(60, y, 90, 24);
        units = NewSpinEdit(gbTankCalibration, unitsName);
        units->setGeometry(180, y, 90, 24);
    };
    addRow("1", 50, seLit6L, "seLit6L", seOil6L, "seOil6L");
    addRow("2", 86, seLit43L, "seLit43L", seOil43L, "seOil43L");

    constexpr int x = 400, w = 580;
    bOilSave = new QPushButton(Text("Сохранить настройки бака в файл"), tsTank);
    bOilSave->setObjectName(QStringLiteral("bOilSave"));
    bOilSave->setGeometry(x, 20, 320, 27);
    bOilLoad = new QPushButton(Text("Считать настройки бака из файла"), tsTank);
    bOilLoad->setObjectName(QStringLiteral("bOilLoad"));
    bOilLoad->setGeometry(x, 56, 320, 27);

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
    seTOPath = AddSpinEdit(tsTO, "seTOPath", "Осталось до ТО, тыс.км", 20, 136, 220);
    seTOTime = AddSpinEdit(tsTO, "seTOTime", "Осталось до ТО, часов", 20, 136 + kRowHeight, 220);
}
