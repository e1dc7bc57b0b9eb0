#pragma once

#include <QStringList>

struct TCliIo;

// The whole command line, arguments as main() decoded them (support/file_names.h),
// writing to io. Exit status: 0 success, 1 the command failed (a file that
// cannot be read or written, a refused value, a failed transfer, output that
// could not be written), 2 wrong usage; diff as diff(1): 0 the same, 1
// different, 2 trouble. Runs may follow one another in one process; they may
// not overlap.
int RunCli(const QStringList& args, TCliIo& io);
