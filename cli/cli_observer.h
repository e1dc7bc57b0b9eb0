#pragma once

#include "core/transfers.h"

#include <QElapsedTimer>

// Progress on standard error, on a terminal only: the phase in the tool's own
// words and the blocks done. A log gets nothing but the command's result.
// Connecting gives up after the time-out, as a cancel.
class TCliObserver : public TTransferObserver {
public:
    explicit TCliObserver(double connectTimeoutSeconds);

    // Blocks of each block phase of the next transfer: 64 for a read, the
    // record's for a write and its read-back.
    void SetBlockCount(int blocks) { blocks_ = blocks; }

    void Open() override;
    void Close() override;
    void SetText(const QString& text) override;
    void SetGauge(int percent) override;
    void ShowGauge(bool visible) override;
    void ShowCancel(bool visible) override;
    bool Cancelled() override;
    void ProcessEvents() override {}
    // A signal was caught (support/stop_signals.h).
    bool Interrupted() override;

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
    bool written_ = false; // a write phase ran: the next read is the read-back
    QString phase_;
    int blocks_ = 0;
    int done_ = 0;
    int percent_ = 0; // the core's, when the block count is not known
};
