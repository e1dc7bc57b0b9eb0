#include "cli/cli_observer.h"
#include "cli/commands.h"
#include "support/stop_signals.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tripconf-cli"));
    QStringList args = app.arguments();
    args.removeFirst();
    // The port is closed and unlocked, and a torn write said, before the end.
    CatchStopSignals("tripconf-cli: stopping at the next safe point; a second signal ends it at "
                     "once\n");
    const int code = RunCli(args);
    // The shell's convention, so that a script's loop stops as well.
    if (const int signal = CaughtStopSignal())
        return 128 + signal;
    return code;
}
