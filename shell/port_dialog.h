#pragma once

#include "link/serial_port.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLabel;

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

private:
    void UpdateOk();
};

// ChoosePort's dialog step, shown through the dialog seam: the chosen port
// number on OK, nullopt on Cancel.
std::optional<int> RunPortNumberDlg(const QList<TPortChoice>& ports, int current,
                                    QWidget* parent = nullptr);
