#include "cli/commands.h"

#include "cli/backup_commands.h"
#include "cli/cli_common.h"
#include "cli/cli_io.h"
#include "cli/cli_observer.h"
#include "cli/many_ports.h"
#include "core/app_ini.h"
#include "core/port_probe.h"
#include "core/port_texts.h"
#include "core/transfers.h"
#include "link/link_log.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/preview.h"
#include "model/settings_diff.h"
#include "model/settings_file.h"
#include "model/settings_format.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

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

// Opens the --trace file, if one was asked for, once a command has taken its
// arguments; false, with the message, when it cannot be written.
bool StartTrace(QString& error);

// About 31 years: "wait as good as forever".
constexpr double kMaxConnectTimeout = 1e9;

void AddIniOption(QCommandLineParser& p) {
    p.addOption(
        {QStringLiteral("ini"),
         QStringLiteral("INI file with the port table (default: the window's tripconf.ini)."),
         QStringLiteral("FILE")});
}

void AddPortOptions(QCommandLineParser& p) {
    p.addOption({QStringLiteral("port"),
                 QStringLiteral("Device path, COMn, or auto (the one port where a trip computer "
                                "answers; auto opens and asks every free port of the table)."),
                 QStringLiteral("PORT")});
    AddIniOption(p);
    p.addOption({QStringLiteral("connect-timeout"),
                 QStringLiteral("Seconds to try connecting (default 10)."),
                 QStringLiteral("SECONDS"), QStringLiteral("10")});
}

// The INI file with the port table: --ini (checked by Parse, and never
// created), else the window's.
std::unique_ptr<TIniFile> PortTable(const QCommandLineParser& p) {
    if (p.isSet(QStringLiteral("ini")))
        return std::make_unique<TIniFile>(p.value(QStringLiteral("ini")));
    return std::make_unique<TMIniFile>(TMIniFile::DefaultFileName(QStringLiteral("tripconf")));
}

// --port auto: the device path of the one port where a trip computer
// answers; empty, with what was found in error, when none or several do.
QString AutoPort(const QCommandLineParser& p, QString& error) {
    const QList<TPortReport> reports = SurveyPorts(*PortTable(p), true);
    QStringList answering;
    for (const TPortReport& r : reports)
        if (r.version)
            answering << r.port.devicePath;
    if (answering.size() == 1)
        return answering.first();
    error = (answering.isEmpty() ? QStringLiteral("--port auto: no trip computer answers")
                                 : QStringLiteral("--port auto: %1 ports answer; choose one "
                                                  "with --port")
                                       .arg(answering.size())) +
            (reports.isEmpty()
                 ? QStringLiteral("; no serial port was found.")
                 : QStringLiteral(". Ports found:\n") + PortReportText(reports).trimmed());
    return {};
}

