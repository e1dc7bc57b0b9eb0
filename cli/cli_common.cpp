#include "cli/cli_common.h"

#include "core/transfers.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_format.h"
#include "support/errors.h"
#include "support/file_io.h"
#include "support/file_names.h"
#include "support/ini_file.h"
#include "support/stop_signals.h"

#include <QFileInfo>

#include <atomic>
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
    if (!FileExists(name))
        return QStringLiteral("The INI file %1 does not exist.").arg(EscapedText(name));
    try {
        ReadWholeFile(name, TIniFile::kMaxSize);
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    }
    return {};
}

TCliIo* current = nullptr;

// Runs a stdio call that returns whether it succeeded; a failure is noted
// for the stream with its errno (EIO when it set none).
template <typename Call> void Checked(std::atomic<int>& stream, Call call) {
    errno = 0;
    if (call())
        return;
    int none = 0;
    stream.compare_exchange_strong(none, errno != 0 ? errno : EIO);
}

bool WriteAll(const QByteArray& bytes, FILE* stream) {
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
}

QString StandardOutputProblem() {
    return QStringLiteral("Cannot write to standard output. %1")
        .arg(QString::fromLocal8Bit(std::strerror(Io().outError)));
}

} // namespace

TCliIo& Io() {
    // Outside a run (a unit's own test) the standard streams.
    static TCliIo standard;
    return current ? *current : standard;
}

TCliRun::TCliRun(TCliIo& io) : previous_(current) {
    current = &io;
}

TCliRun::~TCliRun() {
    current = previous_;
}

void Err(const QString& text) {
    TCliIo& io = Io();
    Checked(io.errError, [&] { return WriteAll(EscapedText(text).toUtf8() + '\n', io.err); });
}

void Out(const QString& text) {
    TCliIo& io = Io();
    // A name is printed as the bytes it was given as, so that a script can use it.
    Checked(io.outError, [&] { return WriteAll(EncodeNative(text), io.out); });
}

void FlushOut() {
    TCliIo& io = Io();
    Checked(io.outError, [&] { return std::fflush(io.out) == 0; });
}

int FinishOutput(int code, int trouble) {
    TCliIo& io = Io();
    FlushOut();
    Checked(io.outError, [&] { return !std::ferror(io.out); });
    // A close can fail too (a network file system reports late).
    Checked(io.outError, [&] { return std::fclose(io.out) == 0; });
    if (io.outError != 0 && !io.outReported)
        Err(StandardOutputProblem());
    Checked(io.errError, [&] { return std::fflush(io.err) == 0 && !std::ferror(io.err); });
    if (io.outError == 0 && io.errError == 0)
        return code;
    return Succeeded(code, trouble) ? trouble : code;
}

QString InterruptedText(const TransferResult& r) {
    QString text =
        QStringLiteral("Interrupted by %1.").arg(QLatin1String(StopSignalName(CaughtStopSignal())));
    if (!r.message.isEmpty())
        text += QLatin1Char('\n') + r.message;
    return text;
}

void WriteOutput(const QString& name, const QByteArray& content) {
    if (name != QStringLiteral("-"))
        return WriteWholeFile(name, content);
    TCliIo& io = Io();
    // A size limit on the file behind standard output fails the write, as it does a save.
    std::signal(SIGXFSZ, SIG_IGN);
    Checked(io.outError, [&] { return WriteAll(content, io.out); });
    FlushOut();
    if (io.outError != 0) {
        // Said once, by the command that fails with it.
        io.outReported = true;
        throw TripError(StandardOutputProblem());
    }
}

bool Parse(QCommandLineParser& p, const TCliCommand& command, const QStringList& args) {
    command.declare(p);
    p.addHelpOption();
    if (!p.parse(args))
        throw TCliError::Usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        Out(HelpText(p, args.first()));
        return false;
    }
    if (p.optionNames().contains(QStringLiteral("ini")))
        if (const QString problem = IniProblem(p.value(QStringLiteral("ini"))); !problem.isEmpty())
            // A file that cannot be read, as for any other command.
            throw TCliError::Failure(problem);
    if (command.required && p.value(QLatin1String(command.required)).isEmpty())
        throw TCliError::Usage(QLatin1String(command.requiredText));
    if (const QStringList given = p.positionalArguments();
        command.maxFiles >= 0 && given.size() > command.maxFiles)
        throw TCliError::Usage(
            QStringLiteral("Unexpected argument: %1").arg(given[command.maxFiles]));
    return true;
}

void LoadForCommand(TMK& mk, const QString& file) {
    QByteArray data;
    try {
        data = ReadSettingsFile(file);
    } catch (const std::exception& e) {
        throw TCliError::Failure(ExceptionMessage(e));
    }
    LoadSettingsData(mk, data);
    // Loading keeps what a short file lacks; say so rather than pass it off as the file's.
    if (const TSettingsFileExtent held = SettingsFileExtent(data); !held.Whole())
        Err(QStringLiteral("%1 %2; the rest is shown as a new program holds it.")
                .arg(file, ShortfallText(held)));
}
