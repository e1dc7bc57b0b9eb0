#include "cli/cli_trace.h"

#include "cli/cli_common.h"
#include "link/link_log.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstring>

namespace {

TCliTrace* current = nullptr;
// The trace the message handler writes to: a handler carries no state.
TCliTrace* writing = nullptr;
QLoggingCategory::CategoryFilter previousFilter = nullptr;

// The rules as they were, with the link's traffic on.
void TraceFilter(QLoggingCategory* category) {
    if (previousFilter)
        previousFilter(category);
    if (std::strcmp(category->categoryName(), lcLink().categoryName()) == 0)
        category->setEnabled(QtDebugMsg, true);
}

} // namespace

TCliTrace::TCliTrace() : previousRun_(current) {
    current = this;
}

TCliTrace::~TCliTrace() {
    Stop();
    current = previousRun_;
}

void TCliTrace::Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    TCliTrace* trace = writing;
    if (trace && context.category && std::strcmp(context.category, lcLink().categoryName()) == 0) {
        {
            const std::lock_guard<std::mutex> hold(trace->writing_);
            trace->file_.Write(text.toUtf8() + '\n');
        }
        if (!trace->alsoPrevious_)
            return;
    }
    if (trace && trace->previous_)
        trace->previous_(type, context, text);
}

void TCliTrace::Take(QStringList& args) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--"))
            break;
        if (args[i] == QStringLiteral("--trace")) {
            requested_ = true;
            name_ = i + 1 < args.size() ? args[i + 1] : QString();
            args.remove(i, std::min<qsizetype>(2, args.size() - i));
            break;
        }
        if (args[i].startsWith(QStringLiteral("--trace="))) {
            requested_ = true;
            name_ = args[i].mid(8);
            args.remove(i);
            break;
        }
    }
    if (requested_ && name_.isEmpty())
        throw TCliError::Usage(QStringLiteral("--trace needs a FILE"));
}

void TCliTrace::Start() {
    if (!requested_ || started_)
        return;
    started_ = true;
    QString reason;
    if (!file_.Open(name_, reason))
        throw TCliError::Failure(
            QStringLiteral("Cannot write the trace file %1. %2").arg(name_, reason));
    alsoPrevious_ = lcLink().isDebugEnabled();
    previousFilter = QLoggingCategory::installFilter(TraceFilter);
    writing = this;
    previous_ = qInstallMessageHandler(Handler);
}

QString TCliTrace::Stop() {
    if (!file_.IsOpen())
        return {};
    qInstallMessageHandler(previous_);
    writing = nullptr;
    // The log costs a line per frame; a later run in this process may want none.
    QLoggingCategory::installFilter(previousFilter);
    QString reason;
    if (file_.Close(reason))
        return {};
    return QStringLiteral("The trace file %1 was not written whole. %2").arg(name_, reason);
}

void StartTrace() {
    if (current)
        current->Start();
}