// The device path of a --port value other than auto (a path, or COMn of
// the port table); empty, with the error, when it names no port.
QString PortDevicePath(const QCommandLineParser& p, const QString& port, QString& error) {
    if (!port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
        return port;
    // Digits only: toInt() would pass over blanks and a sign ("COM 1" as COM1).
    const QString digits = port.mid(3);
    const bool allDigits =
        !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
    bool ok = false;
    const int n = allDigits ? digits.toInt(&ok) : 0;
    if (!ok || n < 1 || n > 32) {
        error = QStringLiteral("Not a port: %1").arg(port);
        return {};
    }
    // The window's port table: COMn keys of the INI file, else the system's list.
    TSerialLink table;
    table.ShowPortProblem = [](const TPortProblem&) {};
    // Only the table: the INI's chosen port is not this command's to open.
    table.LoadPortTable(*PortTable(p));
    const QString path = table.PortPath(n);
    if (path.isEmpty())
        error = QStringLiteral("%1 is not in the port table").arg(port);
    return path;
}

// The device path --port names, without touching any port: empty for auto.
// False, with the error, when the option is wrong.
bool ResolvePort(const QCommandLineParser& p, QString& path, QString& error) {
    const QString port = p.value(QStringLiteral("port"));
    path.clear();
    if (port.isEmpty()) {
        error = QStringLiteral("--port is required");
        return false;
    }
    return port == QStringLiteral("auto") || !(path = PortDevicePath(p, port, error)).isEmpty();
}

// Points the link at the resolved port, or an error message. failed: the
// trace file could not be opened or --port auto found no single answering
// port (a failure of the command, not of its usage). named: the port as a
// backup names it, for auto the one found.
bool OpenLink(TSerialLink& link, const QCommandLineParser& p, QString path, QString& error,
              bool& failed, QString& named) {
    named = p.value(QStringLiteral("port"));
    // The command line is taken: from here on the trace has the traffic.
    failed = !StartTrace(error);
    if (!failed && path.isEmpty()) {
        path = named = AutoPort(p, error);
        failed = path.isEmpty();
    }
    if (failed)
        return false;
    link.SetDevicePath(path);
    return true;
}

double ConnectTimeout(const QCommandLineParser& p, QString& error) {
    bool ok = false;
    const double s = p.value(QStringLiteral("connect-timeout")).toDouble(&ok);
    // Also refuses inf and nan, which as milliseconds fit no integer and gave up at once.
    if (!ok || !(s >= 0 && s <= kMaxConnectTimeout)) {
        error = QStringLiteral("Bad --connect-timeout: seconds from 0 to %1")
                    .arg(qint64(kMaxConnectTimeout));
        return 0;
    }
    return s;
}

// The trip computer's side of a command, set up once from the port options:
// the link on --port and the progress on standard error, which gives up
// connecting after --connect-timeout.
class TDeviceSide {
public:
    explicit TDeviceSide(const QCommandLineParser& p)
        : p_(p), observer_(ConnectTimeout(p, timeoutError_)) {}

    // False, with the error, when --connect-timeout is bad.
    bool CheckTimeout(QString& error) const {
        if (!timeoutError_.isEmpty())
            error = timeoutError_;
        return timeoutError_.isEmpty();
    }
    // Checks the port options, unless error already holds the command's own
    // complaint, touching no port and no file; false, with the error, when
    // anything is wrong.
    bool Check(QString& error) {
        return error.isEmpty() && CheckTimeout(error) && ResolvePort(p_, path_, error);
    }
    // After Check: points the link at --port (a --port auto asks the ports).
    bool Attach(QString& error) { return OpenLink(link_, p_, path_, error, failed_, port_); }
    // Check, then Attach.
    bool Open(QString& error) { return Check(error) && Attach(error); }
    // Prints why Open failed: status 2 for wrong usage, 1 when the trace
    // file cannot be written or --port auto found no single trip computer.
    int OpenError(const QString& error) const {
        Err(error);
        return failed_ ? 1 : 2;
    }

    TransferResult Read(TMK& mk) { return ReadFromDevice(link_, mk, observer_); }
    TBackupResult BackUp(const TMK& mk) { return BackUpUnit(link_, mk, port_, observer_); }
    // expected: the record the trip computer must still hold (its backup's).
    TransferResult Write(const TMK& mk, const VerifyOptions* verify,
                         const QByteArray* expected = nullptr) {
        return WriteChecked(link_, mk, observer_, {verify, expected});
    }
    // Prints why a transfer did not end Done; the exit status 1, or 0 when it
    // did. mk: the settings a write sent.
    int Report(const TransferResult& r, const TMK* mk = nullptr) const {
        switch (r.status) {
        case TransferStatus::Done:
            return 0;
        case TransferStatus::Cancelled:
            return Fail(observer_.TimedOut() ? Texts::Connecting() : QStringLiteral("Cancelled"));
        case TransferStatus::Interrupted:
            return Fail(InterruptedText(r));
        case TransferStatus::VersionMismatch:
            // The window's text stays as it is; here the two versions follow.
            return Fail(
                r.message +
                (mk ? QStringLiteral("\nFile: %1, device: %2").arg(mk->Version).arg(r.deviceVersion)
                    : QString()));
        default:
            return Fail(r.message);
        }
    }

private:
    const QCommandLineParser& p_;
    QString timeoutError_;
    bool failed_ = false;
    QString port_;
    QString path_; // the device --port names; empty for auto
    TSerialLink link_;
    TCliObserver observer_;
};

// Several --port values: one job per port, each on its device path; false,
// with the error, for auto (one port only) or a port named twice.
bool ManyPortJobs(const QCommandLineParser& p, QList<TPortJob>& jobs, QString& error) {
    QStringList paths;
    for (const QString& port : p.values(QStringLiteral("port"))) {
        if (port == QStringLiteral("auto")) {
            error = QStringLiteral("--port auto takes one port only");
            return false;
        }
        const QString path = port.isEmpty() ? QString() : PortDevicePath(p, port, error);
        if (path.isEmpty()) {
            if (error.isEmpty())
                error = QStringLiteral("--port needs a PORT");
            return false;
        }
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const QString key = canonical.isEmpty() ? path : canonical;
        if (paths.contains(key)) {
            error = QStringLiteral("%1 is named twice").arg(port);
            return false;
        }
        paths << key;
        jobs.append({port, path, {}});
    }
    return true;
}

// read with several --port: -o names an existing folder, and each port's
// settings file is named after the port.
int ReadFromMany(const QCommandLineParser& p, const QString& folder) {
    QString error;
    const double timeout = ConnectTimeout(p, error);
    QList<TPortJob> jobs;
    if (error.isEmpty() && folder == QStringLiteral("-"))
        error = QStringLiteral("With several ports -o names a folder");
    if (!error.isEmpty() || !ManyPortJobs(p, jobs, error))
        return UsageError(error);
    QStringList files;
    for (TPortJob& job : jobs) {
        job.file = PortFileName(folder, job.port, job.path);
        if (files.contains(job.file))
            return UsageError(QStringLiteral("%1 and another port would both be saved as %2")
                                  .arg(job.port, job.file));
        files << job.file;
    }
    // A folder that is not there is a file that cannot be written, not wrong usage.
    if (!IsFolder(folder))
        return Fail(QStringLiteral("%1 is not a folder").arg(folder));
    if (!StartTrace(error))
        return Fail(error);
    return ReadMany(jobs, timeout);
}

int CmdRead(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Reads the version and the settings image of the trip computer into a settings file.\n"
        "FILE is written only after a complete read; on failure it stays as it was.\n"
        "-o - writes the settings file to standard output.\n"
        "With --port given more than once the trip computers are read side by side;\n"
        "-o then names an existing folder, and each port's file is named after the\n"
        "port (/dev/ttyUSB0: ttyUSB0.tarvg). One line per port, then the count."));
    AddPortOptions(p);
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Settings file to write (- for standard output)."),
                 QStringLiteral("FILE")});
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    QString error = ExtraArguments(p, 0);
    const QString out = p.value(QStringLiteral("output"));
    if (out.isEmpty())
        error = QStringLiteral("-o FILE is required");
    else if (p.values(QStringLiteral("port")).size() > 1)
        return ReadFromMany(p, out);
    TDeviceSide device(p);
    if (!device.Open(error))
        return device.OpenError(error);
    TMK mk;
    try {
        const TransferResult r = device.Read(mk);
        if (r.status != TransferStatus::Done)
            return device.Report(r);
        WriteOutput(out, SettingsFileData(mk));
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

void AddWriteOptions(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Writes the settings record of a settings file to the trip computer, after checking\n"
        "that the trip computer reports the file's settings version.\n"
        "With --verify the blocks written are read back after the closing command and\n"
        "compared with the record sent; a difference fails naming the first field.\n"
        "The read-back connects again within --connect-timeout.\n"
        "A file shorter than the version and the 124-byte record is refused unless\n"
        "--allow-partial is given.\n"
        "With --backup the trip computer's whole memory is read first and saved as a\n"
        "settings file in $XDG_DATA_HOME/tripconf/backups, whose name goes to standard\n"
        "output; when it cannot be saved, nothing is written. The write then goes ahead\n"
        "only while the trip computer still holds the record backed up; 'tripconf-cli\n"
        "backups' lists the backups.\n"
        "With --port given more than once the trip computers are written side by side;\n"
        "one line per port, then the count."));
    AddPortOptions(p);
    p.addOption({QStringLiteral("verify"),
                 QStringLiteral("Read the written blocks back and compare them.")});
    p.addOption({QStringLiteral("backup"),
                 QStringLiteral("Save what the trip computer holds before writing.")});
    p.addOption({QStringLiteral("allow-partial"),
                 QStringLiteral("Send a file without a whole record; the bytes it lacks are "
                                "the program's defaults.")});
    p.addOption({QStringLiteral("verify-delay"),
                 QStringLiteral("Milliseconds to wait after the closing command before the "
                                "read-back (default 0)."),
                 QStringLiteral("MS"), QStringLiteral("0")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
}

// write to one port: the backup first when asked for, then the write; the exit status.
int WriteToOne(TDeviceSide& device, const TMK& mk, const VerifyOptions* verifying, bool backup) {
    QByteArray backedUp;
    if (backup) {
        const TBackupResult b = device.BackUp(mk);
        if (b.transfer.status != TransferStatus::Done)
            return device.Report(b.transfer, &mk);
        // Said at once: the backup is there whatever the write does.
        Out(b.path + QLatin1Char('\n'));
        FlushOut();
        backedUp = b.record;
    }
    const TransferResult r = device.Write(mk, verifying, backup ? &backedUp : nullptr);
    if (r.status != TransferStatus::Done)
        return device.Report(r, &mk);
    Err(r.message);
    if (verifying)
        Err(QStringLiteral("Read back: the trip computer holds the record as written."));
    return 0;
}

int CmdWrite(const QStringList& args) {
    QCommandLineParser p;
    AddWriteOptions(p);
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    QString error;
    bool ok = false;
    VerifyOptions verify;
    verify.delayMs = p.value(QStringLiteral("verify-delay")).toInt(&ok);
    if (!ok || verify.delayMs < 0 || verify.delayMs > 600000)
        error = QStringLiteral("Bad --verify-delay: milliseconds from 0 to 600000 expected");
    if (p.positionalArguments().size() != 1)
        error = ExtraArguments(p, 1);
    if (p.positionalArguments().isEmpty())
        error = QStringLiteral("One settings FILE is required");
    const bool many = p.values(QStringLiteral("port")).size() > 1;
    QList<TPortJob> jobs;
    TDeviceSide device(p);
    if (many ? !(error.isEmpty() && device.CheckTimeout(error) && ManyPortJobs(p, jobs, error))
             : !device.Check(error))
        return device.OpenError(error);
    TMK mk;
    try {
        const QString file = p.positionalArguments().first();
        const QByteArray data = ReadSettingsFile(file);
        // The defaults would go to the trip computer in place of what the file lacks.
        const TSettingsFileExtent held = SettingsFileExtent(data);
        if (!held.Whole() && !p.isSet(QStringLiteral("allow-partial")))
            return Fail(QStringLiteral("%1 holds %2 of the %3 bytes of the settings record; "
                                       "nothing was sent (--allow-partial sends it with the "
                                       "program's defaults for the rest).")
                            .arg(file)
                            .arg(held.recordBytes)
                            .arg(TSettingsRecord::kSize));
        LoadSettingsData(mk, data);
        // Only a file that will be sent is worth a port: auto asks them all.
        if (!many && !device.Attach(error))
            return device.OpenError(error);
        const VerifyOptions* verifying = p.isSet(QStringLiteral("verify")) ? &verify : nullptr;
        const bool backup = p.isSet(QStringLiteral("backup"));
        if (many)
            return StartTrace(error)
                       ? WriteMany(jobs, data, verifying, backup, ConnectTimeout(p, error))
                       : Fail(error);
        return WriteToOne(device, mk, verifying, backup);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

// True when --port comes before the settings file on the command line, so
// the trip computer is side A.
bool PortFirst(const QStringList& args) {
    const QStringList valued = {QStringLiteral("--port"), QStringLiteral("--ini"),
                                QStringLiteral("--connect-timeout")};
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--port") || a.startsWith(QStringLiteral("--port=")))
            return true;
        if (a == QStringLiteral("--"))
            return false;
        if (valued.contains(a)) {
            ++i;
            continue;
        }
        if (a.size() > 1 && a.startsWith(QLatin1Char('-')))
            continue;
        return false;
    }
    return false;
}

void AddDiffOptions(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Compares two sets of settings: two settings files, or a settings file and the\n"
        "trip computer (--port PORT in the place of one file; the side named first is A).\n"
        "Prints one line per field that differs, \"NAME: A -> B\" with the values as the\n"
        "editor shows them, a line for differing versions and one for the uninterpreted\n"
        "image bytes from 124 on. Exit status 0: the same, 1: different, 2: error."));
    AddPortOptions(p);
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
    p.addPositionalArgument(QStringLiteral("A"), QStringLiteral("Settings file."));
    p.addPositionalArgument(QStringLiteral("B"), QStringLiteral("Settings file."));
}

