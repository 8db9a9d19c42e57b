// Tiny worlds for the player, camera, projectile and enemy tests: tables
// filled by hand, a level size, fixed frames, and the sounds started.
#pragma once

#include "audio/audio.h"
#include "common/controls.h"
#include "common/random.h"
#include "common/settings.h"
#include "player/player.h"
#include "world/world.h"

#include <SDL.h>

#include <vector>

constexpr float FRAME_DT = 0.016f;  // 62.5 frames a second

// An empty level of the given size that is not the title level, a standing
// player with full health facing right, nothing held, no progress.
inline void world_reset(int32_t width, int32_t height) {
    doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
    for (Effect &effect : effects) effect = {};
    level_state = {};
    level_state.level = 1;
    level_state.level_width = width;
    level_state.level_height = height;
    level_state.view_width = 64;
    level_state.view_height = 36;
    player = {};
    player.state = PLAYER_STANDING;
    player.facing = DIR_RIGHT;
    player.health = 5;
    player.lives = 3;
    player.ground_index = NO_DOODAD;
    player.jump_ready = true;
    controls = {};
    settings.buttstomp = false;
    settings.savelevel = -1;
    settings.savecheckpoint = -1;
    random_state = 1;
}

// A solid box covering x..x+w-1, y..y+h-1; returns its index.
inline int32_t add_box(int32_t x, int32_t y, int32_t w, int32_t h, int32_t type = -1) {
    Doodad *doodad = doodad_append();
    doodad->active = true;
    doodad->x = static_cast<float>(x);
    doodad->y = static_cast<float>(y);
    doodad->home_x = x;
    doodad->home_y = y;
    doodad->width = doodad->box_w = w;
    doodad->height = doodad->box_h = h;
    doodad->type = type;
    doodad->frames = 1;
    return doodad_count - 1;
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

inline int count_effects(int32_t type) {
    int count = 0;
    for (const Effect &effect : effects) count += effect.active && effect.type == type;
    return count;
}

// The sounds started since the last call, oldest first. The bank is never
// loaded: each entry's template points at its own empty sound, which tells
// the entries apart, and an empty sound leaves the mixer at its next pass.
inline std::vector<SoundId> sounds_played() {
    static const bool ready = [] {
        sound_enabled = true;
        audio_mixer = mixer_create(128);
        for (AudioBankEntry &entry : audio_bank) entry.play_template.sound = &entry.sound;
        return audio_mixer != nullptr;
    }();
    std::vector<SoundId> ids;
    if (!ready) return ids;
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next) {
        for (SoundId id = 0; id < 32; ++id) {
            const AudioBankEntry *entry = audio_sound_entry(id);
            if (entry && p->sound == &entry->sound) ids.insert(ids.begin(), id);
        }
    }
    mixer_mix(audio_mixer);
    return ids;
}

inline int count_sound(const std::vector<SoundId> &ids, SoundId id) {
    int count = 0;
    for (SoundId played : ids) count += played == id;
    return count;
}
