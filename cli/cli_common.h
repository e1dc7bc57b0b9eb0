#pragma once

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class TMK;
struct TransferResult;

// What every tripconf-cli command shares: output, exit statuses, option
// parsing and writing an -o file.

// Every write is checked: a failed or short one makes the command fail at
// its end (FinishOutput). Err shows bytes of a name that are not UTF-8 as
// \xNN; Out writes them as they were given.
void Err(const QString& text);
void Out(const QString& text);
// Sends what Out buffered on at once (a backup's path, a port's line).
void FlushOut();
// Flushes and closes standard output, and says when it could not be written.
// The exit status: code, or trouble (1; diff: 2) in place of a success (and
// of diff's "different") when either stream failed.
int FinishOutput(int code, int trouble);
// The message on standard error; exit status 1.
int Fail(const QString& message);
// The message on standard error; exit status 2.
int UsageError(const QString& message);

// A transfer a signal ended: which signal, then what became of the trip
// computer's settings when they changed.
QString InterruptedText(const TransferResult& r);

// FILE of an -o option; "-" is standard output. Raises TripError.
void WriteOutput(const QString& name, const QByteArray& content);

// Parses a command's options; prints help or the error and returns false.
// args.first() is the command as the usage line names it.
bool Parse(QCommandLineParser& p, const QStringList& args, int& exitCode);
// The complaint about positional arguments beyond the first `allowed`, or empty.
QString ExtraArguments(const QCommandLineParser& p, qsizetype allowed);

// Loads a settings file for a command that reads one; false, with the
// message printed, when it cannot be read. A file too short for the version
// and the whole record is loaded with a warning that names what it lacks.
bool LoadForCommand(TMK& mk, const QString& file);

// The commands; args.first() is "tripconf-cli COMMAND".
int CmdShow(const QStringList& args);
int CmdGet(const QStringList& args);
int CmdSet(const QStringList& args);
int CmdExport(const QStringList& args);
int CmdImport(const QStringList& args);
int CmdBackups(const QStringList& args);
