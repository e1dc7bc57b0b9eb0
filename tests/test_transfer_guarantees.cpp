// What a transfer promises whatever the device does with its replies: a read
// gives exactly the device's image or fails with one of the link's messages;
// a write stores every block or says that it failed. Late replies, short
// data, replies to another command and junk on the line, struck during the
// block phase (blocks 8 to 11) or from the first request on.
//
// The fault matrix: every fault of the simulator, struck once the version
// was answered, ends a read and a write with the link's own message in the
// time the (shortened) time-outs allow, the port closed and the settings as
// they were; struck from the first request on, it keeps the transfer asking
// until Cancel. The window (test_transfers) and tripconf-cli (test_cli) each
// show how they present a failed read and a failed write.

#include "core/transfers.h"
#include "link/checksum.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "tools/simulator.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>

namespace {

// Gives up connecting after a time (500 ms unless GiveUp says otherwise), as
// the command-line tool does; calls OnBlock with the number of blocks done,
// and notes the progress as "phase done/total".
class Observer : public TTransferObserver {
public:
    void Open() override { clock_.start(); }
    void Close() override { ++closed; }
    void Progress(const TransferProgress& p) override {
        static const char* const names[] = {"connecting", "reading", "writing", "reading back"};
        steps << QStringLiteral("%1 %2/%3").arg(names[int(p.phase)]).arg(p.done).arg(p.total);
        if (p.phase != TransferPhase::Connecting && OnBlock)
            OnBlock(p.done);
    }
    bool Cancelled() override {
        if (!cancelled_.isValid() && (GiveUp ? GiveUp() : clock_.elapsed() > 500))
            cancelled_.start();
        return cancelled_.isValid();
    }
    void ProcessEvents() override {}
    // Milliseconds since Cancelled first answered true; -1: never.
    qint64 SinceCancel() const { return cancelled_.isValid() ? cancelled_.elapsed() : -1; }
    qint64 SinceOpen() const { return clock_.elapsed(); }

