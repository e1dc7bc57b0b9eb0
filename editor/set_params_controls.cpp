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
#include <QSet>

#include <algorithm>

using namespace SetParams;

namespace {

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
    // Each field's control stores it, by the kind the field table gives.
    QSet<QObject*> grids;
    for (const EditField& f : EditFields()) {
        switch (f.kind) {
        case EditKind::Number:
        case EditKind::Correction:
        case EditKind::Time:
            BindEdit(f);
            break;
        case EditKind::Choice:
        case EditKind::Flag:
            BindChoice(f);
            break;
        case EditKind::Protocol:
            connect(qobject_cast<QComboBox*>(ControlOf(f)), &QComboBox::activated, this,
                    Guarded([this] { cbProtocolChange(); }));
            break;
        case EditKind::Accumulator: {
            // One grid shows several fields: a double click resets them all.
            auto* grid = qobject_cast<TStringGrid*>(ControlOf(f));
            if (!grids.contains(grid))
                connect(grid, &TStringGrid::dblClicked, this,
                        Guarded([this, grid] { ResetAccumulators(grid); }));
            grids.insert(grid);
            break;
        }
        case EditKind::Colour: // one spin edit for the rows of sgDigit, below
        case EditKind::Stored:
            break;
        }
    }

    // The controls that do more, each by its handler.
    auto on = [this](auto* control, auto signal, void (D::*handler)()) {
        connect(control, signal, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    on(seDigit, &TSpinEdit::changed, &D::seDigitChange);
    on(bOilSave, &QPushButton::clicked, &D::bOilSaveClick);
    on(bOilLoad, &QPushButton::clicked, &D::bOilLoadClick);
    connect(sgDigit, &TStringGrid::rowSelected, this,
            [this](int row) { RunGuarded([&] { sgDigitSelectCell(row); }); });

    sgPalette->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        return DrawColourCell(p, r, sgPalette, column, row, mk_.Palette[size_t(row) & 0x0F]);
    };
    sgDigit->OnDrawCell = [this](QPainter& p, const QRect& r, int column, int row) {
        const auto index = uint8_t(StoredNumber(S(), RecordFieldOf(ColourField(row))));
        return DrawColourCell(p, r, sgDigit, column, row, mk_.PaletteColour(index));
    };
    pbDisp->OnPaint = [this](QPainter& p) { RunGuarded([&] { pbDispPaint(p); }); };
}

void TMK_SetParamsDlg::BindEdit(const EditField& f) {
    const FieldInfo& field = RecordFieldOf(f);
    if (f.kind == EditKind::Time) {
        // A masked time stores on leaving, as minutes.
        auto* edit = qobject_cast<TMaskEdit*>(ControlOf(f));
        connect(edit, &TMaskEdit::exited, this, Guarded([this, edit, &field] {
                    StoreNumber(S(), field, TimeTextToMinutes(edit->Text()));
                }));
        return;
    }
    // A spin edit stores on leaving, in the field's unit (tenths, metres,
    // seconds), rounded; a value beyond the field's width is refused.
    TSpinEdit* edit = SpinEditOf(f);
    if (f.kind == EditKind::Correction)
        connect(edit, &TSpinEdit::exited, this,
                Guarded([this, edit, &f] { StoreCorrection(edit, f); }));
    else
        connect(edit, &TSpinEdit::exited, this, Guarded([this, edit, &f, &field] {
                    StoreNumber(S(), field, edit->Value() * f.scale);
                }));
}

void TMK_SetParamsDlg::BindChoice(const EditField& f) {
    // A radio group stores its item on click (or when the focus leaves it),
    // a list its item on the user's choice (the program's selections run nothing).
    if (auto* list = qobject_cast<QComboBox*>(ControlOf(f))) {
        connect(list, &QComboBox::activated, this,
                Guarded([this, list, &f] { StoreItem(f, list->currentIndex()); }));
        return;
    }
    auto* group = qobject_cast<TRadioGroup*>(ControlOf(f));
    connect(group, f.onLeaving ? &TRadioGroup::exited : &TRadioGroup::clicked, this,
            Guarded([this, group, &f] { StoreItem(f, group->ItemIndex()); }));
}

void TMK_SetParamsDlg::StoreItem(const EditField& f, int item) {
    // No item (-1) stores nothing: a loaded value without an item is kept.
    if (item < 0)
        return;
    if (f.kind != EditKind::Flag)
        return StoreNumber(S(), RecordFieldOf(f), item);
    SetBit(S(), f, item != 0);
    ShowBitDependents();
}

void TMK_SetParamsDlg::ShowBitDependents() {
    for (const EditField& f : EditFields())
        if (f.onlyWithBit >= 0)
            ControlOf(f)->setVisible(OptionBit(f.onlyWithBit));
}

void TMK_SetParamsDlg::LoadControls() {
    openingNotes_.clear();
    sgDigit->SetRow(0);
    sgDigitSelectCell(0);
    for (const EditField& f : EditFields())
        LoadControl(f);
    ShowBitDependents();
    ApplyProtocol();
    // Its note follows the protocol's.
    LoadCorrections();
}

void TMK_SetParamsDlg::LoadControl(const EditField& f) {
    const TSettingsRecord& s = S();
    const double stored = StoredNumber(s, RecordFieldOf(f));
    switch (f.kind) {
    case EditKind::Number:
        // Within the limits it has for this record (a tank's litres end at its capacity).
        return LoadSpinEdit(f);
    case EditKind::Choice:
    case EditKind::Flag:
        if (auto* group = qobject_cast<TRadioGroup*>(ControlOf(f)))
            group->SetItemIndex(int(ShownNumber(f, s)));
        else
            SelectItem(qobject_cast<QComboBox*>(ControlOf(f)), int(stored));
        return;
    case EditKind::Time:
        // Through int: a negative count of minutes wraps as the field's own type does.
        qobject_cast<TMaskEdit*>(ControlOf(f))->SetText(MinutesToTimeText(uint16_t(int(stored))));
        return;
    case EditKind::Protocol: {
        auto* list = qobject_cast<QComboBox*>(ControlOf(f));
        list->clear();
        for (const auto& p : mk_.ProtocolList)
            list->addItem(p->Name);
        SelectItem(list, int(stored));
        return;
    }
    case EditKind::Correction: // LoadCorrections, in the page's order
    case EditKind::Colour:     // the selected row, by sgDigitSelectCell
    case EditKind::Accumulator:
    case EditKind::Stored:
        return;
    }
}

QWidget* TMK_SetParamsDlg::ControlOf(const EditField& f) const {
    auto* control = findChild<QWidget*>(QString::fromLatin1(f.control));
    Q_ASSERT(control);
    return control;
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

void TMK_SetParamsDlg::LoadCorrections() {
    // Named in the notes top to bottom, as the page shows them.
    std::vector<const EditField*> factors;
    for (const EditField& f : EditFields())
        if (f.kind == EditKind::Correction)
            factors.push_back(&f);
    std::stable_sort(factors.begin(), factors.end(), [this](const auto* a, const auto* b) {
        return SpinEditOf(*a)->y() < SpinEditOf(*b)->y();
    });
    QStringList unshown;
    for (const EditField* f : factors)
        LoadCorrection(*f, unshown);
    if (!unshown.isEmpty())
        openingNotes_ << Text("Поправки, которые нельзя показать (не число или вне диапазона): ") +
                             unshown.join(QStringLiteral(", ")) +
                             Text(". Показаны ближайшие границы; записанные значения не "
                                  "изменятся, пока Вы их не измените.");
}

void TMK_SetParamsDlg::LoadCorrection(const EditField& f, QStringList& names) {
    TSpinEdit* edit = SpinEditOf(f);
    unshown_[&f] = qQNaN();
    const auto factor = float(StoredNumber(S(), RecordFieldOf(f)));
    const double percent = ShownCorrectionPercent(factor);
    const bool fits = percent >= edit->MinValue() && percent <= edit->MaxValue();
    edit->SetValue(percent);
    if (fits)
        return;
    unshown_[&f] = edit->Value();
    const auto* label =
        findChild<QLabel*>(QStringLiteral("l") + QString::fromLatin1(f.control + 2));
    names << QLatin1Char('"') + label->text() + QStringLiteral("\" (") +
                 QString::number(double(factor)) + QLatin1Char(')');
}

void TMK_SetParamsDlg::StoreCorrection(TSpinEdit* edit, const EditField& f) {
    if (edit->Value() == unshown_.value(&f, qQNaN()))
        return; // still the limit shown for a damaged factor: kept as it is
    StoreNumber(S(), RecordFieldOf(f), double(PercentToCorrection(edit->Value())));
    unshown_[&f] = qQNaN(); // from now on the field holds what the edit shows
}

void TMK_SetParamsDlg::ApplyProtocol() {
    TSettingsRecord& s = S();
    const bool known = s.Protocol >= 0 && size_t(s.Protocol) < mk_.ProtocolList.size();
    const TProtBase* p = nullptr;
    if (known) {
        mk_.CurrentProtocol = p = &mk_.ProtocolAt(s.Protocol);
        ApplyProtocolFields(s, *p, s.Protocol);
    } else {
        // A damaged record: no protocol is chosen, and nothing the protocol
        // decides changes until the user picks one.
        try {
            mk_.ProtocolAt(s.Protocol);
        } catch (const std::exception& e) {
            openingNotes_ << ExceptionMessage(e);
        }
        mk_.CurrentProtocol = nullptr;
    }
    for (const EditField& f : EditFields())
        if (f.byProtocol != ProtocolItems::None)
            ShowProtocolItems(f, p);
}

void TMK_SetParamsDlg::ShowProtocolItems(const EditField& f, const TProtBase* p) {
    QWidget* control = ControlOf(f);
    control->setEnabled(p);
    const auto stored = int(StoredNumber(S(), RecordFieldOf(f)));
    switch (f.byProtocol) {
    case ProtocolItems::Fans: {
        auto* group = qobject_cast<TRadioGroup*>(control);
        // Without a protocol every channel may be chosen.
        const FanChannels range = p ? FanChannelRange(*p) : FanChannels{0, group->Count() - 1};
        group->setVisible(!p || p->FanChannelChoice);
        for (int i = 0; i < group->Count(); ++i)
            group->SetItemEnabled(i, i >= range.first && i <= range.last);
        if (p)
            group->SetItemIndex(range.first);
        break;
    }
    case ProtocolItems::FuelMethods: {
        auto* list = qobject_cast<QComboBox*>(control);
        list->clear();
        list->addItems(p ? FuelLevelMethods(*p) : f.items());
        SelectItem(list, stored);
        break;
    }
    case ProtocolItems::GearboxOil: {
        // The list goes with its caption.
        const bool shown = !p || HasGearboxOilSource(*p);
        for (QLabel* l : findChildren<QLabel*>())
            if (l->buddy() == control) {
                l->setEnabled(p);
                l->setVisible(shown);
            }
        control->setVisible(shown);
        break;
    }
    case ProtocolItems::None:
        break;
    }
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

void TMK_SetParamsDlg::cbProtocolChange() {
    const int index = cbProtocol->currentIndex();
    if (index < 0)
        return;
    if (index != S().Protocol)
        S().Protocol = CheckedField<int8_t>(index);
    ApplyProtocol();
}

const EditField& TMK_SetParamsDlg::ColourField(int row) const {
    const EditField* first = nullptr;
    for (const EditField& f : EditFields()) {
        if (f.kind != EditKind::Colour)
            continue;
        if (f.detail == row)
            return f;
        first = first ? first : &f;
    }
    return *first;
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
    seDigit->SetValue(ShownNumber(ColourField(row), S()));
    showingDigit_ = false;
}

void TMK_SetParamsDlg::seDigitChange() {
    const int row = sgDigit->Row();
    const double v = seDigit->Value();
    if (!showingDigit_ && row >= 0 && row < sgDigit->rowCount() && v >= 0 && v <= 15)
        StoreNumber(S(), RecordFieldOf(ColourField(row)), v);
    RefreshColours();
}

void TMK_SetParamsDlg::pbDispPaint(QPainter& painter) {
    mk_.Preview.DrawPreview(mk_.PreviewSource(), 1, 5);
    painter.drawImage(0, 0, mk_.Preview.PreviewBitmap);
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

void TMK_SetParamsDlg::LoadAccumulators() {
    for (TStringGrid* grid : {sgTripSum, sgResetSum}) {
        const std::vector<const EditField*> fields = AccumulatorsOf(grid);
        const auto stored = [&](size_t i) {
            return uint32_t(StoredNumber(S(), RecordFieldOf(*fields[i])));
        };
        FillAccumulatorGrid(grid, stored(0), stored(1), stored(2));
    }
}

void TMK_SetParamsDlg::ResetAccumulators(TStringGrid* grid) {
    for (const EditField* f : AccumulatorsOf(grid))
        StoreNumber(S(), RecordFieldOf(*f), 0);
    FillAccumulatorGrid(grid, 0, 0, 0);
}

std::vector<const EditField*> TMK_SetParamsDlg::AccumulatorsOf(const TStringGrid* grid) const {
    // Time, distance and fuel, in the record's order.
    std::vector<const EditField*> fields;
    for (const EditField& f : EditFields())
        if (f.kind == EditKind::Accumulator && QLatin1String(f.control) == grid->objectName())
            fields.push_back(&f);
    Q_ASSERT(fields.size() == 3);
    return fields;
}
