#pragma once

#include <QDialog>
#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class TMK;
class TRadioGroup;
struct TSettingsRecord;
class TSpinEdit;

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
    // first selectable one.
    void ApplyProtocol();
    bool OptionBit(int n) const;
    // Clears bit n of Flags, then sets it when on; other bits stay.
    void SetOptionBit(int n, bool on);
    static int32_t CorrectionToTenths(float factor);

    // Handlers, named after control and event. Each stores its field.
    void seAccCorrExit();
    void seTimeCorrExit();
    void seVelocityCorrExit();
    void seExpenseCorrExit();
    void rgLockTypeClick();
    void rgLockLevelClick();
    void cbProtocolChange();
    void cbTempOilAKPPMethChange();
    void rgVentChanClick();
    void seLiqTemperLimitExit();
    void seRevolutionsLimitExit();
    void seVelocityLimitExit();
    void seTankLimitExit();
    void seUaccLowLimitExit();
    void seUaccHighLimitExit();
    void seVentTempLimitExit();
    void seAKPPOilTemperLimitExit();
    void rgToTOMethExit();
    void seTOPathExit();
    void seTOTimeExit();
    void cbTankMethChange();

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
    // "Бак"
    QLabel* lTankMeth;
    QComboBox* cbTankMeth;
    // "ТО"
    TRadioGroup* rgToTOMeth;
    TSpinEdit* seTOPath;
    TSpinEdit* seTOTime;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TSettingsRecord& S() const;
    QWidget* AddPage(const char* name, const char* caption);
    void BuildCorrPage();
    void BuildSourcesPage();
    void BuildLimitsPage();
    void BuildTankPage();
    void BuildTOPage();
    TSpinEdit* AddSpinEdit(QWidget* page, const char* name, const char* label, int x, int y,
                           int labelWidth, void (TMK_SetParamsDlg::*exit)());
    QComboBox* AddList(QWidget* page, const char* name, QLabel*& label, const char* labelName,
                       const char* text, int x, int y, void (TMK_SetParamsDlg::*change)());

    TMK& mk_;
};
