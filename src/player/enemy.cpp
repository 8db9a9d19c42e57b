#include "player/enemy.h"

#include "audio/audio.h"
#include "common/numeric.h"
#include "common/random.h"
#include "common/settings.h"
#include "player/player.h"
#include "world/world.h"

static constexpr float WALK_SPEED = 15.0f;
static constexpr float FALL_SPEED = 27.58f;
static constexpr float LANDED_PAUSE = 1.0f;
static constexpr float SHORT_PAUSE = 0.01f;  // between hops, and after a turn
static constexpr float HURT_PROTECTION = 0.4f;
static constexpr int32_t SECRET_LEVEL = 4;
static constexpr int32_t EFFECT_BURST = 7;

enum BehaviourState : int32_t {
    BEHAVIOUR_IDLE = 0,
    BEHAVIOUR_MOVING = 1,  // walking, or one hop
    BEHAVIOUR_FALLING = 2,
    BEHAVIOUR_TURNING = 3,  // kind 4 only
};

// Pixel coordinates beside a rounded position, saturating so that a
// position far outside any level cannot overflow.
static int32_t pixel(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

static bool solid(int64_t x, int64_t y) { return solid_at(pixel(x), pixel(y)) != NO_DOODAD; }

static void turn_round(Enemy &enemy) { enemy.facing = enemy.facing == DIR_LEFT ? DIR_RIGHT : DIR_LEFT; }

void walker_step(Enemy &enemy, float dt) {
    switch (enemy.state) {
        case BEHAVIOUR_IDLE:
            enemy.behaviour_timer -= dt;
            if (enemy.behaviour_timer <= 0.0f) {
                enemy.state = BEHAVIOUR_MOVING;
                enemy.behaviour_timer = static_cast<float>(random_next() % 15) / 6.0f;
            }
            break;
        case BEHAVIOUR_MOVING: {
            enemy.behaviour_timer -= dt;
            if (enemy.behaviour_timer <= 0.0f) {
                enemy.state = BEHAVIOUR_IDLE;
                enemy.behaviour_timer = static_cast<float>(random_next() % 8) / 5.0f;
            }
            // The last walking frame still walks. A step needs free space ahead
            // and ground under it; otherwise the walker turns round.
            const float nx = enemy.facing == DIR_LEFT ? enemy.x - WALK_SPEED * dt : enemy.x + WALK_SPEED * dt;
            const int64_t x = num_round(nx);
            const int64_t y = num_round(enemy.y);
            if (!solid(x, y) && solid(x, y + 1)) {
                enemy.x = nx;
            } else {
                turn_round(enemy);
            }
            break;
        }
        case BEHAVIOUR_FALLING:
            enemy.y += FALL_SPEED * dt;
            if (solid(num_round(enemy.x), int64_t{num_round(enemy.y)} + 1)) {
                enemy.state = BEHAVIOUR_IDLE;
                enemy.y = static_cast<float>(num_round(enemy.y));
                enemy.behaviour_timer = LANDED_PAUSE;
            }
            break;
        default: break;
    }
}

// The hop frames on which the patroller moves one pixel forward.
static bool hop_moves_on(int32_t kind, int32_t frame) {
    if (kind == ENEMY_SMALL) return frame == 3 || frame == 7 || frame == 11 || frame == 15;
    return frame == 1 || frame == 2 || frame == 3 || frame == 5;
}

static void start_hop(Enemy &enemy) {
    enemy.state = BEHAVIOUR_MOVING;
    enemy.behaviour_timer = static_cast<float>(enemy.state1_frames) * enemy.frame_time;
    enemy.frame = 0;
    enemy.frame_timer = 0.0f;
}

static void start_turn(Enemy &enemy) {
    enemy.state = BEHAVIOUR_TURNING;
    enemy.behaviour_timer = static_cast<float>(enemy.state3_frames) * enemy.frame_time;
    enemy.frame = 0;
    enemy.frame_timer = 0.0f;
}

// The probes are not mirror images: on the right they start one pixel
// further out and look for ground one row lower. Patrol paths depend on it.
static void look_ahead(Enemy &enemy) {
    const int64_t X = num_round(enemy.x);
    const int64_t Y = num_round(enemy.y);
    const int64_t W = enemy.width;
    const int64_t H = enemy.height;
    const int64_t middle = Y + num_truncate(static_cast<float>(enemy.height) * 0.5f);
    bool turned = false;
    if (enemy.facing == DIR_LEFT) {
        const bool clear = !solid(X - 1, Y + H - 1) && !solid(X - 3, middle) && !solid(X - 3, Y + H - 1) &&
                           solid(X - 3, Y + H);
        if (clear) {
            start_hop(enemy);
        } else if (enemy.kind == ENEMY_SMALL) {
            enemy.facing = DIR_RIGHT;
            turned = true;
        } else {
            start_turn(enemy);
        }
    }
    if (enemy.facing == DIR_RIGHT) {
        const bool clear = !solid(X + W + 1, Y + H - 1) && !solid(X + W + 3, middle) &&
                           !solid(X + W + 3, Y + H - 1) && solid(X + W + 3, Y + H + 1);
        if (clear) {
            start_hop(enemy);
        } else if (enemy.kind == ENEMY_SMALL) {
            if (!turned) enemy.facing = DIR_LEFT;
        } else {
            start_turn(enemy);
        }
    }
}

void patroller_step(Enemy &enemy, float dt) {
    enemy.behaviour_timer -= dt;

    if (enemy.state == BEHAVIOUR_MOVING || enemy.state == BEHAVIOUR_TURNING) {
        enemy.frame_timer += dt;
        if (enemy.frame_timer > enemy.frame_time) {
            enemy.frame_timer -= enemy.frame_time;
            if (enemy.state == BEHAVIOUR_TURNING) {
                if (enemy.frame != enemy.state3_frames - 1) enemy.frame += 1;
            } else if (enemy.frame < enemy.state1_frames - 1) {
                enemy.frame += 1;
                if (hop_moves_on(enemy.kind, enemy.frame)) enemy.x += enemy.facing == DIR_LEFT ? -1.0f : 1.0f;
            }
        }
    }

    switch (enemy.state) {
        case BEHAVIOUR_MOVING:
            if (enemy.behaviour_timer <= 0.0f) {
                // The second draw is made only when its value is used.
                if (random_next() % 10 > 8) {
                    enemy.behaviour_timer = static_cast<float>(random_next() % 8) / 5.0f;
                } else {
                    enemy.behaviour_timer = SHORT_PAUSE;
                }
                enemy.state = BEHAVIOUR_IDLE;
                enemy.frame = 0;
            }
            break;
        case BEHAVIOUR_TURNING:
            if (enemy.behaviour_timer <= 0.0f) {
                turn_round(enemy);
                enemy.behaviour_timer = SHORT_PAUSE;
                enemy.state = BEHAVIOUR_IDLE;
                enemy.frame = 0;
            }
            break;
        case BEHAVIOUR_IDLE:
            if (enemy.behaviour_timer <= 0.0f) look_ahead(enemy);
            break;
        case BEHAVIOUR_FALLING: {
            enemy.y += FALL_SPEED * dt;
            const int64_t R = num_round(enemy.x);
            const int64_t Q = num_round(enemy.y);
            const int64_t W = enemy.width;
            const int64_t H = enemy.height;
            if (solid(R - W + 1, Q + H) || solid(R, Q + H) || solid(R + W - 1, Q + H)) {
                enemy.state = BEHAVIOUR_IDLE;
                enemy.frame = 0;
                enemy.y = static_cast<float>(Q);
                enemy.behaviour_timer = LANDED_PAUSE;
            }
            break;
        }
        default: break;
    }
}

static bool any_enemy_active() {
    for (int32_t i = 0; i < enemy_count && i < ENEMY_CAPACITY; ++i) {
        if (enemies[i].active) return true;
    }
    return false;
}

void damage_enemy(Enemy &enemy) {
    if (enemy.hurt_timer > 0.0f) return;  // protected after a recent hit
    enemy.health -= 1;
    enemy.hurt_timer = HURT_PROTECTION;
    if (enemy.health >= 0) {
        audio_PlaySound(SOUND_ENEMY_HURT);
        return;
    }
    enemy.active = false;
    spawn_effect(EFFECT_BURST, enemy.x + static_cast<float>(enemy.width) * 0.5f,
                 enemy.y + static_cast<float>(enemy.height) * 0.5f, false, 0.0f, 0.0f);
    audio_PlaySound(SOUND_EXPLOSION_SMALL);
    // Clearing the last enemy of level 4 without the stomp reveals it.
    if (!settings.buttstomp && level_state.level == SECRET_LEVEL && !any_enemy_active()) {
        audio_PlaySound(SOUND_SECRET_FOUND);
        for (int32_t i = 0; i < pickup_count && i < PICKUP_CAPACITY; ++i) {
            if (pickups[i].active) pickups[i].hidden = false;
        }
    }
}
