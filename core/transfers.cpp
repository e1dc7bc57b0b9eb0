#include "core/transfers.h"

#include "core/port_texts.h"
#include "link/serial_link.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/record_diff.h"

#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <optional>
#include <variant>

namespace {
struct TTransferTexts {
    Q_DECLARE_TR_FUNCTIONS(Transfers)
};
} // namespace

namespace Texts {
QString Connecting() {
    return TTransferTexts::tr("I can not connect to the device");
}
QString Reading() {
    return TTransferTexts::tr("The settings are being read...");
}
QString Writing() {
    return TTransferTexts::tr("The settings are recorded...");
}
QString VersionMismatch() {
    return TTransferTexts::tr("The settings version does not match the device version!");
}
QString Written() {
    return TTransferTexts::tr("The settings are recorded in the device");
}
QString TornWrite() {
    return TTransferTexts::tr(
        "The trip computer may now hold partly written settings: write them again.");
}
QString WriteStopped(int sent, int blocks) {
    return TTransferTexts::tr("The write was stopped after %1 of %2 blocks.").arg(sent).arg(blocks);
}
QString Interrupted() {
    return TTransferTexts::tr("the program was asked to end");
}
QString BadRecordSize(uint32_t size) {
    return TTransferTexts::tr(
               "The settings record size (%1) is outside 4..124. Nothing was written.")
        .arg(size);
}
QString VersionsNamed(uint16_t settings, uint16_t device) {
    return TTransferTexts::tr("Settings version: %1, device version: %2.")
        .arg(settings)
        .arg(device);
}
QString UnitChanged(const QString& field) {
    return TTransferTexts::tr(
               "The trip computer on the port now holds other settings than when they were read "
               "before the write (%1 differs): another trip computer is connected, or its "
               "settings changed. Nothing was written.")
        .arg(field);
}
QString NotVerified(const QString& why) {
    return TTransferTexts::tr("The settings were written, but could not be read back: %1").arg(why);
}
QString ReadBackDiffers(const QString& field, int offset, const QString& written,
                        const QString& readBack, int fields) {
    QString text =
        TTransferTexts::tr("The settings read back differ from those written: %1 was "
                           "written as %2 but reads back as %3 (first difference at "
                           "offset 0x%4)")
            .arg(field, written, readBack,
                 QString::number(offset, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    if (fields > 1)
        text += TTransferTexts::tr("; %1 fields differ").arg(fields);
    return text;
}
} // namespace Texts

namespace {

// Raised at a safe point when the observer says the program is to end;
// caught by the transfer, which ends Interrupted with this message.
class TInterruption : public TripError {
public:
    explicit TInterruption(const QString& message = {}) : TripError(message) {}
};

// A safe point: between exchanges, where stopping leaves no exchange half done.
void StopPoint(TTransferObserver& observer, const std::function<QString()>& what = {}) {
    if (observer.Interrupted())
        throw TInterruption(what ? what() : QString());
}

// Ending: runs however the transfer leaves, so the port is never left open.
class Ending {
public:
    Ending(TSerialLink& link, TTransferObserver& observer) : link_(link), observer_(observer) {}
    ~Ending() {
        link_.AbortRequested = nullptr;
        observer_.Close();
        link_.SetPortOpen(false);
    }
    Ending(const Ending&) = delete;
    Ending& operator=(const Ending&) = delete;

private:
    TSerialLink& link_;
    TTransferObserver& observer_;
};

// Opens the port and shows the progress; the reason when the port will not
// open. A port that opens but stays silent is left to Connecting.
std::optional<QString> Prepare(TSerialLink& link, TTransferObserver& observer,
                               const TTransferTimings& timings) {
    // No port at all: asking would only wait for the user's Cancel.
    if (link.PortNumber == 0)
        return QString::fromLatin1(kNoFreePortText);
    link.SetPortOpen(true);
    if (!link.IsPortOpen()) {
        if (link.OpenFailure().kind != TOpenFailure::Kind::None)
            return OpenFailureText(link.OpenFailure());
        // The chosen port is gone and none is left; the link has said so.
        if (link.PortNumber == 0)
            return QString();
    }
    link.SetBaudRate(kTransferBaudRate);
    link.ByteTimeout = timings.byteMs;
    link.RetryPause = timings.retryPauseMs;
    // After a doubtful exchange the version request shows where the replies stand.
    link.ResyncCommand = kVersionCommand;
    link.ResyncReplyLength = kVersionReplyLength;
    observer.Open();
    observer.Progress({TransferPhase::Connecting});
    return std::nullopt;
}

// Asks for the version until the device answers; none when cancelled.
std::optional<uint16_t> Connect(TSerialLink& link, TTransferObserver& observer,
                                const TTransferTimings& timings) {
    // Cancel also cuts a wait short, not only the pause between rounds; so
    // does the program's end, since nothing is sent that changes the device.
    link.AbortRequested = [&observer] { return observer.Cancelled() || observer.Interrupted(); };
    for (;;) {
        link.ReplyTimeout = timings.readReplyMs;
        try {
            link.Request(kDeviceAddress, kVersionCommand, kVersionReplyLength);
            link.GetByte();
            const uint16_t version = link.GetWord();
            link.AbortRequested = nullptr;
            return version;
        } catch (const std::exception&) {
            // Retried silently until the device answers or the user cancels.
        }
        observer.ProcessEvents();
        if (observer.Cancelled() || observer.Interrupted())
            return std::nullopt;
    }
}

// From here on the transfer runs to its end or to an error.
void StartBlockPhase(TTransferObserver& observer, TransferPhase phase, int blocks) {
    observer.Progress({phase, 0, blocks});
    observer.ProcessEvents();
}

// Blocks 0..count-1, in order, as the phase given; raises the link's errors.
QByteArray ReadBlocks(TSerialLink& link, TTransferObserver& observer, TransferPhase phase,
                      int count) {
    StartBlockPhase(observer, phase, count);
    QByteArray bytes;
    bytes.reserve(count * kBlockSize);
    for (int b = 0; b < count; ++b) {
        StopPoint(observer);
        link.BeginRequest(kDeviceAddress, kReadBlockCommand);
        link.PutWord(uint16_t(b));
        link.Transact(kBlockReplyLength);
        for (int i = 0; i < kBlockSize; ++i)
            bytes.append(char(link.GetByte()));
        observer.Progress({phase, b + 1, count});
    }
    return bytes;
}

// Prepare, then Connecting: the device's settings version, or how the
// transfer ended before it (no port, the user's Cancel, the program's end).
std::variant<uint16_t, TransferResult> Begin(TSerialLink& link, TTransferObserver& observer,
                                             const TTransferTimings& timings) {
    if (observer.Interrupted())
        return TransferResult{TransferStatus::Interrupted, {}};
    if (const std::optional<QString> why = Prepare(link, observer, timings))
        return TransferResult{TransferStatus::PortFailed, *why};
    if (const std::optional<uint16_t> version = Connect(link, observer, timings))
        return *version;
    return TransferResult{
        observer.Interrupted() ? TransferStatus::Interrupted : TransferStatus::Cancelled, {}};
}

// Connects, refuses another version than required (when given), reads the
// whole image; mk's version, image and record change together, only when
// all blocks have arrived. The port is closed at the end, whatever happened.
TransferResult ReadImage(TSerialLink& link, TMK& mk, TTransferObserver& observer,
                         const TTransferTimings& timings, std::optional<uint16_t> required) {
    Ending ending(link, observer);
    const auto begun = Begin(link, observer, timings);
    if (const auto* ended = std::get_if<TransferResult>(&begun))
        return *ended;
    const uint16_t version = std::get<uint16_t>(begun);
    if (required && version != *required)
        return {TransferStatus::VersionMismatch, Texts::VersionMismatch(), version};

    QByteArray image;
    try {
        image = ReadBlocks(link, observer, TransferPhase::Reading, kImageSize / kBlockSize);
    } catch (const TInterruption& e) {
        return {TransferStatus::Interrupted, e.message()};
    } catch (const std::exception& e) {
        // What the program held stays as it was: nothing half-read is kept.
        return {TransferStatus::Failed, ExceptionMessage(e)};
    }
    mk.Version = version;
    mk.Image = image;
    mk.UnpackSettings();
    return {TransferStatus::Done, {}};
}

} // namespace

TransferResult ReadFromDevice(TSerialLink& link, TMK& mk, TTransferObserver& observer,
                              const TTransferTimings& timings) {
    return ReadImage(link, mk, observer, timings, std::nullopt);
}

namespace {

// The write's block phase and closing command; raises the link's errors,
// saying so when the device may hold part of the record. The program's end
// stops it between blocks (TInterruption), saying so too once a block is in.
void SendRecord(TSerialLink& link, TTransferObserver& observer, RecordBytes record, uint32_t size,
                const TTransferTimings& timings) {
    const int blocks = int((size + kBlockSize - 1) / kBlockSize);
    StartBlockPhase(observer, TransferPhase::Writing, blocks);
    link.ReplyTimeout = timings.writeReplyMs;
    bool torn = false;
    const auto transact = [&link, &torn] {
        try {
            link.Transact(kAckReplyLength);
        } catch (const std::exception& e) {
            if (torn || link.RequestWentOut())
                throw TripError(ExceptionMessage(e) + QLatin1Char('\n') + Texts::TornWrite());
            throw;
        }
        torn = true;
    };
    int sent = 0;
    const auto stopped = [&] {
        return sent == 0
                   ? QString()
                   : Texts::WriteStopped(sent, blocks) + QLatin1Char('\n') + Texts::TornWrite();
    };
    uint32_t next = 0;
    uint8_t last = 0;
    for (int i = 0; i < blocks; ++i) {
        StopPoint(observer, stopped);
        link.BeginRequest(kDeviceAddress, kWriteBlockCommand);
        link.PutWord(uint16_t(i));
        link.PutWord(kBlockSize);
        for (int k = 0; k < kBlockSize; ++k) {
            // Beyond the record the last byte taken is repeated as filler.
            if (next < size)
                last = record[next++];
            link.PutByte(last);
        }
        transact();
        sent = i + 1;
        observer.Progress({TransferPhase::Writing, sent, blocks});
    }
    // Without the closing command the device has not taken the record either.
    StopPoint(observer, stopped);
    link.BeginRequest(kDeviceAddress, kEndWriteCommand);
    link.PutWord(0);
    link.PutWord(uint16_t(size - 4));
    transact();
}

// Reads back the blocks just written and compares the record's bytes.
TransferResult ReadBack(TSerialLink& link, TTransferObserver& observer, RecordBytes sent,
                        uint32_t size, const VerifyOptions& options,
                        const TTransferTimings& timings) {
    const TransferResult interrupted{TransferStatus::Interrupted,
                                     Texts::NotVerified(Texts::Interrupted())};
    // The pause may be long, and sends nothing: the program's end cuts it short.
    link.AbortRequested = [&observer] { return observer.Interrupted(); };
    try {
        link.Pause(options.delayMs);
    } catch (const TLinkAborted&) {
        return interrupted;
    }
    observer.Progress({TransferPhase::Connecting});
    if (!Connect(link, observer, timings))
        return observer.Interrupted() ? interrupted
                                      : TransferResult{TransferStatus::NotVerified,
                                                       Texts::NotVerified(Texts::Connecting())};

    const int blocks = int((size + kBlockSize - 1) / kBlockSize);
    std::array<uint8_t, TSettingsRecord::kSize> back;
    std::copy(sent.begin(), sent.end(), back.begin());
    try {
        // Only the record's bytes count; the filler is the device's business.
        const QByteArray bytes = ReadBlocks(link, observer, TransferPhase::ReadingBack, blocks);
        std::copy_n(bytes.constData(), size, back.begin());
    } catch (const TInterruption&) {
        return interrupted;
    } catch (const std::exception& e) {
        return {TransferStatus::NotVerified, Texts::NotVerified(ExceptionMessage(e))};
    }

    const std::vector<FieldDifference> diffs = CompareRecords(sent, back, int(size));
    if (diffs.empty())
        return {TransferStatus::Done, Texts::Written()};
    int first = 0;
    while (sent[size_t(first)] == back[size_t(first)])
        ++first;
    const FieldDifference& d = diffs.front();
    return {TransferStatus::NotVerified,
            Texts::ReadBackDiffers(FieldLabel(*d.field), first, SideText(d, true),
                                   SideText(d, false), int(diffs.size()))};
}

// The first differing field of the record's first size bytes, or empty.
QString FirstDifference(RecordBytes a, RecordBytes b, uint32_t size) {
    const std::vector<FieldDifference> diffs = CompareRecords(a, b, int(size));
    return diffs.empty() ? QString() : FieldLabel(*diffs.front().field);
}

TransferResult Write(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                     const WriteOptions& options, const TTransferTimings& timings) {
    const auto record = mk.Settings.ToBytes();
    const uint32_t size = mk.Settings.Size;
    // The record holds 124 bytes, and the closing command needs at least 4.
    if (size < 4 || size > uint32_t(record.size()))
        return {TransferStatus::Refused, Texts::BadRecordSize(size)};

    Ending ending(link, observer);
    const auto begun = Begin(link, observer, timings);
    if (const auto* ended = std::get_if<TransferResult>(&begun))
        return *ended;
    const uint16_t version = std::get<uint16_t>(begun);
    if (version != mk.Version)
        return {TransferStatus::VersionMismatch, Texts::VersionMismatch(), version};

    if (options.expectedRecord) {
        // The unit on the line must be the one whose settings were read before.
        const int blocks = int((size + kBlockSize - 1) / kBlockSize);
        QByteArray now;
        try {
            now = ReadBlocks(link, observer, TransferPhase::Reading, blocks);
        } catch (const TInterruption& e) {
            return {TransferStatus::Interrupted, e.message()};
        } catch (const std::exception& e) {
            return {TransferStatus::Failed, ExceptionMessage(e)};
        }
        std::array<uint8_t, TSettingsRecord::kSize> expected{}, held{};
        std::copy_n(options.expectedRecord->constData(),
                    std::min<qsizetype>(options.expectedRecord->size(), expected.size()),
                    expected.begin());
        std::copy_n(now.constData(), std::min<qsizetype>(now.size(), held.size()), held.begin());
        if (const QString field = FirstDifference(expected, held, size); !field.isEmpty())
            return {TransferStatus::UnitChanged, Texts::UnitChanged(field)};
    }

    // Cancel does not end a write halfway: the device would hold a torn
    // record. Only the program's end does, between blocks, and says so.
    try {
        SendRecord(link, observer, record, size, timings);
    } catch (const TInterruption& e) {
        return {TransferStatus::Interrupted, e.message()};
    } catch (const std::exception& e) {
        return {TransferStatus::Failed, ExceptionMessage(e)};
    }
    if (!options.verify)
        return {TransferStatus::Done, Texts::Written()};
    return ReadBack(link, observer, record, size, *options.verify, timings);
}

} // namespace

TransferResult ReadBeforeWrite(TSerialLink& link, const TMK& mk, TMK& device,
                               TTransferObserver& observer, const TTransferTimings& timings) {
    // Nothing to review for a record that could not be written.
    if (const uint32_t size = mk.Settings.Size; size < 4 || size > uint32_t(TSettingsRecord::kSize))
        return {TransferStatus::Refused, Texts::BadRecordSize(size)};
    return ReadImage(link, device, observer, timings, mk.Version);
}

TransferResult WriteToDevice(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                             const TTransferTimings& timings) {
    return Write(link, mk, observer, {}, timings);
}

TransferResult WriteAndVerify(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                              const VerifyOptions& options, const TTransferTimings& timings) {
    return Write(link, mk, observer, {&options, nullptr}, timings);
}

TransferResult WriteChecked(TSerialLink& link, const TMK& mk, TTransferObserver& observer,
                            const WriteOptions& options, const TTransferTimings& timings) {
    return Write(link, mk, observer, options, timings);
}
