#include "ui/dialogs.h"
#include "ui/folder_access.h"
#include "ui/message_boxes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The boxes' own words.
struct TBoxTexts {
    Q_DECLARE_TR_FUNCTIONS(TBoxTexts)
};

class RealDialogs final : public TDialogs {
public:
    int Message(QWidget* parent, MessageKind kind, const QString& title,
                const QString& text) override {
        QMessageBox box(parent ? parent : QApplication::activeWindow());
        box.setWindowTitle(title);
        box.setText(text);
        switch (kind) {
        case MessageKind::Error:
        case MessageKind::Exception:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageKind::Info:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageKind::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        if (kind == MessageKind::Question) {
            QPushButton* yes = box.addButton(TBoxTexts::tr("&Yes"), QMessageBox::YesRole);
            QPushButton* no = box.addButton(TBoxTexts::tr("&No"), QMessageBox::NoRole);
            box.setDefaultButton(yes);
            box.setEscapeButton(no);
            box.exec();
            if (box.clickedButton() == yes)
                return kIdYes;
            if (box.clickedButton() == no)
                return kIdNo;
            return 2;
        }
        box.addButton(TBoxTexts::tr("OK"), QMessageBox::AcceptRole);
        box.exec();
        return kIdOk;
    }

    QString OpenFileName(QWidget* parent, const FileDialogOptions& o) override {
        TOpenFileDialog d(parent, o);
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
            return {};
        return d.selectedFiles().first();
    }

    QString SaveFileName(QWidget* parent, const FileDialogOptions& o) override {
        QFileDialog d(parent, o.title, o.directory, o.filter);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setFileMode(QFileDialog::AnyFile);
        d.setDefaultSuffix(o.defaultSuffix);
        // The program asks its own overwrite question.
        d.setOption(QFileDialog::DontConfirmOverwrite);
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
            return {};
        return d.selectedFiles().first();
    }

    int Exec(QDialog* dialog) override { return dialog->exec(); }
};

RealDialogs realDialogs;
TDialogs* current = nullptr;

} // namespace

QString OpenDialogFileName(const QString& typed, const QString& defaultSuffix) {
    const QFileInfo info(typed);
    if (info.exists() || defaultSuffix.isEmpty() || info.fileName().contains(QLatin1Char('.')))
        return typed;
    return typed + QLatin1Char('.') + defaultSuffix;
}

QString FileDialogFolder(const QString& programFolder) {
    if (MayWriteFolder(programFolder))
        return programFolder;
    return QDir::homePath();
}

TOpenFileDialog::TOpenFileDialog(QWidget* parent, const FileDialogOptions& o)
    : QFileDialog(parent, o.title, o.directory, o.filter), suffix_(o.defaultSuffix) {
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
}

void TOpenFileDialog::accept() {
    const QStringList typed = selectedFiles();
    if (typed.size() == 1) {
        const QString name = OpenDialogFileName(typed.first(), suffix_);
        if (name != typed.first())
            selectFile(name);
    }
    QFileDialog::accept();
}

TDialogs& Dialogs() {
    return current ? *current : realDialogs;
}
void SetDialogs(TDialogs* dialogs) {
    current = dialogs;
}

void ShowError(const QString& text) {
    Dialogs().Message(nullptr, MessageKind::Error, TBoxTexts::tr("Error"), text);
}

void ShowInfo(const QString& text) {
    Dialogs().Message(nullptr, MessageKind::Info, TBoxTexts::tr("Information"), text);
}

int AskYesNo(const QString& text) {
    return Dialogs().Message(nullptr, MessageKind::Question, TBoxTexts::tr("Confirm"), text);
}