    std::function<void(int)> OnBlock;
    std::function<bool()> GiveUp;
    int closed = 0;
    QStringList steps;

private:
    QElapsedTimer clock_, cancelled_;
};

// A phase's steps: as it begins, then after each block.
QStringList Counted(const QString& phase, int blocks) {
    QStringList out;
    for (int done = 0; done <= blocks; ++done)
        out << QStringLiteral("%1 %2/%3").arg(phase).arg(done).arg(blocks);
    return out;
}

QByteArray Memory() {
    QByteArray m(2048, '\0');
    for (int i = 0; i < m.size(); ++i)
        m[i] = char((i * 7 + 5) & 0xFF);
    return m;
}

const QStringList& LinkMessages() {
    static const QStringList texts{
        QString::fromUtf8(kNoLinkText),
        QString::fromUtf8(kDelayWithinBlockText),
        QString::fromUtf8(kExchangeErrorText) + QStringLiteral("(0)"),
        QString::fromUtf8(kExchangeErrorText) + QStringLiteral("(4)"),
        QString::fromUtf8(kExchangeErrorText) + QString::fromLatin1(kWrongReplySuffix),
        QString::fromUtf8(kDeviceBusyText),
    };
    return texts;
}

// A whole version reply with another version, sent before each reply.
QByteArray VersionFrame() {
    QByteArray f = QByteArray::fromHex("09f401000100efbe00");
    f[8] = char(FrameChecksum({reinterpret_cast<const uint8_t*>(f.constData()), 8}));
    return f;
}

enum Strike { Delay, RandomDelay, LoseFirstTry, ShortData, OtherCommand, JunkFrame, JunkStream };

void Apply(TSimOptions& o, int strike, int value) {
    switch (strike) {
    case Delay:
        o.ReplyDelayMs = value;
        break;
    case RandomDelay:
        o.RandomDelayMs = 400;
        o.Seed = uint32_t(value);
        break;
    case LoseFirstTry:
        o.LoseFirstBlockTry = true;
        break;
    case ShortData:
        o.ShortData = value;
        break;
    case OtherCommand:
        o.OtherCommand = value;
        break;
    case JunkFrame:
        o.Junk = VersionFrame();
        break;
    case JunkStream:
        o.JunkStream = true;
        o.Seed = uint32_t(value);
        break;
    }
}

void Clear(TSimOptions& o) {
    o.ReplyDelayMs = o.RandomDelayMs = o.ShortData = 0;
    o.LoseFirstBlockTry = false;
    o.OtherCommand = -1;
    o.Junk.clear();
}

void AddStrikes(bool write) {
    QTest::addColumn<int>("strike");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("fromStart");
    if (!write) {
        for (int ms : {90, 130, 200, 400})
            QTest::addRow("replies %d ms late", ms) << int(Delay) << ms << false;
        for (int seed : {1, 2})
            QTest::addRow("replies 0..400 ms late, seed %d", seed)
                << int(RandomDelay) << seed << false;
        QTest::newRow("first reply to each block lost") << int(LoseFirstTry) << 0 << false;
        QTest::newRow("a data byte short") << int(ShortData) << 1 << false;
        QTest::newRow("replies with command 1") << int(OtherCommand) << 1 << false;
        QTest::newRow("a version reply before each") << int(JunkFrame) << 0 << false;
    } else {
        QTest::newRow("a data byte short") << int(ShortData) << 1 << false;
        QTest::newRow("replies with command 7") << int(OtherCommand) << 7 << false;
        QTest::newRow("a version reply before each") << int(JunkFrame) << 0 << false;
    }
    QTest::newRow("junk stream") << int(JunkStream) << 11 << false;
    QTest::newRow("junk stream from the start") << int(JunkStream) << 12 << true;
    QTest::newRow("replies 0..400 ms late from the start, seed 5") << int(RandomDelay) << 5 << true;
}

// The fault matrix. Reads keep the device's own reply time-out; a write's
// is cut from 3 s and the gap within a reply from 200 ms, so a silent or
// stalled line costs little.
constexpr uint16_t kVersion = 5;
constexpr TTransferTimings kTimings{100, 200, 100, 50};
// Room for a loaded machine on top of what the time-outs allow.
constexpr int kMarginMs = 2000;

struct TFault {
    const char* name;
    std::function<void(TSimOptions&)> strike;
    QString message; // empty: the link's retries overcome the fault
    bool connecting; // also struck from the first request on
};

QString LinkText(const char* text, const char* suffix = "") {
    return QString::fromUtf8(text) + QString::fromLatin1(suffix);
}

const QList<TFault>& Faults() {
    static const QList<TFault> faults{
        {"silence", [](TSimOptions& o) { o.Silent = true; }, LinkText(kNoLinkText), true},
        {"two lost replies", [](TSimOptions& o) { o.LoseFirst = 2; }, {}, false},
        {"wrong checksum", [](TSimOptions& o) { o.BadChecksum = true; },
         LinkText(kExchangeErrorText, "(0)"), true},
        {"zero header", [](TSimOptions& o) { o.ZeroHeader = true; },
         LinkText(kExchangeErrorText, "(4)"), true},
        {"busy", [](TSimOptions& o) { o.Busy = true; }, LinkText(kDeviceBusyText), true},
        {"short length", [](TSimOptions& o) { o.ShortLength = 5; }, LinkText(kNoLinkText), true},
        {"replies with another command", [](TSimOptions& o) { o.OtherCommand = 2; },
         LinkText(kExchangeErrorText, kWrongReplySuffix), true},
        {"stalled reply", [](TSimOptions& o) { o.CutAfter = 3; }, LinkText(kDelayWithinBlockText),
         true},
        // FF reads as a length of 255: the reply's bytes are not enough.
        {"junk before a reply", [](TSimOptions& o) { o.Junk = QByteArray(1, char(0xFF)); },
         LinkText(kDelayWithinBlockText), true},
        // Answers the version and two blocks, then the line is gone.
        {"line closed", [](TSimOptions& o) { o.HangUpAfter = 3; }, LinkText(kNoLinkText), false},
    };
    return faults;
}

// A device whose faults strike once it has answered the version request.
TSimOptions BlockPhase(const TFault& fault) {
    TSimOptions o;
    o.Memory = Memory();
    o.Version = kVersion;
    o.FaultsAfter = 1;
    fault.strike(o);
    return o;
}

// The longest a failing exchange can take: three attempts that each wait the
// reply time-out with the request's line time and one stalled later byte,
// with the pauses between them.
int FailingExchangeBoundMs(int replyTimeoutMs, int requestBytes) {
    const int lineMs = (9600 * (requestBytes - 1) + 115200 / 2) / 115200;
    return TSerialLink::kAttempts * (replyTimeoutMs + lineMs + kTimings.byteMs) +
           (TSerialLink::kAttempts - 1) * kTimings.retryPauseMs;
}

// Loaded settings with an edit that is not in the image yet.
TMK Loaded() {
    TMK mk;
    mk.Version = kVersion;
    mk.Image = QByteArray(2048, char(0x42));
    mk.Settings = TSettingsRecord::Defaults();
    mk.Settings.TripPath = 987654;
    mk.PackSettings();
    mk.Settings.TOTime = 1234;
    return mk;
}

// What a failed transfer must leave as it was.
struct Held {
    uint16_t version;
    QByteArray image;
    std::array<uint8_t, TSettingsRecord::kSize> record;

