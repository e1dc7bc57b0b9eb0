#pragma once

#include <QByteArray>
#include <QString>

// The command line's own use of descriptors: the standard streams and the
// --trace file.

// First thing in main, before anything opens a descriptor: a standard stream
// the program was started without (">&-") gets a descriptor that refuses
// writes as the closed one did, so that no file opened later takes its
// number and receives what was meant for the stream.
void GuardStandardStreams();

// Whether standard error is a terminal: progress is drawn only there.
bool StandardErrorIsTerminal();

// Whether name is a folder (following links).
bool IsFolder(const QString& name);

// The --trace file, written line by line as the traffic happens, so that a
// killed command leaves what it did. Not thread-safe: the caller serialises.
class TTraceFile {
public:
    TTraceFile() = default;
    TTraceFile(const TTraceFile&) = delete;
    TTraceFile& operator=(const TTraceFile&) = delete;
    ~TTraceFile();

    // Opens name and empties it: a regular file or a new one. A symbolic
    // link is refused rather than followed (as root, one planted in a shared
    // folder would have its target emptied); a pipe, device or folder is
    // refused without waiting for a reader. False, with the reason.
    bool Open(const QString& name, QString& reason);
    bool IsOpen() const { return fd_ >= 0; }
    // Writes all of line; after a failure nothing more is written.
    void Write(const QByteArray& line);
    // Closes the file; false, with the reason, when a write or the close failed.
    bool Close(QString& reason);

private:
    int fd_ = -1;
    int error_ = 0;
};
