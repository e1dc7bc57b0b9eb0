#include "ui/application.h"
#include "support/errors.h"
#include "ui/dialogs.h"

void ReportException(const std::exception& e) {
    Dialogs().Message(nullptr, MessageKind::Exception, QCoreApplication::applicationName(),
                      ExceptionMessage(e));
}

void ReportUnknownException() {
    Dialogs().Message(nullptr, MessageKind::Exception, QCoreApplication::applicationName(),
                      QStringLiteral("Unknown error"));
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
