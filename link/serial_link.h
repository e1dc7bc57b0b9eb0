#pragma once

#include "link/serial_port.h"
#include "support/errors.h"

#include <functional>

// Raised when AbortRequested answers true during a wait; never retried.
class TLinkAborted : public TripError {
public:
    TLinkAborted() : TripError(QStringLiteral("Cancelled")) {}
};

inline const char* const kNoLinkText = "RS232. No link. Check PC-device connection.";
inline const char* const kDelayWithinBlockText = "RS232. Delay within block error.";
inline const char* const kExchangeErrorText = "RS232. Exchange error.";
// Suffix of kExchangeErrorText for a reply that cannot be the request's answer.
inline const char* const kWrongReplySuffix = "(5)";
inline const char* const kDeviceBusyText =
    "Устройство занято. Возможно, оно находится в режиме местного управления.";

// The framed request/reply protocol with the trip computer over the serial port.
//
// Waiting never spins: the link blocks on the port in slices of at most
// kWaitSliceMs, and between slices calls ProcessEvents and AbortRequested.
class TSerialLink : public TSerialPortBase {
public:
    static constexpr int kAttempts = 3;
    static constexpr int kRetryPauseMs = 50;
    static constexpr int kWaitSliceMs = 20;

    // Construction does not touch the ports; see TSerialPortBase.
    explicit TSerialLink(std::unique_ptr<TBytePort> port = nullptr);

    uint16_t ByteTimeout = 200;
    uint16_t ReplyTimeout = 1000;
    // The pause between attempts of one exchange.
    uint16_t RetryPause = kRetryPauseMs;

    // Called while the link waits (the window processes its pending events).
    std::function<void()> ProcessEvents;
    // Polled while the link waits; true ends the wait with TLinkAborted.
    std::function<bool()> AbortRequested;

    void PutChar(char c) override;
    char GetChar() override;
    // Bytes up to a 0, which is consumed; the text as the device sent it.
    QByteArray GetString() override;
    void BeginRequest(uint8_t address, uint8_t command) override;
    // FinishFrame, then up to three attempts of Exchange 50 ms apart; the
    // third failure's exception goes to the caller unchanged. A reply is
    // taken only with the request's command and exactly replyLength bytes.
    // When the line is in doubt (below), the line is settled first.
    void Transact(int replyLength) override;
    void Request(uint8_t address, uint8_t command, int replyLength) override;

    virtual void ReceiveFrame();
    virtual void SendFrame();
    // One attempt: send, receive, check the reply header, command and length.
    virtual void Exchange();

    // Replies carry no block number, so a late reply to an earlier request
    // looks like the answer to the next one. After an exchange that failed an
    // attempt (a time-out or a refused reply) the line is in doubt, and
    // before the next request the link settles it: it sends ResyncCommand
    // (with no data) and discards everything until a reply of that command
    // and ResyncReplyLength bytes comes. The device answers in order, so
    // every late reply to an earlier request has arrived by then. Requests of
    // ResyncCommand itself go out without it: a late reply of that command
    // carries the same answer, and any other is refused. Without a
    // ResyncCommand (0) the link waits until the line has been quiet for
    // ReplyTimeout instead, discarding what comes meanwhile.
    uint8_t ResyncCommand = 0;
    int ResyncReplyLength = 0;
    bool LineInDoubt() const { return inDoubt_; }
    // Whether the last Transact's request was sent at least once.
    bool RequestWentOut() const { return requestWentOut_; }

    // The first-byte allowance for the request's own time on the line, in ms.
    int64_t LineAllowance() const;

    // Waits ms on the port's clock, as between attempts, letting the
    // caller's events run.
    void Pause(int ms);

private:
    // One line of the traffic log (category "tripconf.link"): the time since
    // the port opened, the direction, the bytes in hex and what was wrong.
    void LogFrame(const char* direction, const uint8_t* bytes, int size, const char* note = "");
    // Lets the caller's events run; throws TLinkAborted when asked to stop.
    void Idle();
    // ReceiveFrame with the first byte due by the deadline.
    void ReceiveFrameBy(int64_t firstByteDeadline);
    void Settle();
    void Resync();
    void WaitForQuietLine();
    // Waits for bytes until the clock is strictly past the deadline.
    int64_t ReadBy(uint8_t* dst, int64_t max, int64_t deadline);

    int replyLength_ = 0;
    bool inDoubt_ = false;
    bool requestWentOut_ = false;
};
