// Feeds arbitrary byte streams, with arbitrary gaps, to the link's receiver
// through the byte-port seam, on a virtual clock so time-outs cost nothing.
//
// Input: byte 0 picks the reply time-out; then records of one control byte c
// and (c & 15) + 1 data bytes that arrive (c >> 4) * 20 ms after the ones before.

#include "link/serial_link.h"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <vector>

namespace {

struct Chunk {
    int64_t at; // virtual ms at which it arrives
    std::vector<uint8_t> bytes;
};

class FuzzPort final : public TBytePort {
public:
    std::deque<Chunk> chunks;
    std::vector<uint8_t> arrived;
    int64_t now = 0;
    bool open = false;

    QList<TSerialDeviceInfo> ListDevices() override { return {}; }
    TProbeResult Probe(const QString&) override { return TProbeResult::Present; }
    bool Open(const QString&) override { return open = true; }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    uint32_t SetBaudRate(uint32_t b) override { return b; }
    bool SetByteSize(uint8_t) override { return true; }
    bool SetParity(uint8_t) override { return true; }
    bool SetStopBits(uint8_t) override { return true; }
    bool SetDtr(bool) override { return true; }
    void PurgeInput() override {
        Arrive();
        arrived.clear();
    }
    void PurgeOutput() override {}
    int64_t Write(const uint8_t*, int64_t n) override { return n; }
    int64_t Read(uint8_t* d, int64_t max) override {
        Arrive();
        const int64_t n = std::min<int64_t>(max, int64_t(arrived.size()));
        std::copy(arrived.begin(), arrived.begin() + n, d);
        arrived.erase(arrived.begin(), arrived.begin() + n);
        return n;
    }
    bool WaitReadable(int ms) override {
        Arrive();
        if (!arrived.empty())
            return true;
        if (!chunks.empty() && chunks.front().at <= now + ms) {
            now = std::max(now, chunks.front().at);
            Arrive();
            return true;
        }
        now += ms;
        return false;
    }
    int64_t NowMs() override { return now; }
    void Sleep(int ms) override { now += ms; }

private:
    void Arrive() {
        while (!chunks.empty() && chunks.front().at <= now) {
            arrived.insert(arrived.end(), chunks.front().bytes.begin(), chunks.front().bytes.end());
            chunks.pop_front();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    auto owned = std::make_unique<FuzzPort>();
    FuzzPort* port = owned.get();
    size_t i = 1;
    int64_t at = 0;
    while (i < size) {
        const uint8_t c = data[i++];
        at += (c >> 4) * 20;
        const size_t n = std::min<size_t>((c & 15) + 1, size - i);
        port->chunks.push_back({at, std::vector<uint8_t>(data + i, data + i + n)});
        i += n;
    }

    TSerialLink link(std::move(owned));
    link.ShowError = [](const QString&) {};
    link.SetDevicePath(QStringLiteral("fuzz"));
    link.SetPortOpen(true);
    link.ReplyTimeout = uint16_t(data[0] * 4);
    const int64_t start = port->NowMs();
    try {
        link.BeginRequest(244, 5);
        link.PutWord(7);
        link.Transact(38);
        // Only a well-formed reply may pass.
        const auto& r = link.ReplyBuffer;
        if (r[0] < 6 || !link.ReplyChecksumOk() || (r[1] == 0 && r[2] == 0 && r[3] == 0) ||
            r[4] == 255 || link.ReplyPos != 5)
            std::abort();
        link.GetString(); // may run to the end of the buffer: a range error
    } catch (const TripError&) {
    }
    // Three attempts can never outlast their time-outs: no hang.
    const int64_t limit = 3 * (link.ReplyTimeout + 1 + 255 * (link.ByteTimeout + 1)) + 100 + 60;
    if (port->NowMs() - start > limit)
        std::abort();
    return 0;
}
