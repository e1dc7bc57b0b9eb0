#pragma once

#include "link/serial_port.h"

#include <QString>

// The words users read about the serial ports; English, or the window's
// translation (context "Ports"). The link reports only what happened.

inline const char* const kNoFreePortText = "Can not find free serial port!";

// What to tell the user about a port that will not open: the path, the
// system's reason and, where there is one, the remedy.
QString OpenFailureText(const TOpenFailure& failure);
// A port's state in a listing: "free", "in use by NAME, process PID", "no
// such device", "not a serial device", or OpenFailureText with its remedy.
QString PortStateText(const TOpenFailure& state);
// kNoFreePortText, then "COMn: " and OpenFailureText for each port of the
// table that will not open.
QString PortProblemText(const TPortProblem& problem);
