#pragma once

#include "core/transfers.h"

#include <QElapsedTimer>

// Progress on standard error: a bar on a terminal, plain lines otherwise.
// Connecting gives up after the time-out, as a cancel.
class TCliObserver : public TTransferObserver {
public:
    explicit TCliObserver(double connectTimeoutSeconds);

    void Open() override;
    void Close() override;
    void SetText(const QString& text) override;
    void SetGauge(int percent) override;
    void ShowGauge(bool visible) override;
    void ShowCancel(bool visible) override;
    bool Cancelled() override;
    void ProcessEvents() override {}

    bool TimedOut() const { return timedOut_; }

private:
    void Draw();

    QElapsedTimer clock_;
    qint64 timeoutMs_;
    bool connecting_ = false;
    bool timedOut_ = false;
    bool terminal_;
    bool gaugeVisible_ = false;
    bool drawn_ = false;
    QString text_;
    int percent_ = 0;
};
