#include "tools/simulator.h"

#include "model/settings_record.h"
#include "support/errors.h"

#include <QtEndian>
#include <chrono>
#include <thread>

namespace {

constexpr int64_t kMs = 1000000;
// Longest a written reply takes to reach the client's queue, on a loaded machine.
constexpr int kHangUpGraceMs = 200;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// 11 bits a byte: start, 8 data, 2 stop.
int64_t WireNs(int64_t bytes, uint32_t baud) {
    return baud == 0 ? 0 : bytes * 11 * 1000000000 / baud;
}

// The simulator sums frames on its own rather than with the link's
// FrameChecksum: the link's frames are then checked by a second reading of the
// rule, as a device would check them.
uint8_t ByteSum(const QByteArray& f, qsizetype n) {
    uint8_t sum = 0;
    for (qsizetype i = 0; i < n; ++i)
        sum = uint8_t(sum + uint8_t(f[i]));
    return sum;
}

void FixChecksum(QByteArray& f) {
    f[f.size() - 1] = char(-ByteSum(f, f.size() - 1));
}

bool SumsToZero(const QByteArray& f) {
    return ByteSum(f, f.size()) == 0;
}

QByteArray Frame(uint8_t command, const QByteArray& data) {
    QByteArray f;
    f.append(char(data.size() + 6));
    f.append(char(kDeviceAddress));
    f.append(char(1));
    f.append(char(0));
    f.append(char(command));
    f.append(data);
    f.append(char(0));
    FixChecksum(f);
    return f;
}

} // namespace

QByteArray DefaultSimMemory() {
    QByteArray m(kImageSize, '\0');
    const auto record = TSettingsRecord::Defaults().ToBytes();
    for (int i = 0; i < kImageSize; ++i)
        m[i] = i < TSettingsRecord::kSize ? char(record[size_t(i)]) : char((i + i / 256) % 256);
    return m;
}

TSimDevice::TSimDevice(TSimOptions options) : options_(std::move(options)) {
    memory_ = options_.Memory.isEmpty() ? DefaultSimMemory() : options_.Memory;
    memory_.resize(kImageSize, '\0');
    random_.seed(options_.Seed);
}

TSimulator::TSimulator(TSimOptions options) : TSimDevice(std::move(options)) {}

TSimulator::~TSimulator() = default;

void TSimulator::Stop() {
    stopping_ = true;
    line_.Wake('q');
}

void TSimulator::RequestDump() {
    line_.Wake('d');
}

QByteArray TSimDevice::Memory() const {
    std::lock_guard lock(mutex_);
    return memory_;
}

QList<QByteArray> TSimDevice::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int TSimDevice::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void TSimDevice::Update(const std::function<void(TSimOptions&)>& change) {
    std::lock_guard lock(mutex_);
    change(options_);
}

void TSimDevice::LogLine(const char* tag, const QByteArray& bytes) {
    if (!Log)
        return;
    QByteArray line = tag;
    if (!bytes.isEmpty())
        line += ' ' + bytes.toHex(' ').toUpper();
    line += '\n';
    std::fputs(line.constData(), Log);
    std::fflush(Log);
}

bool TSimulator::DrainWake() {
    for (const char c : line_.TakeWakes())
        if (c == 'd' && OnDump)
            OnDump(Memory());
    return !stopping_;
}

bool TSimulator::WaitUntil(int64_t ns) {
    for (;;) {
        const int64_t now = NowNs();
        if (now >= ns)
            return !stopping_;
        if (ns - now > 2 * kMs) {
            if (line_.WaitWake(int((ns - now) / kMs - 1)) && !DrainWake())
                return false;
            continue;
        }
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
    }
}

