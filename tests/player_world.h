// Tiny worlds for the player, camera, enemy and world-update tests: tables
// filled by hand, a level size, fixed frames, and the sounds started.
#pragma once

#include "audio/audio.h"
#include "common/controls.h"
#include "common/random.h"
#include "common/settings.h"
#include "player/player.h"
#include "world/world.h"

constexpr float FRAME_DT = 0.016f;  // 62.5 frames a second

// Sounds are watched on a mixer without its mixing thread: a started sound
// stays in the playing list until the next world_reset, and each bank entry
// plays its own empty sound, which tells the entries apart.
inline void sounds_reset() {
    static const bool ready = [] {
        audio_mixer = mixer_create(128);
        for (AudioBankEntry &entry : audio_bank) entry.play_template.sound = &entry.sound;
        return audio_mixer != nullptr;
    }();
    sound_enabled = ready;
    mixer_stop_all(audio_mixer);
}

inline int plays(SoundId id) {
    int count = 0;
    for (const PlayingSound *p = audio_mixer ? audio_mixer->playing : nullptr; p; p = p->next) {
        count += p->active && p->sound == &audio_sound_entry(id)->sound;
    }
    return count;
}

inline void place_player(float x, float y) {
    player.x = x;
    player.y = y;
}

// An empty level of the given size that is not the title level, a standing
// player with full health facing right, nothing held, no progress, silence.
inline void world_reset(int32_t width, int32_t height) {
    doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
    for (Effect &effect : effects) effect = {};
    RearBG = BG = FG = {};
    boss = {0.0f, 0, 0.0f, boss.roar_played};  // the roar is once per run
    level_state = {};
    level_state.level = 1;
    level_state.level_width = width;
    level_state.level_height = height;
    level_state.view_width = 64;
    level_state.view_height = 36;
    player = {};
    player.facing = DIR_RIGHT;
    player.health = 5;
    player.lives = 3;
    player.ground_index = NO_DOODAD;
    player.jump_ready = true;
    controls = {};
    settings.buttstomp = false;
    settings.savelevel = settings.savecheckpoint = -1;
    random_state = 1;
    sounds_reset();
}

// A solid box covering x..x+w-1, y..y+h-1.
inline Doodad &add_box(int32_t x, int32_t y, int32_t w, int32_t h, int32_t type = -1) {
    Doodad &doodad = *doodad_append();
    doodad.active = true;
    doodad.x = static_cast<float>(doodad.home_x = x);
    doodad.y = static_cast<float>(doodad.home_y = y);
    doodad.width = doodad.box_w = w;
    doodad.height = doodad.box_h = h;
    doodad.type = type;
    doodad.frames = 1;
    return doodad;
}

// An enemy as the level file makes it: falling, facing left.
inline Enemy &add_enemy(int32_t kind, float x, float y) {
    Enemy &enemy = *enemy_append();
    enemy.active = true;
    enemy.x = x;
    enemy.y = y;
    enemy.kind = kind;
    enemy.health = kind == ENEMY_LARGE ? 5 : 3;
    enemy.frame_time = FRAME_TIME_12FPS;
    enemy.state = 2;
    enemy.facing = DIR_LEFT;
    if (kind == ENEMY_SMALL) {
        enemy.width = 7, enemy.height = 6, enemy.state1_frames = 19;
        enemy.hit_x = 1, enemy.hit_y = 1, enemy.hit_w = 4, enemy.hit_h = 5;
    } else if (kind == ENEMY_LARGE) {
        enemy.width = 12, enemy.height = 12, enemy.state1_frames = 6, enemy.state3_frames = 7;
        enemy.hit_x = 2, enemy.hit_y = 3, enemy.hit_w = 8, enemy.hit_h = 9;
    }
    return enemy;
}

inline void run_player(int frames) {
    for (int i = 0; i < frames; ++i) update_player(FRAME_DT);
}
