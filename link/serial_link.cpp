#include "link/serial_link.h"

#include "link/link_log.h"
#include "support/numeric.h"

#include <algorithm>

namespace {

[[noreturn]] void Fail(const char* text) {
    throw TripError(QString::fromUtf8(text));
}

} // namespace

void TSerialLink::LogFrame(const char* direction, const uint8_t* bytes, int size,
                           const char* note) {
    if (!lcLink().isDebugEnabled())
        return;
    QString line =
        LogTag +
        QStringLiteral("%1 ms %2").arg(Port().NowMs() - openedAtMs_).arg(QLatin1String(direction));
    if (size > 0)
        line += QLatin1Char(' ') +
                QLatin1String(
                    QByteArray(reinterpret_cast<const char*>(bytes), size).toHex(' ').toUpper());
    if (*note)
        line += QLatin1Char(' ') + QLatin1String(note);
    qCDebug(lcLink).noquote() << line;
}

TSerialLink::TSerialLink(std::unique_ptr<TBytePort> port) : TSerialPortBase(std::move(port)) {
    BaudRate = 115200;
    ByteSize = 8;
    Parity = 0;
    StopBits = 2;
    ReplyTimeout = 1000;
    ByteTimeout = 200;
    SectionName = QStringLiteral("RS232");
}

void TSerialLink::PutChar(char c) {
    PutByte(uint8_t(c));
}

char TSerialLink::GetChar() {
    return char(GetByte());
}

QByteArray TSerialLink::GetString() {
    QByteArray s;
    for (uint8_t b = GetByte(); b != 0; b = GetByte())
        s.append(char(b));
    return s;
}

void TSerialLink::BeginRequest(uint8_t address, uint8_t command) {
    BeginFrame();
    PutByte(address);
    PutWord(1);
    PutByte(command);
}

void TSerialLink::Request(uint8_t address, uint8_t command, int replyLength) {
    BeginRequest(address, command);
    Transact(replyLength);
}

void TSerialLink::Transact(int replyLength) {
    FinishFrame();
    requestWentOut_ = false;
    if (inDoubt_)
        Settle();
    replyLength_ = replyLength;
    for (int attempt = 1;; ++attempt) {
        try {
            requestWentOut_ = true;
            Exchange();
            break;
        } catch (const TLinkAborted&) {
            inDoubt_ = true;
            throw;
        } catch (const std::exception&) {
            // Its reply may still come, and would pass for the next one's.
            inDoubt_ = true;
            if (attempt >= kAttempts)
                throw;
        }
        Pause(RetryPause);
    }
    ReplyPos = 5;
}

void TSerialLink::Exchange() {
    SendFrame();
    ReceiveFrame();
    if (ReplyBuffer[1] == 0 && ReplyBuffer[2] == 0 && ReplyBuffer[3] == 0)
        throw TripError(QString::fromLatin1(kExchangeErrorText) + QStringLiteral("(4)"));
    if (ReplyBuffer[4] == 255)
        Fail(kDeviceBusyText);
    if (ReplyBuffer[4] != RequestBuffer[4] || ReplyBuffer[0] != replyLength_)
        throw TripError(QString::fromLatin1(kExchangeErrorText) +
                        QString::fromLatin1(kWrongReplySuffix));
}

void TSerialLink::Settle() {
    if (ResyncCommand != 0 && RequestBuffer[4] == ResyncCommand)
        return;
    if (ResyncCommand != 0)
        Resync();
    else
        WaitForQuietLine();
    inDoubt_ = false;
}

void TSerialLink::Resync() {
    // The pending request waits aside while the resync request is exchanged.
    const auto request = RequestBuffer;
    const int32_t requestPos = RequestPos;
    struct Restore {
        TSerialLink& link;
        const std::array<uint8_t, kBufferSize>& request;
        int32_t pos;
        ~Restore() {
            link.RequestBuffer = request;
            link.RequestPos = pos;
        }
    } restore{*this, request, requestPos};
    BeginRequest(request[1], ResyncCommand);
    FinishFrame();

    TBytePort& port = Port();
    for (int attempt = 1;; ++attempt) {
        SendFrame();
        const int64_t deadline = port.NowMs() + ReplyTimeout + LineAllowance();
        // Whatever comes before the answer is a late reply, or junk: dropped.
        while (port.NowMs() <= deadline) {
            try {
                ReceiveFrameBy(deadline);
            } catch (const TLinkAborted&) {
                throw;
            } catch (const TripError&) {
                continue;
            }
            const auto& r = ReplyBuffer;
            if ((r[1] != 0 || r[2] != 0 || r[3] != 0) && r[4] == ResyncCommand &&
                r[0] == ResyncReplyLength)
                return;
        }
        if (attempt >= kAttempts)
            Fail(kNoLinkText);
        Pause(RetryPause);
    }
}

