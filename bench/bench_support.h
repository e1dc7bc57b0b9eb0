#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <sys/resource.h>
#include <vector>

// Wall clock and processor time (the whole process, all threads), in ms.
inline double WallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double CpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0;
    };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double Max(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

// tripconf-sim beside this program, serving until destroyed; its own
// process, so the processor time measured here is ours alone.
class TSimProcess {
public:
    explicit TSimProcess(QStringList options) {
        if (!options.contains(QStringLiteral("--log")))
            options << QStringLiteral("--log") << QStringLiteral("/dev/null");
        p_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tripconf-sim"), options);
        if (!p_.waitForReadyRead(5000))
            throw std::runtime_error("tripconf-sim did not start");
        path_ = QString::fromUtf8(p_.readLine()).trimmed();
    }
    ~TSimProcess() {
        p_.terminate();
        p_.waitForFinished(5000);
    }
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;
    QString Path() const { return path_; }

private:
    QProcess p_;
    QString path_;
};
