#pragma once

#include "link/byte_port.h"

#include <QString>

// What the system tells of a serial device without opening it: opening one
// raises its modem lines (resetting boards wired to them) and changes the
// line under a program that has it open.

// From the device node, the tty drivers the kernel lists and the lock file
// serial programs write. Kind::None: present and, as far as can be told,
// free. A lock left by a process no longer running counts as free when this
// user may remove it (opening does), else as StaleLock. holders: also look
// through the processes for one with the device open.
TOpenFailure InspectDevice(const QString& devicePath, bool holders);

// StaleLock when the device's lock file names a process no longer running,
// whoever may remove it; else Kind::None.
TOpenFailure StaleLockOf(const QString& devicePath);

// "name, process PID" of the program holding the device: the running
// process of its lock file, else one with it open (not this one, nor the
// one on the other side of a pseudo-terminal); empty when none is known.
// One look through the processes serves the calls of a listing; the next
// listing (after ForgetDeviceHolders, or half a second) looks again.
QString DeviceHolder(const QString& devicePath);
void ForgetDeviceHolders();
