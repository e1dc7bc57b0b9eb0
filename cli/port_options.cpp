#include "cli/port_options.h"

#include "cli/cli_common.h"
#include "cli/cli_trace.h"
#include "core/app_ini.h"
#include "core/port_probe.h"
#include "core/port_texts.h"
#include "model/mk.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

// About 31 years: "wait as good as forever".
constexpr double kMaxConnectTimeout = 1e9;

// The complaint about --connect-timeout, or empty.
QString TimeoutProblem(const QCommandLineParser& p, double& seconds) {
    bool ok = false;
    seconds = p.value(QStringLiteral("connect-timeout")).toDouble(&ok);
    // Also refuses inf and nan, which as milliseconds fit no integer and gave up at once.
    if (ok && seconds >= 0 && seconds <= kMaxConnectTimeout)
        return {};
    seconds = 0;
    return QStringLiteral("Bad --connect-timeout: seconds from 0 to %1")
        .arg(qint64(kMaxConnectTimeout));
}

// --port auto: the device path of the one port where a trip computer
// answers; a failure, with what was found, when none or several do.
QString AutoPort(const QCommandLineParser& p) {
    const QList<TPortReport> reports = SurveyPorts(*PortTable(p), true);
    QStringList answering;
    for (const TPortReport& r : reports)
        if (r.version)
            answering << r.port.devicePath;
    if (answering.size() == 1)
        return answering.first();
    throw TCliError::Failure(
        (answering.isEmpty() ? QStringLiteral("--port auto: no trip computer answers")
                             : QStringLiteral("--port auto: %1 ports answer; choose one "
                                              "with --port")
                                   .arg(answering.size())) +
        (reports.isEmpty()
             ? QStringLiteral("; no serial port was found.")
             : QStringLiteral(". Ports found:\n") + PortReportText(reports).trimmed()));
}

// The device path of a --port value other than auto: a path, or COMn of
// the port table.
QString PortDevicePath(const QCommandLineParser& p, const QString& port) {
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
    if (!ok || n < 1 || n > 32)
        throw TCliError::Usage(QStringLiteral("Not a port: %1").arg(port));
    // The window's port table: COMn keys of the INI file, else the system's list.
    TSerialLink table;
    table.ShowPortProblem = [](const TPortProblem&) {};
    // Only the table: the INI's chosen port is not this command's to open.
    table.LoadPortTable(*PortTable(p));
    const QString path = table.PortPath(n);
    if (path.isEmpty())
        throw TCliError::Usage(QStringLiteral("%1 is not in the port table").arg(port));
    return path;
}

} // namespace

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

std::unique_ptr<TIniFile> PortTable(const QCommandLineParser& p) {
    if (p.isSet(QStringLiteral("ini")))
        return std::make_unique<TIniFile>(p.value(QStringLiteral("ini")));
    return std::make_unique<TMIniFile>(TMIniFile::DefaultFileName(QStringLiteral("tripconf")));
}

double ConnectTimeout(const QCommandLineParser& p) {
    double seconds = 0;
    if (const QString problem = TimeoutProblem(p, seconds); !problem.isEmpty())
        throw TCliError::Usage(problem);
    return seconds;
}

QList<TPortJob> ManyPortJobs(const QCommandLineParser& p) {
    QList<TPortJob> jobs;
    QStringList paths;
    for (const QString& port : p.values(QStringLiteral("port"))) {
        if (port == QStringLiteral("auto"))
            throw TCliError::Usage(QStringLiteral("--port auto takes one port only"));
        if (port.isEmpty())
            throw TCliError::Usage(QStringLiteral("--port needs a PORT"));
        const QString path = PortDevicePath(p, port);
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const QString key = canonical.isEmpty() ? path : canonical;
        if (paths.contains(key))
            throw TCliError::Usage(QStringLiteral("%1 is named twice").arg(port));
        paths << key;
        jobs.append({port, path, {}});
    }
    return jobs;
}

TDeviceSide::TDeviceSide(const QCommandLineParser& p)
    : p_(p), observer_([&] {
          double seconds = 0;
          timeoutError_ = TimeoutProblem(p, seconds);
          return seconds;
      }()) {}

void TDeviceSide::CheckTimeout() const {
    if (!timeoutError_.isEmpty())
        throw TCliError::Usage(timeoutError_);
}

void TDeviceSide::Check() {
    CheckTimeout();
    port_ = p_.value(QStringLiteral("port"));
    if (port_.isEmpty())
        throw TCliError::Usage(QStringLiteral("--port is required"));
    path_ = port_ == QStringLiteral("auto") ? QString() : PortDevicePath(p_, port_);
}

void TDeviceSide::Attach() {
    // The command line is taken: from here on the trace has the traffic.
    StartTrace();
    if (path_.isEmpty())
        path_ = port_ = AutoPort(p_);
    link_.SetDevicePath(path_);
}

void TDeviceSide::Require(const TransferResult& r, const TMK* mk) const {
    switch (r.status) {
    case TransferStatus::Done:
        return;
    case TransferStatus::Cancelled:
        throw TCliError::Failure(observer_.TimedOut() ? Texts::Connecting()
                                                      : QStringLiteral("Cancelled"));
    case TransferStatus::Interrupted:
        throw TCliError::Failure(InterruptedText(r));
    case TransferStatus::VersionMismatch:
        // The window's text stays as it is; here the two versions follow.
        throw TCliError::Failure(
            r.message +
            (mk ? QStringLiteral("\nFile: %1, device: %2").arg(mk->Version).arg(r.deviceVersion)
                : QString()));
    default:
        throw TCliError::Failure(r.message);
    }
}
