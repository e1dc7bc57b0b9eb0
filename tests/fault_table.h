#pragma once

#include "link/serial_link.h"

#include <QList>
#include <QString>
#include <QStringList>

// The simulator's faults, as tripconf-sim options, with the message a
// transfer ends with. The window's and tripconf-cli's fault tests share it.
struct TFault {
    const char* name;
    QStringList options;
    QString message; // empty: the link's retries overcome the fault
};

inline QString LinkText(const char* text, const char* suffix = "") {
    return QString::fromUtf8(text) + QString::fromLatin1(suffix);
}

// Faults that strike once the device has answered the version request.
inline QList<TFault> BlockPhaseFaults() {
    const auto after = [](std::initializer_list<const char*> options) {
        QStringList all{QStringLiteral("--faults-after"), QStringLiteral("1")};
        for (const char* o : options)
            all << QString::fromLatin1(o);
        return all;
    };
    return {
        {"silence", after({"--silent"}), LinkText(kNoLinkText)},
        {"two lost replies", after({"--lose", "2"}), {}},
        {"wrong checksum", after({"--bad-checksum"}), LinkText(kExchangeErrorText, "(0)")},
        {"zero header", after({"--zero-header"}), LinkText(kExchangeErrorText, "(4)")},
        {"busy", after({"--busy"}), LinkText(kDeviceBusyText)},
        {"short length", after({"--short-length", "5"}), LinkText(kNoLinkText)},
        {"replies with another command", after({"--other-command", "2"}),
         LinkText(kExchangeErrorText, kWrongReplySuffix)},
        {"stalled reply", after({"--cut", "3"}), LinkText(kDelayWithinBlockText)},
        // FF reads as a length of 255: the reply's bytes are not enough.
        {"junk before a reply", after({"--junk", "FF"}), LinkText(kDelayWithinBlockText)},
        // Answers the version and two blocks, then the line is gone.
        {"line closed",
         {QStringLiteral("--hang-up-after"), QStringLiteral("3")},
         LinkText(kNoLinkText)},
    };
}

// Faults from the first request on: the device never connects.
inline QList<TFault> ConnectingFaults() {
    QList<TFault> faults;
    for (const TFault& f : BlockPhaseFaults())
        if (!f.message.isEmpty() && f.options.first() == QStringLiteral("--faults-after"))
            faults.append({f.name, f.options.mid(2), f.message});
    return faults;
}

// The longest a failing exchange can take: three attempts that each wait the
// reply time-out with the request's line time and one stalled later byte,
// with the pauses between them.
inline int FailingExchangeBoundMs(int replyTimeoutMs, int requestBytes) {
    const int lineMs = (9600 * (requestBytes - 1) + 115200 / 2) / 115200;
    return TSerialLink::kAttempts * (replyTimeoutMs + lineMs + 200) +
           (TSerialLink::kAttempts - 1) * TSerialLink::kRetryPauseMs;
}
