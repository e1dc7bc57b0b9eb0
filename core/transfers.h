#pragma once

#include "core/protocol.h"

#include <QString>
#include <cstdint>

class TMK;
class TSerialLink;

// The stages of a device transfer, in the order a verified write passes them.
enum class TransferPhase {
    Connecting,  // asking for the version until the device answers
    Reading,     // the image, or the record a checked write finds first
    Writing,     // the record's blocks and the closing command
    ReadingBack, // a verified write's blocks, read after the closing command
};

// Where a transfer stands: the blocks of its phase done, of total (both 0
// while connecting).
struct TransferProgress {
    TransferPhase phase = TransferPhase::Connecting;
    int done = 0;
    int total = 0;
};

// What a device transfer tells while it runs, and what it asks. The window
// shows it in its progress window, the command-line tool as a bar on
// standard error; each says the phases in its own words.
class TTransferObserver {
public:
    virtual ~TTransferObserver() = default;
    virtual void Open() = 0;  // progress shown, not modal
    virtual void Close() = 0; // progress gone; runs after every transfer
    // Each phase as it begins (done 0), then each block done. Connecting is
    // told once for each time it begins.
    virtual void Progress(const TransferProgress& progress) = 0;
    // The user gives up; asked only while connecting: a block phase runs to
    // its end or to an error.
    virtual bool Cancelled() = 0;
    virtual void ProcessEvents() = 0;
    // The program is to end (a signal, the session closing): the transfer
    // stops at its next safe point, between exchanges, also in a block phase
    // that Cancel cannot end.
    virtual bool Interrupted() { return false; }
};

enum class TransferStatus {
    Done,            // message: the success text (a write's information)
    Cancelled,       // the user gave up while connecting; nothing changed
    Failed,          // the block phase failed; message: the link's error
    VersionMismatch, // a write found another settings version; nothing sent
    Refused,         // a write refused before connecting; nothing sent
    NotVerified,     // a verified write was sent, but its read-back failed or differs
    PortFailed,      // no port, or it would not open; message: why (empty when the
                     // link has shown it); nothing sent
    UnitChanged,     // a checked write found another record than the one expected; nothing sent
    Interrupted,     // the observer's Interrupted ended it at a safe point; message: empty
                     // when the trip computer was left as it was, else what became of the
                     // write (the torn-write text, or the read-back that did not happen)
};

struct TransferResult {
    TransferStatus status;
    QString message;
    // VersionMismatch: the version the device reported.
    uint16_t deviceVersion = 0;
};

// How long a transfer waits for the trip computer. The defaults are the
// device's own; tests shorten them so a silent line costs little.
struct TTransferTimings {
    // Reply time-out while connecting and while reading blocks.
    uint16_t readReplyMs = 100;
    // Reply time-out of a written block and of the closing command: the
    // device stores the block before it answers.
    uint16_t writeReplyMs = 3000;
    // The longest gap between two bytes of one reply.
    uint16_t byteMs = 200;
    // The pause before the link tries an exchange again.
    uint16_t retryPauseMs = 50;
};

// The transfers' own texts are English, or the translation the window has
// installed (Qt's translation system, context "Transfers").

// Reads version and image; they and the record change together, only when
// all blocks have arrived. The port is closed at the end, whatever happened.
TransferResult ReadFromDevice(TSerialLink& link, TMK& mk, TTransferObserver& observer,
                              const TTransferTimings& timings = {});

// Writes the settings record after the version check. A link error in the
// block phase ends it Failed; once a block request has gone out, its message
// gains the line Texts::TornWrite().
TransferResult WriteToDevice(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                             const TTransferTimings& timings = {});

// How a verified write reads the record back after the closing command.
struct VerifyOptions {
    // Pause after the closing command before asking for the version again:
    // the trip computer may be busy storing the record.
    int delayMs = 0;
};

// WriteToDevice, then on the same open port: the pause, Connecting again
// (given up when the observer cancels), command 5 for the blocks written,
// and a comparison of their first Size bytes with the record sent. The
// filler bytes of the last block are not compared: they are not part of the
// record, and the trip computer may keep its own bytes there.
TransferResult WriteAndVerify(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                              const VerifyOptions& options, const TTransferTimings& timings = {});

// The first step of a reviewed write: connects as a write does, refuses
// another settings version than mk's (VersionMismatch), then reads the whole
// image as ReadFromDevice does, into device (version and image). mk is not
// changed. A record size the write would refuse is refused first (Refused).
// The port is closed at the end.
TransferResult ReadBeforeWrite(TSerialLink& link, const TMK& mk, TMK& device,
                               TTransferObserver& observer, const TTransferTimings& timings = {});

struct WriteOptions {
    // Read back after the closing command; none: not verified.
    const VerifyOptions* verify = nullptr;
    // The record the trip computer must still hold when the write has
    // connected again (the one reviewed or backed up). When blocks 0..3 read
    // then differ in its first Size bytes, nothing is sent (UnitChanged).
    const QByteArray* expectedRecord = nullptr;
};

// WriteToDevice with the options above.
TransferResult WriteChecked(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                            const WriteOptions& options, const TTransferTimings& timings = {});

namespace Texts {
QString Connecting();
QString Reading();
QString Writing();
QString VersionMismatch();
QString Written();
QString TornWrite();
QString WriteStopped(int sent, int blocks);
QString Interrupted();
QString BadRecordSize(uint32_t size);
QString VersionsNamed(uint16_t settings, uint16_t device);
QString UnitChanged(const QString& field);
QString NotVerified(const QString& why);
QString ReadBackDiffers(const QString& field, int offset, const QString& written,
                        const QString& readBack, int fields);
} // namespace Texts
