// What a transfer promises whatever the device does with its replies: a read
// gives exactly the device's image or fails with one of the link's messages;
// a write stores every block or says that it failed. Late replies, short
// data, replies to another command and junk on the line, struck during the
// block phase (blocks 8 to 11) or from the first request on.

#include "core/language.h"
#include "core/transfers.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "tools/simulator.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>

namespace {

// Gives up connecting after a time, as the command-line tool does; calls
// OnBlock with the number of blocks done.
class Observer : public TTransferObserver {
public:
    void Open() override { clock_.start(); }
    void Close() override {}
    void SetText(const QString&) override {}
    void SetGauge(int) override {
        if (OnBlock)
            OnBlock(++blocks_);
    }
    void ShowGauge(bool) override {}
    void ShowCancel(bool) override {}
    bool Cancelled() override { return clock_.elapsed() > 500; }
    void ProcessEvents() override {}
    std::function<void(int)> OnBlock;

private:
    QElapsedTimer clock_;
    int blocks_ = 0;
};

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
    int sum = 0;
    for (char c : f)
        sum += uint8_t(c);
    f[8] = char(-sum);
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

} // namespace

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
            if (blocks == 8)
                sim.sim.Update([&](TSimOptions& s) { Apply(s, strike, value); });
            if (blocks == 12)
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
            QCOMPARE(lines.last(), Texts::TornWrite(TLanguage::English));
    }
};

QTEST_GUILESS_MAIN(TestTransferGuarantees)
#include "test_transfer_guarantees.moc"
