#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// Shown, not modal, for the length of a device transfer. It cannot close
// itself: only the transfer that created it frees it.
class TProgressForm : public QWidget {
    Q_OBJECT
public:
    explicit TProgressForm(QWidget* centreOn = nullptr);

    QLabel* ProgressLabel;
    QProgressBar* ProgressGauge;
    QPushButton* BitBtn1;
    bool Cancelled = false;

    void BitBtn1Click() { Cancelled = true; }

protected:
    void closeEvent(QCloseEvent* event) override;
};