bool TSimulator::Send(const TOutgoing& out) {
    const QByteArray& bytes = out.reply;
    auto write = [this, &bytes](qsizetype from, qsizetype to) {
        while (from < to) {
            const int64_t n = line_.Write(bytes.constData() + from, to - from);
            if (n <= 0)
                return; // nobody reads the line: the bytes are lost, as on a wire
            from += n;
        }
    };
    const QList<TSimChunk> chunks = out.Chunks();
    if (out.adapterMs > 0 || out.baud == 0) {
        for (const TSimChunk& c : chunks) {
            if (!WaitUntil(c.readyNs))
                return false;
            write(c.from, c.to);
        }
        return true;
    }
    // Paced byte by byte: what is due goes out at once, so a late wake-up catches up.
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const int64_t now = NowNs();
        qsizetype due = sent;
        while (due < chunks.size() && chunks[due].readyNs <= now)
            ++due;
        if (due > sent) {
            write(sent, due);
            sent = due;
        } else if (!WaitUntil(chunks[sent].readyNs)) {
            return false;
        }
    }
    return true;
}

QByteArray TSimDevice::Reply(const QByteArray& frame, bool* stopAfter) {
    const auto* p = reinterpret_cast<const uint8_t*>(frame.constData());
    const int dataSize = int(frame.size()) - 6;
    const uint8_t* data = p + 5;
    if (p[1] != kDeviceAddress)
        return {};
    switch (p[4]) {
    case kVersionCommand: {
        QByteArray d(3, '\0');
        qToLittleEndian<uint16_t>(options_.Version, d.data() + 1);
        return Frame(kVersionCommand, d);
    }
    case kReadBlockCommand: {
        if (dataSize < 2)
            return {};
        const int block = qFromLittleEndian<uint16_t>(data);
        if (block * kBlockSize + kBlockSize > kImageSize)
            return {};
        *stopAfter = block == options_.StopAfterBlock;
        return Frame(kReadBlockCommand, memory_.mid(block * kBlockSize, kBlockSize));
    }
    case kWriteBlockCommand: {
        if (dataSize < 4)
            return {};
        const int block = qFromLittleEndian<uint16_t>(data);
        const int n = std::min(int(qFromLittleEndian<uint16_t>(data + 2)), dataSize - 4);
        if (block * kBlockSize + n > kImageSize)
            return {};
        memory_.replace(block * kBlockSize, n, frame.mid(9, n));
        if (const int c = options_.CorruptOffset;
            c >= block * kBlockSize && c < block * kBlockSize + n)
            memory_[c] = char(~uint8_t(memory_[c]));
        *stopAfter = block == options_.StopAfterBlock;
        return Frame(kWriteBlockCommand, {});
    }
    case kEndWriteCommand:
        return Frame(kEndWriteCommand, {});
    default:
        return {};
    }
}

QByteArray TSimDevice::Answer(const QByteArray& frame, int64_t arrivedNs) {
    const TSimOptions& o = options_;
    bool stopAfter = false;
    QByteArray reply;
    if (arrivedNs < settledNs_) {
        if (o.SettleBusy)
            reply = Frame(255, {});
    } else if (!mute_) {
        reply = Reply(frame, &stopAfter);
        if (uint8_t(frame[4]) == kEndWriteCommand && !reply.isEmpty())
            settledNs_ = arrivedNs + o.SettleMs * kMs;
    }
    mute_ = mute_ || stopAfter;
    return reply;
}

bool TSimDevice::Withheld(const QByteArray& frame, int j, bool inWindow, int64_t nowNs) {
    const TSimOptions& o = options_;
    bool withheld = (inWindow && o.Silent) || (j >= 1 && j <= o.LoseFirst);
    if (inWindow && o.JunkStream && !babbling_) {
        babbling_ = true;
        babbledNs_ = nowNs;
    }
    withheld = withheld || babbling_;
    if (const uint8_t command = uint8_t(frame[4]);
        o.LoseFirstBlockTry && (command == kWriteBlockCommand || command == kReadBlockCommand) &&
        frame.size() >= 8) {
        const int key = command << 16 | qFromLittleEndian<uint16_t>(frame.constData() + 5);
        if (key != lastBlockKey_)
            withheld = true;
        lastBlockKey_ = key;
    }
    return withheld;
}

