#pragma once

#include <QString>
#include <stdexcept>

// Every failure the program reports travels as this exception. The message is
// the exact text the user sees; nothing else is added on the way.
class TripError : public std::runtime_error {
public:
    explicit TripError(const QString& message)
        : std::runtime_error(message.toStdString()), text_(message) {}
    const QString& message() const { return text_; }

private:
    QString text_;
};

// Message of any exception as the user sees it.
QString ExceptionMessage(const std::exception& e);

// The error raised when a value does not fit the width of the field it goes to.
[[noreturn]] void ThrowRangeError();

inline const char* const kRangeCheckError = "Range check error";
