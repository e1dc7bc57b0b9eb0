// Figures of the device transfers against tripconf-sim on a pseudo-terminal,
// paced at the line's 115200 baud: a full read and a full write against
// their wire time, and the processor time taken while connecting to a silent
// trip computer and while waiting for write replies that do not come; reads
// through a simulated USB adapter's latency timer; tripconf-cli reading from
// and writing to eight trip computers at once against one alone.

#include "bench/bench_support.h"
#include "core/port_probe.h"
#include "core/port_texts.h"
#include "core/transfers.h"
#include "link/qt_byte_port.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "support/errors.h"
#include "support/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr uint32_t kBaud = 115200;
constexpr int kRuns = 9;

// 11 bits a byte: start, 8 data, 2 stop.
double WireMs(int bytes) {
    return bytes * 11 * 1000.0 / kBaud;
}

// Progress shown nowhere; Cancel and the progress are the bench's.
class TBenchObserver : public TTransferObserver {
public:
    std::function<bool()> cancel;
    std::function<void(const TransferProgress&)> progress;

    void Open() override {}
    void Close() override {}
    void Progress(const TransferProgress& p) override {
        if (progress)
            progress(p);
    }
    bool Cancelled() override { return cancel && cancel(); }
    void ProcessEvents() override { QCoreApplication::processEvents(); }
};

// The real line, but every wait is a 1 ms sleep: plain polling,
// for comparison.
class TPollingPort final : public TBytePort {
public:
    QList<TSerialDeviceInfo> ListDevices() override { return real_.ListDevices(); }
    TProbeResult Probe(const QString& path) override { return real_.Probe(path); }
    bool Open(const QString& path) override { return real_.Open(path); }
    bool IsOpen() const override { return real_.IsOpen(); }
    void Close() override { real_.Close(); }
    uint32_t SetBaudRate(uint32_t baud) override { return real_.SetBaudRate(baud); }
    bool SetByteSize(uint8_t bits) override { return real_.SetByteSize(bits); }
    bool SetParity(uint8_t parity) override { return real_.SetParity(parity); }
    bool SetStopBits(uint8_t stopBits) override { return real_.SetStopBits(stopBits); }
    bool SetDtr(bool on) override { return real_.SetDtr(on); }
    void PurgeInput() override { real_.PurgeInput(); }
    void PurgeOutput() override { real_.PurgeOutput(); }
    int64_t Write(const uint8_t* data, int64_t size) override { return real_.Write(data, size); }
    int64_t Read(uint8_t* data, int64_t max) override {
        // Bytes reach the serial library's buffer only through its event handling.
        QCoreApplication::processEvents();
        return real_.Read(data, max);
    }
    bool WaitReadable(int) override {
        real_.Sleep(1);
        return false;
    }
    int64_t NowMs() override { return real_.NowMs(); }
    void Sleep(int ms) override { real_.Sleep(ms); }

private:
    TQtBytePort real_;
};

void Attach(TSerialLink& link, const QString& path) {
    link.ProcessEvents = [] { QCoreApplication::processEvents(); };
    link.ShowPortProblem = [](const TPortProblem& problem) {
        throw TripError(QStringLiteral("link: ") + PortProblemText(problem));
    };
    link.SetDevicePath(path);
    link.SetPortOpen(false);
}

// Runs the transfer kRuns times after one warm-up; the median in ms.
double Timed(const std::function<void()>& transfer) {
    transfer();
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i) {
        const double t0 = WallMs();
        transfer();
        runs.push_back(WallMs() - t0);
    }
    return Median(runs);
}

double PortOpenCloseMs(TSerialLink& link) {
    return Timed([&] {
        link.SetPortOpen(true);
        link.SetBaudRate(kBaud);
        link.SetPortOpen(false);
    });
}

void TransferFigures() {
    TSimProcess sim({QStringLiteral("--baud"), QString::number(kBaud)});
    TSerialLink link;
    Attach(link, sim.Path());
    TBenchObserver observer;
    const double openMs = PortOpenCloseMs(link);

    TMK mk;
    const double readMs = Timed([&] {
        if (ReadFromDevice(link, mk, observer).status != TransferStatus::Done)
            throw TripError(QStringLiteral("the read failed"));
    });
    // Requests of 6 and 8 bytes, replies of 9 and 38 bytes.
    const double readWire = WireMs(6 + 9 + 64 * (8 + 38));
    std::printf("full read (ReadFromDevice, 65 exchanges, 115200 baud): %.1f ms median of %d, "
                "wire time %.1f ms, ratio %.3f (goal <= 1.05)\n",
                readMs, kRuns, readWire, readMs / readWire);

    const double writeMs = Timed([&] {
        if (WriteToDevice(link, mk, observer).status != TransferStatus::Done)
            throw TripError(QStringLiteral("the write failed"));
    });
    // The version; four blocks of 42-byte requests with 6-byte replies; the closing 10 + 6.
    const double writeWire = WireMs(6 + 9 + 4 * (42 + 6) + 10 + 6);
    std::printf("full write (WriteToDevice, 6 exchanges, 115200 baud): %.1f ms median of %d, "
                "wire time %.1f ms, ratio %.3f\n",
                writeMs, kRuns, writeWire, writeMs / writeWire);
    std::printf("of which opening and closing the port: %.2f ms median of %d\n", openMs, kRuns);

    TSerialLink polling(std::make_unique<TPollingPort>());
    Attach(polling, sim.Path());
    const double pollingMs = Timed([&] {
        if (ReadFromDevice(polling, mk, observer).status != TransferStatus::Done)
            throw TripError(QStringLiteral("the read failed"));
    });
    std::printf("the same read with 1 ms polling instead of waiting on the port: %.1f ms median "
                "of %d, ratio %.3f\n",
                pollingMs, kRuns, pollingMs / readWire);
}

