// Rounding of computed positions and percentages: to the nearest whole number, halves to even.
#pragma once

#include <cmath>

namespace segmora {

// 10.5 gives 10, 11.5 gives 12, -2.5 gives -2.
inline long long RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    long long result = static_cast<long long>(floor);
    if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0)))
        ++result;
    return result;
}

} // namespace segmora
