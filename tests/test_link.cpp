#include "core/port_texts.h"
#include "link/port_table.h"
#include "link/qt_byte_port.h"
#include "link/serial_link.h"
#include "support/errors.h"
#include "support/ini_file.h"
#include "tools/sim_byte_port.h"
#include "tools/simulator.h"
#include "ui/translation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include <atomic>
#include <fcntl.h>
#include <linux/serial.h>
#include <numeric>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QByteArray Bytes(const char* hex) {
    return QByteArray::fromHex(hex);
}

QByteArray Sent(const TSerialLink& link) {
    const int n = link.RequestBuffer[0] == 0 ? 256 : link.RequestBuffer[0];
    return QByteArray(reinterpret_cast<const char*>(link.RequestBuffer.data()), n);
}

void SetReply(TSerialLink& link, const QByteArray& bytes) {
    std::copy(bytes.begin(), bytes.end(), link.ReplyBuffer.begin());
    link.ReplyPos = 5;
}

QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    }
    return {};
}

// A link on the simulator's line, as a transfer opens it.
void Attach(TSerialLink& link, const TSimulator& sim, uint16_t replyTimeout = 100) {
    link.SetDevicePath(sim.SlavePath());
    link.SetPortOpen(true);
    link.SetBaudRate(115200);
    link.ReplyTimeout = replyTimeout;
}

// The link's debug log while this lives, as lines.
class TLinkLogCapture {
public:
    TLinkLogCapture() {
        QLoggingCategory::setFilterRules(QStringLiteral("tripconf.link.debug=true"));
        active_ = this;
        previous_ = qInstallMessageHandler(&Handle);
    }
    ~TLinkLogCapture() { Stop(); }
    // Ends the capture; answers what it caught.
    QStringList Stop() {
        if (active_ == this) {
            qInstallMessageHandler(previous_);
            active_ = nullptr;
            QLoggingCategory::setFilterRules(QString());
        }
        return lines;
    }
    QStringList lines;

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (active_ && context.category && qstrcmp(context.category, "tripconf.link") == 0)
            active_->lines.append(text);
        else if (previous_)
            previous_(type, context, text);
    }
    static inline TLinkLogCapture* active_ = nullptr;
    static inline QtMessageHandler previous_ = nullptr;
};

uint16_t AskVersion(TSerialLink& link) {
    link.Request(244, 1, 9);
    link.GetByte();
    return link.GetWord();
}

// Collects the traffic log's lines (category "tripconf.link") while it lives.

// The real line, with the device list the test chooses.
class TListedPort : public TBytePort {
public:
    explicit TListedPort(QList<TSerialDeviceInfo> devices) : list(std::move(devices)) {}
    QList<TSerialDeviceInfo> list; // what the system lists now
    QList<TSerialDeviceInfo> ListDevices() override { return list; }
    TProbeResult Probe(const QString& p) override { return real_.Probe(p); }
    bool Open(const QString& p) override { return real_.Open(p); }
    TOpenFailure WhyNotOpen(const QString& p) override { return real_.WhyNotOpen(p); }
    TOpenFailure Inspect(const QString& p, bool h) override { return real_.Inspect(p, h); }
    bool IsOpen() const override { return real_.IsOpen(); }
    void Close() override { real_.Close(); }
    uint32_t SetBaudRate(uint32_t b) override { return real_.SetBaudRate(b); }
    bool SetByteSize(uint8_t v) override { return real_.SetByteSize(v); }
    bool SetParity(uint8_t v) override { return real_.SetParity(v); }
    bool SetStopBits(uint8_t v) override { return real_.SetStopBits(v); }
    bool SetDtr(bool on) override { return real_.SetDtr(on); }
    void PurgeInput() override { real_.PurgeInput(); }
    void PurgeOutput() override { real_.PurgeOutput(); }
    int64_t Write(const uint8_t* d, int64_t n) override { return real_.Write(d, n); }
    int64_t Read(uint8_t* d, int64_t n) override { return real_.Read(d, n); }
    bool WaitReadable(int ms) override { return real_.WaitReadable(ms); }
    int64_t NowMs() override { return real_.NowMs(); }
    void Sleep(int ms) override { real_.Sleep(ms); }

private:
    TQtBytePort real_;
};

// A silent line on a virtual clock. Its sleeps wake early, as a signal can
// wake a real one, and count the clock's time spent in them.
class TVirtualClockPort : public TBytePort {
public:
    int64_t now = 0;
    int64_t slept = 0;

