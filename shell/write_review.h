#pragma once

#include "model/settings_diff.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// What a write would change in the trip computer, shown before anything is
// sent: each differing field with the editor's caption, the record's name,
// the value now in the trip computer and the value to be written. Cancel is
// the default button, so a stray Return writes nothing.
class TWriteReviewDlg : public QDialog {
    Q_OBJECT
public:
    // diff: side A the trip computer, side B the settings to be written.
    TWriteReviewDlg(const SettingsDiff& diff, const QString& port, uint16_t deviceVersion,
                    QWidget* parent = nullptr);

    QLabel* lReviewSummary;
    QTreeWidget* tvReviewChanges;
    QPushButton* bReviewWrite;
    QPushButton* bReviewCancel;
};
