#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TMK;

// The program's main window: the four-step workflow over the one settings model.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The settings model; exists from the first show on.
    TMK* MK() const { return mk_.get(); }
    bool Modified = false;

    // Handlers, named after control and event.
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void bRS232Click();
    void bGetParamsClick();
    void bLoadParamsClick();
    void bEditParamsClick();
    void bSaveParamsClick();
    void bSetParamsClick();
    void cbEnglishVersionClick();

    // The save command shared by Step 3, the question before a read and closing.
    void SaveParamsToFile();
    void ApplyLanguage();

    QLabel* Label5;
    QPushButton* bRS232;
    QGroupBox* GroupBox1;
    QLabel* Label2;
    QPushButton* bGetParams;
    QLabel* Label6;
    QPushButton* bLoadParams;
    QGroupBox* GroupBox2;
    QLabel* Label3;
    QPushButton* bEditParams;
    QGroupBox* GroupBox3;
    QLabel* Label4;
    QPushButton* bSaveParams;
    QGroupBox* GroupBox4;
    QLabel* Label1;
    QPushButton* bSetParams;
    QCheckBox* cbEnglishVersion;
    QLabel* Image1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetStepsEnabled(bool enabled);
    QString ProgramFolder() const;

    std::unique_ptr<TMK> mk_;
    bool shown_ = false;
    QString dialogFolder_;
};
