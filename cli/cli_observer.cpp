#include "cli/cli_observer.h"

#include "support/stop_signals.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

TCliObserver::TCliObserver(double connectTimeoutSeconds)
    : timeoutMs_(qint64(connectTimeoutSeconds * 1000)), terminal_(::isatty(2) != 0) {}

void TCliObserver::Open() {
    clock_.start();
    written_ = false;
}

void TCliObserver::Close() {
    if (drawn_ && terminal_)
        std::fputs("\n", stderr);
    drawn_ = false;
}

void TCliObserver::SetText(const QString& text) {
    // The core's texts are the window's; its connecting text is the one it
    // shows after giving up, not a phase.
    constexpr TLanguage en = TLanguage::English;
    if (text == Texts::Connecting(en)) {
        phase_ = QStringLiteral("Connecting...");
    } else if (text == Texts::Reading(en)) {
        phase_ = written_ ? QStringLiteral("Reading back") : QStringLiteral("Reading");
    } else if (text == Texts::Writing(en)) {
        phase_ = QStringLiteral("Writing");
        written_ = true;
    } else {
        phase_ = text;
    }
    Draw();
}

void TCliObserver::SetGauge(int percent) {
    percent_ = percent;
    // The core moves the gauge once per block done, and to 0 before the first.
    done_ = gaugeVisible_ ? std::min(done_ + 1, blocks_) : 0;
    Draw();
}

void TCliObserver::ShowGauge(bool visible) {
    gaugeVisible_ = visible;
    done_ = 0;
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

bool TCliObserver::Interrupted() {
    return CaughtStopSignal() != 0;
}

void TCliObserver::Draw() {
    if (!terminal_)
        return;
    QString line = phase_;
    if (gaugeVisible_) {
        const int percent = blocks_ > 0 ? done_ * 100 / blocks_ : percent_;
        if (blocks_ > 0)
            line += QStringLiteral(": blocks %1 of %2").arg(done_).arg(blocks_);
        const int filled = percent * 30 / 100;
        line += QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
                QString(30 - filled, QLatin1Char('.')) + QStringLiteral("] %1%").arg(percent);
    }
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
    std::fflush(stderr);
    drawn_ = true;
}
