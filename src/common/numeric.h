// Rounding and truncation as the whole game uses them.
#pragma once

#include <cstdint>

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3). Values
// beyond the int32 range saturate; NaN gives 0.
int32_t num_round(double value);

// Toward zero (2.7 -> 2, -2.7 -> -2), saturating like num_round.
int32_t num_truncate(double value);
