#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The simulator's side of its line: a pseudo-terminal that a client opens as
// a serial device, and a wake-up that other threads and signal handlers use
// to cut the simulator's waits short.
class TSimLine {
public:
    // Opens the line raw; TripError when it cannot.
    TSimLine();
    ~TSimLine();
    TSimLine(const TSimLine&) = delete;
    TSimLine& operator=(const TSimLine&) = delete;

    // The device path a client opens.
    QString ClientPath() const { return clientPath_; }
    // Until HangUp.
    bool IsOpen() const { return device_ >= 0; }
    // Hands the line what it takes now, never waiting; the count taken, 0 or
    // less when none.
    int64_t Write(const char* data, int64_t size);
    // Takes bytes that have come; 0 or less when none.
    int64_t Read(char* data, int64_t max);
    // The bytes written that the client has not taken yet; -1 when the
    // system will not say.
    int ClientQueued() const;
    // Closes the line: the client sees it hang up.
    void HangUp();

    // How a wait ended.
    struct TWait {
        bool failed = false;      // the wait failed (not only cut short by a signal)
        bool interrupted = false; // a signal cut it short
        bool timedOut = false;
        bool woken = false;    // Wake was called
        bool readable = false; // bytes from the client
        bool hungUp = false;   // no client has the line open
    };
    // Waits up to ms milliseconds (-1: without end) for bytes or a wake-up.
    TWait Wait(int ms);
    // Waits up to ms milliseconds for a wake-up alone; true when one came.
    bool WaitWake(int ms);
    // Leaves `what` for TakeWakes and ends a wait; safe in a signal handler.
    void Wake(char what);
    // The characters Wake left since the last call, in order.
    QByteArray TakeWakes();

private:
    int device_ = -1; // the pseudo-terminal's master side
    int client_ = -1; // its slave side, held open so the line stays up
    int wake_[2] = {-1, -1};
    QString clientPath_;
};

// Asks the system to end sleeps as close to their time as it can: replies
// are paced to fractions of a millisecond.
void UseFineTimers();
