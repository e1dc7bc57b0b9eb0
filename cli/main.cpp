#include "cli/cli_common.h"
#include "cli/cli_io.h"
#include "cli/cli_observer.h"
#include "cli/commands.h"
#include "support/file_names.h"
#include "support/stop_signals.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv) {
    // Before Qt opens descriptors of its own, one of which could take a closed stream's number.
    GuardStandardStreams();
    // As the system gives them: QCoreApplication::arguments() would replace
    // the bytes of a name that are not UTF-8, and the name would name no file.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodeNative(QByteArray(argv[i]));
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tripconf-cli"));
    // The port is closed and unlocked, and a torn write said, before the end.
    CatchStopSignals("tripconf-cli: stopping at the next safe point; a second signal ends it at "
                     "once\n");
    TCliIo io;
    io.errIsTerminal = StandardErrorIsTerminal();
    const int code = RunCli(args, io);
    // The shell's convention, so that a script's loop stops as well.
    if (const int signal = CaughtStopSignal())
        return 128 + signal;
    return code;
}
