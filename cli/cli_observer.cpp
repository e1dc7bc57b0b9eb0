#include "cli/cli_observer.h"

#include "cli/cli_common.h"
#include "support/stop_signals.h"

#include <cstdio>

namespace {

QString PhaseWords(TransferPhase phase) {
    switch (phase) {
    case TransferPhase::Connecting:
        return QStringLiteral("Connecting...");
    case TransferPhase::Reading:
        return QStringLiteral("Reading");
    case TransferPhase::Writing:
        return QStringLiteral("Writing");
    case TransferPhase::ReadingBack:
        return QStringLiteral("Reading back");
    }
    return {};
}

} // namespace

TCliObserver::TCliObserver(double connectTimeoutSeconds)
    : timeoutMs_(qint64(connectTimeoutSeconds * 1000)), terminal_(Io().errIsTerminal) {}

void TCliObserver::Open() {
    clock_.start();
}

void TCliObserver::Close() {
    if (drawn_ && terminal_)
        std::fputs("\n", Io().err);
    drawn_ = false;
}

void TCliObserver::Progress(const TransferProgress& progress) {
    connecting_ = progress.phase == TransferPhase::Connecting;
    // The time-out counts from each start of connecting, the read-back's too.
    if (connecting_)
        clock_.restart();
    Draw(progress);
}

bool TCliObserver::Cancelled() {
    if (connecting_ && clock_.elapsed() >= timeoutMs_)
        timedOut_ = true;
    return timedOut_;
}

bool TCliObserver::Interrupted() {
    return CaughtStopSignal() != 0;
}

void TCliObserver::Draw(const TransferProgress& progress) {
    if (!terminal_)
        return;
    QString line = PhaseWords(progress.phase);
    if (progress.phase != TransferPhase::Connecting && progress.total > 0) {
        const int percent = progress.done * 100 / progress.total;
        const int filled = percent * 30 / 100;
        line += QStringLiteral(": blocks %1 of %2").arg(progress.done).arg(progress.total) +
                QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
                QString(30 - filled, QLatin1Char('.')) + QStringLiteral("] %1%").arg(percent);
    }
    std::fprintf(Io().err, "\r\033[K%s", qPrintable(line));
    std::fflush(Io().err);
    drawn_ = true;
}