// One read, timed, against a simulator with these options.
double ReadOnce(const QStringList& options, const QString& log) {
    TSimProcess sim(QStringList{QStringLiteral("--baud"), QString::number(kBaud),
                                QStringLiteral("--log"), log} +
                    options);
    TSerialLink link;
    Attach(link, sim.Path());
    TBenchObserver observer;
    TMK mk;
    const double t0 = WallMs();
    if (ReadFromDevice(link, mk, observer).status != TransferStatus::Done)
        throw TripError(QStringLiteral("the read failed"));
    return WallMs() - t0;
}

int Requests(const QString& log);

// Reads through a USB adapter that holds short replies for its latency timer:
// 16 ms, the usual default when the driver ignores low-latency mode, and 1 ms.
void AdapterFigures() {
    constexpr int kAdapterRuns = 3;
    const double readWire = WireMs(6 + 9 + 64 * (8 + 38));
    for (const int latency : {16, 1}) {
        TSimProcess sim({QStringLiteral("--baud"), QString::number(kBaud),
                         QStringLiteral("--adapter-latency"), QString::number(latency)});
        TSerialLink link;
        Attach(link, sim.Path());
        TBenchObserver observer;
        TMK mk;
        std::vector<double> runs;
        for (int i = 0; i < kAdapterRuns; ++i) {
            const double t0 = WallMs();
            if (ReadFromDevice(link, mk, observer).status != TransferStatus::Done)
                throw TripError(QStringLiteral("the read failed"));
            runs.push_back(WallMs() - t0);
        }
        const double ms = Median(runs);
        std::printf("full read through a USB adapter with a %d ms latency timer: %.1f ms median "
                    "of %d, wire time %.1f ms, ratio %.3f\n",
                    latency, ms, kAdapterRuns, readWire, ms / readWire);
    }
}

// Reads that meet a slow device and lost replies: what the link's waits and
// its resync after a retry cost.
void SlowDeviceFigures(const QString& log) {
    const double readWire = WireMs(6 + 9 + 64 * (8 + 38));
    const double slowMs = ReadOnce({QStringLiteral("--delay"), QStringLiteral("90")}, log);
    std::printf("read from a device answering every request after 90 ms (65 exchanges): "
                "%.0f ms, wire time and delays %.0f ms, ratio %.3f\n",
                slowMs, readWire + 65 * 90, slowMs / (readWire + 65 * 90));
    const QString lostLog = log + QStringLiteral(".lost");
    const double lostMs = ReadOnce({QStringLiteral("--lose-first-block-try")}, lostLog);
    std::printf("read from a device losing its first reply to each block (%d requests, "
                "each block retried after its 100 ms time-out, then a resync): %.0f ms, "
                "%.0f ms a block\n",
                Requests(lostLog), lostMs, lostMs / 64);
}

int Requests(const QString& log) {
    QFile f(log);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("RX ")) : -1;
}

void ConnectingFigure(const QString& log) {
    TSimProcess sim({QStringLiteral("--silent"), QStringLiteral("--log"), log});
    TSerialLink link;
    Attach(link, sim.Path());
    TBenchObserver observer;
    double t0 = 0;
    observer.cancel = [&] { return WallMs() - t0 >= 5000; };
    TMK mk;
    const double cpu0 = CpuMs();
    t0 = WallMs();
    ReadFromDevice(link, mk, observer);
    const double wall = WallMs() - t0;
    const double cpu = CpuMs() - cpu0;
    std::printf("connecting to a silent device (ReadFromDevice until Cancel, %.0f ms, %d "
                "requests): CPU %.1f ms = %.2f%% of a core (goal < 1%%)\n",
                wall, Requests(log), cpu, 100.0 * cpu / wall);
}

