// Building the page "Дисплей": brightness, the palette, the record's four
// colours and the display preview.

#include "editor/set_params_dlg.h"

#include "editor/mask_edit.h"
#include "editor/paint_box.h"
#include "editor/radio_group.h"
#include "editor/set_params_shared.h"
#include "editor/spin_edit.h"
#include "editor/string_grid.h"
#include "model/field_text.h"
#include "model/mk.h"

#include <QGroupBox>
#include <QLabel>

using namespace SetParams;

namespace {

constexpr int kColourRowHeight = 18;
const char* const kTimeMask = "!90:00;1;_";

// A name and colour grid showing all its rows, with no scroll bars; the
// colour cells start empty.
TStringGrid* NewColourGrid(QWidget* parent, const char* name, int rows, int nameWidth, QPoint at) {
    auto* g = new TStringGrid(QString::fromLatin1(name), rows, 2, parent);
    g->setColumnWidth(0, nameWidth);
    g->setColumnWidth(1, 70);
    g->SetRowHeight(kColourRowHeight);
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setGeometry(QRect(at, g->FullSize()));
    for (int r = 0; r < g->rowCount(); ++r)
        g->SetCell(1, r, QString());
    return g;
}

} // namespace

void TMK_SetParamsDlg::BuildDisplayPage() {
    rgIntenseMeth =
        new TRadioGroup(QStringLiteral("rgIntenseMeth"), Text("Управление яркостью дисплея"),
                        FieldItems::IntenseMeth(), 2, tsDisplay);
    rgIntenseMeth->setGeometry(20, 16, 330, 56);
    constexpr int x = 20, w = 220;
    seIntense0 = AddSpinEdit(tsDisplay, "seIntense0", "Яркость подсветки (День)", x, 90, w);
    seIntense1 =
        AddSpinEdit(tsDisplay, "seIntense1", "Яркость подсветки (Ночь)", x, 90 + kRowHeight, w);

    auto addTime = [&](const char* name, const char* label, int y) {
        auto* e = new TMaskEdit(tsDisplay);
        e->setObjectName(QString::fromLatin1(name));
        e->SetEditMask(QString::fromLatin1(kTimeMask));
        e->setGeometry(x + w + 8, y, 90, 24);
        QLabel* l = AddLabel(tsDisplay, "", Text(label), QRect(x, y, w, 24));
        l->setObjectName(QStringLiteral("l") + QString::fromLatin1(name + 2));
        l->setBuddy(e);
        return e;
    };
    meIntenseDayTime =
        addTime("meIntenseDayTime", "Время вкл. ДНЕВНОЙ яркости", 90 + 2 * kRowHeight);
    meIntenseNightTime =
        addTime("meIntenseNightTime", "Время вкл. НОЧНОЙ яркости", 90 + 3 * kRowHeight);

    // The palette: display only.
    constexpr int px = 420, gx = 620;
    QLabel* lPalette =
        AddLabel(tsDisplay, "lPalette", Text("Цветовая палитра"), QRect(px, 16, 180, 20));
    sgPalette = NewColourGrid(tsDisplay, "sgPalette", 16, 110, QPoint(px, 40));
    lPalette->setBuddy(sgPalette);

    // The four colours of the record; the selected row is edited below.
    QLabel* lColours = AddLabel(tsDisplay, "lColours", Text("Цвета"), QRect(gx, 16, 180, 20));
    sgDigit = NewColourGrid(tsDisplay, "sgDigit", 4, 200, QPoint(gx, 40));
    lColours->setBuddy(sgDigit);

    const int groupTop = sgDigit->geometry().bottom() + 12;
    gbDigit = new QGroupBox(Text("Редактировать цвет"), tsDisplay);
    gbDigit->setObjectName(QStringLiteral("gbDigit"));
    gbDigit->setToolTip(Text("Для выбора цвета для редактирования выберите нужную строку таблицы"));
    gbDigit->setGeometry(gx, groupTop, sgDigit->width(), 64);
    lDigit = AddLabel(gbDigit, "lDigit", Text("Цвет 1"), QRect(12, 28, 140, 24));
    seDigit = NewSpinEdit(gbDigit, "seDigit");
    seDigit->setGeometry(160, 28, 90, 24);
    lDigit->setBuddy(seDigit);

    pbDisp = new TPaintBox(tsDisplay);
    pbDisp->setObjectName(QStringLiteral("pbDisp"));
    pbDisp->setGeometry(gx, gbDigit->geometry().bottom() + 16, TMK::kPreviewSize,
                        TMK::kPreviewSize);
}
