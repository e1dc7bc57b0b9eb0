#pragma once

// Counts the opens of device nodes (inotify's IN_OPEN), whoever opens them:
// a look at the ports must leave them unopened.

#include <QFileInfo>
#include <QHash>
#include <QString>

#include <sys/inotify.h>
#include <unistd.h>

class TOpenCounter {
public:
    TOpenCounter() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~TOpenCounter() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TOpenCounter(const TOpenCounter&) = delete;
    TOpenCounter& operator=(const TOpenCounter&) = delete;

    bool Watch(const QString& path) {
        const QString device = QFileInfo(path).canonicalFilePath();
        const int wd = ::inotify_add_watch(fd_, device.toLocal8Bit().constData(), IN_OPEN);
        if (wd < 0)
            return false;
        paths_.insert(wd, path);
        return true;
    }
    // Opens of path since it was watched.
    int Opens(const QString& path) {
        Drain();
        return counts_.value(path);
    }

private:
    void Drain() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if (e->mask & IN_OPEN)
                    ++counts_[paths_.value(e->wd)];
                // Events were lost: no count can be trusted to be zero.
                if (e->mask & IN_Q_OVERFLOW)
                    for (const QString& path : paths_)
                        counts_[path] += 1000;
                at += ssize_t(sizeof(inotify_event)) + e->len;
            }
        }
    }

    int fd_;
    QHash<int, QString> paths_;
    QHash<QString, int> counts_;
};
