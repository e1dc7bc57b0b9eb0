#pragma once

#include <QByteArray>
#include <QString>

// A symbolic link to the device that the simulator made, removed when it ends.
// Whatever else stands at the path is the user's: refused, never replaced.
class TOwnLink {
public:
    // Makes the link `at` to `device` (nothing when `at` is empty);
    // TripError saying what stands there instead.
    TOwnLink(const QString& at, const QString& device);
    ~TOwnLink();
    TOwnLink(const TOwnLink&) = delete;
    TOwnLink& operator=(const TOwnLink&) = delete;

private:
    bool IsOurs() const;
    QByteArray at_, target_;
    bool made_ = false;
};
