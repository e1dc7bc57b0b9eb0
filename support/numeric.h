#pragma once

#include "support/errors.h"

#include <cmath>
#include <concepts>
#include <limits>
#include <utility>

// Round to the nearest integer, a half going to the even neighbour
// (the default floating-point rounding mode).
inline double RoundHalfEven(double x) {
    return std::nearbyint(x);
}

// Checks that an integer fits T; raises "Range check error" otherwise.
template <std::integral T, std::integral V> T CheckedField(V v) {
    if (!std::in_range<T>(v))
        ThrowRangeError();
    return static_cast<T>(v);
}

// Rounds half to even and checks that the result fits T.
template <std::integral T> T RoundToField(double x) {
    if (!std::isfinite(x))
        ThrowRangeError();
    const double r = RoundHalfEven(x);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        ThrowRangeError();
    return static_cast<T>(r);
}
