#include "tools/sim_signals.h"

#include "tools/simulator.h"

#include <csignal>

namespace {

TSimulator* running = nullptr;

void OnSignal(int sig) {
    if (!running)
        return;
    if (sig == SIGUSR1)
        running->RequestDump();
    else
        running->Stop();
}

} // namespace

void RouteSignalsTo(TSimulator* sim) {
    running = sim;
    if (!sim)
        return;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(s, &sa, nullptr);
    // A reader of the log that went away must not end it before the cleanup.
    std::signal(SIGPIPE, SIG_IGN);
}
