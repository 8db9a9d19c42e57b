#include "layouts.h"

// In the order the game loads them.
static const char *const SOUND_NAMES[SOUND_COUNT] = {
    "shoot0",          "jump0",           "dash0",        "land0",         "enemy_hurt",   "boss_roar",
    "player_hurt",     "player_die",      "elevatorloop", "checkpoint",    "explosion_large",
    "explosion_small", "secret_found",    "stomp_charge", "stomp_land",    "music0",       "music1",
    "music2",          "musicboss",       "cutscene1",    "cutscene2",     "cutscene5",
};

const char *sound_name(int index) {
    return index >= 0 && index < SOUND_COUNT ? SOUND_NAMES[index] : nullptr;
}

bool sound_is_known(const std::string &name) {
    for (const char *known : SOUND_NAMES) {
        if (name == known) return true;
    }
    return false;
}
