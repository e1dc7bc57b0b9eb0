#include "support/errors.h"

QString ExceptionMessage(const std::exception& e) {
    if (auto* t = dynamic_cast<const TripError*>(&e))
        return t->message();
    return QString::fromUtf8(e.what());
}

void ThrowRangeError() {
    throw TripError(QString::fromLatin1(kRangeCheckError));
}
