#include "cli/commands.h"

#include "cli/cli_common.h"
#include "cli/cli_trace.h"
#include "cli/device_commands.h"
#include "model/mk.h"
#include "model/preview.h"
#include "model/settings_file.h"
#include "support/errors.h"

#include <QBuffer>
#include <QFileInfo>

#include <cstring>

namespace {

const char* const kUsage =
    "Usage: tripconf-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  read   --port PORT -o FILE   read the trip computer's settings into a settings file\n"
    "                               (-o - writes it to standard output)\n"
    "  write  --port PORT FILE      write the settings of FILE to the trip computer\n"
    "                               (--backup first saves what it held)\n"
    "  show   FILE [--json]         print the version and every interpreted setting\n"
    "  get    FILE [FIELD...]       print fields as the editor shows them (--json)\n"
    "  set    FILE FIELD=VALUE...   change fields by the values the editor takes\n"
    "                               (-o OUT writes elsewhere; --raw: stored numbers)\n"
    "  diff   A B [--json]          the settings that differ between two settings files;\n"
    "                               --port PORT in place of A or B reads the trip computer\n"
    "  preview FILE -o OUT          draw the display preview of FILE's colours as the\n"
    "                               .png, .bmp or .ppm OUT names (-o -: PNG on standard output)\n"
    "  ports  [--probe] [--json]    list the serial ports: COMn, device path, adapter;\n"
    "                               --probe marks those where a trip computer answers\n"
    "  export FILE [-o OUT.json]    a settings file as JSON (version, fields, every byte)\n"
    "  import IN.json -o FILE       the settings file a JSON form (as export writes) gives\n"
    "  backups [--json]             list the backups write --backup saved, newest first\n"
    "\n"
    "PORT is a device path (/dev/ttyUSB0), COMn of the port table, or auto: the one\n"
    "port where a trip computer answers. read and write take --port more than once\n"
    "to serve several trip computers side by side (read: -o names a folder).\n"
    "--trace FILE (any command) writes every frame sent and received to FILE, a\n"
    "regular file or a new one (never through a symbolic link).\n"
    "Exit status: 0 success, 1 the command failed, 2 wrong usage; diff: 0 the same,\n"
    "1 different, 2 trouble.\n"
    "SIGINT, SIGTERM or SIGHUP ends a transfer at its next safe point (a write\n"
    "between blocks, saying so when one had gone out), with exit status 128 plus\n"
    "the signal's number; a second signal ends the program at once.\n"
    "Run 'tripconf-cli COMMAND --help' for a command's options; --version gives the\n"
    "version.\n";

// The image format a preview file's suffix names ("-": PNG), or null.
const char* PreviewFormat(const QString& name) {
    if (name == QStringLiteral("-"))
        return "PNG";
    const QString suffix = QFileInfo(name).suffix().toLower();
    for (const char* format : {"PNG", "BMP", "PPM"})
        if (suffix == QString::fromLatin1(format).toLower())
            return format;
    return nullptr;
}

QByteArray PreviewBytes(const TMK& mk, const char* format) {
    if (std::strcmp(format, "PNG") == 0)
        return PreviewPng(mk);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!PreviewImage(mk.PreviewSource()).save(&buffer, format))
        throw TripError(
            QStringLiteral("Cannot encode the preview as %1").arg(QString::fromLatin1(format)));
    return bytes;
}

void DeclarePreview(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Writes the 128 x 128 display preview of a settings file's colours, exactly as the\n"
        "editor draws it, as a PNG, BMP or PPM image: the format OUT's suffix names.\n"
        "-o - writes a PNG to standard output."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Image file: .png, .bmp or .ppm (- for standard output)."),
                 QStringLiteral("OUT")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
}

int CmdPreview(const TCliCall& call) {
    if (call.files.size() != 1 || !call.isSet("output"))
        throw TCliError::Usage(QStringLiteral("One settings FILE and -o OUT are required"));
    const QString out = call.value("output");
    const char* format = PreviewFormat(out);
    if (!format)
        throw TCliError::Usage(QStringLiteral("Cannot write the preview as %1: its name must end "
                                              "in .png, .bmp or .ppm.")
                                   .arg(out));
    TMK mk;
    LoadSettingsFile(mk, call.files.first());
    WriteOutput(out, PreviewBytes(mk, format));
    return 0;
}

