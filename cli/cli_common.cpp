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

// The errno of the first failed write to each stream; 0 while all went well.
std::atomic<int> stdoutError{0};
std::atomic<int> stderrError{0};
// A command has told the user that standard output failed.
std::atomic<bool> stdoutReported{false};

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
        .arg(QString::fromLocal8Bit(std::strerror(stdoutError)));
}

} // namespace

void Err(const QString& text) {
    Checked(stderrError, [&] { return WriteAll(EscapedText(text).toUtf8() + '\n', stderr); });
}

void Out(const QString& text) {
    // A name is printed as the bytes it was given as, so that a script can use it.
    Checked(stdoutError, [&] { return WriteAll(EncodeNative(text), stdout); });
}

void FlushOut() {
    Checked(stdoutError, [] { return std::fflush(stdout) == 0; });
}

int FinishOutput(int code, int trouble) {
    FlushOut();
    Checked(stdoutError, [] { return !std::ferror(stdout); });
    // A close can fail too (a network file system reports late).
    Checked(stdoutError, [] { return std::fclose(stdout) == 0; });
    if (stdoutError != 0 && !stdoutReported)
        Err(StandardOutputProblem());
    Checked(stderrError, [] { return std::fflush(stderr) == 0 && !std::ferror(stderr); });
    if (stdoutError == 0 && stderrError == 0)
        return code;
    return code == 0 || (trouble == 2 && code == 1) ? trouble : code;
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
    Checked(stdoutError, [&] { return WriteAll(content, stdout); });
    FlushOut();
    if (stdoutError != 0) {
        // Said once, by the command that fails with it.
        stdoutReported = true;
        throw TripError(StandardOutputProblem());
    }
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
            // A file that cannot be read, as for any other command.
            Err(problem);
            exitCode = 1;
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
    if (const TSettingsFileExtent held = SettingsFileExtent(data); !held.Whole())
        Err(QStringLiteral("%1 %2; the rest is shown as a new program holds it.")
                .arg(file, ShortfallText(held)));
    return true;
}
