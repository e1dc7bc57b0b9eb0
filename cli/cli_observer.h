#pragma once

#include "core/transfers.h"

#include <QElapsedTimer>

// Progress on standard error, on a terminal only: the phase in the tool's own
// words and the blocks done. A log gets nothing but the command's result.
// Connecting gives up after the time-out, as a cancel.
class TCliObserver : public TTransferObserver {
public:
    explicit TCliObserver(double connectTimeoutSeconds);

    void Open() override;
    void Close() override;
    void Progress(const TransferProgress& progress) override;
    bool Cancelled() override;
    void ProcessEvents() override {}
    // A signal was caught (support/stop_signals.h).
    bool Interrupted() override;

    bool TimedOut() const { return timedOut_; }

private:
    void Draw(const TransferProgress& progress);

    QElapsedTimer clock_;
    qint64 timeoutMs_;
    bool connecting_ = false;
    bool timedOut_ = false;
    bool terminal_;
    bool drawn_ = false;
};
