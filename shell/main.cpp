#include "shell/just_one.h"
#include "shell/main_form.h"
#include "support/stop_signals.h"
#include "ui/application.h"

#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstring>

namespace {

// Starts the simulated trip computer beside the program; its device path, or
// empty when it cannot be started.
QString StartSimulator(QProcess& sim) {
    sim.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/tripconf-sim"));
    sim.setArguments({QStringLiteral("--delay"), QStringLiteral("2"), QStringLiteral("--log"),
                      QStringLiteral("/dev/null")});
    sim.start();
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000))
        return {};
    return QString::fromUtf8(sim.readLine()).trimmed();
}

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt connects to a display, so it works without one.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tripconf %s\n", TRIPCONF_VERSION);
            return 0;
        }
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tripconf"));
    // Wayland matches the window to its desktop entry by this name.
    app.setDesktopFileName(QStringLiteral("org.example.tripconf"));

    // A second copy ends at once and silently; the running one is not disturbed.
    TJustOne justOne(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!justOne.Owned())
        return 0;

    TMainForm form;
    QProcess sim;
    if (app.arguments().contains(QStringLiteral("--demo"))) {
        form.DemoDevicePath = StartSimulator(sim);
        if (form.DemoDevicePath.isEmpty()) {
            std::fprintf(stderr, "tripconf: cannot start the simulator %s\n",
                         qPrintable(sim.program()));
            return 1;
        }
    }
    form.CloseOnStopSignals();
    form.show();
    const int code = app.exec();
    sim.terminate();
    sim.waitForFinished(2000);
    // Closed for a signal: the shell's convention.
    if (const int signal = CaughtStopSignal())
        return 128 + signal;
    return code;
}