void TSimDevice::Damage(QByteArray& reply) const {
    const TSimOptions& o = options_;
    if (o.Busy) {
        reply[4] = char(0xFF);
        FixChecksum(reply);
    }
    if (o.ZeroHeader) {
        reply[1] = reply[2] = reply[3] = 0;
        FixChecksum(reply);
    }
    if (o.OtherCommand >= 0) {
        reply[4] = char(o.OtherCommand);
        FixChecksum(reply);
    }
    if (const int cut = std::min<int>(o.ShortData, int(reply.size()) - 6); cut > 0) {
        reply.remove(reply.size() - 1 - cut, cut);
        reply[0] = char(reply.size());
        FixChecksum(reply);
    }
    if (o.BadChecksum)
        reply[reply.size() - 1] = char(reply[reply.size() - 1] + 1);
    if (o.ShortLength >= 0)
        reply[0] = char(o.ShortLength);
    if (o.CutAfter >= 0)
        reply.truncate(o.CutAfter);
    reply = o.Junk + reply + o.Trail;
}

TSimDevice::TOutgoing TSimDevice::Respond(const QByteArray& frame, int64_t arrivedNs,
                                          int64_t nowNs) {
    TOutgoing out;
    {
        std::lock_guard lock(mutex_);
        received_.append(frame);
        const int k = ++requests_;
        const TSimOptions& o = options_;
        out.reply = Answer(frame, arrivedNs);
        // Position in the fault window; 0 or less before it.
        const int j = k - o.FaultsAfter;
        const bool inWindow = j >= 1 && (o.FaultCount < 0 || j <= o.FaultCount);
        if (Withheld(frame, j, inWindow, nowNs))
            out.reply.clear();
        if (!out.reply.isEmpty() && inWindow)
            Damage(out.reply);
        out.baud = o.PaceBaud;
        out.adapterMs = o.AdapterLatencyMs;
        int delayMs = o.ReplyDelayMs;
        if (o.RandomDelayMs > 0)
            delayMs += std::uniform_int_distribution<int>(0, o.RandomDelayMs)(random_);
        out.startNs = arrivedNs + WireNs(frame.size(), out.baud) + delayMs * kMs;
        out.hangUp = o.HangUpAfter >= 0 && k >= o.HangUpAfter;
    }
    LogLine("RX", frame);
    if (!out.reply.isEmpty())
        LogLine("TX", out.reply);
    return out;
}

QList<TSimChunk> TSimDevice::TOutgoing::Chunks() const {
    QList<TSimChunk> chunks;
    const qsizetype size = reply.size();
    // Byte k leaves the device at start + (k + 1) byte times.
    const int64_t byteNs = WireNs(1, baud);
    auto ready = [&](qsizetype k) { return startNs + (baud == 0 ? 0 : (k + 1) * byteNs); };
    if (adapterMs > 0) {
        // The adapter passes on what it holds when its timer, started by the
        // first byte held, runs out, or at once when a packet is full.
        for (qsizetype from = 0; from < size;) {
            const int64_t timerNs = ready(from) + adapterMs * kMs;
            qsizetype to = from;
            while (to < size && to - from < kAdapterPacket && ready(to) <= timerNs)
                ++to;
            chunks.append({from, to, to - from == kAdapterPacket ? ready(to - 1) : timerNs});
            from = to;
        }
    } else if (baud == 0) {
        chunks.append({0, size, startNs});
    } else {
        for (qsizetype k = 0; k < size; ++k)
            chunks.append({k, k + 1, ready(k)});
    }
    return chunks;
}

void TSimulator::HandleFrame(const QByteArray& frame, int64_t arrivedNs) {
    const TOutgoing out = Respond(frame, arrivedNs, NowNs());
    if (!out.reply.isEmpty() && !Send(out))
        return;
    if (out.hangUp)
        HangUp();
}

