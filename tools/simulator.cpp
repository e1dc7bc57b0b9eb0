#include "tools/simulator.h"

#include "model/settings_record.h"
#include "support/errors.h"

#include <QtEndian>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;
// A request that stalls this long is dropped, as a device resynchronises.
constexpr int kPartialFrameMs = 100;
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

[[noreturn]] void SystemFail(const char* what) {
    throw TripError(QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                                 QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

QByteArray DefaultSimMemory() {
    QByteArray m(kImageSize, '\0');
    const auto record = TSettingsRecord::Defaults().ToBytes();
    for (int i = 0; i < kImageSize; ++i)
        m[i] = i < TSettingsRecord::kSize ? char(record[size_t(i)]) : char((i + i / 256) % 256);
    return m;
}

TSimulator::TSimulator(TSimOptions options) : options_(std::move(options)) {
    memory_ = options_.Memory.isEmpty() ? DefaultSimMemory() : options_.Memory;
    memory_.resize(kImageSize, '\0');
    random_.seed(options_.Seed);
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        SystemFail("Can not open a pseudo-terminal");
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    // A client that stopped reading must not block the device.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Raw from the start: no echo, no line editing, no CR/LF translation.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    ::tcsetattr(slave_, TCSANOW, &t);
    char name[128] = {};
    if (::ttyname_r(slave_, name, sizeof name) != 0)
        SystemFail("Can not name the pseudo-terminal");
    slavePath_ = QString::fromLocal8Bit(name);
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        SystemFail("Can not create a pipe");
}

TSimulator::~TSimulator() {
    for (int fd : {master_, slave_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

void TSimulator::Stop() {
    stopping_ = true;
    [[maybe_unused]] const auto n = ::write(wake_[1], "q", 1);
}

void TSimulator::RequestDump() {
    [[maybe_unused]] const auto n = ::write(wake_[1], "d", 1);
}

QByteArray TSimulator::Memory() const {
    std::lock_guard lock(mutex_);
    return memory_;
}

QList<QByteArray> TSimulator::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int TSimulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void TSimulator::Update(const std::function<void(TSimOptions&)>& change) {
    std::lock_guard lock(mutex_);
    change(options_);
}

void TSimulator::LogLine(const char* tag, const QByteArray& bytes) {
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
    char buf[64];
    for (ssize_t n; (n = ::read(wake_[0], buf, sizeof buf)) > 0;)
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == 'd' && OnDump)
                OnDump(Memory());
    return !stopping_;
}

bool TSimulator::WaitUntil(int64_t ns) {
    for (;;) {
        const int64_t now = NowNs();
        if (now >= ns)
            return !stopping_;
        if (ns - now > 2 * kMs) {
            pollfd p{wake_[0], POLLIN, 0};
            if (::poll(&p, 1, int((ns - now) / kMs - 1)) > 0 && !DrainWake())
                return false;
            continue;
        }
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
    }
}

bool TSimulator::Send(const QByteArray& bytes, int64_t startNs, uint32_t baud, int adapterMs) {
    auto write = [this, &bytes](qsizetype from, qsizetype to) {
        while (from < to) {
            const ssize_t n = ::write(master_, bytes.constData() + from, size_t(to - from));
            if (n <= 0)
                return; // nobody reads the line: the bytes are lost, as on a wire
            from += n;
        }
    };
    // Byte k leaves the device at start + (k + 1) byte times.
    const int64_t byteNs = WireNs(1, baud);
    auto ready = [&](qsizetype k) { return startNs + (baud == 0 ? 0 : (k + 1) * byteNs); };
    if (adapterMs > 0) {
        // The adapter passes on what it holds when its timer, started by the
        // first byte held, runs out, or at once when a packet is full.
        for (qsizetype from = 0; from < bytes.size();) {
            const int64_t timerNs = ready(from) + adapterMs * kMs;
            qsizetype to = from;
            while (to < bytes.size() && to - from < kAdapterPacket && ready(to) <= timerNs)
                ++to;
            if (!WaitUntil(to - from == kAdapterPacket ? ready(to - 1) : timerNs))
                return false;
            write(from, to);
            from = to;
        }
        return true;
    }
    if (baud == 0) {
        if (!WaitUntil(startNs))
            return false;
        write(0, bytes.size());
        return true;
    }
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const int64_t now = NowNs();
        const qsizetype due =
            now < startNs ? 0 : std::min<qsizetype>(bytes.size(), (now - startNs) / byteNs);
        if (due > sent) {
            write(sent, due);
            sent = due;
        } else if (!WaitUntil(startNs + (sent + 1) * byteNs)) {
            return false;
        }
    }
    return true;
}

QByteArray TSimulator::Reply(const QByteArray& frame, bool* stopAfter) {
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

void TSimulator::HandleFrame(const QByteArray& frame, int64_t arrivedNs) {
    QByteArray out;
    uint32_t baud;
    int delayMs;
    int adapterMs;
    bool hangUp;
    {
        std::lock_guard lock(mutex_);
        received_.append(frame);
        const int k = ++requests_;
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
        // Position in the fault window; 0 or less before it.
        const int j = k - o.FaultsAfter;
        const bool inWindow = j >= 1 && (o.FaultCount < 0 || j <= o.FaultCount);
        if ((inWindow && o.Silent) || (j >= 1 && j <= o.LoseFirst))
            reply.clear();
        if (inWindow && o.JunkStream && !babbling_) {
            babbling_ = true;
            babbledNs_ = NowNs();
        }
        if (babbling_)
            reply.clear();
        if (const uint8_t command = uint8_t(frame[4]);
            o.LoseFirstBlockTry &&
            (command == kWriteBlockCommand || command == kReadBlockCommand) && frame.size() >= 8) {
            const int key = command << 16 | qFromLittleEndian<uint16_t>(frame.constData() + 5);
            if (key != lastBlockKey_)
                reply.clear();
            lastBlockKey_ = key;
        }
        if (!reply.isEmpty() && inWindow) {
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
        out = reply;
        baud = o.PaceBaud;
        adapterMs = o.AdapterLatencyMs;
        delayMs = o.ReplyDelayMs;
        if (o.RandomDelayMs > 0)
            delayMs += std::uniform_int_distribution<int>(0, o.RandomDelayMs)(random_);
        hangUp = o.HangUpAfter >= 0 && k >= o.HangUpAfter;
    }
    LogLine("RX", frame);
    if (!out.isEmpty()) {
        LogLine("TX", out);
        const int64_t start = arrivedNs + WireNs(frame.size(), baud) + delayMs * kMs;
        if (!Send(out, start, baud, adapterMs))
            return;
    }
    if (hangUp)
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
        int queued = 0;
        if (::ioctl(slave_, TIOCINQ, &queued) != 0)
            break;
        if (queued > 0)
            seen = true;
        else if (seen || NowNs() - start >= kHangUpGraceMs * kMs)
            break;
        if (!WaitUntil(NowNs() + kMs))
            break;
    }
    LogLine("HANGUP", {});
    ::close(master_);
    ::close(slave_);
    master_ = slave_ = -1;
}

void TSimulator::Babble() {
    uint32_t baud;
    {
        std::lock_guard lock(mutex_);
        baud = options_.PaceBaud == 0 ? 115200 : options_.PaceBaud;
    }
    const int64_t byteNs = WireNs(1, baud);
    const int64_t due = (NowNs() - babbledNs_) / byteNs;
    if (due <= 0)
        return;
    babbledNs_ += due * byteNs;
    QByteArray junk(int(std::min<int64_t>(due, 4096)), '\0');
    for (char& c : junk)
        c = char(random_() & 0xFF);
    // A client that does not read loses the bytes, as on a wire.
    [[maybe_unused]] const auto n = ::write(master_, junk.constData(), size_t(junk.size()));
}

void TSimulator::Run() {
    // Replies are paced to fractions of a millisecond.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    QByteArray pending;
    int64_t lastRxNs = 0;
    while (!stopping_ && master_ >= 0) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, babbling_ ? 1 : pending.isEmpty() ? -1 : kPartialFrameMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if ((fds[1].revents & POLLIN) && !DrainWake())
            return;
        if (babbling_)
            Babble();
        if (r == 0) {
            if (!pending.isEmpty() && (!babbling_ || NowNs() - lastRxNs >= kPartialFrameMs * kMs)) {
                LogLine("RX-PARTIAL", pending);
                pending.clear();
            }
            continue;
        }
        int64_t arrived = NowNs();
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                pending.append(buf, n);
            arrived = lastRxNs = NowNs();
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Nobody has the line open; wait for a client without spinning.
            pollfd w{wake_[0], POLLIN, 0};
            if (::poll(&w, 1, 10) > 0 && !DrainWake())
                return;
        }
        while (!pending.isEmpty() && master_ >= 0 && !stopping_) {
            const int n = uint8_t(pending[0]);
            if (n < 6) {
                LogLine("RX-JUNK", pending.left(1));
                pending.remove(0, 1);
                continue;
            }
            if (pending.size() < n)
                break;
            const QByteArray frame = pending.left(n);
            pending.remove(0, n);
            if (!SumsToZero(frame)) {
                LogLine("RX-BAD", frame);
                continue;
            }
            HandleFrame(frame, arrived);
        }
    }
}
