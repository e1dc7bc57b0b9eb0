#pragma once

#include "core/protocol.h"
#include "tools/sim_line.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

// How the simulated trip computer behaves. The faults (silence, lost replies
// and the damaged replies) apply to the FaultCount requests (all when -1)
// that follow the first FaultsAfter, so a test can make a request fail twice
// and succeed on the third attempt, or let the device connect and then fail.
struct TSimOptions {
    QByteArray Memory;     // 2048 bytes at the start; empty: DefaultSimMemory()
    uint16_t Version = 1;  // settings version answered to command 1
    int ReplyDelayMs = 0;  // before each reply
    int RandomDelayMs = 0; // up to this much more before each reply, drawn per reply
    uint32_t Seed = 1;     // for the random delays and the junk stream
    uint32_t PaceBaud = 0; // 0: no pacing; else request and reply take their wire time
    // A USB adapter between device and client: a reply's bytes reach the
    // client only AdapterLatencyMs after the first of them was ready, or as
    // soon as kAdapterPacket are waiting. 0: no adapter.
    int AdapterLatencyMs = 0;
    bool Silent = false;      // never answer
    int LoseFirst = 0;        // the first K requests of the fault window get no reply
    bool BadChecksum = false; // reply checksum off by one
    bool ZeroHeader = false;  // reply bytes 1..3 zero, checksum made good
    bool Busy = false;        // reply command 255, checksum made good
    int ShortLength = -1;     // reply length byte replaced by this value (below 6)
    int CutAfter = -1;        // only the first N bytes of each reply are sent
    int ShortData = 0;        // replies lack their last N data bytes; length and checksum good
    int OtherCommand = -1;    // reply command byte replaced by this value, checksum good
    // In the fault window, no replies: an endless stream of random bytes at
    // the paced rate (115200 baud when not paced) instead.
    bool JunkStream = false;
    // A block request (4 or 5) for another block than the one asked before
    // gets no reply; asked again, it is answered. Outside the fault window too.
    bool LoseFirstBlockTry = false;
    QByteArray Junk;  // sent before each reply
    QByteArray Trail; // sent right after each reply
    int FaultCount = -1;
    int FaultsAfter = 0;     // requests answered normally before the fault window
    int StopAfterBlock = -1; // answer no request after the one for this block
    int HangUpAfter = -1;    // close the line after answering N requests
    // After answering command 7 the device stores the record: for SettleMs it
    // answers nothing, or the busy command 255 when SettleBusy.
    int SettleMs = 0;
    bool SettleBusy = false;
    int CorruptOffset = -1; // a write block storing this memory byte stores it inverted
};

// A request that stalls this long is dropped, as a device resynchronises.
inline constexpr int kPartialFrameMs = 100;

// The bytes of one USB packet from the adapter (64 less 2 status bytes).
inline constexpr int kAdapterPacket = 62;

// 2048 bytes: the default settings record, then byte i = (i + i / 256) mod 256.
QByteArray DefaultSimMemory();

// When a reply's bytes reach the client: bytes [from, to) once readyNs has
// come, in order.
struct TSimChunk {
    qsizetype from = 0;
    qsizetype to = 0;
    int64_t readyNs = 0;
};

// The trip computer apart from its line and its clock: it answers commands
// 1, 5, 4 and 7 at address 244 and logs every frame it receives in hex ("RX
// 06 F4 01 00 01 04"). Times are nanoseconds on the clock of the line that
// serves it. Memory, Received, Requests and Update may be called from any
// thread; the rest from the line's.
class TSimDevice {
public:
    explicit TSimDevice(TSimOptions options = {});
    TSimDevice(const TSimDevice&) = delete;
    TSimDevice& operator=(const TSimDevice&) = delete;

    // Log lines go here (nullptr: nowhere); each is flushed.
    FILE* Log = nullptr;

    QByteArray Memory() const;
    // The good frames received, in order.
    QList<QByteArray> Received() const;
    int Requests() const;
    // Changes the behaviour while it runs.
    void Update(const std::function<void(TSimOptions&)>& change);

