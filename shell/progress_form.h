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

#include "core/transfers.h"

#include <functional>
#include <memory>

// A transfer's progress shown in a TProgressForm centred on the window, in
// the window's words: Cancel while connecting, the gauge in the block phases.
class TProgressObserver : public TTransferObserver {
public:
    explicit TProgressObserver(QWidget* centreOn) : centreOn_(centreOn) {}
    ~TProgressObserver() override;

    // The window while a transfer runs; null otherwise.
    static TProgressForm* Current();

    void Open() override;
    void Close() override;
    void Progress(const TransferProgress& progress) override;
    bool Cancelled() override;
    void ProcessEvents() override;
    bool Interrupted() override { return StopRequested && StopRequested(); }

    // True when the program is to end (the window closing for a signal).
    std::function<bool()> StopRequested;

private:
    QWidget* centreOn_;
    std::unique_ptr<TProgressForm> form_;
};
