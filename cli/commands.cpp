#include "cli/commands.h"

#include "cli/cli_observer.h"
#include "link/serial_link.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "shell/app_ini.h"
#include "shell/language.h"
#include "shell/transfers.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <utility>

namespace {

const char* const kUsage =
    "Usage: tripconf-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  read   --port PORT -o FILE   read the trip computer's settings into a settings file\n"
    "  write  --port PORT FILE      write the settings of FILE to the trip computer\n"
    "  show   FILE [--json]         print the version and every interpreted setting\n"
    "\n"
    "PORT is a device path (/dev/ttyUSB0) or COMn of the port table.\n"
    "Run 'tripconf-cli COMMAND --help' for a command's options.\n";

// About 31 years: "wait as good as forever".
constexpr double kMaxConnectTimeout = 1e9;

void Err(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

void Out(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
}

int Fail(const QString& message) {
    Err(message);
    return 1;
}

int UsageError(const QString& message) {
    Err(message);
    return 2;
}

// Parses a command's options; prints help or the error and returns false.
bool Parse(QCommandLineParser& p, const QStringList& args, int& exitCode) {
    p.addHelpOption();
    if (!p.parse(args)) {
        Err(p.errorText());
        exitCode = 2;
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        Out(p.helpText());
        exitCode = 0;
        return false;
    }
    return true;
}

void AddPortOptions(QCommandLineParser& p) {
    p.addOption(
        {QStringLiteral("port"), QStringLiteral("Device path or COMn."), QStringLiteral("PORT")});
    p.addOption(
        {QStringLiteral("ini"),
         QStringLiteral("INI file with the port table (default: the window's tripconf.ini)."),
         QStringLiteral("FILE")});
    p.addOption({QStringLiteral("connect-timeout"),
                 QStringLiteral("Seconds to try connecting (default 10)."),
                 QStringLiteral("SECONDS"), QStringLiteral("10")});
}

// The link on the chosen port, or an error message.
bool OpenLink(TSerialLink& link, const QCommandLineParser& p, QString& error) {
    const QString port = p.value(QStringLiteral("port"));
    if (port.isEmpty()) {
        error = QStringLiteral("--port is required");
        return false;
    }
    if (port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int n = port.mid(3).toInt(&ok);
        if (!ok || n < 1 || n > 32) {
            error = QStringLiteral("Not a port: %1").arg(port);
            return false;
        }
        // The window's port table: COMn keys of the INI file, else the system's list.
        TMIniFile ini(p.isSet(QStringLiteral("ini"))
                          ? p.value(QStringLiteral("ini"))
                          : TMIniFile::DefaultFileName(QStringLiteral("tripconf")));
        const auto showError = std::exchange(link.ShowError, [](const QString&) {});
        link.LoadSettings(ini);
        link.SetPortOpen(false);
        link.ShowError = showError;
        const QString path = link.PortPath(n);
        if (path.isEmpty()) {
            error = QStringLiteral("%1 is not in the port table").arg(port);
            return false;
        }
        link.SetDevicePath(path);
    } else {
        link.SetDevicePath(port);
    }
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

int ReportTransfer(const TransferResult& r, const TCliObserver& observer) {
    switch (r.status) {
    case TransferStatus::Done:
        return 0;
    case TransferStatus::Cancelled:
        return Fail(observer.TimedOut() ? Texts::Connecting() : QStringLiteral("Cancelled"));
    default:
        return Fail(r.message);
    }
}

int CmdRead(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Reads the version and the settings image of the trip computer into a settings file.\n"
        "FILE is written only after a complete read; on failure it stays as it was."));
    AddPortOptions(p);
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Settings file to write."),
                 QStringLiteral("FILE")});
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    QString error;
    const double timeout = ConnectTimeout(p, error);
    const QString out = p.value(QStringLiteral("output"));
    if (out.isEmpty())
        error = QStringLiteral("-o FILE is required");
    TSerialLink link;
    if (!error.isEmpty() || !OpenLink(link, p, error))
        return UsageError(error);
    TMK mk;
    TCliObserver observer(timeout);
    try {
        const TransferResult r = ReadFromDevice(link, mk, observer);
        if (r.status != TransferStatus::Done)
            return ReportTransfer(r, observer);
        SaveSettingsFile(mk, out);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

int CmdWrite(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes the settings record of a settings file to the trip computer, after checking\n"
        "that the trip computer reports the file's settings version."));
    AddPortOptions(p);
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    QString error;
    const double timeout = ConnectTimeout(p, error);
    if (p.positionalArguments().size() != 1)
        error = QStringLiteral("One settings FILE is required");
    TSerialLink link;
    if (!error.isEmpty() || !OpenLink(link, p, error))
        return UsageError(error);
    TMK mk;
    TCliObserver observer(timeout);
    try {
        LoadSettingsFile(mk, p.positionalArguments().first());
        const TransferResult r = WriteToDevice(link, mk, observer);
        if (r.status != TransferStatus::Done)
            return ReportTransfer(r, observer);
        Err(r.message);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

int CmdShow(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Prints the version and every interpreted setting of a settings file."));
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (p.positionalArguments().size() != 1)
        return UsageError(QStringLiteral("One settings FILE is required"));
    const QString file = p.positionalArguments().first();
    TMK mk;
    QByteArray data;
    try {
        data = ReadWholeFile(file);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    LoadSettingsData(mk, data);
    // Loading keeps what a short file lacks; say so rather than pass it off as the file's.
    const qsizetype whole = 2 + TSettingsRecord::kSize;
    if (data.size() < whole)
        Err(QStringLiteral("%1 holds %2 of the %3 bytes of a version and a settings record; "
                           "the rest is shown as a new program holds it.")
                .arg(file)
                .arg(data.size())
                .arg(whole));
    const auto bytes = mk.Settings.ToBytes();
    const bool json = p.isSet(QStringLiteral("json"));
    QJsonObject settings;
    QString text = QStringLiteral("Version: %1\n").arg(mk.Version);
    for (const FieldInfo& f : RecordFields()) {
        const std::optional<FieldText> shown = ShownFieldText(mk.Settings, f);
        if (!shown)
            continue;
        const QString name = QString::fromLatin1(f.name);
        settings.insert(name, QJsonObject{{QStringLiteral("raw"), FieldValue(bytes, f)},
                                          {QStringLiteral("shown"), shown->text}});
        text += QStringLiteral("%1: %2").arg(name, shown->text);
        if (!shown->unit.isEmpty())
            text += QLatin1Char(' ') + shown->unit;
        text += QLatin1Char('\n');
    }
    if (json)
        text = QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("Version"), int(mk.Version)},
                                      {QStringLiteral("Settings"), settings}})
                .toJson(QJsonDocument::Indented));
    Out(text);
    return 0;
}

} // namespace

int RunCli(const QStringList& args) {
    // The command-line tool speaks the English texts.
    English = true;
    if (args.isEmpty())
        return UsageError(QString::fromLatin1(kUsage));
    if (args.first() == QStringLiteral("--help") || args.first() == QStringLiteral("-h")) {
        Out(QString::fromLatin1(kUsage));
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
    return UsageError(QStringLiteral("Unknown command: %1\n").arg(cmd) +
                      QString::fromLatin1(kUsage));
}
