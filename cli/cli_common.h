#pragma once

#include "support/errors.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdio>

class TMK;
struct TransferResult;

// What every tripconf-cli command shares: where it writes, how it fails,
// its arguments, and writing an -o file.

// Where one run of the command line writes: the standard streams, or what a
// test gives it. The first failed write of each stream is kept (its errno)
// for the run's end.
struct TCliIo {
    FILE* out = stdout;
    FILE* err = stderr;
    // Progress is drawn only on a terminal.
    bool errIsTerminal = false;
    std::atomic<int> outError{0};
    std::atomic<int> errError{0};
    // A command has told the user that standard output failed.
    std::atomic<bool> outReported{false};
};

// How a command stops short: raised anywhere in it, said once on standard
// error where the command is run, with exit status 2 for wrong usage and the
// command's status for a failure (1; diff: 2). Any other exception is a
// failure with its own message.
class TCliError : public TripError {
public:
    static TCliError Usage(const QString& message) { return TCliError(message, true); }
    static TCliError Failure(const QString& message) { return TCliError(message, false); }
    bool usage() const { return usage_; }

private:
    TCliError(const QString& message, bool usage) : TripError(message), usage_(usage) {}
    bool usage_;
};

// A command's parsed arguments.
struct TCliCall {
    const QCommandLineParser& p;
    // As given, the command's name first ("tripconf-cli diff"), for what the
    // parser does not keep: the order of options and files.
    const QStringList& args;
    QStringList files; // the positional arguments
    bool isSet(const char* option) const { return p.isSet(QLatin1String(option)); }
    QString value(const char* option) const { return p.value(QLatin1String(option)); }
};

// One command of the table: its options and description, how many
// positional arguments it takes (-1: any; more are wrong usage), an option it
// cannot do without, its exit status for a failure, and what it does.
struct TCliCommand {
    const char* name;
    void (*declare)(QCommandLineParser& p);
    int maxFiles;
    const char* required; // checked before the files; may be null
    const char* requiredText;
    int trouble;
    int (*run)(const TCliCall& call);
};

// Every write is checked: a failed or short one makes the command fail at
// its end (FinishOutput). Err shows bytes of a name that are not UTF-8 as
// \xNN; Out writes them as they were given. Safe from several threads.
void Err(const QString& text);
void Out(const QString& text);
// Sends what Out buffered on at once (a backup's path, a port's line).
void FlushOut();
// The run's streams; set for the length of a run by TCliRun.
TCliIo& Io();
class TCliRun {
public:
    explicit TCliRun(TCliIo& io);
    ~TCliRun();
    TCliRun(const TCliRun&) = delete;
    TCliRun& operator=(const TCliRun&) = delete;

private:
    TCliIo* previous_;
};
// Whether the exit status says the command did its work: 0, or diff's 1
// ("different") for a command whose trouble is 2.
inline bool Succeeded(int code, int trouble) {
    return code == 0 || (trouble == 2 && code == 1);
}
// Flushes and closes the run's output, and says when it could not be written.
// The exit status: code, or trouble (1; diff: 2) in place of a success (and
// of diff's "different") when either stream failed.
int FinishOutput(int code, int trouble);

// A transfer a signal ended: which signal, then what became of the trip
// computer's settings when they changed.
QString InterruptedText(const TransferResult& r);

// FILE of an -o option; "-" is standard output. Raises TripError.
void WriteOutput(const QString& name, const QByteArray& content);

// Parses a command's arguments as the table says; prints help and returns
// false, or raises TCliError. args.first() is the command as the usage line
// names it.
bool Parse(QCommandLineParser& p, const TCliCommand& command, const QStringList& args);

// Loads a settings file for a command that reads one; TCliError when it
// cannot be read. A file too short for the version and the whole record is
// loaded with a warning that names what it lacks.
void LoadForCommand(TMK& mk, const QString& file);

// The commands' options and what they do.
void DeclareShow(QCommandLineParser& p);
int CmdShow(const TCliCall& call);
void DeclareGet(QCommandLineParser& p);
int CmdGet(const TCliCall& call);
void DeclareSet(QCommandLineParser& p);
int CmdSet(const TCliCall& call);
void DeclareExport(QCommandLineParser& p);
int CmdExport(const TCliCall& call);
void DeclareImport(QCommandLineParser& p);
int CmdImport(const TCliCall& call);
void DeclareBackups(QCommandLineParser& p);
int CmdBackups(const TCliCall& call);
