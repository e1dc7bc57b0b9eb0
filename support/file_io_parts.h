#pragma once

#include <QByteArray>
#include <QString>

// What file_io.cpp shares with the system's own parts of the reads and saves.

// The system's words for an error number.
QString SystemText(int err);
// FileError: `what "name". reason`.
[[noreturn]] void ThrowFileError(const char* what, const QString& name, const QString& reason);
// The folder a path's last part is in.
QByteArray FolderOf(const QByteArray& path);
// The temporary file's name beside `path` (its last six characters to be
// chosen), within the folder's name length limit nameMax however long the
// target's name is.
QByteArray TemporaryName(const QByteArray& path, long nameMax);
// False after UseNamedTemporaries(true).
bool UnnamedTemporariesAllowed();

// Files without a name until they are given one, where the system has them.
// An unnamed file open for writing in `folder`, or -1 with errno (EOPNOTSUPP,
// EISDIR or EINVAL where the file system or kernel has none).
int OpenUnnamedFile(const QByteArray& folder);
// Gives the unnamed file open on fd the hidden name `tmp` (its last six
// characters chosen here); 0 or the errno of the failure (ENOENT or EPERM:
// it cannot be named this way).
int NameUnnamedFile(int fd, QByteArray& tmp);
