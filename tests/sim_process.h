#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// The programs under test, as built: tripconf-cli and tripconf-sim.
inline QString Bin(const char* name) {
    return qEnvironmentVariable("TRIPCONF_BIN") + QLatin1Char('/') + QString::fromLatin1(name);
}

struct Run {
    int code = -1; // -1: did not end in time; -2: crashed
    QString out, err;
    qint64 ms = 0;
};

// tripconf-cli as its own process.
inline Run CliProcess(const QStringList& args, int timeoutMs = 30000) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(Bin("tripconf-cli"), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ms = t.elapsed();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The simulator as its own process; stopped (and its memory dumped) on destruction.
class Sim {
public:
    explicit Sim(const QStringList& args, const QString& dump = {}) {
        QStringList all = args;
        if (!all.contains(QStringLiteral("--log")))
            all << QStringLiteral("--log") << QStringLiteral("/dev/null");
        if (!dump.isEmpty())
            all << QStringLiteral("--dump") << dump;
        p.start(Bin("tripconf-sim"), all);
        if (p.waitForReadyRead(5000))
            path = QString::fromUtf8(p.readLine()).trimmed();
    }
    ~Sim() { Stop(); }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;
    void Stop() {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    QProcess p;
    QString path;
};

inline QByteArray ReadFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteFile(const QString& name, const QByteArray& content) {
    QFile f(name);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}
