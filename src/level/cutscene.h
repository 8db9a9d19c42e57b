// Cutscene playback.
#pragma once

extern bool cutscene_active;  // a cutscene is playing: the main loop's mode flag
