#include "cli/cli_common.h"

#include "core/transfers.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"
#include "support/file_io.h"
#include "support/ini_file.h"
#include "support/stop_signals.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// Qt's help names the program by the path it was started with; the usage
// line names the command instead ("Usage: tripconf-cli read [options]").
QString HelpText(const QCommandLineParser& p, const QString& command) {
    QString text = p.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    if (text.startsWith(usage) && options > 0 && (lineEnd < 0 || options < lineEnd))
        text.replace(usage.size(), options - usage.size(), command);
    return text;
}

// Why --ini FILE cannot serve as the port table, or empty. A missing FILE is
// a mistyped name: refused, never created.
QString IniProblem(const QString& name) {
    if (!QFileInfo::exists(name))
        return QStringLiteral("The INI file %1 does not exist.").arg(name);
    try {
        ReadWholeFile(name, TIniFile::kMaxSize);
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    }
    return {};
}

} // namespace

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

QString InterruptedText(const TransferResult& r) {
    QString text =
        QStringLiteral("Interrupted by %1.").arg(QLatin1String(StopSignalName(CaughtStopSignal())));
    if (!r.message.isEmpty())
        text += QLatin1Char('\n') + r.message;
    return text;
}

int UsageError(const QString& message) {
    Err(message);
    return 2;
}

void WriteOutput(const QString& name, const QByteArray& content) {
    if (name != QStringLiteral("-"))
        return WriteWholeFile(name, content);
    // A size limit on the file behind standard output fails the write, as it does a save.
    std::signal(SIGXFSZ, SIG_IGN);
    if (std::fwrite(content.constData(), 1, size_t(content.size()), stdout) !=
            size_t(content.size()) ||
        std::fflush(stdout) != 0)
        throw TripError(QStringLiteral("Cannot write to standard output. %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

bool Parse(QCommandLineParser& p, const QStringList& args, int& exitCode) {
    p.addHelpOption();
    exitCode = 2;
    if (!p.parse(args)) {
        Err(p.errorText());
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        Out(HelpText(p, args.first()));
        exitCode = 0;
        return false;
    }
    if (p.optionNames().contains(QStringLiteral("ini"))) {
        if (const QString problem = IniProblem(p.value(QStringLiteral("ini")));
            !problem.isEmpty()) {
            Err(problem);
            return false;
        }
    }
    return true;
}

QString ExtraArguments(const QCommandLineParser& p, qsizetype allowed) {
    const QStringList given = p.positionalArguments();
    if (given.size() <= allowed)
        return {};
    return QStringLiteral("Unexpected argument: %1").arg(given[allowed]);
}

bool LoadForCommand(TMK& mk, const QString& file) {
    QByteArray data;
    try {
        data = ReadSettingsFile(file);
    } catch (const std::exception& e) {
        Err(ExceptionMessage(e));
        return false;
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
    return true;
}
