#pragma once

#include <QApplication>
#include <exception>
#include <utility>

// Shows an exception that no command caught as the program's general error
// box; the program then goes on.
void ReportException(const std::exception& e);
void ReportUnknownException();

// Runs f, showing any exception it raises instead of letting it reach Qt.
template <typename F> void RunGuarded(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportUnknownException();
    }
}

// A slot that runs f guarded; use it for every connection to program code.
template <typename F> auto Guarded(F f) {
    return [f = std::move(f)](auto&&...) { RunGuarded(f); };
}

// The application object; its notify is the last net under every event handler.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
