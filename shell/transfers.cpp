#include "shell/transfers.h"

#include "link/serial_link.h"
#include "model/mk.h"
#include "shell/language.h"
#include "support/numeric.h"

#include <optional>

namespace Texts {
QString Connecting() {
    return Lang("Не могу подключиться к МК...", "I can not connect to the device");
}
QString Reading() {
    return Lang("Чтение настроек...", "The settings are being read...");
}
QString Writing() {
    return Lang("Запись настроек...", "The settings are recorded...");
}
QString VersionMismatch() {
    return Lang("Версия настроек не совпадает с версией устройства!",
                "The settings version does not match the device version!");
}
QString Written() {
    return Lang("Настройки записаны в МК", "The settings are recorded in the device");
}
QString BadRecordSize(uint32_t size) {
    return Lang("Размер записи настроек (%1) вне пределов 4..124. Настройки не записаны.",
                "The settings record size (%1) is outside 4..124. Nothing was written.")
        .arg(size);
}
} // namespace Texts

namespace {

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

void Prepare(TSerialLink& link, TTransferObserver& observer) {
    link.SetPortOpen(true);
    link.SetBaudRate(kTransferBaudRate);
    observer.Open();
    observer.ShowCancel(true);
    observer.SetText(Texts::Connecting());
    observer.ShowGauge(false);
}

// Asks for the version until the device answers; none when cancelled.
std::optional<uint16_t> Connect(TSerialLink& link, TTransferObserver& observer) {
    // Cancel also cuts a wait short, not only the pause between rounds.
    link.AbortRequested = [&observer] { return observer.Cancelled(); };
    for (;;) {
        link.ReplyTimeout = 100;
        try {
            link.Request(kDeviceAddress, 1);
            link.GetByte();
            const uint16_t version = link.GetWord();
            link.AbortRequested = nullptr;
            return version;
        } catch (const std::exception&) {
            // Retried silently until the device answers or the user cancels.
        }
        observer.ProcessEvents();
        if (observer.Cancelled())
            return std::nullopt;
    }
}

void StartBlockPhase(TTransferObserver& observer, const QString& text) {
    observer.SetText(text);
    observer.SetGauge(0);
    observer.ShowGauge(true);
    observer.ProcessEvents();
    // From here on the transfer runs to its end or to an error.
    observer.ShowCancel(false);
}

int Gauge(int done, int total) {
    return int(RoundHalfEven(done * 100.0 / total));
}

} // namespace

TransferResult ReadFromDevice(TSerialLink& link, TMK& mk, TTransferObserver& observer) {
    Ending ending(link, observer);
    Prepare(link, observer);
    const std::optional<uint16_t> version = Connect(link, observer);
    if (!version)
        return {TransferStatus::Cancelled, {}};

    StartBlockPhase(observer, Texts::Reading());
    QByteArray image;
    image.reserve(kImageSize);
    const int blocks = kImageSize / kBlockSize;
    try {
        for (int b = 0; b < blocks; ++b) {
            link.BeginRequest(kDeviceAddress, 5);
            link.PutWord(uint16_t(b));
            link.Transact();
            for (int i = 0; i < kBlockSize; ++i)
                image.append(char(link.GetByte()));
            observer.SetGauge(Gauge(b, blocks));
        }
    } catch (const std::exception& e) {
        // What the program held stays as it was: nothing half-read is kept.
        return {TransferStatus::Failed, ExceptionMessage(e)};
    }
    mk.Version = *version;
    mk.Image = image;
    mk.UnpackSettings();
    return {TransferStatus::Done, {}};
}

TransferResult WriteToDevice(TSerialLink& link, const TMK& mk, TTransferObserver& observer) {
    const auto record = mk.Settings.ToBytes();
    const uint32_t size = mk.Settings.Size;
    // The record holds 124 bytes, and the closing command needs at least 4.
    if (size < 4 || size > uint32_t(record.size()))
        return {TransferStatus::Refused, Texts::BadRecordSize(size)};

    Ending ending(link, observer);
    Prepare(link, observer);
    const std::optional<uint16_t> version = Connect(link, observer);
    if (!version)
        return {TransferStatus::Cancelled, {}};
    if (*version != mk.Version)
        return {TransferStatus::VersionMismatch, Texts::VersionMismatch()};

    // A write is not cancelled halfway: the device would hold a torn record.
    StartBlockPhase(observer, Texts::Writing());
    link.ReplyTimeout = 3000;
    const int blocks = int((size + kBlockSize - 1) / kBlockSize);
    uint32_t next = 0;
    uint8_t last = 0;
    for (int i = 0; i < blocks; ++i) {
        link.BeginRequest(kDeviceAddress, 4);
        link.PutWord(uint16_t(i));
        link.PutWord(kBlockSize);
        for (int k = 0; k < kBlockSize; ++k) {
            // Beyond the record the last byte taken is repeated as filler.
            if (next < size)
                last = record[next++];
            link.PutByte(last);
        }
        link.Transact();
        observer.SetGauge(Gauge(i, blocks));
    }
    link.BeginRequest(kDeviceAddress, 7);
    link.PutWord(0);
    link.PutWord(uint16_t(size - 4));
    link.Transact();
    return {TransferStatus::Done, Texts::Written()};
}
