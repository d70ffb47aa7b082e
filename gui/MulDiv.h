#pragma once

#include <cstdint>
#include <cstdlib>

namespace Gui {

// value × numerator / denominator in 64 bits, rounded half away from zero;
// -1 when the denominator is 0 or the result leaves 32 bits. How sizes
// designed at 96 DPI (and points at 72) become pixels. Any thread.
inline int32_t mulDiv(int32_t value, int32_t numerator, int32_t denominator) {
    if (denominator == 0)
        return -1;
    int64_t product = int64_t(value) * numerator;
    int64_t half = std::llabs(denominator) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t result = (std::llabs(product) + half) / std::llabs(denominator);
    result = negative ? -result : result;
    return result < INT32_MIN || result > INT32_MAX ? -1 : static_cast<int32_t>(result);
}

} // namespace Gui