int CmdDiff(const QStringList& args) {
    QCommandLineParser p;
    AddDiffOptions(p);
    int code = 0;
    // A file that cannot be read is trouble, 2, for diff; its 1 is "different".
    if (!Parse(p, args, code))
        return code == 1 ? 2 : code;
    const bool usePort = p.isSet(QStringLiteral("port"));
    const QStringList files = p.positionalArguments();
    if (const QString extra = ExtraArguments(p, usePort ? 1 : 2); !extra.isEmpty())
        return UsageError(extra);
    if (files.size() != (usePort ? 1 : 2))
        return UsageError(usePort ? QStringLiteral("One settings FILE and --port PORT, or two "
                                                   "settings files, are required")
                                  : QStringLiteral("Two settings files are required"));
    TDeviceSide device(p);
    QString error;
    if (!device.CheckTimeout(error))
        return UsageError(error);

    // Side A is the one named first; the trip computer is read like `read` does.
    QString names[2];
    TMK mks[2];
    const int portSide = !usePort ? -1 : PortFirst(args) ? 0 : 1;
    for (int i = 0, file = 0; i < 2; ++i) {
        if (i == portSide) {
            names[i] = QStringLiteral("port %1").arg(p.value(QStringLiteral("port")));
            continue;
        }
        names[i] = files[file++];
        try {
            LoadSettingsFile(mks[i], names[i]);
        } catch (const std::exception& e) {
            return UsageError(ExceptionMessage(e));
        }
    }
    if (portSide >= 0) {
        if (!device.Open(error))
            return UsageError(error);
        try {
            const TransferResult r = device.Read(mks[portSide]);
            if (r.status != TransferStatus::Done) {
                device.Report(r);
                return 2;
            }
        } catch (const std::exception& e) {
            return UsageError(ExceptionMessage(e));
        }
    }

    const SettingsDiff diff =
        CompareSettings(DiffSideOf(names[0], mks[0]), DiffSideOf(names[1], mks[1]));
    Out(p.isSet(QStringLiteral("json")) ? DiffJson(diff) : DiffText(diff));
    return diff.Differ() ? 1 : 0;
}

