// The commands that reach a trip computer: read, write, diff and ports.

#include "cli/device_commands.h"

#include "cli/cli_common.h"
#include "cli/cli_io.h"
#include "cli/cli_trace.h"
#include "cli/port_options.h"
#include "core/port_probe.h"
#include "core/port_texts.h"
#include "model/mk.h"
#include "model/settings_diff.h"
#include "model/settings_file.h"
#include "model/settings_format.h"

namespace {

// read with several --port: -o names an existing folder, and each port's
// settings file is named after the port.
int ReadFromMany(const QCommandLineParser& p, const QString& folder) {
    const double timeout = ConnectTimeout(p);
    if (folder == QStringLiteral("-"))
        throw TCliError::Usage(QStringLiteral("With several ports -o names a folder"));
    QList<TPortJob> jobs = ManyPortJobs(p);
    QStringList files;
    for (TPortJob& job : jobs) {
        job.file = PortFileName(folder, job.port, job.path);
        if (files.contains(job.file))
            throw TCliError::Usage(QStringLiteral("%1 and another port would both be saved as %2")
                                       .arg(job.port, job.file));
        files << job.file;
    }
    // A folder that is not there is a file that cannot be written, not wrong usage.
    if (!IsFolder(folder))
        throw TCliError::Failure(QStringLiteral("%1 is not a folder").arg(folder));
    StartTrace();
    return ReadMany(jobs, timeout);
}

// write to one port: the backup first when asked for, then the write.
int WriteToOne(TDeviceSide& device, const TMK& mk, const VerifyOptions* verifying, bool backup) {
    QByteArray backedUp;
    if (backup) {
        const TBackupResult b = device.BackUp(mk);
        device.Require(b.transfer, &mk);
        // Said at once: the backup is there whatever the write does.
        Out(b.path + QLatin1Char('\n'));
        FlushOut();
        backedUp = b.record;
    }
    const TransferResult r = device.Write(mk, verifying, backup ? &backedUp : nullptr);
    device.Require(r, &mk);
    Err(r.message);
    if (verifying)
        Err(QStringLiteral("Read back: the trip computer holds the record as written."));
    return 0;
}

// The settings file write sends; refused when it lacks part of the record,
// unless --allow-partial.
QByteArray FileToSend(const TCliCall& call) {
    const QString file = call.files.first();
    const QByteArray data = ReadSettingsFile(file);
    // The defaults would go to the trip computer in place of what the file lacks.
    const TSettingsFileExtent held = SettingsFileExtent(data);
    if (!held.Whole() && !call.isSet("allow-partial"))
        throw TCliError::Failure(QStringLiteral("%1 holds %2 of the %3 bytes of the settings "
                                                "record; nothing was sent (--allow-partial "
                                                "sends it with the program's defaults for the "
                                                "rest).")
                                     .arg(file)
                                     .arg(held.recordBytes)
                                     .arg(TSettingsRecord::kSize));
    return data;
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

} // namespace

void DeclareRead(QCommandLineParser& p) {
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
}

int CmdRead(const TCliCall& call) {
    const QString out = call.value("output");
    if (call.p.values(QStringLiteral("port")).size() > 1)
        return ReadFromMany(call.p, out);
    TDeviceSide device(call.p);
    device.Open();
    TMK mk;
    device.Require(device.Read(mk));
    WriteOutput(out, SettingsFileData(mk));
    return 0;
}

void DeclareWrite(QCommandLineParser& p) {
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

int CmdWrite(const TCliCall& call) {
    if (call.files.isEmpty())
        throw TCliError::Usage(QStringLiteral("One settings FILE is required"));
    bool ok = false;
    VerifyOptions verify;
    verify.delayMs = call.value("verify-delay").toInt(&ok);
    if (!ok || verify.delayMs < 0 || verify.delayMs > 600000)
        throw TCliError::Usage(
            QStringLiteral("Bad --verify-delay: milliseconds from 0 to 600000 expected"));
    const bool many = call.p.values(QStringLiteral("port")).size() > 1;
    QList<TPortJob> jobs;
    TDeviceSide device(call.p);
    if (many) {
        device.CheckTimeout();
        jobs = ManyPortJobs(call.p);
    } else {
        device.Check();
    }
    const QByteArray data = FileToSend(call);
    TMK mk;
    LoadSettingsData(mk, data);
    const VerifyOptions* verifying = call.isSet("verify") ? &verify : nullptr;
    const bool backup = call.isSet("backup");
    if (many) {
        StartTrace();
        return WriteMany(jobs, data, verifying, backup, ConnectTimeout(call.p));
    }
    // Only a file that will be sent is worth a port: auto asks them all.
    device.Attach();
    return WriteToOne(device, mk, verifying, backup);
}

void DeclareDiff(QCommandLineParser& p) {
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

int CmdDiff(const TCliCall& call) {
    const bool usePort = call.isSet("port");
    const QStringList& files = call.files;
    if (const qsizetype allowed = usePort ? 1 : 2; files.size() > allowed)
        throw TCliError::Usage(QStringLiteral("Unexpected argument: %1").arg(files[allowed]));
    if (files.size() != (usePort ? 1 : 2))
        throw TCliError::Usage(usePort ? QStringLiteral("One settings FILE and --port PORT, or "
                                                        "two settings files, are required")
                                       : QStringLiteral("Two settings files are required"));
    TDeviceSide device(call.p);
    device.CheckTimeout();

    // Side A is the one named first; the trip computer is read like `read` does.
    QString names[2];
    TMK mks[2];
    const int portSide = !usePort ? -1 : PortFirst(call.args) ? 0 : 1;
    for (int i = 0, file = 0; i < 2; ++i) {
        if (i == portSide) {
            names[i] = QStringLiteral("port %1").arg(call.value("port"));
            continue;
        }
        names[i] = files[file++];
        LoadSettingsFile(mks[i], names[i]);
    }
    if (portSide >= 0) {
        device.Open();
        device.Require(device.Read(mks[portSide]));
    }

    const SettingsDiff diff =
        CompareSettings(DiffSideOf(names[0], mks[0]), DiffSideOf(names[1], mks[1]));
    Out(call.isSet("json") ? DiffJson(diff) : DiffText(diff));
    return diff.Differ() ? 1 : 0;
}

void DeclarePorts(QCommandLineParser& p) {
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
}

int CmdPorts(const TCliCall& call) {
    const bool probe = call.isSet("probe");
    if (probe)
        StartTrace();
    const QList<TPortReport> reports = SurveyPorts(*PortTable(call.p), probe);
    if (call.isSet("json"))
        Out(PortReportJson(reports));
    else if (reports.isEmpty())
        Err(QString::fromLatin1(kNoFreePortText));
    else
        Out(PortReportText(reports));
    return 0;
}
