#pragma once

#include <QDialog>
#include <QHash>
#include <QStringList>
#include <QtNumeric>
#include <cstdint>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QPainter;
class QPushButton;
class QRect;
class QTabWidget;
class TMaskEdit;
class TMK;
class TPaintBox;
class TProtBase;
class TRadioGroup;
struct EditField;
struct TSettingsRecord;
class TSpinEdit;
class TStringGrid;

// The settings editor: edits the settings model's record in place, control
// by control (on leaving, on click or on change); the caller keeps a copy to
// put back when the dialog does not end with OK.
class TMK_SetParamsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMK_SetParamsDlg(TMK& mk, QWidget* parent = nullptr);
    ~TMK_SetParamsDlg() override;

    // Runs each time the dialog is shown: first page active, controls loaded.
    void FormShow();
    // Sets every control from the record, in a fixed order (some controls'
    // limits depend on fields loaded before them).
    void LoadControls();
    // Makes the controls fit the record's protocol: fan channel, gearbox oil
    // source and fuel-level methods. Resets the fan channel to the protocol's
    // first selectable one. A protocol number without an entry changes no
    // field: the protocol's controls are disabled until the user picks one.
    void ApplyProtocol();
    // What the controls could not show of the record, one text each; shown
    // once the dialog is open.
    const QStringList& OpeningNotes() const { return openingNotes_; }
    bool OptionBit(int n) const;
    // Clears bit n of Flags, then sets it when on; other bits stay.
    void SetOptionBit(int n, bool on);
    static int32_t CorrectionToTenths(float factor);
    // Repaints the palette, the colour grid and the display preview.
    void RefreshColours();
    // Shows the tank calibration; the litres are limited to the tank.
    void LoadTankCalibration();
    // Six rows: time, distance, fuel and the three averages.
    void FillAccumulatorGrid(TStringGrid* grid, uint32_t time, uint32_t distance, uint32_t fuel);

    // Handlers, named after control and event, for the controls that do
    // more than store their field (those are bound in ConnectControls).
    void cbProtocolChange();
    void sgDigitSelectCell(int row);
    void seDigitChange();
    void pbDispPaint(QPainter& painter);
    void bOilSaveClick();
    void bOilLoadClick();

    // OK: a control that still has the focus (Enter pressed in it) stores
    // first, as leaving it would have.
    void accept() override;

    QTabWidget* PageControl;
    QWidget* tsCorr;
    QWidget* tsSources;
    QWidget* tsLimits;
    QWidget* tsDisplay;
    QWidget* tsVoice;
    QWidget* tsAverages;
    QWidget* tsTank;
    QWidget* tsTO;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // "Поправки"
    TSpinEdit* seAccCorr;
    TSpinEdit* seTimeCorr;
    TSpinEdit* seVelocityCorr;
    TSpinEdit* seExpenseCorr;
    // "Источники"
    TRadioGroup* rgLockType;
    TRadioGroup* rgLockLevel;
    QLabel* lProtocol;
    QComboBox* cbProtocol;
    QLabel* lTempOilAKPPMeth;
    QComboBox* cbTempOilAKPPMeth;
    TRadioGroup* rgVentChan;
    // "Границы"
    TSpinEdit* seLiqTemperLimit;
    TSpinEdit* seRevolutionsLimit;
    TSpinEdit* seUaccLowLimit;
    TSpinEdit* seUaccHighLimit;
    TSpinEdit* seVentTempLimit;
    TSpinEdit* seVelocityLimit;
    TSpinEdit* seTankLimit;
    TSpinEdit* seAKPPOilTemperLimit;
    // "Дисплей"
    TRadioGroup* rgIntenseMeth;
    TSpinEdit* seIntense0;
    TSpinEdit* seIntense1;
    TMaskEdit* meIntenseDayTime;
    TMaskEdit* meIntenseNightTime;
    TStringGrid* sgPalette;
    TStringGrid* sgDigit;
    QGroupBox* gbDigit;
    QLabel* lDigit;
    TSpinEdit* seDigit;
    TPaintBox* pbDisp;
    // "Озвуч.сообщения"
    TRadioGroup* rgAlarmBeep;
    TRadioGroup* rgAlarmVelType;
    // "Средние"
    TStringGrid* sgTripSum;
    TStringGrid* sgResetSum;
    // "Бак"
    QLabel* lTankMeth;
    QComboBox* cbTankMeth;
    TSpinEdit* seTankContFull;
    QGroupBox* gbTankCalibration;
    TSpinEdit* seLit6L;
    TSpinEdit* seOil6L;
    TSpinEdit* seLit43L;
    TSpinEdit* seOil43L;
    QPushButton* bOilSave;
    QPushButton* bOilLoad;
    // "ТО"
    TRadioGroup* rgToTOMeth;
    TSpinEdit* seTOPath;
    TSpinEdit* seTOTime;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TSettingsRecord& S() const;

    // Building the pages (set_params_pages.cpp, set_params_display_page.cpp):
    // controls, texts and geometry only.
    QWidget* AddPage(const char* name, const char* caption);
    void BuildCorrPage();
    void BuildSourcesPage();
    void BuildLimitsPage();
    void BuildDisplayPage();
    void BuildVoicePage();
    void BuildAveragesPage();
    void BuildTankPage();
    void BuildTOPage();
    TSpinEdit* NewSpinEdit(QWidget* parent, const char* name);
    TSpinEdit* AddSpinEdit(QWidget* page, const char* name, const char* label, int x, int y,
                           int labelWidth);
    QComboBox* AddList(QWidget* page, const char* name, QLabel*& label, const char* labelName,
                       const char* text, int x, int y);

    // What each control does when the user acts on it (set_params_controls.cpp):
    // each field's control, found by the field table's objectName, is bound
    // and loaded by its kind.
    void ConnectControls();
    void BindEdit(const EditField& f);
    void BindChoice(const EditField& f);
    void LoadControl(const EditField& f);
    QWidget* ControlOf(const EditField& f) const;
    // Stores a radio group's or list's item (a bit's, for a Flag).
    void StoreItem(const EditField& f, int item);
    // The controls offered only with a bit of Flags are shown with it.
    void ShowBitDependents();
    // The items of a choice that follows the protocol p (null: none chosen).
    void ShowProtocolItems(const EditField& f, const TProtBase* p);
    // The spin edits take decimals, limits, step and typing from the field
    // table; loading shows a number field within its limits for the record.
    TSpinEdit* SpinEditOf(const EditField& f) const;
    void ConfigureSpinEdits();
    void LoadSpinEdit(const EditField& f);
    // The field of a row of sgDigit (the first for no row).
    const EditField& ColourField(int row) const;
    // The accumulators a grid shows: time, distance and fuel.
    std::vector<const EditField*> AccumulatorsOf(const TStringGrid* grid) const;
    void LoadAccumulators();
    void ResetAccumulators(TStringGrid* grid);
    bool DrawColourCell(QPainter& painter, const QRect& rect, const TStringGrid* grid, int column,
                        int row, uint16_t colour);
    void AddGridRow(TStringGrid* grid, const QString& caption, const QString& value);

    // A correction factor the edit cannot show: the edit shows its nearest
    // limit, and the field is stored only when the user sets another value.
    // Its label names it in `names`.
    void LoadCorrections();
    void LoadCorrection(const EditField& f, QStringList& names);
    void StoreCorrection(TSpinEdit* edit, const EditField& f);

    TMK& mk_;
    QStringList openingNotes_;
    // The value an edit shows for a factor it cannot show; NaN when none.
    QHash<const EditField*, double> unshown_;
    // Where the tank-file dialogs start: the program's folder if writable.
    QString tankFolder_;
    int gridRows_ = 0;
    // seDigit shows a row's colour: no change of the user's to store.
    bool showingDigit_ = false;
};
