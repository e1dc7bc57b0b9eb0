#pragma once

#include "link/serial_port.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

class TIniFile;

// A port of the port table as `tripconf-cli ports` shows it, and what a
// version request found there.
struct TPortReport {
    TPortChoice port;
    bool probed = false;
    std::optional<uint16_t> version; // the settings version of a trip computer that answered
};

// Every entry of the table the INI file gives (else of the system's list),
// with its state, opening none. With probe, each free port is opened and
// asked for the version, briefly.
QList<TPortReport> SurveyPorts(TIniFile& ini, bool probe);

// Asks the device at path for its version with a short reply time-out
// (replyMs for each of the link's attempts); nullopt when nothing answers.
std::optional<uint16_t> ProbeVersion(const QString& path, int replyMs = 80);

// One line per port: "COM1  /dev/ttyUSB0  FT232R USB UART, ...  answers: settings version 3".
QString PortReportText(const QList<TPortReport>& reports);
// A JSON array of objects: port, path, description, manufacturer,
// serialNumber, vendorId, productId (hex texts or null), permissionDenied,
// and with probing answers and version.
QString PortReportJson(const QList<TPortReport>& reports);