    explicit Held(const TMK& mk)
        : version(mk.Version), image(mk.Image), record(mk.Settings.ToBytes()) {}
    bool operator==(const Held&) const = default;
};

bool AnyBlockSent(const TSimulator& sim) {
    for (const QByteArray& f : sim.Received())
        if (f[4] == 4 || f[4] == 5)
            return true;
    return false;
}

} // namespace

// CTest runs the properties and the fault matrix as two tests side by side
// (tests/CMakeLists.txt names their functions).
class TestTransferGuarantees : public QObject {
    Q_OBJECT

private slots:
    void readIsExactOrFails_data() { AddStrikes(false); }
    void readIsExactOrFails() {
        QFETCH(int, strike);
        QFETCH(int, value);
        QFETCH(bool, fromStart);
        TSimOptions o;
        o.Memory = Memory();
        o.Version = 0x0102;
        if (fromStart)
            Apply(o, strike, value);
        TSimulatorThread sim(o);
        TSerialLink link;
        link.SetDevicePath(sim.sim.SlavePath());
        Observer observer;
        observer.OnBlock = [&](int blocks) {
            if (fromStart)
                return;
            if (blocks == 7)
                sim.sim.Update([&](TSimOptions& s) { Apply(s, strike, value); });
            if (blocks == 11)
                sim.sim.Update(Clear);
        };
        TMK mk;
        mk.Image = QByteArray(2048, 'x');
        const TransferResult r = ReadFromDevice(link, mk, observer);
        QVERIFY(!link.IsPortOpen());
        if (r.status == TransferStatus::Done) {
            QCOMPARE(mk.Image, o.Memory);
            QCOMPARE(mk.Version, uint16_t(0x0102));
            return;
        }
        QVERIFY2(r.status == TransferStatus::Failed || r.status == TransferStatus::Cancelled,
                 qPrintable(r.message));
        if (r.status == TransferStatus::Failed)
            QVERIFY2(LinkMessages().contains(r.message), qPrintable(r.message));
        QCOMPARE(mk.Image, QByteArray(2048, 'x'));
    }

    void writeStoresAllOrSaysSo_data() { AddStrikes(true); }
    void writeStoresAllOrSaysSo() {
        QFETCH(int, strike);
        QFETCH(int, value);
        QFETCH(bool, fromStart);
        TSimOptions o;
        o.Memory = QByteArray(2048, '\0');
        o.Version = 3;
        // The version is answered well; the strike meets the blocks.
        o.FaultsAfter = fromStart ? 0 : 1;
        Apply(o, strike, value);
        TSimulatorThread sim(o);
        TSerialLink link;
        link.SetDevicePath(sim.sim.SlavePath());
        Observer observer;
        TMK mk;
        mk.Version = 3;
        mk.Settings.TOTime = 0x11223344;
        mk.PackSettings();
        const auto record = mk.Settings.ToBytes();
        const TransferResult r = WriteToDevice(link, mk, observer);
        QVERIFY(!link.IsPortOpen());
        bool blockSent = false;
        for (const QByteArray& f : sim.sim.Received())
            blockSent = blockSent || f[4] == 4;
        if (r.status != TransferStatus::Failed) {
            QVERIFY2(r.status == TransferStatus::Done || r.status == TransferStatus::Cancelled,
                     qPrintable(r.message));
            if (r.status == TransferStatus::Cancelled) {
                QVERIFY(!blockSent);
                return;
            }
            QCOMPARE(sim.sim.Memory().left(124),
                     QByteArray(reinterpret_cast<const char*>(record.data()), 124));
            return;
        }
        const QStringList lines = r.message.split(QLatin1Char('\n'));
        QVERIFY2(LinkMessages().contains(lines.first()), qPrintable(r.message));
        QCOMPARE(lines.size(), blockSent ? 2 : 1);
        if (blockSent)
            QCOMPARE(lines.last(), Texts::TornWrite());
    }