void WriteReplyFigure() {
    // Answers the version, then nothing: the first block waits for its reply three times.
    TSimProcess sim(
        {QStringLiteral("--faults-after"), QStringLiteral("1"), QStringLiteral("--silent")});
    TSerialLink link;
    Attach(link, sim.Path());
    TBenchObserver observer;
    double t0 = 0, cpu0 = 0;
    observer.progress = [&](const TransferProgress& p) {
        if (p.phase == TransferPhase::Writing && p.done == 0) {
            t0 = WallMs();
            cpu0 = CpuMs();
        }
    };
    TMK mk;
    mk.Version = 1;
    mk.PackSettings();
    if (WriteToDevice(link, mk, observer).status != TransferStatus::Failed)
        throw std::runtime_error("the write did not fail");
    const double wall = WallMs() - t0;
    const double cpu = CpuMs() - cpu0;
    std::printf("waiting for a write reply (3 attempts of %d ms, none answered, %.0f ms): CPU "
                "%.1f ms = %.2f%% of a core (goal < 1%%)\n",
                3000 + int(link.LineAllowance()), wall, cpu, 100.0 * cpu / wall);
}

// tripconf-cli with these arguments; throws unless it succeeds.
void RunCli(const QStringList& args) {
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tripconf-cli"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw TripError(
            QStringLiteral("tripconf-cli %1 failed: %2")
                .arg(args.join(QLatin1Char(' ')),
                     QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())));
}

// The command line's read and write of eight trip computers side by side,
// each its own thread and link, against the same command with one port.
void ManyPortsFigure(const QString& folder) {
    constexpr int kPorts = 8;
    std::vector<std::unique_ptr<TSimProcess>> sims;
    QStringList ports;
    for (int i = 0; i < kPorts; ++i) {
        sims.push_back(std::make_unique<TSimProcess>(
            QStringList{QStringLiteral("--baud"), QString::number(kBaud)}));
        ports << QStringLiteral("--port") << sims.back()->Path();
    }
    QDir().mkpath(folder);
    const QString file =
        QDir(folder).filePath(QFileInfo(sims[0]->Path()).fileName() + QStringLiteral(".tarvg"));
    auto read = [&](const QStringList& which) {
        RunCli(QStringList{QStringLiteral("read")} + which +
               QStringList{QStringLiteral("-o"), which.size() > 2 ? folder : file});
    };
    auto write = [&](const QStringList& which) {
        RunCli(QStringList{QStringLiteral("write")} + which + QStringList{file});
    };
    const QStringList one = ports.mid(0, 2);
    const double readOne = Timed([&] { read(one); });
    const double readAll = Timed([&] { read(ports); });
    const double writeOne = Timed([&] { write(one); });
    const double writeAll = Timed([&] { write(ports); });
    std::printf("tripconf-cli read from %d trip computers at once (115200 baud): %.1f ms median "
                "of %d, one alone %.1f ms, ratio %.2f (goal <= 1.5)\n",
                kPorts, readAll, kRuns, readOne, readAll / readOne);
    std::printf("tripconf-cli write to %d trip computers at once (115200 baud): %.1f ms median "
                "of %d, one alone %.1f ms, ratio %.2f (goal <= 1.5)\n",
                kPorts, writeAll, kRuns, writeOne, writeAll / writeOne);
}
} // namespace

// Listing a 32-entry port table without opening any port: 8 simulators,
// 8 paths that do not exist, 8 that are no serial device, 8 symbolic links.
void PortListingFigure(const QString& folder) {
    QDir().mkpath(folder);
    std::vector<std::unique_ptr<TSimProcess>> sims;
    for (int i = 0; i < 8; ++i)
        sims.push_back(std::make_unique<TSimProcess>(QStringList{}));
    TIniFile ini(QDir(folder).filePath(QStringLiteral("ports.ini")));
    for (int n = 1; n <= 32; ++n) {
        QString path;
        if (n <= 8)
            path = sims[size_t(n - 1)]->Path();
        else if (n <= 16)
            path = QDir(folder).filePath(QStringLiteral("gone%1").arg(n));
        else if (n <= 24)
            path = QStringLiteral("/dev/null");
        else {
            path = QDir(folder).filePath(QStringLiteral("link%1").arg(n));
            QFile::link(sims[size_t(n % 8)]->Path(), path);
        }
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM%1").arg(n), path);
    }
    std::vector<double> ms;
    for (int i = 0; i < 7; ++i) {
        const double t0 = WallMs();
        if (SurveyPorts(ini, false).size() != 32)
            throw std::runtime_error("the listing lost entries");
        ms.push_back(WallMs() - t0);
    }
    std::printf("ports without --probe over a 32-entry table: median %.1f ms, max %.1f ms of 7 "
                "(goal <= 50 ms)\n",
                Median(ms), Max(ms));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    try {
        PortListingFigure(dir.filePath(QStringLiteral("ports")));
        TransferFigures();
        AdapterFigures();
        SlowDeviceFigures(dir.filePath(QStringLiteral("slow.log")));
        ConnectingFigure(dir.filePath(QStringLiteral("silent.log")));
        WriteReplyFigure();
        ManyPortsFigure(dir.filePath(QStringLiteral("many")));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "link_bench: %s\n", ExceptionMessage(e).toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