// diff's status for trouble is 2, as diff(1)'s; 1 is "different".
const TCliCommand kCommands[] = {
    {"read", DeclareRead, 0, "output", "-o FILE is required", 1, CmdRead},
    {"write", DeclareWrite, 1, nullptr, nullptr, 1, CmdWrite},
    {"show", DeclareShow, 1, nullptr, nullptr, 1, CmdShow},
    {"get", DeclareGet, -1, nullptr, nullptr, 1, CmdGet},
    {"set", DeclareSet, -1, nullptr, nullptr, 1, CmdSet},
    // Two files, or one and --port: CmdDiff counts them.
    {"diff", DeclareDiff, -1, nullptr, nullptr, 2, CmdDiff},
    {"preview", DeclarePreview, 1, nullptr, nullptr, 1, CmdPreview},
    {"ports", DeclarePorts, 0, nullptr, nullptr, 1, CmdPorts},
    {"export", DeclareExport, 1, nullptr, nullptr, 1, CmdExport},
    {"import", DeclareImport, 1, nullptr, nullptr, 1, CmdImport},
    {"backups", DeclareBackups, 0, nullptr, nullptr, 1, CmdBackups},
};

const TCliCommand* FindCommand(const QString& name) {
    for (const TCliCommand& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

// One command: its arguments parsed and checked as the table says, then
// run; whatever stops it is said here, once.
int RunCommand(const TCliCommand& command, const QStringList& args) {
    try {
        QCommandLineParser p;
        if (!Parse(p, command, args))
            return 0;
        return command.run({p, args, p.positionalArguments()});
    } catch (const TCliError& e) {
        Err(e.message());
        return e.usage() ? 2 : command.trouble;
    } catch (const std::exception& e) {
        Err(ExceptionMessage(e));
        return command.trouble;
    }
}

// The status of the run's end: a trace not written whole fails a command
// that succeeded (diff: whatever it found).
int EndTrace(TCliTrace& trace, int code, int trouble) {
    const bool succeeded = Succeeded(code, trouble);
    QString problem;
    // A command that succeeded without traffic still leaves the (empty) trace;
    // one that failed before any leaves none.
    if (succeeded && !trace.Started()) {
        try {
            trace.Start();
        } catch (const TCliError& e) {
            problem = e.message();
        }
    }
    if (problem.isEmpty())
        problem = trace.Stop();
    if (problem.isEmpty())
        return code;
    Err(problem);
    return succeeded ? trouble : code;
}

// The command args name, run; its exit status, and its status for trouble.
int Dispatch(QStringList args, int& trouble) {
    if (args.isEmpty()) {
        Err(QString::fromLatin1(kUsage));
        return 2;
    }
    const QString name = args.first();
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        Out(QString::fromLatin1(kUsage));
        return 0;
    }
    if (name == QStringLiteral("--version")) {
        Out(QStringLiteral("tripconf-cli " TRIPCONF_VERSION "\n"));
        return 0;
    }
    const TCliCommand* command = FindCommand(name);
    if (!command) {
        Err(QStringLiteral("Unknown command: %1\n").arg(name) + QString::fromLatin1(kUsage));
        return 2;
    }
    trouble = command->trouble;
    args[0] = QStringLiteral("tripconf-cli ") + name;
    return RunCommand(*command, args);
}

} // namespace

int RunCli(const QStringList& args, TCliIo& io) {
    const TCliRun run(io);
    TCliTrace trace;
    QStringList rest = args;
    try {
        trace.Take(rest);
    } catch (const TCliError& e) {
        Err(e.message());
        return FinishOutput(2, 1);
    }
    int trouble = 1;
    const int code = Dispatch(rest, trouble);
    return FinishOutput(EndTrace(trace, code, trouble), trouble);
}
