// Loading the editor's controls from the record and storing what the user
// changes: the protocol's controls, the fields bound to their controls, the
// handlers, the colours and the accumulators.

#include "editor/set_params_dlg.h"

#include "editor/mask_edit.h"
#include "editor/paint_box.h"
#include "editor/radio_group.h"
#include "editor/set_params_shared.h"
#include "editor/spin_edit.h"
#include "editor/string_grid.h"
#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "support/conversions.h"
#include "support/errors.h"
#include "support/numeric.h"
#include "ui/application.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>

using namespace SetParams;

namespace {

// Stores v into a field of type T, rounded; the field is untouched when v
// does not fit ("Range check error").
template <typename T> void Store(T& field, double v) {
    field = RoundToField<T>(v);
}

// Stores a list's or radio group's item; no item (-1) stores nothing.
void StoreItem(int8_t& field, int item) {
    if (item >= 0)
        field = CheckedField<int8_t>(item);
}

void SelectItem(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QColor ScreenColour(uint16_t rgb565) {
    const uint32_t c = Rgb565ToColor(rgb565);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

} // namespace

void TMK_SetParamsDlg::ConnectControls() {
    using D = TMK_SetParamsDlg;
    using R = TSettingsRecord;

    // The spin edits that only store their field take their decimals, limits
    // and step from the field table and store on leaving, in the field's unit
    // (tenths, metres, seconds), rounded; a value beyond the field's width is
    // refused.
    for (const EditField& f : EditFields()) {
        if (f.kind != EditKind::Number)
            continue;
        TSpinEdit* edit = SpinEditOf(f);
        connect(edit, &TSpinEdit::exited, this, Guarded([this, edit, &f] {
                    StoreNumber(S(), RecordFieldOf(f), edit->Value() * f.scale);
                }));
    }

    // A masked time stores on leaving, as minutes.
    auto storeTime = [this](TMaskEdit* edit, int16_t R::*field) {
        connect(edit, &TMaskEdit::exited, this, Guarded([this, edit, field] {
                    S().*field = CheckedField<int16_t>(TimeTextToMinutes(edit->Text()));
                }));
    };
    storeTime(meIntenseDayTime, &R::IntenseDayTime);
    storeTime(meIntenseNightTime, &R::IntenseNightTime);

    // A radio group stores its item on click, a list its item on the user's
    // choice (the program's selections run nothing).
    auto storeClicked = [this](TRadioGroup* group, int8_t R::*field) {
        connect(group, &TRadioGroup::clicked, this,
                Guarded([this, group, field] { StoreItem(S().*field, group->ItemIndex()); }));
    };
    storeClicked(rgLockLevel, &R::LockLevel);
    storeClicked(rgVentChan, &R::VentChan);
    storeClicked(rgIntenseMeth, &R::IntenseMeth);
    storeClicked(rgAlarmBeep, &R::AlarmBeep);
    auto storeChosen = [this](QComboBox* list, int8_t R::*field) {
        connect(list, &QComboBox::activated, this,
                Guarded([this, list, field] { StoreItem(S().*field, list->currentIndex()); }));
    };
    storeChosen(cbTempOilAKPPMeth, &R::TempOilAKPPMeth);
    storeChosen(cbTankMeth, &R::TankMeth);

    // The controls that do more, each by its handler.
    auto on = [this](auto* control, auto signal, void (D::*handler)()) {
        connect(control, signal, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    on(seVelocityCorr, &TSpinEdit::exited, &D::seVelocityCorrExit);
    on(seExpenseCorr, &TSpinEdit::exited, &D::seExpenseCorrExit);
    on(rgLockType, &TRadioGroup::clicked, &D::rgLockTypeClick);
    on(cbProtocol, &QComboBox::activated, &D::cbProtocolChange);
    on(rgToTOMeth, &TRadioGroup::exited, &D::rgToTOMethExit);
    on(seDigit, &TSpinEdit::changed, &D::seDigitChange);
    on(rgAlarmVelType, &TRadioGroup::clicked, &D::rgAlarmVelTypeClick);
    on(sgTripSum, &TStringGrid::dblClicked, &D::sgTripSumDblClick);
    on(sgResetSum, &TStringGrid::dblClicked, &D::sgResetSumDblClick);
    on(bOilSave, &QPushButton::clicked, &D::bOilSaveClick);
    on(bOilLoad, &QPushButton::clicked, &D::bOilLoadClick);
    connect(sgDigit, &TStringGrid::rowSelected, this,
            [this](int row) { RunGuarded([&] { sgDigitSelectCell(row); }); });

    sgPalette->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        return DrawColourCell(p, r, sgPalette, column, row, mk_.Palette[size_t(row) & 0x0F]);
    };
    sgDigit->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        return DrawColourCell(p, r, sgDigit, column, row, mk_.PaletteColour(DigitField(row)));
    };
    pbDisp->OnPaint = [this](QPainter& p) { RunGuarded([&] { pbDispPaint(p); }); };
}

void TMK_SetParamsDlg::LoadControls() {
    TSettingsRecord& s = S();
    openingNotes_.clear();
    sgDigit->SetRow(0);
    sgDigitSelectCell(0);

    // Each spin edit of a number shows its field within the limits it has
    // for this record (a tank's litres end at its capacity).
    for (const EditField& f : EditFields())
        if (f.kind == EditKind::Number)
            LoadSpinEdit(f);

    QStringList unshown;
    LoadCorrection(seVelocityCorr, s.VelocityCorr, "Скорость, %", velocityUnshown_, unshown);
    LoadCorrection(seExpenseCorr, s.ExpenseCorr, "Расхода топлива, %", expenseUnshown_, unshown);

    rgToTOMeth->SetItemIndex(s.ToTOMeth);

    SelectItem(cbTankMeth, s.TankMeth);

    rgAlarmVelType->SetItemIndex(OptionBit(3) ? 1 : 0);

    rgVentChan->SetItemIndex(s.VentChan);
    SelectItem(cbTempOilAKPPMeth, s.TempOilAKPPMeth);

    rgLockType->SetItemIndex(OptionBit(4) ? 1 : 0);
    rgLockLevel->setVisible(OptionBit(4));
    rgLockLevel->SetItemIndex(s.LockLevel);

    rgIntenseMeth->SetItemIndex(s.IntenseMeth);
    meIntenseDayTime->SetText(MinutesToTimeText(uint16_t(s.IntenseDayTime)));
    meIntenseNightTime->SetText(MinutesToTimeText(uint16_t(s.IntenseNightTime)));

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

TSpinEdit* TMK_SetParamsDlg::SpinEditOf(const EditField& f) const {
    auto* edit = findChild<TSpinEdit*>(QString::fromLatin1(f.control));
    Q_ASSERT(edit);
    return edit;
}

void TMK_SetParamsDlg::ConfigureSpinEdits() {
    for (const EditField& f : EditFields()) {
        if (f.kind != EditKind::Number && f.kind != EditKind::Correction &&
            f.kind != EditKind::Colour)
            continue;
        TSpinEdit* edit = SpinEditOf(f);
        edit->SetDecimals(f.decimals);
        edit->SetLimits(f.min, f.max);
        edit->SetIncrement(f.step);
        edit->SetTypingEnabled(f.typing);
    }
}

void TMK_SetParamsDlg::LoadSpinEdit(const EditField& f) {
    TSpinEdit* edit = SpinEditOf(f);
    const EditLimits limits = LimitsOf(f, S());
    edit->SetLimits(limits.min, limits.max);
    edit->SetValue(ShownNumber(f, S()));
}

void TMK_SetParamsDlg::LoadCorrection(TSpinEdit* edit, float factor, const char* label,
                                      double& unshown, QStringList& names) {
    unshown = qQNaN();
    const double percent = ShownCorrectionPercent(factor);
    const bool fits = percent >= edit->MinValue() && percent <= edit->MaxValue();
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

void TMK_SetParamsDlg::cbProtocolChange() {
    const int index = cbProtocol->currentIndex();
    if (index < 0)
        return;
    if (index != S().Protocol)
        S().Protocol = CheckedField<int8_t>(index);
    ApplyProtocol();
}

void TMK_SetParamsDlg::rgToTOMethExit() {
    // A loaded value without an item shows no selection and is kept.
    if (rgToTOMeth->ItemIndex() >= 0)
        S().ToTOMeth = CheckedField<int8_t>(rgToTOMeth->ItemIndex());
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
