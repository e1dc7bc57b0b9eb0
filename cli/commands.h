#pragma once

#include <QStringList>

// Exit status: 0 success, 1 failure (diff: 1 = differences), 2 usage or I/O
// error where the command says so.
int RunCli(const QStringList& args);
