#pragma once

#include "link/byte_port.h"

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>

// What the serial driver is asked past the serial library: an open port's
// real rate and its low-latency mode, and the device node opened directly.
// handle: the open port's native handle (QSerialPort::handle()).

// The rate the driver settled on, which may differ from the one asked for;
// 0 when it will not say.
uint32_t DriverBaudRate(qintptr handle);

// Asks the driver to pass received bytes on at once. previousFlags: what to
// give back at closing, set only when this call turned the mode on.
struct TLowLatency {
    enum class Result { On, AlreadyOn, Refused };
    Result result = Result::Refused;
    std::optional<int> previousFlags;
    QString reason; // Refused: the system's words
};
TLowLatency TurnOnLowLatency(qintptr handle);
// Gives the port the flags TurnOnLowLatency saved; the system's words when it
// cannot, empty when done.
QString RestoreSerialFlags(qintptr handle, int flags);

// Opens the device node itself and closes it again, for why the serial
// library could not: Kind::None when it opens as a terminal; else
// PermissionDenied, InUse (held exclusively), NotSerial or Other, with the
// system's words and path = devicePath.
TOpenFailure OpenNodeDirectly(const QString& devicePath);
