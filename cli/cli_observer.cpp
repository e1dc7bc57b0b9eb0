#include "cli/cli_observer.h"

#include <cstdio>
#include <unistd.h>

TCliObserver::TCliObserver(double connectTimeoutSeconds)
    : timeoutMs_(qint64(connectTimeoutSeconds * 1000)), terminal_(::isatty(2) != 0) {}

void TCliObserver::Open() {
    clock_.start();
}

void TCliObserver::Close() {
    if (drawn_ && terminal_)
        std::fputs("\n", stderr);
    drawn_ = false;
}

void TCliObserver::SetText(const QString& text) {
    text_ = text;
    // In a log, only the phases that follow a successful connection.
    if (!terminal_ && !connecting_)
        std::fprintf(stderr, "%s\n", qPrintable(text));
    Draw();
}

void TCliObserver::SetGauge(int percent) {
    percent_ = percent;
    Draw();
}

void TCliObserver::ShowGauge(bool visible) {
    gaugeVisible_ = visible;
    Draw();
}

void TCliObserver::ShowCancel(bool visible) {
    // The cancel button stands for the time-out: shown only while connecting.
    connecting_ = visible;
    clock_.restart();
}

bool TCliObserver::Cancelled() {
    if (connecting_ && clock_.elapsed() >= timeoutMs_)
        timedOut_ = true;
    return timedOut_;
}

void TCliObserver::Draw() {
    if (!terminal_)
        return;
    QString line = text_;
    if (gaugeVisible_) {
        const int filled = percent_ * 30 / 100;
        line += QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
                QString(30 - filled, QLatin1Char('.')) + QStringLiteral("] %1%").arg(percent_);
    }
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
    std::fflush(stderr);
    drawn_ = true;
}
