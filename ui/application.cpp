#include "ui/application.h"
#include "support/errors.h"
#include "ui/dialogs.h"
#include "ui/translation.h"

void ReportException(const std::exception& e) {
    Dialogs().Message(nullptr, MessageKind::Exception, QCoreApplication::applicationName(),
                      ExceptionMessage(e));
}

void ReportUnknownException() {
    Dialogs().Message(nullptr, MessageKind::Exception, QCoreApplication::applicationName(),
                      QCoreApplication::translate("TBoxTexts", "Unknown error"));
}

// The window speaks Russian until its INI or its check box says otherwise.
TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetWindowLanguage(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportUnknownException();
    }
    return false;
}