void TSerialLink::WaitForQuietLine() {
    TBytePort& port = Port();
    // A line that never falls quiet (noise, a babbling device) is no link.
    const int64_t limit = port.NowMs() + kAttempts * (ReplyTimeout + RetryPause);
    uint8_t dropped[256];
    for (;;) {
        const int64_t quietBy = port.NowMs() + ReplyTimeout + LineAllowance();
        if (ReadBy(dropped, sizeof dropped, quietBy) == 0)
            return;
        if (port.NowMs() > limit)
            Fail(kNoLinkText);
    }
}

void TSerialLink::SendFrame() {
    const int length = RequestBuffer[0] == 0 ? 256 : RequestBuffer[0];
    // Whatever a late earlier reply left must not pass for this one's reply.
    PurgeInput();
    PurgeOutput();
    LogFrame("TX", RequestBuffer.data(), length);
    Port().Write(RequestBuffer.data(), length);
}

int64_t TSerialLink::LineAllowance() const {
    if (BaudRate == 0)
        return 0;
    return int64_t(RoundHalfEven(9600.0 / double(BaudRate) * double(RequestPos)));
}

void TSerialLink::Idle() {
    if (ProcessEvents)
        ProcessEvents();
    if (AbortRequested && AbortRequested())
        throw TLinkAborted();
}

int64_t TSerialLink::ReadBy(uint8_t* dst, int64_t max, int64_t deadline) {
    TBytePort& port = Port();
    for (;;) {
        const int64_t got = port.Read(dst, max);
        const int64_t now = port.NowMs();
        Idle();
        if (got > 0 || now > deadline)
            return got;
        port.WaitReadable(int(std::min<int64_t>(kWaitSliceMs, deadline - now + 1)));
    }
}

void TSerialLink::ReceiveFrame() {
    ReceiveFrameBy(Port().NowMs() + ReplyTimeout + LineAllowance());
}

void TSerialLink::ReceiveFrameBy(int64_t firstByteDeadline) {
    TBytePort& port = Port();
    if (ReadBy(ReplyBuffer.data(), 1, firstByteDeadline) == 0) {
        LogFrame("RX", nullptr, 0, "(no reply)");
        Fail(kNoLinkText);
    }
    const int length = ReplyBuffer[0];
    if (length < 6) {
        LogFrame("RX", ReplyBuffer.data(), 1, "(length below 6)");
        Fail(kNoLinkText);
    }
    // Bytes that arrived together share one arrival time, as if read one by one.
    for (int i = 1; i < length;) {
        const int64_t got = ReadBy(ReplyBuffer.data() + i, length - i, port.NowMs() + ByteTimeout);
        if (got == 0) {
            LogFrame("RX", ReplyBuffer.data(), i, "(cut off)");
            Fail(kDelayWithinBlockText);
        }
        i += int(got);
    }
    if (!ReplyChecksumOk()) {
        LogFrame("RX", ReplyBuffer.data(), length, "(bad checksum)");
        throw TripError(QString::fromLatin1(kExchangeErrorText) + QStringLiteral("(0)"));
    }
    LogFrame("RX", ReplyBuffer.data(), length);
}

void TSerialLink::Pause(int ms) {
    // On the port's clock, like every other wait, so a virtual clock drives
    // it and a sleep that wakes early does not shorten it. Whole milliseconds:
    // it ends strictly past its end, so it is never shorter than asked.
    if (ms <= 0)
        return;
    TBytePort& port = Port();
    const int64_t end = port.NowMs() + ms;
    for (int64_t now = port.NowMs(); now <= end; now = port.NowMs()) {
        Idle();
        port.Sleep(int(std::min<int64_t>(end - now + 1, kWaitSliceMs)));
    }
}
