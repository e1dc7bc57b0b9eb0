// The window's transfers against every fault of the simulator: each ends in
// the time its time-outs allow, with the link's message, the port closed and
// the program's settings as they were.

#include "cancel_click.h"
#include "core/app_ini.h"
#include "core/transfers.h"
#include "fault_table.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "scripted_dialogs.h"
#include "shell/main_form.h"
#include "shell/progress_form.h"
#include "shell/window_language.h"
#include "sim_process.h"
#include "tools/simulator.h"
#include "ui/application.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr uint16_t kVersion = 5;
// Room for a loaded machine on top of what the time-outs allow.
constexpr int kMarginMs = 2000;

// What a failed transfer must leave as it was.
struct Held {
    uint16_t version;
    QByteArray image;
    std::array<uint8_t, TSettingsRecord::kSize> record;
    bool modified;

    explicit Held(TMainForm& f)
        : version(f.MK()->Version), image(f.MK()->Image), record(f.MK()->Settings.ToBytes()),
          modified(f.Modified) {}
    bool operator==(const Held&) const = default;
};

QStringList WithVersion(QStringList options) {
    return options << QStringLiteral("--settings-version") << QString::number(kVersion);
}

int Requests(const QString& log) {
    return int(ReadFile(log).count("RX "));
}

} // namespace

class TestWindowFaults : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A shown window on the simulator, holding a loaded settings file and
    // an edit that is not in its image yet.
    std::unique_ptr<TMainForm> Window(const Sim& sim, ScriptedDialogs& d) {
        auto f = std::make_unique<TMainForm>();
        f->DemoDevicePath = sim.path;
        f->show();
        TMK mk;
        mk.Version = kVersion;
        mk.Image = QByteArray(2048, char(0x42));
        mk.Settings = TSettingsRecord::Defaults();
        mk.Settings.TripPath = 987654;
        mk.PackSettings();
        const QString name = dir.filePath(QStringLiteral("held.tarvg"));
        SaveSettingsFile(mk, name);
        d.openNames.enqueue(name);
        QTest::mouseClick(f->bLoadParams, Qt::LeftButton);
        f->MK()->Settings.TOTime = 1234;
        f->Modified = true;
        d.messages.clear();
        return f;
    }

    static bool StepsEnabled(TMainForm& f) {
        return f.bEditParams->isEnabled() && f.bSaveParams->isEnabled() &&
               f.bSetParams->isEnabled();
    }

    static void Faults() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        for (const TFault& f : BlockPhaseFaults())
            QTest::newRow(f.name) << f.options << f.message;
    }

private slots:
    void init() { QFile::remove(TMIniFile::DefaultFileName()); }

    void readFault_data() { Faults(); }
    void readFault() {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        ScriptedDialogs d;
        Sim sim(WithVersion(options));
        QVERIFY(!sim.path.isEmpty());
        auto f = Window(sim, d);
        const Held before(*f);
        d.answers.enqueue(7); // no save first

        QElapsedTimer t;
        t.start();
        QTest::mouseClick(f->bGetParams, Qt::LeftButton);
        const qint64 ms = t.elapsed();

        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(!f->Busy());
        if (message.isEmpty()) {
            QCOMPARE(d.messages.size(), 1); // the question only
            QCOMPARE(f->MK()->Image, DefaultSimMemory());
            QVERIFY(StepsEnabled(*f));
            return;
        }
        const int bound = FailingExchangeBoundMs(100, 8);
        QVERIFY2(ms < bound + kMarginMs, qPrintable(QString::number(ms)));
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages.last().kind, MessageKind::Error);
        QCOMPARE(d.messages.last().text, message);
        QVERIFY(Held(*f) == before);
        // Nothing changed, so the loaded settings can still be edited and saved.
        QVERIFY(StepsEnabled(*f));
    }

    void writeFault_data() { Faults(); }
    void writeFault() {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        ScriptedDialogs d;
        Sim sim(WithVersion(options));
        QVERIFY(!sim.path.isEmpty());
        auto f = Window(sim, d);
        const Held before(*f);

        QElapsedTimer t;
        t.start();
        QTest::mouseClick(f->bSetParams, Qt::LeftButton);
        const qint64 ms = t.elapsed();

        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(Held(*f) == before);
        QVERIFY(StepsEnabled(*f));
        QCOMPARE(d.messages.size(), 1);
        if (message.isEmpty()) {
            QCOMPARE(d.messages.last().kind, MessageKind::Info);
            return;
        }
        const int bound = FailingExchangeBoundMs(3000, 42);
        QVERIFY2(ms < bound + kMarginMs, qPrintable(QString::number(ms)));
        // Not caught by the write: the general error handler shows it, and
        // every fault strikes after the first block request went out.
        QCOMPARE(d.messages.last().kind, MessageKind::Exception);
        QCOMPARE(d.messages.last().text,
                 message + QLatin1Char('\n') + Texts::TornWrite(WindowLanguage()));
    }

    // A device that never answers well is asked again and again, silently,
    // until Cancel; Cancel ends the transfer at once with nothing changed.
    void connectingRetriesUntilCancel_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("write");
        for (const TFault& f : ConnectingFaults())
            QTest::newRow(f.name) << f.options << false;
        QTest::newRow("silence, write") << QStringList{QStringLiteral("--silent")} << true;
    }
    void connectingRetriesUntilCancel() {
        QFETCH(QStringList, options);
        QFETCH(bool, write);
        ScriptedDialogs d;
        const QString log = dir.filePath(QStringLiteral("sim.log"));
        QFile::remove(log);
        Sim sim(WithVersion(options) << QStringLiteral("--log") << log);
        auto f = Window(sim, d);
        const Held before(*f);
        d.answers.enqueue(7);

        // Cancel once the device has been asked more often than the link's
        // own three attempts: the transfer keeps asking.
        int requestsBeforeCancel = 0;
        QString label;
        QElapsedTimer waited;
        waited.start();
        TCancelClick cancel(
            [&] {
                requestsBeforeCancel = Requests(log);
                return requestsBeforeCancel > TSerialLink::kAttempts || waited.elapsed() >= 10000;
            },
            [&](TProgressForm& p) { label = p.ProgressLabel->text(); });
        QTest::mouseClick(write ? f->bSetParams : f->bGetParams, Qt::LeftButton);

        QVERIFY(cancel.Clicked());
        QVERIFY2(cancel.SinceClick() < 1000, qPrintable(QString::number(cancel.SinceClick())));
        QCOMPARE(label, QStringLiteral("Не могу подключиться к МК..."));
        QVERIFY2(requestsBeforeCancel > TSerialLink::kAttempts,
                 qPrintable(QString::number(requestsBeforeCancel)));
        QCOMPARE(d.Count(MessageKind::Error) + d.Count(MessageKind::Exception) +
                     d.Count(MessageKind::Info),
                 0);
        QVERIFY(!f->Link()->IsPortOpen());
        QVERIFY(!TProgressObserver::Current());
        QVERIFY(Held(*f) == before);
        QVERIFY(StepsEnabled(*f));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestWindowFaults t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_window_faults.moc"
