#include "common/controls.h"

Controls controls = {};
bool quit_requested = false;
