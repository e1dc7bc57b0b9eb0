#pragma once

#include <QFileDialog>
#include <QString>

class QDialog;
class QWidget;

// Every modal box and file dialog of the program goes through this seam, so
// tests can answer them without a window waiting for a click.
enum class MessageKind { Error, Info, Question, Exception };

struct FileDialogOptions {
    QString title;
    QString filter;        // Qt form, e.g. "Файлы настроек (*.tarvg)"
    QString defaultSuffix; // appended to a name typed without one
    QString directory;     // initial folder
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // Returns the pressed button's code (6 Yes, 7 No, 1 OK).
    virtual int Message(QWidget* parent, MessageKind kind, const QString& title,
                        const QString& text) = 0;
    // Empty string when the user cancels.
    virtual QString OpenFileName(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual QString SaveFileName(QWidget* parent, const FileDialogOptions& options) = 0;
    // Shows a dialog modally; returns its result (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog* dialog) = 0;
};

// The dialogs in use; the real ones unless a test installed its own.
TDialogs& Dialogs();
// Installs replacement dialogs (not owned); nullptr restores the real ones.
void SetDialogs(TDialogs* dialogs);

// The name an open dialog answers for a typed one: as typed when a file of
// exactly that name exists, else with the default suffix when it has none.
QString OpenDialogFileName(const QString& typed, const QString& defaultSuffix);

// Where the file dialogs start: the program's folder when the user can write
// there, else the user's home folder (an installed program's folder is not
// the user's to save in).
QString FileDialogFolder(const QString& programFolder);

// The open dialog: only existing files, named as OpenDialogFileName decides
// (Qt itself would add the suffix even to a name that exists as typed).
class TOpenFileDialog : public QFileDialog {
public:
    TOpenFileDialog(QWidget* parent, const FileDialogOptions& options);
    void accept() override;

private:
    QString suffix_;
};
