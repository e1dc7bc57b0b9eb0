#include "cli/many_ports.h"

#include "cli/backup_commands.h"
#include "cli/cli_common.h"
#include "core/port_texts.h"
#include "link/serial_link.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"
#include "support/file_io.h"
#include "support/stop_signals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// No progress: with several ports a bar per port would only mix on the
// terminal. Connecting gives up after the time-out, as a cancel.
class TQuietObserver : public TTransferObserver {
public:
    explicit TQuietObserver(double connectTimeoutSeconds)
        : timeoutMs_(qint64(connectTimeoutSeconds * 1000)) {}

    void Open() override { clock_.start(); }
    void Close() override {}
    void Progress(const TransferProgress& progress) override {
        connecting_ = progress.phase == TransferPhase::Connecting;
        if (connecting_)
            clock_.restart();
    }
    bool Cancelled() override {
        if (connecting_ && clock_.elapsed() >= timeoutMs_)
            timedOut_ = true;
        return timedOut_;
    }
    void ProcessEvents() override {}
    // Every port's thread sees the one signal.
    bool Interrupted() override { return CaughtStopSignal() != 0; }

    bool TimedOut() const { return timedOut_; }

private:
    QElapsedTimer clock_;
    qint64 timeoutMs_;
    bool connecting_ = false;
    bool timedOut_ = false;
};

// Prints a line of the job's port ahead of its result line.
using TSay = std::function<void(const QString&)>;

// One port's transfer: runs in its thread with the link made there, and
// returns the result line's text and whether it succeeded.
using TTransfer =
    std::function<bool(TSerialLink&, TQuietObserver&, const TPortJob&, const TSay&, QString&)>;

void PrintLine(const QString& port, const QString& text) {
    Out(QStringLiteral("%1: %2\n").arg(port, text));
    FlushOut();
}

// The text of a transfer that did not end Done, on one line. mk: the
// settings a write sent, whose version a mismatch names beside the device's.
QString FailureText(const TransferResult& r, const TQuietObserver& observer,
                    const TMK* mk = nullptr) {
    QString text;
    if (r.status == TransferStatus::Cancelled)
        text = observer.TimedOut() ? Texts::Connecting() : QStringLiteral("Cancelled");
    else if (r.status == TransferStatus::Interrupted)
        text = InterruptedText(r);
    else
        text = r.message;
    if (r.status == TransferStatus::VersionMismatch && mk)
        text += QStringLiteral(" File: %1, device: %2").arg(mk->Version).arg(r.deviceVersion);
    return text.simplified();
}

int RunMany(const QList<TPortJob>& jobs, double connectTimeoutSeconds, const TTransfer& transfer) {
    std::mutex outputLock;
    int succeeded = 0;
    std::vector<std::unique_ptr<QThread>> threads;
    for (const TPortJob& job : jobs) {
        threads.emplace_back(QThread::create([&, job] {
            // The link and its serial port live and die in this thread.
            TSerialLink link;
            QString shown;
            link.ShowPortProblem = [&shown](const TPortProblem& problem) {
                shown = PortProblemText(problem);
            };
            link.SetDevicePath(job.path);
            link.LogTag = job.port + QStringLiteral(": ");
            TQuietObserver observer(connectTimeoutSeconds);
            const TSay say = [&outputLock, &job](const QString& line) {
                const std::lock_guard<std::mutex> hold(outputLock);
                PrintLine(job.port, line);
            };
            QString text;
            bool ok = false;
            try {
                ok = transfer(link, observer, job, say, text);
                if (!ok && text.isEmpty())
                    text = shown.simplified();
            } catch (const std::exception& e) {
                text = ExceptionMessage(e).simplified();
            }
            const std::lock_guard<std::mutex> hold(outputLock);
            succeeded += ok ? 1 : 0;
            PrintLine(job.port, (ok ? QStringLiteral("ok: ") : QStringLiteral("failed: ")) + text);
        }));
        threads.back()->start();
    }
    for (const auto& t : threads)
        t->wait();
    Out(QStringLiteral("%1 of %2 ports succeeded\n").arg(succeeded).arg(jobs.size()));
    return succeeded == jobs.size() ? 0 : 1;
}

} // namespace

QString PortFileName(const QString& folder, const QString& port, const QString& path) {
    const QString base = port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)
                             ? port.toUpper()
                             : QFileInfo(path).fileName();
    return QDir(folder).filePath(base + QStringLiteral(".tarvg"));
}

int ReadMany(const QList<TPortJob>& jobs, double connectTimeoutSeconds) {
    return RunMany(jobs, connectTimeoutSeconds,
                   [](TSerialLink& link, TQuietObserver& observer, const TPortJob& job, const TSay&,
                      QString& text) {
                       TMK mk;
                       const TransferResult r = ReadFromDevice(link, mk, observer);
                       if (r.status != TransferStatus::Done) {
                           text = FailureText(r, observer);
                           return false;
                       }
                       WriteWholeFile(job.file, SettingsFileData(mk));
                       text = QStringLiteral("saved as %1").arg(job.file);
                       return true;
                   });
}

int WriteMany(const QList<TPortJob>& jobs, const QByteArray& data, const VerifyOptions* verify,
              bool backup, double connectTimeoutSeconds) {
    return RunMany(jobs, connectTimeoutSeconds,
                   [&data, verify, backup](TSerialLink& link, TQuietObserver& observer,
                                           const TPortJob& job, const TSay& say, QString& text) {
                       // Each thread its own copy of the settings: nothing of it is shared.
                       TMK own;
                       LoadSettingsData(own, data);
                       QByteArray backedUp;
                       if (backup) {
                           const TBackupResult b = BackUpUnit(link, own, job.port, observer);
                           if (b.transfer.status != TransferStatus::Done) {
                               text = FailureText(b.transfer, observer, &own);
                               return false;
                           }
                           say(QStringLiteral("backup: %1").arg(b.path));
                           backedUp = b.record;
                       }
                       const TransferResult r = WriteChecked(
                           link, own, observer, {verify, backup ? &backedUp : nullptr});
                       if (r.status != TransferStatus::Done) {
                           text = FailureText(r, observer, &own);
                           return false;
                       }
                       text = r.message.simplified();
                       if (verify)
                           text += QStringLiteral(
                               "; read back: the trip computer holds the record as written.");
                       return true;
                   });
}
