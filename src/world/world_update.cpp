#include "world/world_update.h"

#include "audio/audio.h"
#include "common/numeric.h"
#include "common/random.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/enemy.h"
#include "player/player.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

static constexpr float ELEVATOR_SPEED = 11.0f;  // pixels a second on each axis
static constexpr float BOSS_ROAR_AT = 6.0f;     // seconds left when the boss roars
static constexpr float FADE_OUT_FROM = 5.5f;
static constexpr float FADE_OUT_TO = 5.0f;
static constexpr float BOSS_RETURN_AT = 0.5f;   // seconds left when the title level returns
static constexpr int32_t BOSS_FRAMES = 8;
static constexpr int32_t SAVE_POINT_LIT_FRAMES = 7;
static constexpr int32_t SAVE_POINT_UNLIT_FRAMES = 4;

// The one value update_world keeps between frames.
static float flicker_timer = 0.0f;

// A count from the tables, bounded by their capacity.
static int32_t visited(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

// Sums of positions and sizes from level files are formed in 64 bits and
// stored back saturated.
static int32_t saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

static void step_effects(float dt) {
    for (Effect &effect : effects) {
        if (!effect.active) continue;
        if (effect.last_frame > 1) {
            effect.frame_timer += dt;
            if (effect.frame_timer >= effect.frame_time) {
                effect.frame_timer -= effect.frame_time;
                effect.frame += 1;
                if (effect.frame > effect.last_frame) effect.active = false;
            }
        }
        if (effect.lifetime > 0.0f) {
            effect.age += dt;
            if (effect.age > effect.lifetime) effect.active = false;
        }
        // An effect still moves in the frame in which it ends.
        if (effect.vx != 0.0f) effect.x += effect.vx * dt;
        if (effect.vy != 0.0f) effect.y += effect.vy * dt;
    }
}

static void step_flicker(float dt) {
    flicker_timer += dt;
    if (flicker_timer > FRAME_TIME_12FPS) {
        flicker_timer -= FRAME_TIME_12FPS;
        int32_t value;
        do {
            value = random_next() % 4;
        } while (value == level_state.flicker);
        level_state.flicker = value;
    }
}

static void light_save_point(int32_t index) {
    SavePoint &point = save_points[index];
    point.lit = true;
    settings.savecheckpoint = point.id;
    settings.savelevel = level_state.level;
    settings_save();
    audio_PlaySound(SOUND_CHECKPOINT);
    const int32_t count = visited(save_point_count, SAVEPOINT_CAPACITY);
    for (int32_t i = 0; i < count; ++i) {
        if (i != index) save_points[i].lit = false;
    }
}

static void step_save_points(float dt) {
    const int32_t count = visited(save_point_count, SAVEPOINT_CAPACITY);
    for (int32_t i = 0; i < count; ++i) {
        SavePoint &point = save_points[i];
        if (!point.active) continue;
        const int32_t frames = point.lit ? SAVE_POINT_LIT_FRAMES : SAVE_POINT_UNLIT_FRAMES;
        point.frame_timer += dt;
        if (point.frame_timer >= point.frame_time) {
            point.frame += 1;
            point.frame_timer -= point.frame_time;
            if (point.frame >= frames) point.frame = 0;
        }
    }

    const int64_t px = player_point_x();
    const int64_t py = player_point_y();
    for (int32_t i = 0; i < count; ++i) {
        const SavePoint &point = save_points[i];
        if (!point.active) continue;
        if (point.x <= px && px <= int64_t{point.x} + 3 && int64_t{point.y} + 3 <= py && py <= int64_t{point.y} + 4) {
            // Touching the lit one again neither saves nor sounds.
            if (!point.lit) light_save_point(i);
            return;
        }
    }
}

// False when the sequence has ended and the title level is loaded: the rest
// of the frame's world update is skipped.
static bool step_boss(float dt) {
    if (!(boss.timer > 0.0f)) return true;
    boss.timer -= dt;
    boss.boss_frame_timer += dt;
    if (boss.boss_frame_timer > FRAME_TIME_12FPS) {
        boss.boss_frame_timer -= FRAME_TIME_12FPS;
        boss.boss_frame += 1;
        if (boss.boss_frame >= BOSS_FRAMES) boss.boss_frame = 0;
    }
    if (!boss.roar_played && boss.timer < BOSS_ROAR_AT) {
        boss.roar_played = true;
        audio_PlaySound(SOUND_BOSS_ROAR);
    }
    if (FADE_OUT_TO < boss.timer && boss.timer < FADE_OUT_FROM) level_state.fade_out_duration = boss.timer;
    if (boss.timer < BOSS_RETURN_AT) {
        load_level(0, 0, false);
        return false;
    }
    return true;
}

// The offset stays in [0, width) whatever the speed; a layer without width
// does not scroll.
static float wrap_scroll(float offset, int32_t width) {
    if (width <= 0 || !std::isfinite(offset)) return 0.0f;
    const float span = static_cast<float>(width);
    float wrapped = std::fmod(offset, span);
    if (wrapped < 0.0f) wrapped += span;
    // A tiny negative remainder plus the width can round up to the width.
    if (wrapped >= span) wrapped = 0.0f;
    return wrapped;
}

static void step_layer(Layer &layer, float dt) {
    if (!layer.present) return;
    if (layer.frames > 1) {
        // The layer's own frame time, so the level file's fps keys apply.
        layer.frame_timer += dt;
        if (layer.frame_timer > layer.frame_time) {
            layer.frame += 1;
            if (layer.frame > layer.frames - 1) layer.frame = 0;
            layer.frame_timer -= layer.frame_time;
        }
    }
    if (layer.scroll_speed != 0.0f) {
        layer.scroll_offset = wrap_scroll(layer.scroll_offset + layer.scroll_speed * dt, layer.width);
    }
}

static void stop_elevator_hum() {
    if (level_state.level == 0) audio_StopLoopingSound();
}

static void elevator_move_x(Doodad &doodad, float dt, int32_t index) {
    const float target = static_cast<float>(doodad.dest_x);
    if (!(doodad.x > target) && !(doodad.x < target)) return;
    const bool leftward = doodad.x > target;
    const float offset = player.x - doodad.x;
    doodad.x += leftward ? -ELEVATOR_SPEED * dt : ELEVATOR_SPEED * dt;
    if (player.ground_index == index) {
        // The rider goes along only where the body and head find room.
        const int32_t nx = saturate(int64_t{num_round(offset)} + num_round(doodad.x));
        const int32_t row = player_point_y();
        if (!solid_at_either(nx, row, nx, saturate(int64_t{row} - 1))) player.x = static_cast<float>(nx);
    }
    if (leftward ? target >= doodad.x : doodad.x >= target) {
        doodad.x = target;
        stop_elevator_hum();
    }
}

static void elevator_move_y(Doodad &doodad, float dt, int32_t index) {
    const float target = static_cast<float>(doodad.dest_y);
    if (!(doodad.y > target) && !(doodad.y < target)) return;
    const bool upward = doodad.y > target;
    doodad.y += upward ? -ELEVATOR_SPEED * dt : ELEVATOR_SPEED * dt;
    if (player.ground_index == index) {
        // The rider stands on the pixel just above the solid box.
        player.y = static_cast<float>(saturate(int64_t{num_round(doodad.y)} + doodad.box_y - 1));
    }
    if (upward ? target >= doodad.y : doodad.y >= target) {
        doodad.y = target;
        stop_elevator_hum();
    }
}

void doodad_step(Doodad &doodad, float dt, int32_t index) {
    if (doodad.frames > 1) {
        doodad.frame_timer += dt;
        if (doodad.frame_timer > doodad.frame_time) {
            doodad.frame += 1;
            if (doodad.frame >= doodad.frames) doodad.frame = 0;
            doodad.frame_timer -= doodad.frame_time;
        }
    }
    // An arrived elevator keeps its moving flag and stays where it is.
    if (doodad.elevator_moving) {
        elevator_move_x(doodad, dt, index);
        elevator_move_y(doodad, dt, index);
    }
}

static bool inside_inclusive(int64_t px, int64_t py, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    return x0 <= px && px <= x1 && y0 <= py && py <= y1;
}

static void collect_pickup(Pickup &pickup) {
    pickup.active = false;
    if (pickup.kind == PICKUP_STOMP) {
        cutscene_start(5);
        settings.buttstomp = true;
        settings_save();
    } else if (pickup.kind == PICKUP_HEALTH) {
        // No upper limit, short of the integer's own.
        if (player.health < std::numeric_limits<int32_t>::max()) player.health += 1;
    }
}

static void step_pickups(float dt) {
    const int32_t count = visited(pickup_count, PICKUP_CAPACITY);
    for (int32_t i = 0; i < count; ++i) {
        Pickup &pickup = pickups[i];
        if (!pickup.active || pickup.hidden) continue;
        pickup.frame_timer += dt;
        if (pickup.frame_timer >= pickup.frame_time) {
            pickup.frame += 1;
            if (pickup.frame >= pickup.frames) pickup.frame = 0;
            pickup.frame_timer -= pickup.frame_time;
        }
        // Both edges belong to the zone: it is w + 1 by h + 1 pixels.
        if (inside_inclusive(player_point_x(), player_point_y(), pickup.x, pickup.y, int64_t{pickup.x} + pickup.w,
                             int64_t{pickup.y} + pickup.h)) {
            collect_pickup(pickup);
        }
    }
}

static void step_triggers() {
    if (Trigger *trigger = trigger_at(player_point_x(), player_point_y())) run_trigger(*trigger);
}

static void touch_enemy(Enemy &enemy) {
    const int64_t x0 = num_truncate(static_cast<float>(enemy.hit_x) + enemy.x);
    const int64_t y0 = num_truncate(static_cast<float>(enemy.hit_y) + enemy.y);
    if (!inside_inclusive(player_point_x(), player_point_y(), x0, y0, x0 + enemy.hit_w, y0 + enemy.hit_h)) return;
    if (player.state == PLAYER_STOMPING) {
        damage_enemy(enemy);
    } else if (player.hurt_timer <= 0.0f && player.state != PLAYER_DEAD) {
        hurt_player();
    }
}

static void step_enemies(float dt) {
    // The count is read on every pass: a trigger may have loaded a level.
    for (int32_t i = 0; i < visited(enemy_count, ENEMY_CAPACITY); ++i) {
        Enemy &enemy = enemies[i];
        if (!enemy.active) continue;
        if (enemy.hurt_timer > 0.0f) enemy.hurt_timer -= dt;
        if (enemy.kind == ENEMY_WALKER) {
            walker_step(enemy, dt);
        } else if (enemy.kind == ENEMY_SMALL || enemy.kind == ENEMY_LARGE) {
            patroller_step(enemy, dt);
        }
        if (enemy.active) touch_enemy(enemy);
    }
}

void update_world(float dt) {
    step_effects(dt);
    step_flicker(dt);
    step_save_points(dt);
    if (!step_boss(dt)) return;
    step_layer(RearBG, dt);
    step_layer(BG, dt);
    step_layer(FG, dt);
    const int32_t doodads_now = visited(doodad_count, DOODAD_CAPACITY);
    for (int32_t i = 0; i < doodads_now; ++i) {
        if (doodads[i].active) doodad_step(doodads[i], dt, i);
    }
    step_pickups(dt);
    step_triggers();
    step_enemies(dt);
}
