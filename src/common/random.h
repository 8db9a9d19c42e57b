// The game's one random generator. It starts at 1 and is never reseeded, so
// a run is repeatable from the same inputs.
#pragma once

#include <cstdint>

extern uint32_t random_state;

// The next value, 0 to 32767.
int32_t random_next();