void TSimulator::HangUp() {
    // Closing the master discards what the client has not read yet: let the
    // last reply be taken first, as on a cable pulled after it. The kernel
    // moves written bytes to the client's queue a little later, in a worker,
    // so an empty queue means "taken" only after the bytes were seen there
    // or after a grace period; without it a loaded machine lost the reply.
    const int64_t start = NowNs();
    bool seen = false;
    while (NowNs() - start < 1000 * kMs) {
        const int queued = line_.ClientQueued();
        if (queued < 0)
            break;
        if (queued > 0)
            seen = true;
        else if (seen || NowNs() - start >= kHangUpGraceMs * kMs)
            break;
        if (!WaitUntil(NowNs() + kMs))
            break;
    }
    LogLine("HANGUP", {});
    line_.HangUp();
}

QByteArray TSimDevice::TakeJunk(int64_t nowNs) {
    uint32_t baud;
    {
        std::lock_guard lock(mutex_);
        baud = options_.PaceBaud == 0 ? 115200 : options_.PaceBaud;
    }
    const int64_t byteNs = WireNs(1, baud);
    const int64_t due = (nowNs - babbledNs_) / byteNs;
    if (due <= 0)
        return {};
    babbledNs_ += due * byteNs;
    QByteArray junk(int(std::min<int64_t>(due, 4096)), '\0');
    for (char& c : junk)
        c = char(random_() & 0xFF);
    return junk;
}

void TSimulator::Babble() {
    const QByteArray junk = TakeJunk(NowNs());
    // A client that does not read loses the bytes, as on a wire.
    if (!junk.isEmpty())
        line_.Write(junk.constData(), junk.size());
}

void TSimulator::Run() {
    UseFineTimers();
    QByteArray pending;
    int64_t lastRxNs = 0;
    while (!stopping_ && line_.IsOpen()) {
        const TSimLine::TWait w = line_.Wait(Babbling()          ? 1
                                             : pending.isEmpty() ? -1
                                                                 : kPartialFrameMs);
        if (w.interrupted)
            continue;
        if (w.failed)
            return;
        if (w.woken && !DrainWake())
            return;
        if (Babbling())
            Babble();
        if (w.timedOut) {
            if (!pending.isEmpty() &&
                (!Babbling() || NowNs() - lastRxNs >= kPartialFrameMs * kMs)) {
                LogLine("RX-PARTIAL", pending);
                pending.clear();
            }
            continue;
        }
        int64_t arrived = NowNs();
        if (w.readable) {
            char buf[4096];
            const int64_t n = line_.Read(buf, sizeof buf);
            if (n > 0)
                pending.append(buf, qsizetype(n));
            arrived = lastRxNs = NowNs();
        } else if (w.hungUp) {
            // Nobody has the line open; wait for a client without spinning.
            if (line_.WaitWake(10) && !DrainWake())
                return;
        }
        TakeFrames(pending, arrived);
    }
}

TSimDevice::TCut TSimDevice::CutFrame(QByteArray& pending, QByteArray& frame) {
    const int n = uint8_t(pending[0]);
    if (n < 6) {
        LogLine("RX-JUNK", pending.left(1));
        pending.remove(0, 1);
        return TCut::Skipped;
    }
    if (pending.size() < n)
        return TCut::Waiting;
    frame = pending.left(n);
    pending.remove(0, n);
    if (!SumsToZero(frame)) {
        LogLine("RX-BAD", frame);
        return TCut::Skipped;
    }
    return TCut::Frame;
}

void TSimulator::TakeFrames(QByteArray& pending, int64_t arrivedNs) {
    while (!pending.isEmpty() && line_.IsOpen() && !stopping_) {
        QByteArray frame;
        const TCut cut = CutFrame(pending, frame);
        if (cut == TCut::Waiting)
            break;
        if (cut == TCut::Frame)
            HandleFrame(frame, arrivedNs);
    }
}
