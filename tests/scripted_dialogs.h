#pragma once

#include "ui/dialogs.h"

#include <QDialog>
#include <QList>
#include <QQueue>
#include <QString>
#include <functional>

// Answers the program's boxes and file dialogs from queues and records what
// was shown, so widget tests never wait on a modal window.
class ScriptedDialogs : public TDialogs {
public:
    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
    };
    QList<Shown> messages;
    QQueue<int> answers;       // for questions; No when empty
    QQueue<QString> openNames; // empty string = Cancel
    QQueue<QString> saveNames;
    QList<FileDialogOptions> fileDialogs;
    // Plays the user in a modal dialog; the dialog is rejected when unset.
    std::function<int(QDialog*)> onExec;
    QStringList executed; // object names of the dialogs shown

    ScriptedDialogs() { SetDialogs(this); }
    ~ScriptedDialogs() override { SetDialogs(nullptr); }

    int Message(QWidget*, MessageKind kind, const QString& title, const QString& text) override {
        messages.append({kind, title, text});
        if (kind != MessageKind::Question)
            return 1;
        return answers.isEmpty() ? 7 : answers.dequeue();
    }
    QString OpenFileName(QWidget*, const FileDialogOptions& o) override {
        fileDialogs.append(o);
        return openNames.isEmpty() ? QString() : openNames.dequeue();
    }
    QString SaveFileName(QWidget*, const FileDialogOptions& o) override {
        fileDialogs.append(o);
        return saveNames.isEmpty() ? QString() : saveNames.dequeue();
    }
    int Exec(QDialog* dialog) override {
        executed.append(dialog->objectName());
        return onExec ? onExec(dialog) : int(QDialog::Rejected);
    }
    int Count(MessageKind kind) const {
        int n = 0;
        for (const auto& m : messages)
            n += m.kind == kind;
        return n;
    }
};
