#pragma once

#include "cli/cli_io.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

// --trace FILE: the link's traffic log goes to FILE, line by line, so what
// happened on the line is there even when the command is killed. FILE is
// taken out of the arguments first but opened only once the command has
// accepted its own (Start): a mistyped command line touches no file.
// One per run; the run's end (Stop) turns the link's log off again.
class TCliTrace {
public:
    TCliTrace();
    ~TCliTrace();
    TCliTrace(const TCliTrace&) = delete;
    TCliTrace& operator=(const TCliTrace&) = delete;

    // Takes --trace FILE (or --trace=FILE) out of args; a usage error when
    // FILE is missing.
    void Take(QStringList& args);
    // Opens FILE when one was asked for, once; a failure when it cannot be written.
    void Start();
    // Whether Start has been tried.
    bool Started() const { return started_; }
    // Closes the file; why it was not written whole, or empty.
    QString Stop();

private:
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text);

    TCliTrace* previousRun_;
    QString name_;
    bool requested_ = false;
    bool started_ = false;
    TTraceFile file_;
    // Ports side by side log from their own threads.
    std::mutex writing_;
    QtMessageHandler previous_ = nullptr;
    bool alsoPrevious_ = false; // QT_LOGGING_RULES asked for it too
};

// Starts the trace of the run under way (TCliTrace::Start).
void StartTrace();