    void readFault_data() { FaultRows(); }
    void readFault() {
        QFETCH(int, fault);
        const TFault& f = Faults()[fault];
        const TSimOptions o = BlockPhase(f);
        TSimulatorThread sim(o);
        TSerialLink link;
        link.SetDevicePath(sim.sim.SlavePath());
        Observer observer;
        TMK mk = Loaded();
        const Held before(mk);

        QElapsedTimer t;
        t.start();
        const TransferResult r = ReadFromDevice(link, mk, observer, kTimings);
        const qint64 ms = t.elapsed();

        QVERIFY(!link.IsPortOpen());
        QCOMPARE(observer.closed, 1);
        if (f.message.isEmpty()) {
            QVERIFY2(r.status == TransferStatus::Done, qPrintable(r.message));
            QCOMPARE(mk.Image, o.Memory);
            QCOMPARE(mk.Version, kVersion);
            QCOMPARE(observer.steps, QStringList{"connecting 0/0"} + Counted("reading", 64));
            return;
        }
        QVERIFY(r.status == TransferStatus::Failed);
        QCOMPARE(r.message, f.message);
        QVERIFY(Held(mk) == before);
        QVERIFY2(ms < FailingExchangeBoundMs(kTimings.readReplyMs, 8) + kMarginMs,
                 qPrintable(QString::number(ms)));
    }

    void writeFault_data() { FaultRows(); }
    void writeFault() {
        QFETCH(int, fault);
        const TFault& f = Faults()[fault];
        TSimOptions o = BlockPhase(f);
        o.Memory = QByteArray(2048, char(0xEE));
        TSimulatorThread sim(o);
        TSerialLink link;
        link.SetDevicePath(sim.sim.SlavePath());
        Observer observer;
        const TMK mk = Loaded();
        const auto record = mk.Settings.ToBytes();

        QElapsedTimer t;
        t.start();
        const TransferResult r = WriteToDevice(link, mk, observer, kTimings);
        const qint64 ms = t.elapsed();

        QVERIFY(!link.IsPortOpen());
        QCOMPARE(observer.closed, 1);
        if (f.message.isEmpty()) {
            QVERIFY2(r.status == TransferStatus::Done, qPrintable(r.message));
            QCOMPARE(r.message, Texts::Written());
            QCOMPARE(sim.sim.Memory().left(124),
                     QByteArray(reinterpret_cast<const char*>(record.data()), 124));
            QCOMPARE(observer.steps, QStringList{"connecting 0/0"} + Counted("writing", 4));
            return;
        }
        // Every fault strikes after the first block request went out.
        QVERIFY(r.status == TransferStatus::Failed);
        QCOMPARE(r.message, f.message + QLatin1Char('\n') + Texts::TornWrite());
        QVERIFY2(ms < FailingExchangeBoundMs(kTimings.writeReplyMs, 42) + kMarginMs,
                 qPrintable(QString::number(ms)));
    }

    // A device that never answers well is asked again and again, silently,
    // until Cancel; Cancel ends the transfer at once with nothing changed.
    void connectingRetriesUntilCancel_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("write");
        for (int i = 0; i < Faults().size(); ++i)
            if (Faults()[i].connecting)
                QTest::newRow(Faults()[i].name) << i << false;
        QTest::newRow("silence, write") << 0 << true;
    }
    void connectingRetriesUntilCancel() {
        QFETCH(int, fault);
        QFETCH(bool, write);
        TSimOptions o;
        o.Version = kVersion;
        Faults()[fault].strike(o);
        TSimulatorThread sim(o);
        TSerialLink link;
        link.SetDevicePath(sim.sim.SlavePath());
        // Cancel once the device has been asked more often than the link's
        // own three attempts: the transfer keeps asking.
        Observer observer;
        int requestsBeforeCancel = 0;
        observer.GiveUp = [&] {
            requestsBeforeCancel = sim.sim.Requests();
            return requestsBeforeCancel > TSerialLink::kAttempts || observer.SinceOpen() >= 10000;
        };
        TMK mk = Loaded();
        const Held before(mk);
        // Connecting waits the read time-out, also before a write.
        TTransferTimings timings = kTimings;
        timings.readReplyMs = 40;

        const TransferResult r = write ? WriteToDevice(link, mk, observer, timings)
                                       : ReadFromDevice(link, mk, observer, timings);

        QVERIFY2(r.status == TransferStatus::Cancelled, qPrintable(r.message));
        QVERIFY2(observer.SinceCancel() < 1000,
                 qPrintable(QString::number(observer.SinceCancel())));
        QVERIFY2(requestsBeforeCancel > TSerialLink::kAttempts,
                 qPrintable(QString::number(requestsBeforeCancel)));
        QCOMPARE(observer.steps, QStringList{"connecting 0/0"});
        QVERIFY(!AnyBlockSent(sim.sim));
        QVERIFY(!link.IsPortOpen());
        QCOMPARE(observer.closed, 1);
        QVERIFY(Held(mk) == before);
    }

private:
    static void FaultRows() {
        QTest::addColumn<int>("fault");
        for (int i = 0; i < Faults().size(); ++i)
            QTest::newRow(Faults()[i].name) << i;
    }
};

QTEST_GUILESS_MAIN(TestTransferGuarantees)
#include "test_transfer_guarantees.moc"