    // What a request makes the device send, and when.
    struct TOutgoing {
        QByteArray reply;    // empty: none
        int64_t startNs = 0; // the reply's first byte starts leaving then
        uint32_t baud = 0;
        int adapterMs = 0;
        bool hangUp = false; // after this reply
        // When its bytes reach the client, as the pacing and the adapter say.
        QList<TSimChunk> Chunks() const;
    };
    // Cuts the next frame out of the bytes received: Waiting while the
    // frame at the front has not wholly come, Skipped for a byte or a frame
    // that is dropped (and logged), Frame with the frame taken.
    enum class TCut { Waiting, Skipped, Frame };
    TCut CutFrame(QByteArray& pending, QByteArray& frame);
    // Counts and logs the request that arrived at arrivedNs and decides its
    // reply; nowNs: the line's time now.
    TOutgoing Respond(const QByteArray& frame, int64_t arrivedNs, int64_t nowNs);
    // Whether the junk stream runs, and its bytes due by nowNs since the last call.
    bool Babbling() const { return babbling_; }
    QByteArray TakeJunk(int64_t nowNs);
    void LogLine(const char* tag, const QByteArray& bytes);

private:
    // The reply before any fault: none while settling or after a stop.
    QByteArray Answer(const QByteArray& frame, int64_t arrivedNs);
    // Whether a fault keeps the reply off the line; j: the request's place
    // in the fault window.
    bool Withheld(const QByteArray& frame, int j, bool inWindow, int64_t nowNs);
    // Damages a reply in the fault window as the options say.
    void Damage(QByteArray& reply) const;
    QByteArray Reply(const QByteArray& frame, bool* stopAfter);

    mutable std::mutex mutex_;
    TSimOptions options_;
    QByteArray memory_;
    QList<QByteArray> received_;
    int requests_ = 0;
    bool mute_ = false;
    int64_t settledNs_ = 0; // requests before this time meet a settling device
    std::mt19937 random_;
    bool babbling_ = false;
    int64_t babbledNs_ = 0; // the junk stream has been sent up to here
    int lastBlockKey_ = -1; // command and block of the last block request
};

// The trip computer on a pseudo-terminal, on the real clock. Run it in its
// own thread or process; Stop and RequestDump may be called from any thread
// or a signal handler.
class TSimulator : public TSimDevice {
public:
    // Opens the pseudo-terminal; TripError when it cannot.
    explicit TSimulator(TSimOptions options);
    ~TSimulator();

    // The device path a client opens.
    QString SlavePath() const { return line_.ClientPath(); }
    // Serves until Stop() or until it hangs up (HangUpAfter).
    void Run();
    void Stop();
    void RequestDump();

    // Called on the serving thread for RequestDump.
    std::function<void(const QByteArray& memory)> OnDump;

private:
    // Cuts the frames out of the bytes received and answers each.
    void TakeFrames(QByteArray& pending, int64_t arrivedNs);
    void HandleFrame(const QByteArray& frame, int64_t arrivedNs);
    // Sends a reply at its paced times; false when stopped meanwhile.
    bool Send(const TOutgoing& out);
    bool WaitUntil(int64_t ns);
    bool DrainWake(); // false when a stop was asked for
    void HangUp();
    // Sends the junk stream's bytes that are due by now.
    void Babble();

    TSimLine line_;
    std::atomic<bool> stopping_{false};
};

// A simulator serving on its own thread for the life of this object.
class TSimulatorThread {
public:
    explicit TSimulatorThread(TSimOptions options = {})
        : sim(std::move(options)), thread_([this] { sim.Run(); }) {}
    ~TSimulatorThread() {
        sim.Stop();
        thread_.join();
    }
    TSimulatorThread(const TSimulatorThread&) = delete;
    TSimulatorThread& operator=(const TSimulatorThread&) = delete;

    TSimulator sim;

private:
    std::thread thread_;
};
