// Figures of the device link against the simulated trip computer on a
// pseudo-terminal: the time of a full read against its wire time, and the
// processor time the link takes while it waits for a silent device.

#include "link/serial_link.h"
#include "support/errors.h"
#include "tools/simulator.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr uint32_t kBaud = 115200;

double WallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Processor time of the whole process, all threads.
double CpuMs() {
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

void Connect(TSerialLink& link, const QString& path) {
    link.ProcessEvents = [] { QCoreApplication::processEvents(); };
    link.SetDevicePath(path);
    link.SetPortOpen(true);
    link.SetBaudRate(kBaud);
    if (!link.IsPortOpen())
        throw TripError(QStringLiteral("cannot open ") + path);
}

// One version request and 64 block reads, as the device read does them.
void ReadAll(TSerialLink& link) {
    link.ReplyTimeout = 100;
    link.Request(244, 1);
    link.GetByte();
    link.GetWord();
    for (uint16_t b = 0; b < 64; ++b) {
        link.BeginRequest(244, 5);
        link.PutWord(b);
        link.Transact();
        for (int i = 0; i < 32; ++i)
            link.GetByte();
    }
}

void ReadFigure() {
    TSimOptions o;
    o.PaceBaud = kBaud;
    TSimulatorThread s(o);
    TSerialLink link;
    Connect(link, s.sim.SlavePath());
    // Requests of 6 and 8 bytes, replies of 9 and 38 bytes, 11 bits a byte.
    const double wireMs = (6 + 9 + 64 * (8 + 38)) * 11 * 1000.0 / kBaud;
    ReadAll(link); // warm-up
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        const double t0 = WallMs();
        ReadAll(link);
        runs.push_back(WallMs() - t0);
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs[runs.size() / 2];
    std::printf("full read (65 exchanges, 115200 baud): %.1f ms median of %zu, wire time %.1f ms, "
                "ratio %.3f (goal <= 1.05)\n",
                median, runs.size(), wireMs, median / wireMs);
}

void SilentFigure() {
    TSimOptions o;
    o.Silent = true;
    TSimulatorThread s(o);
    TSerialLink link;
    Connect(link, s.sim.SlavePath());
    link.ReplyTimeout = 5000;
    link.BeginRequest(244, 1);
    link.FinishFrame();
    const double cpu0 = CpuMs();
    const double t0 = WallMs();
    try {
        link.Exchange();
    } catch (const TripError&) {
    }
    const double wall = WallMs() - t0;
    const double cpu = CpuMs() - cpu0;
    std::printf("silent device (one %.0f ms wait): CPU %.1f ms = %.2f%% of a core (goal < 1%%)\n",
                wall, cpu, 100.0 * cpu / wall);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        ReadFigure();
        SilentFigure();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "link_bench: %s\n", ExceptionMessage(e).toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
