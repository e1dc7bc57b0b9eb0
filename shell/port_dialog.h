#pragma once

#include "link/serial_port.h"

#include <QDialog>
#include <functional>
#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QTimer;

// The small dialog in which the user picks the serial port. Each item reads
// "COM" n, then the device path and its description; a port this user may
// not open is listed, disabled, with the remedy.
class TPortNumberDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPortNumberDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QComboBox* PCB;
    QDialogButtonBox* Buttons;

    // Fills the list; selects the item of current when it is there.
    void SetPorts(const QList<TPortChoice>& ports, int current);
    // The selected port's number; nullopt when no usable item is selected.
    std::optional<int> SelectedPort() const;

    // Where the list comes from while the dialog is open: RescanTimer asks
    // it about once a second, so adapters plugged in or pulled out appear
    // and go. The port the user chose stays selected while it is listed,
    // and is selected again when it comes back.
    void SetPortSource(std::function<QList<TPortChoice>()> source);
    void Rescan();
    QTimer* RescanTimer;

private:
    void UpdateOk();

    std::function<QList<TPortChoice>()> source_;
    QList<TPortChoice> shown_;
    int wanted_ = 0;
    bool filling_ = false;
};

// ChoosePort's dialog step, shown through the dialog seam: the chosen port
// number on OK, nullopt on Cancel. rescan, when given, keeps the list current.
std::optional<int> RunPortNumberDlg(const QList<TPortChoice>& ports, int current,
                                    QWidget* parent = nullptr,
                                    std::function<QList<TPortChoice>()> rescan = {});
