#pragma once

#include "link/byte_port.h"

#include <QList>
#include <QString>
#include <QStringList>

// The system's side of the port table: which serial devices there are, and
// which of them COM1, COM2, ... stand for when the INI file names none.
// TSerialPortBase knows the system only through these.

// The serial devices of the machine, listed without opening any: opening
// one raises its modem lines.
QList<TSerialDeviceInfo> SystemSerialDevices();

// The device paths COM1, COM2, ... stand for, in that order, given the
// devices the system lists (in no particular order).
QStringList DefaultPortPaths(const QList<TSerialDeviceInfo>& devices);
