#pragma once

#include "cli/backup_commands.h"
#include "cli/cli_observer.h"
#include "cli/many_ports.h"
#include "core/transfers.h"
#include "link/serial_link.h"
#include "support/ini_file.h"

#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <memory>

class TMK;

// The options of the commands that reach a trip computer, and what they name.
// Every check raises TCliError: a usage error for a wrong option, a failure
// for what the command could not do.

void AddIniOption(QCommandLineParser& p);
// --port, --ini and --connect-timeout.
void AddPortOptions(QCommandLineParser& p);

// --connect-timeout in seconds.
double ConnectTimeout(const QCommandLineParser& p);

// Several --port values: one job per port, each on its device path; a usage
// error for auto (one port only) or a port named twice.
QList<TPortJob> ManyPortJobs(const QCommandLineParser& p);

// The trip computer's side of a command, set up once from the port options:
// the link on --port and the progress on standard error, which gives up
// connecting after --connect-timeout.
class TDeviceSide {
public:
    explicit TDeviceSide(const QCommandLineParser& p);

    // Checks --connect-timeout.
    void CheckTimeout() const;
    // Checks the port options, touching no port and no file.
    void Check();
    // After Check: starts the trace and points the link at --port (a --port
    // auto asks the ports); a failure when the trace cannot be written or
    // auto finds no single trip computer.
    void Attach();
    // Check, then Attach.
    void Open() {
        Check();
        Attach();
    }

    TransferResult Read(TMK& mk) { return ReadFromDevice(link_, mk, observer_); }
    TBackupResult BackUp(const TMK& mk) { return BackUpUnit(link_, mk, port_, observer_); }
    // expected: the record the trip computer must still hold (its backup's).
    TransferResult Write(const TMK& mk, const VerifyOptions* verify,
                         const QByteArray* expected = nullptr) {
        return WriteChecked(link_, mk, observer_, {verify, expected});
    }
    // Nothing when the transfer ended Done; else a failure saying why. mk: the
    // settings a write sent.
    void Require(const TransferResult& r, const TMK* mk = nullptr) const;

private:
    const QCommandLineParser& p_;
    QString timeoutError_;
    QString port_; // as a backup names it; for auto the one found
    QString path_; // the device --port names; empty for auto
    TSerialLink link_;
    TCliObserver observer_;
};

// The INI file with the port table: --ini (checked by Parse, and never
// created), else the window's.
std::unique_ptr<TIniFile> PortTable(const QCommandLineParser& p);