int CmdPorts(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Lists every entry of the port table: COMn, the device path, what the system\n"
        "knows of the adapter (description, maker, serial number, USB ids) and its\n"
        "state: free, in use by a program, stale lock, no such device, not a serial\n"
        "device, no permission (with the remedy). Listing opens no port.\n"
        "--probe opens each free port and sends it the version request, marking those\n"
        "where a trip computer answers, with its settings version; --port auto uses\n"
        "the one that does."));
    AddIniOption(p);
    p.addOption({QStringLiteral("probe"),
                 QStringLiteral("Open each free port and ask it for the trip computer's "
                                "version.")});
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON array.")});
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (const QString extra = ExtraArguments(p, 0); !extra.isEmpty())
        return UsageError(extra);
    QString error;
    if (p.isSet(QStringLiteral("probe")) && !StartTrace(error))
        return Fail(error);
    const QList<TPortReport> reports = SurveyPorts(*PortTable(p), p.isSet(QStringLiteral("probe")));
    if (p.isSet(QStringLiteral("json")))
        Out(PortReportJson(reports));
    else if (reports.isEmpty())
        Err(QString::fromLatin1(kNoFreePortText));
    else
        Out(PortReportText(reports));
    return 0;
}

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

int CmdPreview(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes the 128 x 128 display preview of a settings file's colours, exactly as the\n"
        "editor draws it, as a PNG, BMP or PPM image: the format OUT's suffix names.\n"
        "-o - writes a PNG to standard output."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Image file: .png, .bmp or .ppm (- for standard output)."),
                 QStringLiteral("OUT")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (const QString extra = ExtraArguments(p, 1); !extra.isEmpty())
        return UsageError(extra);
    if (p.positionalArguments().size() != 1 || !p.isSet(QStringLiteral("output")))
        return UsageError(QStringLiteral("One settings FILE and -o OUT are required"));
    const QString out = p.value(QStringLiteral("output"));
    const char* format = PreviewFormat(out);
    if (!format)
        return UsageError(QStringLiteral("Cannot write the preview as %1: its name must end in "
                                         ".png, .bmp or .ppm.")
                              .arg(out));
    TMK mk;
    try {
        LoadSettingsFile(mk, p.positionalArguments().first());
        WriteOutput(out, PreviewBytes(mk, format));
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

// --trace FILE: the link's traffic log goes to FILE, line by line, so what
// happened on the line is there even when the command is killed. FILE is
// taken out of the arguments first but opened only once the command has
// accepted its own (StartTrace): a mistyped command line touches no file.
struct TTrace {
    static inline QString name;
    static inline bool requested = false;
    static inline bool started = false;
    static inline TTraceFile file;
    // Ports side by side log from their own threads.
    static inline std::mutex writing;
    static inline QtMessageHandler previous = nullptr;
    static inline bool alsoPrevious = false; // QT_LOGGING_RULES asked for it too

    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (context.category && std::strcmp(context.category, lcLink().categoryName()) == 0) {
            {
                const std::lock_guard<std::mutex> hold(writing);
                file.Write(text.toUtf8() + '\n');
            }
            if (!alsoPrevious)
                return;
        }
        if (previous)
            previous(type, context, text);
    }

    // Takes --trace FILE (or --trace=FILE) out of args; false, with the
    // error, when FILE is missing.
    static bool Take(QStringList& args, QString& error) {
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args[i] == QStringLiteral("--"))
                break;
            if (args[i] == QStringLiteral("--trace")) {
                requested = true;
                name = i + 1 < args.size() ? args[i + 1] : QString();
                args.remove(i, std::min<qsizetype>(2, args.size() - i));
                break;
            }
            if (args[i].startsWith(QStringLiteral("--trace="))) {
                requested = true;
                name = args[i].mid(8);
                args.remove(i);
                break;
            }
        }
        if (requested && name.isEmpty()) {
            error = QStringLiteral("--trace needs a FILE");
            return false;
        }
        return true;
    }

    static bool Start(QString& error) {
        if (!requested || started)
            return true;
        started = true;
        QString reason;
        if (!file.Open(name, reason)) {
            error = QStringLiteral("Cannot write the trace file %1. %2").arg(name, reason);
            return false;
        }
        alsoPrevious = lcLink().isDebugEnabled();
        QLoggingCategory::setFilterRules(QStringLiteral("tripconf.link.debug=true"));
        previous = qInstallMessageHandler(Handler);
        return true;
    }

    // False, with the error, when the trace could not be written whole.
    static bool Stop(QString& error) {
        if (!file.IsOpen())
            return true;
        qInstallMessageHandler(previous);
        QString reason;
        if (file.Close(reason))
            return true;
        error = QStringLiteral("The trace file %1 was not written whole. %2").arg(name, reason);
        return false;
    }
};

