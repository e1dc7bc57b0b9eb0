#include "link/device_state.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using Kind = TOpenFailure::Kind;

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool Running(qint64 pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// A lock file's first two lines: the process and the program that took it.
struct TLockInfo {
    qint64 pid = 0;
    QString program;
    bool readable = false; // the pid could be read
};

TLockInfo ReadLock(const QString& lockFile) {
    TLockInfo info;
    QFile lock(lockFile);
    if (!lock.open(QIODevice::ReadOnly))
        return info;
    const QList<QByteArray> lines = lock.read(4096).split('\n');
    bool ok = false;
    info.pid = lines.value(0).trimmed().toLongLong(&ok);
    info.readable = ok && info.pid > 0;
    info.program = QString::fromLocal8Bit(lines.value(1).trimmed());
    return info;
}

// Whether the lock still holds, judged as Qt's lock file judges it: its
// process runs and, where that can be read, is the program that took it (a
// reused pid does not keep it); a lock whose pid cannot be read holds for
// its first 30 seconds.
bool LockHolds(const QString& lockFile, const TLockInfo& info) {
    if (!info.readable)
        return qAbs(QFileInfo(lockFile).lastModified().secsTo(QDateTime::currentDateTime())) <= 30;
    if (!Running(info.pid))
        return false;
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(info.pid));
    return exe.isEmpty() || info.program.isEmpty() ||
           QFileInfo(exe).fileName() == QFileInfo(info.program).fileName();
}

QString ProcessName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll().trimmed())
                             : QString();
    return name.isEmpty() ? QStringLiteral("process %1").arg(pid)
                          : QStringLiteral("%1, process %2").arg(name).arg(pid);
}

// The lock file QSerialPort takes for the device, in the folder it would
// choose: the first it may read where the file exists or it may write.
QString LockFileOf(const QString& devicePath) {
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* dir : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                            "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"}) {
        const QString folder = QString::fromLatin1(dir);
        const QString file = folder + QStringLiteral("/LCK..") + name;
        const QFileInfo info(folder);
        if (info.isReadable() && (QFile::exists(file) || info.isWritable()))
            return file;
    }
    return {};
}

// Whether this user may delete the file: the folder is writable, and its
// sticky bit (as on /run/lock) leaves others' files to their owners.
bool MayRemove(const QString& file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    struct stat d {
    }, f{};
    if (::stat(folder.constData(), &d) != 0 || ::access(folder.constData(), W_OK) != 0 ||
        ::stat(QFile::encodeName(file).constData(), &f) != 0)
        return false;
    const uid_t me = ::geteuid();
    return !(d.st_mode & S_ISVTX) || me == 0 || f.st_uid == me || d.st_uid == me;
}

// Whether the kernel lists a tty driver of a serial kind for the device
// number: serial ports, USB adapters, pseudo-terminal slaves; not consoles,
// /dev/tty or pseudo-terminal masters.
bool SerialDriver(dev_t device) {
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly))
        return true; // cannot tell: opening will
    const unsigned maj = major(device), min = minor(device);
    // Files under /proc report no size, so atEnd() is no guide: read it whole.
    for (const QByteArray& line : drivers.readAll().split('\n')) {
        // The driver's name may hold blanks: the fields are read from the right.
        const QList<QByteArray> f = line.simplified().split(' ');
        const qsizetype n = f.size();
        if (n < 5 || f[n - 3].toUInt() != maj)
            continue;
        const QList<QByteArray> range = f[n - 2].split('-');
        const unsigned first = range[0].toUInt(), last = range.value(1, range[0]).toUInt();
        if (min < first || min > last)
            continue;
        const QByteArray& type = f[n - 1];
        return !type.startsWith("system") && type != "console" && type != "pty:master";
    }
    return false;
}

// The reentrant lookups: transfers on several threads may ask at once.
QString UserName(uid_t uid) {
    passwd pw{}, *found = nullptr;
    char buffer[4096];
    return ::getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found
               ? QString::fromLocal8Bit(found->pw_name)
               : QString::number(uid);
}

QString GroupName(gid_t gid) {
    group gr{}, *found = nullptr;
    char buffer[4096];
    return ::getgrgid_r(gid, &gr, buffer, sizeof buffer, &found) == 0 && found
               ? QString::fromLocal8Bit(found->gr_name)
               : QString::number(gid);
}

// The pseudo-terminal index a master descriptor serves, from its fdinfo.
int PtyIndex(const QString& fdinfo) {
    QFile info(fdinfo);
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("tty-index:"))
            return line.mid(10).trimmed().toInt();
    }
    return -1;
}

