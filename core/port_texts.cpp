#include "core/port_texts.h"

#include <QCoreApplication>

namespace {
// The ports' texts: English, or the window's translation (context "Ports").
struct TPortTexts {
    Q_DECLARE_TR_FUNCTIONS(Ports)
};
} // namespace

QString OpenFailureText(const TOpenFailure& f) {
    using Kind = TOpenFailure::Kind;
    const QString reason = f.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(f.reason);
    switch (f.kind) {
    case Kind::None:
        return {};
    case Kind::NotFound:
        return TPortTexts::tr("The port %1 does not exist%2.").arg(f.path, reason);
    case Kind::NotSerial:
        return TPortTexts::tr("%1 is not a serial port%2.").arg(f.path, reason);
    case Kind::PermissionDenied:
        // Joining a group helps only when that group may read and write it.
        // Joining root is no remedy to give.
        if (f.group.isEmpty() || (f.groupMayOpen && f.group != QLatin1String("root")))
            return TPortTexts::tr(
                       "No permission to open the port %1%2. Add your user to the group %3: "
                       "sudo usermod -aG %3 $USER, then log in again.")
                .arg(f.path, reason, f.group.isEmpty() ? QStringLiteral("dialout") : f.group);
        return TPortTexts::tr(
                   "No permission to open the port %1%2. Only its owner %3 may read and write "
                   "it, not its group %4: ask the administrator for access (a udev rule, for "
                   "instance).")
            .arg(f.path, reason, f.owner, f.group);
    case Kind::StaleLock:
        return TPortTexts::tr(
                   "A stale lock file %1 (process %2, not running) blocks the port; remove it: "
                   "sudo rm %1")
            .arg(f.lockFile)
            .arg(f.lockPid);
    case Kind::InUse:
        if (!f.holder.isEmpty())
            return TPortTexts::tr("The port %1 is in use by another program (%2).")
                .arg(f.path, f.holder);
        return TPortTexts::tr("The port %1 is in use by another program.").arg(f.path);
    case Kind::Other:
        break;
    }
    return TPortTexts::tr("The port %1 cannot be opened%2.").arg(f.path, reason);
}

QString PortStateText(const TOpenFailure& f) {
    switch (f.kind) {
    case TOpenFailure::Kind::None:
        return TPortTexts::tr("free");
    case TOpenFailure::Kind::InUse:
        return f.holder.isEmpty() ? TPortTexts::tr("in use by another program")
                                  : TPortTexts::tr("in use by %1").arg(f.holder);
    case TOpenFailure::Kind::NotFound:
        return TPortTexts::tr("no such device");
    case TOpenFailure::Kind::NotSerial:
        return TPortTexts::tr("not a serial device");
    default:
        return OpenFailureText(f);
    }
}

QString PortProblemText(const TPortProblem& problem) {
    QString text;
    switch (problem.kind) {
    case TPortProblem::Kind::NoFreePort:
        text = QString::fromLatin1(kNoFreePortText);
        break;
    }
    for (const TPortProblem::Entry& e : problem.ports)
        if (const QString why = OpenFailureText(e.state); !why.isEmpty())
            text += QStringLiteral("\nCOM%1: %2").arg(e.number).arg(why);
    return text;
}
