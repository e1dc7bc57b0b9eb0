#include "cli/cli_observer.h"
#include "cli/commands.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tripconf-cli"));
    QStringList args = app.arguments();
    args.removeFirst();
    return RunCli(args);
}