// Which process has each device open ("name, process PID"), leaving out
// this one and a pseudo-terminal's own other side (the program playing the
// device behind it).
QHash<QString, QString> ScanHolders() {
    const qint64 self = ::getpid();
    QHash<QString, QList<qint64>> holding;
    QHash<int, QSet<qint64>> masters; // pseudo-terminal index -> processes with its master
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 n = pid.toLongLong(&numeric);
        if (!numeric || n == self)
            continue;
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString& fd : QDir(fdDir).entryList(QDir::Files | QDir::System)) {
            const QString target = QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd);
            if (target.startsWith(QLatin1String("/dev/")) &&
                !target.endsWith(QLatin1String("ptmx")))
                holding[target] << n;
            else if (target.endsWith(QLatin1String("ptmx")))
                if (const int index = PtyIndex(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid, fd));
                    index >= 0)
                    masters[index] << n;
        }
    }
    QHash<QString, QString> out;
    for (auto it = holding.cbegin(); it != holding.cend(); ++it) {
        const QString& device = it.key();
        const int index =
            device.startsWith(QLatin1String("/dev/pts/")) ? device.mid(9).toInt() : -1;
        for (const qint64 n : it.value())
            if (!masters.value(index).contains(n)) {
                out.insert(device, ProcessName(n));
                break;
            }
    }
    return out;
}

std::mutex holdersMutex;
QHash<QString, QString> holders;
QElapsedTimer holdersAge;

// One look through the processes serves a whole listing of ports.
QString OpenedBy(const QString& devicePath) {
    const std::lock_guard<std::mutex> lock(holdersMutex);
    QElapsedTimer& age = holdersAge;
    if (!age.isValid() || age.elapsed() > 500) {
        holders = ScanHolders();
        age.start();
    }
    return holders.value(QFileInfo(devicePath).canonicalFilePath());
}

} // namespace

void ForgetDeviceHolders() {
    const std::lock_guard<std::mutex> lock(holdersMutex);
    holdersAge.invalidate();
}

TOpenFailure StaleLockOf(const QString& devicePath) {
    TOpenFailure out{Kind::None, devicePath, {}, {}};
    const QString lock = LockFileOf(QFileInfo(devicePath).absoluteFilePath());
    if (lock.isEmpty() || !QFile::exists(lock))
        return out;
    if (const TLockInfo info = ReadLock(lock); !LockHolds(lock, info)) {
        out.kind = Kind::StaleLock;
        out.lockFile = lock;
        out.lockPid = info.pid;
    }
    return out;
}

QString DeviceHolder(const QString& devicePath) {
    if (const QString lock = LockFileOf(devicePath); !lock.isEmpty())
        if (const TLockInfo info = ReadLock(lock); info.readable && LockHolds(lock, info))
            return ProcessName(info.pid);
    return OpenedBy(devicePath);
}

TOpenFailure InspectDevice(const QString& devicePath, bool holders) {
    TOpenFailure out{Kind::None, devicePath, {}, {}};
    const QString path = QFileInfo(devicePath).absoluteFilePath();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        out.kind = errno == ENOENT || errno == ENOTDIR ? Kind::NotFound : Kind::Other;
        out.reason = SystemText(errno);
        return out;
    }
    if (S_ISDIR(st.st_mode) || !S_ISCHR(st.st_mode) || !SerialDriver(st.st_rdev)) {
        out.kind = Kind::NotSerial;
        out.reason = SystemText(S_ISDIR(st.st_mode) ? EISDIR : ENOTTY);
        return out;
    }
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        out.kind = Kind::PermissionDenied;
        out.reason = SystemText(EACCES);
        out.owner = UserName(st.st_uid);
        out.group = GroupName(st.st_gid);
        out.groupMayOpen = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
        return out;
    }
    // The lock the path itself takes (what an open here would meet), and that
    // of the device behind a link (another program's, for the same adapter).
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QString& named : {path, canonical}) {
        const QString lock = LockFileOf(named);
        if (lock.isEmpty() || !QFile::exists(lock))
            continue;
        const TLockInfo info = ReadLock(lock);
        if (LockHolds(lock, info)) {
            out.kind = Kind::InUse;
            out.holder = info.readable ? ProcessName(info.pid) : QString();
            out.lockFile = lock;
            out.lockPid = info.pid;
            return out;
        }
        if (named == path && !MayRemove(lock)) {
            out.kind = Kind::StaleLock;
            out.lockFile = lock;
            out.lockPid = info.pid;
            return out;
        }
    }
    if (holders)
        if (const QString holder = OpenedBy(path); !holder.isEmpty()) {
            out.kind = Kind::InUse;
            out.holder = holder;
        }
    return out;
}
