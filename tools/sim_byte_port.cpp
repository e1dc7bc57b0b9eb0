#include "tools/sim_byte_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int64_t kMs = 1000000;
// What a line holds for a client that does not read; more junk is lost.
constexpr qsizetype kLineBuffer = 4096;

} // namespace

TSimBytePort::TSimBytePort(TSimDevice* device, QString path)
    : device_(device), path_(std::move(path)) {}

void TSimBytePort::Plug(TSimDevice* device) {
    device_ = device;
    hangUpNs_ = -1;
    pending_.clear();
    incoming_.clear();
    busyUntilNs_ = nowNs_;
}

TSimDevice* TSimBytePort::Present() {
    return hangUpNs_ < 0 || nowNs_ < hangUpNs_ ? device_ : nullptr;
}

void TSimBytePort::Close() {
    open_ = false;
    // What reaches a closed line is lost, a late reply included.
    incoming_.clear();
}

QList<TSerialDeviceInfo> TSimBytePort::ListDevices() {
    if (!Present())
        return {};
    TSerialDeviceInfo info;
    info.devicePath = path_;
    return {info};
}

TProbeResult TSimBytePort::Probe(const QString& devicePath) {
    return Present() && devicePath == path_ ? TProbeResult::Present : TProbeResult::Absent;
}

bool TSimBytePort::Open(const QString& devicePath) {
    open_ = Present() && devicePath == path_;
    return open_;
}

TOpenFailure TSimBytePort::WhyNotOpen(const QString& devicePath) {
    if (Present() && devicePath == path_)
        return {TOpenFailure::Kind::None, devicePath, {}, {}};
    return {TOpenFailure::Kind::NotFound,
            devicePath,
            QString::fromLocal8Bit(std::strerror(ENOENT)),
            {}};
}

qsizetype TSimBytePort::Readable() const {
    qsizetype n = 0;
    for (const TBytes& b : incoming_) {
        if (b.readyNs > nowNs_)
            break;
        n += b.bytes.size();
    }
    return n;
}

void TSimBytePort::PurgeInput() {
    while (!incoming_.empty() && incoming_.front().readyNs <= nowNs_)
        incoming_.pop_front();
}

int64_t TSimBytePort::Write(const uint8_t* data, int64_t size) {
    if (!open_)
        return 0;
    TSimDevice* device = Present();
    if (device) {
        // The device reads the next request once its last reply is out.
        const int64_t arrived = std::max(nowNs_, busyUntilNs_);
        if (!pending_.isEmpty() && arrived - lastRxNs_ >= kPartialFrameMs * kMs) {
            device->LogLine("RX-PARTIAL", pending_);
            pending_.clear();
        }
        pending_.append(reinterpret_cast<const char*>(data), qsizetype(size));
        lastRxNs_ = arrived;
        busyUntilNs_ = arrived;
        while (!pending_.isEmpty() && hangUpNs_ < 0) {
            QByteArray frame;
            const TSimDevice::TCut cut = device->CutFrame(pending_, frame);
            if (cut == TSimDevice::TCut::Waiting)
                break;
            if (cut == TSimDevice::TCut::Skipped)
                continue;
            const TSimDevice::TOutgoing out = device->Respond(frame, arrived, arrived);
            for (const TSimChunk& c : out.Chunks()) {
                busyUntilNs_ = std::max(c.readyNs, busyUntilNs_);
                incoming_.push_back({busyUntilNs_, out.reply.mid(c.from, c.to - c.from)});
            }
            if (out.hangUp)
                hangUpNs_ = busyUntilNs_;
        }
    }
    // Without a device the bytes are lost, as on a line nobody listens to.
    if (OnWrite)
        OnWrite();
    return size;
}

int64_t TSimBytePort::Read(uint8_t* data, int64_t max) {
    if (!open_)
        return 0;
    int64_t got = 0;
    while (got < max && !incoming_.empty() && incoming_.front().readyNs <= nowNs_) {
        QByteArray& bytes = incoming_.front().bytes;
        const qsizetype n = std::min<qsizetype>(bytes.size(), qsizetype(max - got));
        std::memcpy(data + got, bytes.constData(), size_t(n));
        got += n;
        bytes.remove(0, n);
        if (bytes.isEmpty())
            incoming_.pop_front();
    }
    return got;
}

void TSimBytePort::Advance(int64_t toNs) {
    if (toNs <= nowNs_)
        return;
    nowNs_ = toNs;
    if (TSimDevice* device = Present(); device && device->Babbling()) {
        QByteArray junk = device->TakeJunk(nowNs_);
        junk.truncate(std::max<qsizetype>(0, kLineBuffer - Readable()));
        if (!junk.isEmpty()) {
            // Ahead of replies still on their way, in time order.
            auto at = incoming_.end();
            while (at != incoming_.begin() && std::prev(at)->readyNs > nowNs_)
                --at;
            incoming_.insert(at, {nowNs_, junk});
        }
    }
}

bool TSimBytePort::WaitReadable(int ms) {
    const int64_t end = nowNs_ + std::max(ms, 0) * kMs;
    while (Readable() == 0 && nowNs_ < end) {
        int64_t next = incoming_.empty() ? end : std::min(end, incoming_.front().readyNs);
        // The junk stream comes in slices, as the simulator's line sends it.
        if (TSimDevice* device = Present(); device && device->Babbling())
            next = std::min(next, nowNs_ + kMs);
        Advance(next);
    }
    return Readable() > 0;
}

void TSimBytePort::Sleep(int ms) {
    Advance(nowNs_ + std::max(ms, 0) * kMs);
}
