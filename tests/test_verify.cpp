#include "core/transfers.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/record_diff.h"
#include "tools/simulator.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

// Gives up connecting after a time, as the command-line tool does; notes
// the progress as "phase done/total".
class Observer : public TTransferObserver {
public:
    explicit Observer(int giveUpMs) : giveUpMs_(giveUpMs) {}
    void Open() override {}
    void Close() override {}
    void Progress(const TransferProgress& p) override {
        static const char* const names[] = {"connecting", "reading", "writing", "reading back"};
        steps << QStringLiteral("%1 %2/%3").arg(names[int(p.phase)]).arg(p.done).arg(p.total);
        if (p.phase == TransferPhase::Connecting)
            clock_.start();
    }
    bool Cancelled() override { return clock_.isValid() && clock_.elapsed() > giveUpMs_; }
    void ProcessEvents() override {}
    QStringList steps;

private:
    QElapsedTimer clock_;
    int giveUpMs_;
};

// Command and block number of every frame the simulator received.
QStringList Requests(const TSimulator& sim) {
    QStringList out;
    for (const QByteArray& f : sim.Received()) {
        QString r = QString::number(uint8_t(f[4]));
        if (f[4] == 4 || f[4] == 5)
            r += QLatin1Char(':') + QString::number(uint8_t(f[5]));
        out << r;
    }
    return out;
}

// A phase's steps: as it begins, then after each block.
QStringList Counted(const QString& phase, int blocks) {
    QStringList out;
    for (int done = 0; done <= blocks; ++done)
        out << QStringLiteral("%1 %2/%3").arg(phase).arg(done).arg(blocks);
    return out;
}

struct Device {
    explicit Device(TSimOptions o) : sim(std::move(o)) { link.SetDevicePath(sim.sim.SlavePath()); }
    TSimulatorThread sim;
    TSerialLink link;
};

} // namespace

class TestVerify : public QObject {
    Q_OBJECT

private slots:
    void comparingRecords() {
        auto a = TSettingsRecord::Defaults().ToBytes();
        auto b = a;
        b[0x5E] = 0xB1; // IntenseNightTime 1201: shown 20:01
        b[0x55] = 7;    // a reserved byte
        b[0x7B] = 5;
        std::vector<FieldDifference> d = CompareRecords(a, b);
        QCOMPARE(d.size(), size_t(3));
        QCOMPARE(FieldLabel(*d[0].field), QStringLiteral("reserved byte 0x55"));
        QCOMPARE(d[0].shownB, QStringLiteral("07"));
        QCOMPARE(d[1].shownA, QStringLiteral("20:00"));
        QCOMPARE(d[1].shownB, QStringLiteral("20:01"));
        QCOMPARE(d[1].rawB, 1201.0);
        // Only the first bytes count: a field cut by the length still counts.
        QCOMPARE(CompareRecords(a, b, 0x55).size(), size_t(0));
        b[0x38] = 0;
        QCOMPARE(FieldLabel(*CompareRecords(a, b, 0x39).front().field),
                 QStringLiteral("UaccLowLimit"));
        QCOMPARE(FieldLabel(FieldAt(0x4F)), QStringLiteral("reserved bytes 0x48..0x4F"));
        QCOMPARE(FieldAt(0x0B).name, "ExpenseCorr");

        QCOMPARE(CompareImageTails(QByteArray(100, 'x'), QByteArray()).count, 0);
        QByteArray x(2048, 'x');
        QByteArray y = x;
        y[2047] = 'y';
        const ImageTailDifference t = CompareImageTails(x, y);
        QCOMPARE(t.count, 1);
        QCOMPARE(t.first, 2047);
        QCOMPARE(t.end, 2048);
    }

    // The read-back asks for the blocks written after the trip computer has
    // finished storing; filler bytes are not compared.
    void verifiedWriteReadsBackTheBlocksWritten() {
        TSimOptions o;
        o.SettleMs = 300;
        o.SettleBusy = true;
        o.CorruptOffset = 62; // filler of a 60-byte record
        Device d(o);
        TMK mk;
        mk.Version = 1;
        mk.Settings.Size = 60;
        mk.Settings.UaccHighLimit = 150;
        Observer observer(5000);
        const TransferResult r = WriteAndVerify(d.link, mk, observer, {});
        QCOMPARE(r.message, QStringLiteral("The settings are recorded in the device"));
        QCOMPARE(int(r.status), int(TransferStatus::Done));
        QVERIFY(!d.link.IsPortOpen());

        const QStringList rx = Requests(d.sim.sim);
        QCOMPARE(rx.mid(0, 4), QStringList({"1", "4:0", "4:1", "7"}));
        QCOMPARE(rx.mid(rx.size() - 2), QStringList({"5:0", "5:1"}));
        // Busy answers while storing, each retried.
        QVERIFY(rx.count(QStringLiteral("1")) > 2);
        // 150, the filler (the last byte repeated), one filler byte stored inverted.
        QCOMPARE(d.sim.sim.Memory().mid(58, 6), QByteArray::fromHex("96000000FF00"));
        // Connecting again before the read-back, however long the device stays busy.
        QCOMPARE(observer.steps, QStringList{"connecting 0/0"} + Counted("writing", 2) +
                                     QStringList{"connecting 0/0"} + Counted("reading back", 2));
    }
};

QTEST_GUILESS_MAIN(TestVerify)
#include "test_verify.moc"
