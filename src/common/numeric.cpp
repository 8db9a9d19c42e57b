#include "common/numeric.h"

#include <cmath>

static int32_t saturate_to_int32(double whole) {
    if (std::isnan(whole)) return 0;
    if (whole >= 2147483647.0) return INT32_MAX;
    if (whole <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(whole);
}

int32_t num_round(double value) {
    return saturate_to_int32(std::round(value));
}

int32_t num_truncate(double value) {
    return saturate_to_int32(std::trunc(value));
}
