#pragma once

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, kill, the session closing) as a
// request to stop: the first is only noted, and the program ends what it
// does at its next safe point; a second ends the program at once.

// Installs the handlers (called again, only the notice changes). notice,
// when given, is written to standard error as the first signal arrives.
void CatchStopSignals(const char* notice = nullptr);
// The first signal caught since the last ForgetStopSignal; 0 when none.
int CaughtStopSignal();
// The next signal counts as a first one again (the program stayed on).
void ForgetStopSignal();
// Becomes readable when a signal is caught (one byte each); -1 before
// CatchStopSignals. For an event loop's notifier.
int StopSignalFd();
// Takes the bytes waiting on StopSignalFd.
void DrainStopSignalFd();
// "SIGINT", "SIGTERM", "SIGHUP"; "another signal" for any other.
const char* StopSignalName(int signal);