bool StartTrace(QString& error) {
    return TTrace::Start(error);
}

int RunCommand(const QStringList& args);

} // namespace

int RunCli(const QStringList& args) {
    QStringList rest = args;
    QString error;
    if (!TTrace::Take(rest, error))
        return FinishOutput(UsageError(error), 1);
    int code = RunCommand(rest);
    // diff's status for trouble is 2, as diff(1)'s; 1 is "different".
    const int trouble = !rest.isEmpty() && rest.first() == QStringLiteral("diff") ? 2 : 1;
    const auto failed = [&](const QString& message) {
        Err(message);
        if (code == 0 || (trouble == 2 && code == 1))
            code = trouble;
    };
    // A command that succeeded without traffic still leaves the (empty) trace;
    // one that failed before any leaves none.
    if ((code == 0 || (trouble == 2 && code == 1)) && !TTrace::Start(error))
        failed(error);
    if (!TTrace::Stop(error))
        failed(error);
    return FinishOutput(code, trouble);
}

namespace {

int RunCommand(const QStringList& args) {
    if (args.isEmpty())
        return UsageError(QString::fromLatin1(kUsage));
    if (args.first() == QStringLiteral("--help") || args.first() == QStringLiteral("-h")) {
        Out(QString::fromLatin1(kUsage));
        return 0;
    }
    if (args.first() == QStringLiteral("--version")) {
        Out(QStringLiteral("tripconf-cli " TRIPCONF_VERSION "\n"));
        return 0;
    }
    const QString cmd = args.first();
    QStringList rest = args;
    rest[0] = QStringLiteral("tripconf-cli ") + cmd;
    if (cmd == QStringLiteral("read"))
        return CmdRead(rest);
    if (cmd == QStringLiteral("write"))
        return CmdWrite(rest);
    if (cmd == QStringLiteral("show"))
        return CmdShow(rest);
    if (cmd == QStringLiteral("get"))
        return CmdGet(rest);
    if (cmd == QStringLiteral("set"))
        return CmdSet(rest);
    if (cmd == QStringLiteral("diff"))
        return CmdDiff(rest);
    if (cmd == QStringLiteral("preview"))
        return CmdPreview(rest);
    if (cmd == QStringLiteral("ports"))
        return CmdPorts(rest);
    if (cmd == QStringLiteral("export"))
        return CmdExport(rest);
    if (cmd == QStringLiteral("import"))
        return CmdImport(rest);
    if (cmd == QStringLiteral("backups"))
        return CmdBackups(rest);
    return UsageError(QStringLiteral("Unknown command: %1\n").arg(cmd) +
                      QString::fromLatin1(kUsage));
}

} // namespace
