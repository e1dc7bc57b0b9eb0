#pragma once

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
