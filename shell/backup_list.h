#pragma once

#include "core/backups.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class TMK;

// The backups of what trip computers held, newest first, to load one back.
// Each row says whether it differs from the settings now in the program;
// a file that cannot be loaded is listed with why and cannot be chosen.
class TBackupListDlg : public QDialog {
    Q_OBJECT
public:
    // current: the settings in the program, or null when there are none.
    TBackupListDlg(const QString& folder, const QList<TBackupEntry>& backups, const TMK* current,
                   QWidget* parent = nullptr);
    // The chosen file; empty when none is selected.
    QString SelectedPath() const;

    QLabel* lBackupFolder;
    QTreeWidget* tvBackups;
    QPushButton* bBackupLoad;
    QPushButton* bBackupCancel;

private:
    void UpdateLoad();
};