    QList<TSerialDeviceInfo> ListDevices() override { return {}; }
    TProbeResult Probe(const QString&) override { return TProbeResult::Present; }
    bool Open(const QString&) override { return open_ = true; }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    uint32_t SetBaudRate(uint32_t baud) override { return baud; }
    bool SetByteSize(uint8_t) override { return true; }
    bool SetParity(uint8_t) override { return true; }
    bool SetStopBits(uint8_t) override { return true; }
    bool SetDtr(bool) override { return false; }
    void PurgeInput() override {}
    void PurgeOutput() override {}
    int64_t Write(const uint8_t*, int64_t size) override { return size; }
    int64_t Read(uint8_t*, int64_t) override { return 0; }
    bool WaitReadable(int ms) override {
        now += ms;
        return false;
    }
    int64_t NowMs() override { return now; }
    void Sleep(int ms) override {
        const int64_t woke = (ms + 1) / 2;
        now += woke;
        slept += woke;
    }

private:
    bool open_ = false;
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void requestFramesAreBuiltAsOnTheWire() {
        TSerialLink link;
        link.BeginRequest(244, 1);
        link.FinishFrame();
        QCOMPARE(Sent(link), Bytes("06f401000104"));
        QCOMPARE(link.RequestPos, 5);

        link.BeginRequest(244, 5);
        link.PutWord(3);
        link.FinishFrame();
        QCOMPARE(Sent(link), Bytes("08f40100050300fb"));

        link.BeginRequest(244, 7);
        link.PutWord(0);
        link.PutWord(120);
        link.FinishFrame();
        QCOMPARE(Sent(link), Bytes("0af40100070000780082"));

        link.BeginRequest(244, 4);
        link.PutWord(0);
        link.PutWord(32);
        for (int i = 0; i < 32; ++i)
            link.PutByte(uint8_t(i));
        link.FinishFrame();
        QCOMPARE(Sent(link).size(), 42);

        link.BeginFrame();
        link.FinishFrame();
        QCOMPARE(Sent(link), Bytes("02fe"));
        link.BeginFrame();
        link.PutByte(0xFD); // 3 + FD is 0 modulo 256
        link.FinishFrame();
        QCOMPARE(Sent(link), Bytes("03fd00"));

        link.BeginFrame();
        link.PutWord(0x1234);
        link.PutDWord(-2);
        link.PutSingle(1.0f);
        link.PutChar('A');
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(link.RequestBuffer.data()) + 1, 11),
                 Bytes("3412feffffff0000803f41"));
    }

    void framesAndBuffersHaveTheirLimits() {
        TSerialLink link;
        link.BeginFrame();
        for (int i = 1; i < 254; ++i)
            link.PutByte(1);
        link.FinishFrame();
        QCOMPARE(int(link.RequestBuffer[0]), 255);
        link.BeginFrame();
        for (int i = 1; i < 255; ++i)
            link.PutByte(1);
        link.RequestBuffer[0] = 0x77;
        QCOMPARE(ErrorOf([&] { link.FinishFrame(); }), QStringLiteral("Range check error"));
        QCOMPARE(int(link.RequestBuffer[0]), 0x77); // not finished

        link.RequestPos = 2047;
        link.PutByte(9);
        QCOMPARE(ErrorOf([&] { link.PutByte(9); }), QStringLiteral("Range check error"));
        QCOMPARE(link.RequestPos, 2048);
        link.ReplyPos = 2046;
        QCOMPARE(ErrorOf([&] { link.GetDWord(); }), QStringLiteral("Range check error"));

        // A request too long for its length byte is never sent.
        TSimulatorThread s;
        Attach(link, s.sim, 1000); // success path: room for a loaded machine
        link.BeginRequest(244, 1);
        for (int i = 0; i < 250; ++i)
            link.PutByte(0);
        QCOMPARE(ErrorOf([&] { link.Transact(6); }), QStringLiteral("Range check error"));
        QTest::qWait(50);
        QCOMPARE(s.sim.Requests(), 0);
    }

    void repliesAreTakenApart() {
        TSerialLink link;
        SetReply(link, Bytes("06f401000104"));
        QVERIFY(link.ReplyChecksumOk());
        QCOMPARE(link.GetByte(), uint8_t(0x04)); // offset 5 is already the checksum

        SetReply(link, Bytes("0000000000"
                             "3412"
                             "feffffff"
                             "0000803f"
                             "000000000000f03f"
                             "414200"));
        QCOMPARE(link.GetWord(), uint16_t(0x1234));
        QCOMPARE(link.GetDWord(), -2);
        QCOMPARE(link.GetSingle(), 1.0f);
        QCOMPARE(link.GetDouble(), 1.0);
        QCOMPARE(link.GetString(), QByteArray("AB"));
        QCOMPARE(link.ReplyPos, 5 + 2 + 4 + 4 + 8 + 3);
        QVERIFY(link.ReplyChecksumOk()); // a length byte of 0 sums nothing
        link.ReplyBuffer[0] = 6;
        QVERIFY(!link.ReplyChecksumOk());
    }

    void lineAllowanceRoundsHalvesToEven() {
        TSerialLink link;
        link.RequestPos = 5;
        QCOMPARE(link.LineAllowance(), 0); // 0.42
        link.RequestPos = 7;
        QCOMPARE(link.LineAllowance(), 1); // 0.58
        link.BaudRate = 19200;
        link.RequestPos = 5;
        QCOMPARE(link.LineAllowance(), 2); // 2.5
        link.RequestPos = 3;
        QCOMPARE(link.LineAllowance(), 2); // 1.5
    }

    void exchangesWithTheDevice() {
        TSimOptions o;
        o.Version = 0x2A17;
        TSimulatorThread s(o);
        TSerialLink link;
        int idle = 0;
        link.ProcessEvents = [&idle] { ++idle; };
        {
            // A pseudo-terminal has no low-latency mode; the link goes on without it.
            TLinkLogCapture log;
            Attach(link, s.sim, 1000); // success path: room for a loaded machine
            QVERIFY2(log.lines.filter(QStringLiteral("low-latency mode refused")).size() == 1,
                     qPrintable(log.lines.join(QLatin1Char('\n'))));
        }
        QVERIFY(link.IsPortOpen());
        QCOMPARE(link.BaudRate, 115200u);
        QCOMPARE(AskVersion(link), uint16_t(0x2A17));
        QVERIFY(idle > 0);

        for (uint16_t block : {0, 3, 63}) {
            link.BeginRequest(244, 5);
            link.PutWord(block);
            link.Transact(38);
            QByteArray got;
            for (int i = 0; i < 32; ++i)
                got.append(char(link.GetByte()));
            QCOMPARE(got, s.sim.Memory().mid(block * 32, 32));
        }

        link.ReplyTimeout = 3000;
        link.BeginRequest(244, 4);
        link.PutWord(2);
        link.PutWord(32);
        for (int i = 0; i < 32; ++i)
            link.PutByte(uint8_t(0xA0 + i));
        link.Transact(6);
        link.BeginRequest(244, 7);
        link.PutWord(0);
        link.PutWord(120);
        link.Transact(6);
        QCOMPARE(s.sim.Memory().mid(64, 4), Bytes("a0a1a2a3"));

        const QList<QByteArray> rx = s.sim.Received();
        QCOMPARE(rx.size(), 6);
        QCOMPARE(rx[0], Bytes("06f401000104"));
        QCOMPARE(rx[2], Bytes("08f40100050300fb"));
        QCOMPARE(rx[5], Bytes("0af40100070000780082"));

        // A port closed between transfers opens again on the same line.
        link.SetPortOpen(false);
        link.SetPortOpen(true);
        QCOMPARE(AskVersion(link), uint16_t(0x2A17));
    }

    void failuresCarryTheirMessagesAfterThreeAttempts_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("minMs");
        // How the traffic log's last line of the third attempt ends.
        QTest::addColumn<QString>("logged");
        const QString noLink = QString::fromLatin1(kNoLinkText);
        // Three waits of ReplyTimeout (100) and two pauses of 50 ms.
        QTest::newRow("silent") << 0 << noLink << 400 << "RX (no reply)";
        QTest::newRow("length byte 5") << 1 << noLink << 100 << "RX 05 (length below 6)";
        QTest::newRow("junk 00 first") << 2 << noLink << 100 << "RX 00 (length below 6)";
        QTest::newRow("stops after 3 bytes") << 3 << QString::fromLatin1(kDelayWithinBlockText)
                                             << 3 * 200 + 100 << "RX 09 F4 01 (cut off)";
        QTest::newRow("checksum") << 4 << QStringLiteral("RS232. Exchange error.(0)") << 100
                                  << "RX 09 F4 01 00 01 00 01 00 01 (bad checksum)";
        QTest::newRow("bytes 1..3 zero")
            << 5 << QStringLiteral("RS232. Exchange error.(4)") << 100 << "RX 09 00 00 00";
        QTest::newRow("busy") << 6 << QString::fromUtf8(kDeviceBusyText) << 100
                              << "RX 09 F4 01 00 FF";
        QTest::newRow("late") << 7 << noLink << 400 << "RX (no reply)";
        const QString wrong = QStringLiteral("RS232. Exchange error.(5)");
        QTest::newRow("a data byte short") << 8 << wrong << 100 << "RX 08 F4 01 00 01 00 01";
        QTest::newRow("another command") << 9 << wrong << 100 << "RX 09 F4 01 00 05 00 01 00";
        QTest::newRow("a data byte too many")
            << 10 << wrong << 100 << "RX 0A F4 01 00 01 00 01 00 00 FF";
    }

    void failuresCarryTheirMessagesAfterThreeAttempts() {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QFETCH(int, minMs);
        QFETCH(QString, logged);
        TSimOptions o;
        switch (fault) {
        case 0:
            o.Silent = true;
            break;
        case 1:
            o.ShortLength = 5;
            break;
        case 2:
            o.Junk = Bytes("00");
            break;
        case 3:
            o.CutAfter = 3;
            break;
        case 4:
            o.BadChecksum = true;
            break;
        case 5:
            o.ZeroHeader = true;
            break;
        case 6:
            o.Busy = true;
            break;
        case 7:
            // Each reply lands in the 50 ms pause after its attempt gave up
            // (attempts start 150 ms apart), where the next request's purge
            // drops it; 150 would race that purge.
            o.ReplyDelayMs = 125;
            break;
        case 8:
            o.ShortData = 1;
            break;
        case 9:
            o.OtherCommand = 5;
            break;
        case 10:
            // A whole frame of 10 bytes, checksum good, instead of 9.
            o.Junk = Bytes("0af401000100010000ff");
            o.CutAfter = 0;
            break;
        }
        TSimulatorThread s(o);
        TSerialLink link;
        Attach(link, s.sim);
        TLinkLogCapture log;
        QElapsedTimer t;
        t.start();
        QCOMPARE(ErrorOf([&] { AskVersion(link); }), message);
        const qint64 ms = t.elapsed();
        QVERIFY2(ms >= minMs - 2 && ms < minMs + 1500, qPrintable(QString::number(ms)));
        QTest::qWait(20);
        QCOMPARE(s.sim.Requests(), 3);
        // The support log: each request and what came, the bytes in hex.
        const QStringList lines = log.Stop();
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^\\d+ ms TX 06 F4 01 00 01 04$")))
                     .size(),
                 3);
        QVERIFY2(!lines.isEmpty() &&
                     lines.last().contains(QRegularExpression(
                         QStringLiteral("^\\d+ ms ") + QRegularExpression::escape(logged) +
                         (logged.endsWith(QLatin1Char(')')) ? QStringLiteral("$") : QString()))),
                 qPrintable(lines.join(QLatin1Char('|'))));
    }

    void aFailedAttemptIsRetried() {
        TSimOptions o;
        o.BadChecksum = true;
        o.FaultCount = 2;
        TSimulatorThread s(o);
        TSerialLink link;
        Attach(link, s.sim, 1000); // success path: room for a loaded machine
        QElapsedTimer t;
        t.start();
        QCOMPARE(AskVersion(link), uint16_t(1));
        QVERIFY(t.elapsed() >= 100);
        QCOMPARE(s.sim.Requests(), 3);

        // A device slower than the reply timeout answers when given the time.
        s.sim.Update([](TSimOptions& o) { o.ReplyDelayMs = 150; });
        link.ReplyTimeout = 250;
        QCOMPARE(AskVersion(link), uint16_t(1));
        QCOMPARE(s.sim.Requests(), 4);

        // Paced at 9600 baud, a reply's bytes come about 1.1 ms apart.
        s.sim.Update([](TSimOptions& o) {
            o.ReplyDelayMs = 0;
            o.PaceBaud = 9600;
        });
        link.BeginRequest(244, 5);
        link.PutWord(1);
        link.Transact(38);
        QCOMPARE(s.sim.Requests(), 5);
    }

    // The pause between attempts is measured on the port's clock, not
    // counted in sleeps: sleeps that wake early do not shorten it.
    void pausesBetweenAttemptsFollowThePortsClock() {
        auto owned = std::make_unique<TVirtualClockPort>();
        TVirtualClockPort& port = *owned;
        TSerialLink link(std::move(owned));
        link.SetDevicePath(QStringLiteral("virtual"));
        link.SetPortOpen(true);
        QVERIFY(port.IsOpen());
        link.ReplyTimeout = 100;
        link.RetryPause = 30;
        QCOMPARE(ErrorOf([&] { AskVersion(link); }), QString::fromLatin1(kNoLinkText));
        // Two pauses, each ending within the last sleep's slice.
        QVERIFY2(port.slept >= 2 * 30 && port.slept < 2 * (30 + TSerialLink::kWaitSliceMs),
                 qPrintable(QString::number(port.slept)));
    }

    // After an exchange that failed an attempt, the next request goes out
    // only once the device has answered the resync request, or, without one,
    // once the line has been quiet for the reply time-out.
    // The simulator as an in-process line on a virtual clock: its replies
    // take their wire time as on the pseudo-terminal, and what reaches a
    // closed line is lost, a late reply too.
    void theInProcessLineKeepsTheLinesTimesAndLosses() {
        TSimOptions o;
        o.PaceBaud = 9600;
        TSimDevice device(o);
        auto owned = std::make_unique<TSimBytePort>(&device);
        TSimBytePort& line = *owned;
        TSerialLink link(std::move(owned));
        link.SetDevicePath(line.Path());
        link.SetPortOpen(true);
        QVERIFY(link.IsPortOpen());
        const int64_t start = line.NowMs();
        QCOMPARE(AskVersion(link), uint16_t(1));
        // 6 bytes out and 9 back, 11 bits a byte.
        QCOMPARE(line.NowMs() - start, int64_t((6 + 9) * 11 * 1000 / 9600));

        device.Update([](TSimOptions& d) { d.ReplyDelayMs = 500; });
        link.ReplyTimeout = 100;
        QCOMPARE(ErrorOf([&] { AskVersion(link); }), QString::fromLatin1(kNoLinkText));
        link.SetPortOpen(false);
        link.SetPortOpen(true);
        uint8_t byte = 0;
        QVERIFY(!line.WaitReadable(2000));
        QCOMPARE(line.Read(&byte, 1), int64_t(0));
        link.SetPortOpen(false);
        QCOMPARE(line.Read(&byte, 1), int64_t(0));
        QCOMPARE(line.Write(&byte, 1), int64_t(0));
    }

    void aDoubtfulExchangeIsSettledBeforeTheNextRequest() {
        for (const uint8_t resync : {uint8_t(1), uint8_t(0)}) {
            TSimOptions o;
            o.ShortData = 1;
            o.FaultCount = 1;
            TSimulatorThread s(o);
            TSerialLink link;
            link.ResyncCommand = resync;
            link.ResyncReplyLength = 9;
            Attach(link, s.sim, 300);
            auto block = [&link](uint16_t b) {
                link.BeginRequest(244, 5);
                link.PutWord(b);
                link.Transact(38);
            };
            block(5);
            QVERIFY(link.LineInDoubt());
            block(6);
            QVERIFY(!link.LineInDoubt());
            QStringList rx;
            for (const QByteArray& f : s.sim.Received())
                rx << QString::fromLatin1(f.mid(4, 2).toHex());
            QCOMPARE(rx, resync ? QStringList({"0505", "0505", "0104", "0506"})
                                : QStringList({"0505", "0505", "0506"}));
            if (!resync)
                continue;
            // A resync that gets no good answer is no link; the request stays unsent.
            s.sim.Update([](TSimOptions& o) { o.FaultCount = -1; });
            link.ReplyTimeout = 50;
            QCOMPARE(ErrorOf([&] { block(7); }), QStringLiteral("RS232. Exchange error.(5)"));
            QVERIFY(link.RequestWentOut());
            QCOMPARE(ErrorOf([&] { block(8); }), QString::fromLatin1(kNoLinkText));
            QVERIFY(!link.RequestWentOut());
            QVERIFY(link.LineInDoubt());
            // The simulator thread may log the last request a little later.
            QTRY_COMPARE_WITH_TIMEOUT(s.sim.Received().size(), 4 + 3 + 3, 2000);
            QVERIFY(!s.sim.Received().contains(QByteArray::fromHex("08f40100050800f6")));
        }
    }

    void staleBytesArePurgedBeforeARequest() {
        // After each reply the device sends a whole second reply with another version.
        TSimOptions o;
        o.Trail = Bytes("09f401000100efbe00");
        o.Trail[8] = char(-std::accumulate(o.Trail.begin(), o.Trail.end(), 0));
        TSimulatorThread s(o);
        TSerialLink link;
        Attach(link, s.sim, 1000);
        QCOMPARE(AskVersion(link), uint16_t(1));
        QTest::qWait(50);
        s.sim.Update([](TSimOptions& o) { o.Trail.clear(); });
        QCOMPARE(AskVersion(link), uint16_t(1));
        QCOMPARE(s.sim.Requests(), 2);
    }

    void aDeadLineEndsWithNoLink() {
        const QString noLink = QString::fromLatin1(kNoLinkText);
        TSerialLink link;
        link.SetDevicePath(dir.filePath(QStringLiteral("no-such-tty")));
        link.SetPortOpen(true);
        QVERIFY(!link.IsPortOpen());
        link.ReplyTimeout = 100;
        QElapsedTimer t;
        t.start();
        QCOMPARE(ErrorOf([&] { AskVersion(link); }), noLink);
        QVERIFY2(t.elapsed() >= 400 && t.elapsed() < 1500,
                 qPrintable(QString::number(t.elapsed())));

        TSimOptions o;
        o.HangUpAfter = 1;
        TSimulatorThread s(o);
        Attach(link, s.sim, 1000); // success path: room for a loaded machine
        QCOMPARE(AskVersion(link), uint16_t(1));
        QTest::qWait(20);
        link.ReplyTimeout = 100;
        t.restart();
        QCOMPARE(ErrorOf([&] { AskVersion(link); }), noLink);
        QVERIFY2(t.elapsed() >= 400 && t.elapsed() < 1500,
                 qPrintable(QString::number(t.elapsed())));
        QCOMPARE(s.sim.Requests(), 1);
    }

    // The simulator hangs up only once its last reply has reached the client,
    // also when busy threads keep the kernel from passing the reply on at once.
    // Its busy threads would slow the timing-bound tests beside it: CTest runs
    // it alone, as test_link_under_load.
    void theLastReplyBeforeAHangUpArrives() {
        if (qEnvironmentVariableIsEmpty("TRIPCONF_UNDER_LOAD"))
            QSKIP("runs alone as test_link_under_load");
        std::atomic<bool> busy{true};
        std::vector<std::thread> load;
        for (int i = 0; i < 2; ++i)
            load.emplace_back([&busy] {
                while (busy)
                    std::this_thread::yield();
            });
        int lost = 0;
        for (int i = 0; i < 40; ++i) {
            TSimOptions o;
            o.HangUpAfter = 1;
            TSimulatorThread s(o);
            TSerialLink link;
            Attach(link, s.sim, 1000);
            try {
                link.Request(244, 1, 9); // a retry would find the line gone
            } catch (const TripError&) {
                ++lost;
            }
        }
        busy = false;
        for (std::thread& t : load)
            t.join();
        QCOMPARE(lost, 0);
    }

    // A real serial port is put in low-latency mode while open and gets its
    // own flags back at closing.
    void lowLatencyModeOnlyWhileOpen() {
        if (qEnvironmentVariableIsEmpty("TRIPCONF_MACHINE_PORT"))
            QSKIP("runs alone as test_link_machine_port");
        const int fd = ::open("/dev/ttyS0", O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            QSKIP("no /dev/ttyS0 to open");
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        auto flags = [fd] {
            serial_struct s{};
            return ::ioctl(fd, TIOCGSERIAL, &s) == 0 ? s.flags : -1;
        };
        auto setFlags = [fd](int f) {
            serial_struct s{};
            if (::ioctl(fd, TIOCGSERIAL, &s) != 0)
                return false;
            s.flags = f;
            return ::ioctl(fd, TIOCSSERIAL, &s) == 0;
        };
        const int original = flags();
        // Start with the mode off, so that restoring shows.
        if (original < 0 || !setFlags(original & ~ASYNC_LOW_LATENCY))
            QSKIP("/dev/ttyS0 has no serial flags to set");
        const auto restore = qScopeGuard([&] { setFlags(original); });
        TSerialLink link;
        link.SetDevicePath(QStringLiteral("/dev/ttyS0"));
        link.SetPortOpen(true);
        if (!link.IsPortOpen())
            QSKIP("/dev/ttyS0 cannot be opened");
        QCOMPARE(flags(), original | ASYNC_LOW_LATENCY);
        link.SetPortOpen(false);
        QCOMPARE(flags(), original & ~ASYNC_LOW_LATENCY);
    }

    // The simulated USB adapter holds a reply for its timer unless a full
    // packet of 62 bytes is waiting.
    void anAdapterHoldsShortReplies_data() {
        QTest::addColumn<int>("trail");
        QTest::addColumn<int>("latencyMs");
        QTest::addColumn<bool>("held");
        // Block replies are 38 bytes; the trail makes them longer.
        QTest::newRow("38 bytes") << 0 << 20 << true;
        QTest::newRow("61 bytes") << 23 << 20 << true;
        // Held, it would come after all three attempts of 1000 ms.
        QTest::newRow("62 bytes") << 24 << 5000 << false;
    }

    void anAdapterHoldsShortReplies() {
        QFETCH(int, trail);
        QFETCH(int, latencyMs);
        QFETCH(bool, held);
        TSimOptions o;
        o.AdapterLatencyMs = latencyMs;
        o.Trail = QByteArray(trail, '\x55');
        TSimulatorThread s(o);
        TSerialLink link;
        Attach(link, s.sim, 1000);
        QElapsedTimer t;
        t.start();
        link.BeginRequest(244, 5);
        link.PutWord(2);
        link.Transact(38);
        QCOMPARE(link.GetByte(), uint8_t(s.sim.Memory()[64]));
        if (held)
            QVERIFY2(t.elapsed() >= latencyMs, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(s.sim.Requests(), 1);
    }

    void cancelEndsTheWaitAtOnce() {
        TSimOptions o;
        o.Silent = true;
        TSimulatorThread s(o);
        TSerialLink link;
        Attach(link, s.sim, 3000);
        QElapsedTimer t;
        t.start();
        link.AbortRequested = [&t] { return t.elapsed() >= 100; };
        bool aborted = false;
        try {
            link.Request(244, 1, 9);
        } catch (const TLinkAborted& e) {
            aborted = true;
            QCOMPARE(e.message(), QStringLiteral("Cancelled"));
        }
        QVERIFY(aborted);
        QVERIFY2(t.elapsed() < 250, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(20);
        QCOMPARE(s.sim.Requests(), 1); // not retried
    }

    void portTableComesFromTheIniFile() {
        TSimulatorThread a, b;
        const QString iniPath = dir.filePath(QStringLiteral("table.ini"));
        QFile::remove(iniPath);
        TIniFile ini(iniPath);
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM3"), a.sim.SlavePath());
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM7"), b.sim.SlavePath());
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM9"),
                        dir.filePath(QStringLiteral("gone")));
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM33"), b.sim.SlavePath());
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 5);

        TSerialLink link;
        QStringList errors;
        link.ShowPortProblem = [&errors](const TPortProblem& p) { errors << PortProblemText(p); };
        link.LoadSettings(ini);
        // 5 is not in the table: kept, closed, and why is known.
        QCOMPARE(link.PortNumber, 5);
        QVERIFY(!link.IsPortOpen());
        QCOMPARE(link.OpenFailure().kind, TOpenFailure::Kind::NotFound);
        QCOMPARE(link.OpenFailure().path, QStringLiteral("COM5"));
        // Nor does a transfer's open fall back to another port.
        link.SetPortOpen(true);
        QVERIFY(!link.IsPortOpen());
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 3);
        link.LoadSettings(ini);
        QCOMPARE(link.PortNumber, 3);
        QVERIFY(link.IsPortOpen());
        for (int n = 1; n <= kMaxPortNumber; ++n)
            QCOMPARE(link.PortPresent[size_t(n)], n == 3 || n == 7);
        QCOMPARE(link.PortPath(7), b.sim.SlavePath());
        link.ReplyTimeout = 100;
        AskVersion(link);
        QCOMPARE(a.sim.Requests(), 1);

        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 7);
        link.LoadSettings(ini);
        QCOMPARE(link.PortNumber, 7);
        AskVersion(link);
        QCOMPARE(b.sim.Requests(), 1);
        link.SaveSettings(ini);
        ini.UpdateFile();
        QCOMPARE(TIniFile(iniPath).ReadInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 0),
                 7);

        // Port 0 is ignored: the port stays closed.
        ini.WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 0);
        link.LoadSettings(ini);
        QVERIFY(!link.IsPortOpen());
        QVERIFY(errors.isEmpty());

        // Cancel in the dialog keeps the number but rescans and reopens.
        QList<TPortChoice> offered;
        int current = -1;
        link.PortNumber = 7;
        link.ChoosePortDialog = [&](const QList<TPortChoice>& ports, int cur) {
            offered = ports;
            current = cur;
            return std::optional<int>();
        };
        link.ChoosePort();
        QCOMPARE(current, 7);
        QCOMPARE(offered.size(), 2);
        QCOMPARE(offered[0].number, 3);
        QCOMPARE(offered[1].devicePath, b.sim.SlavePath());
        QCOMPARE(link.PortNumber, 7);
        QVERIFY(link.IsPortOpen());
        link.ChoosePortDialog = [](const QList<TPortChoice>&, int) {
            return std::optional<int>(3);
        };
        link.ChoosePort();
        QCOMPARE(link.PortNumber, 3);
        QVERIFY(link.IsPortOpen());
        QVERIFY(errors.isEmpty());
    }

    // COM1, COM2, ... follow the names the system lists in natural order:
    // runs of digits by value, so a tenth adapter does not come second.
    void portTableOrdersTheSystemsNames_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("numbered");
        const auto row = [](const char* name, const QStringList& listed,
                            const QStringList& numbered) {
            QTest::newRow(name) << listed << numbered;
        };
        row("none", {}, {});
        row("digits by value", {"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyS1"},
            {"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"});
        row("letters as letters", {"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyACM1"},
            {"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyUSB0"});
        row("leading zeros add no value", {"/dev/ttyS010", "/dev/ttyS9"},
            {"/dev/ttyS9", "/dev/ttyS010"});
        // The same value written two ways keeps the system's order.
        row("equal values stay in order", {"/dev/ttyS02", "/dev/ttyS2"},
            {"/dev/ttyS02", "/dev/ttyS2"});
        row("a prefix first", {"/dev/ttyUSB1a", "/dev/ttyUSB1"}, {"/dev/ttyUSB1", "/dev/ttyUSB1a"});
        row("numbers inside the name",
            {"/dev/serial/by-id/usb-2-port0", "/dev/serial/by-id/usb-12-port0"},
            {"/dev/serial/by-id/usb-2-port0", "/dev/serial/by-id/usb-12-port0"});
    }
    void portTableOrdersTheSystemsNames() {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, numbered);
        QList<TSerialDeviceInfo> devices;
        for (const QString& path : listed)
            devices.append({path, {}});
        QCOMPARE(DefaultPortPaths(devices), numbered);
    }

    void portTableFollowsTheSystemListWithoutIniKeys() {
        TSimulatorThread a, b, c;
        auto alias = [this](const char* name, const TSimulator& sim) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            QFile::remove(path);
            QFile::link(sim.SlavePath(), path);
            return path;
        };
        const QString usb10 = alias("ttyUSB10", a.sim);
        const QString usb2 = alias("ttyUSB2", b.sim);
        const QString acm0 = alias("ttyACM0", c.sim);
        TSerialDeviceInfo ftdi{usb10,
                               QStringLiteral("FT232R USB UART"),
                               QStringLiteral("FTDI"),
                               QStringLiteral("A50285BI"),
                               true,
                               0x0403,
                               0x6001};
        TSerialLink link(std::make_unique<TListedPort>(QList<TSerialDeviceInfo>{
            ftdi, {usb2, {}}, {acm0, QStringLiteral("CDC"), QStringLiteral("CDC")}}));
        const QString iniPath = dir.filePath(QStringLiteral("plain.ini"));
        QFile::remove(iniPath);
        TIniFile ini(iniPath);
        link.LoadSettings(ini);
        QCOMPARE(link.PortNumber, 1);
        QCOMPARE(link.PortPath(1), acm0);
        QCOMPARE(link.PortPath(2), usb2);
        QCOMPARE(link.PortPath(3), usb10);
        const QList<TPortChoice> choices = link.PortChoices();
        QCOMPARE(choices.size(), 3);
        // What the system knows of each adapter, as the port dialog and `ports` show it.
        QCOMPARE(choices[2].description,
                 QStringLiteral("FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001"));
        QCOMPARE(choices[2].adapter.serialNumber, QStringLiteral("A50285BI"));
        QCOMPARE(choices[0].description, QStringLiteral("CDC"));
        QCOMPARE(choices[1].description, QString());
        link.ReplyTimeout = 100;
        AskVersion(link);
        QCOMPARE(c.sim.Requests(), 1);

        // The chosen adapter pulled out: its number is not handed to the
        // next one, and the adapter is found again under its new number.
        auto* listed = new TListedPort({{usb2, {}}, {usb10, {}}});
        TSerialLink moving{std::unique_ptr<TBytePort>(listed)};
        moving.ReplyTimeout = 100;
        TIniFile(iniPath).WriteInteger(QStringLiteral("RS232"), QStringLiteral("Port"), 2);
        TIniFile chosen(iniPath);
        moving.LoadSettings(chosen);
        QCOMPARE(moving.PortPath(2), usb10);
        listed->list = {{usb2, {}}};
        moving.ScanPorts();
        moving.SetPortOpen(true);
        QVERIFY(!moving.IsPortOpen());
        QCOMPARE(moving.OpenFailure().path, usb10);
        QCOMPARE(moving.PortNumber, 2);
        listed->list = {{acm0, {}}, {usb2, {}}, {usb10, {}}};
        moving.ScanPorts();
        moving.SetPortOpen(true);
        QCOMPARE(moving.PortNumber, 3);
        AskVersion(moving);
        QCOMPARE(a.sim.Requests(), 1);
        QCOMPARE(b.sim.Requests(), 0);

        // No port at all: one message, nothing open, nothing offered.
        TSerialLink none(std::make_unique<TListedPort>(QList<TSerialDeviceInfo>{}));
        QStringList errors;
        none.ShowPortProblem = [&errors](const TPortProblem& p) { errors << PortProblemText(p); };
        bool asked = false;
        none.ChoosePortDialog = [&asked](const QList<TPortChoice>&, int) {
            asked = true;
            return std::optional<int>(1);
        };
        none.LoadSettings(ini);
        none.ChoosePort();
        QCOMPARE(errors, QStringList(2, QStringLiteral("Can not find free serial port!")));
        QVERIFY(!asked);
        QCOMPARE(none.PortNumber, 0);
        QVERIFY(!none.IsPortOpen());

        // Ports listed, none will open: the same first line, then why, port by port.
        const QString absent = dir.filePath(QStringLiteral("ttyUSB9"));
        TSerialLink closed(std::make_unique<TListedPort>(
            QList<TSerialDeviceInfo>{{absent, {}}, {dir.path(), {}}}));
        errors.clear();
        QList<TPortProblem> problems;
        closed.ShowPortProblem = [&](const TPortProblem& p) {
            problems << p;
            errors << PortProblemText(p);
        };
        closed.LoadSettings(ini);
        // The explanations follow the window's translation.
        SetWindowLanguage(false);
        closed.ChoosePort();
        SetWindowLanguage(true);
        QCOMPARE(errors.size(), 2);
        // The folder's path is a prefix of the other, so it comes first.
        QCOMPARE(errors[0], QStringLiteral("Can not find free serial port!\n"
                                           "COM1: %1 is not a serial port (%2).\n"
                                           "COM2: The port %3 does not exist (%4).")
                                .arg(dir.path(), QString::fromLocal8Bit(std::strerror(EISDIR)),
                                     absent, QString::fromLocal8Bit(std::strerror(ENOENT))));
        QVERIFY2(
            errors[1].endsWith(QStringLiteral("\nCOM2: Порт %1 не существует (%2).")
                                   .arg(absent, QString::fromLocal8Bit(std::strerror(ENOENT)))),
            qPrintable(errors[1]));
        QVERIFY(!closed.IsPortOpen());
        // The link gives what it found; the words above are the front end's.
        QCOMPARE(problems.size(), 2);
        QCOMPARE(problems[1].kind, TPortProblem::Kind::NoFreePort);
        QCOMPARE(problems[1].ports.size(), 2);
        QCOMPARE(problems[1].ports[0].number, 1);
        QCOMPARE(problems[1].ports[0].state.kind, TOpenFailure::Kind::NotSerial);
        QCOMPARE(problems[1].ports[1].number, 2);
        QCOMPARE(problems[1].ports[1].state.kind, TOpenFailure::Kind::NotFound);
        QCOMPARE(problems[1].ports[1].state.path, absent);
    }

    void baudRateSetOnAClosedPortIsAppliedAtOpening() {
        TSimOptions o;
        o.PaceBaud = 9600;
        TSimulatorThread s(o);
        TSerialLink link;
        link.SetDevicePath(s.sim.SlavePath());
        link.SetBaudRate(9600);
        QCOMPARE(link.BaudRate, 9600u);
        link.SetPortOpen(true);
        QCOMPARE(link.BaudRate, 9600u);
        link.BeginRequest(244, 1);
        link.FinishFrame();
        QCOMPARE(link.LineAllowance(), 5);
        link.ReplyTimeout = 100;
        QCOMPARE(AskVersion(link), uint16_t(1));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
