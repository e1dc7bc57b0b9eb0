// Feeds arbitrary byte streams, with arbitrary gaps, to the link's receiver
// through the byte-port seam, on a virtual clock so time-outs cost nothing.
// Two block requests in a row: a reply passes only with command 5 and 38
// bytes, and after a doubtful first exchange the second request goes out
// only after a whole version reply came in answer to the resync request.
//
// Input: byte 0 picks the reply time-out; then records of one control byte c
// and (c & 15) + 1 data bytes that arrive (c >> 4) * 20 ms after the ones before.

#include "link/checksum.h"
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
    // Every byte the link took, and each frame written with how many it had
    // taken by then.
    std::vector<uint8_t> taken;
    std::vector<std::pair<std::vector<uint8_t>, size_t>> written;
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
    int64_t Write(const uint8_t* d, int64_t n) override {
        written.push_back({std::vector<uint8_t>(d, d + n), taken.size()});
        return n;
    }
    int64_t Read(uint8_t* d, int64_t max) override {
        Arrive();
        const int64_t n = std::min<int64_t>(max, int64_t(arrived.size()));
        std::copy(arrived.begin(), arrived.begin() + n, d);
        taken.insert(taken.end(), arrived.begin(), arrived.begin() + n);
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
    link.ShowPortProblem = [](const TPortProblem&) {};
    link.SetDevicePath(QStringLiteral("fuzz"));
    link.SetPortOpen(true);
    link.ReplyTimeout = uint16_t(data[0] * 4);
    link.ResyncCommand = 1;
    link.ResyncReplyLength = 9;
    const int64_t start = port->NowMs();
    const std::vector<uint8_t> version{6, 244, 1, 0, 1, 4};
    for (const uint16_t block : {7, 9}) {
        const bool doubt = link.LineInDoubt();
        const size_t before = port->written.size();
        try {
            link.BeginRequest(244, 5);
            link.PutWord(block);
            link.Transact(38);
            // Only the answer to this request may pass.
            const auto& r = link.ReplyBuffer;
            if (r[0] != 38 || r[4] != 5 || !link.ReplyChecksumOk() ||
                (r[1] == 0 && r[2] == 0 && r[3] == 0) || link.ReplyPos != 5)
                std::abort();
            link.GetString(); // may run to the end of the buffer: a range error
        } catch (const TripError&) {
        }
        const auto& w = port->written;
        const std::vector<uint8_t> request(link.RequestBuffer.begin(),
                                           link.RequestBuffer.begin() + link.RequestBuffer[0]);
        size_t firstRequest = before;
        while (firstRequest < w.size() && w[firstRequest].first != request)
            ++firstRequest;
        if (!doubt) {
            if (w.size() > before && firstRequest != before)
                std::abort();
            continue;
        }
        // In doubt: resync requests first, and the request only after a whole
        // version reply came after the last of them.
        for (size_t k = before; k < firstRequest; ++k)
            if (w[k].first != version)
                std::abort();
        if (firstRequest == w.size())
            continue;
        if (firstRequest == before)
            std::abort();
        const std::vector<uint8_t>& t = port->taken;
        bool answered = false;
        for (size_t k = w[firstRequest - 1].second; k + 9 <= w[firstRequest].second; ++k) {
            answered =
                answered || (t[k] == 9 && t[k + 4] == 1 && SumsToZero(std::span(t).subspan(k, 9)) &&
                             (t[k + 1] | t[k + 2] | t[k + 3]) != 0);
        }
        if (!answered)
            std::abort();
    }
    // Two requests and a resync can never outlast their time-outs: no hang.
    const int64_t exchange = 3 * (link.ReplyTimeout + 1 + 255 * (link.ByteTimeout + 1)) + 100 + 60;
    if (port->NowMs() - start > 3 * exchange)
        std::abort();
    return 0;
}
