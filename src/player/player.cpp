#include "player/player.h"

#include "audio/audio.h"
#include "common/controls.h"
#include "common/numeric.h"
#include "common/settings.h"
#include "level/level.h"
#include "player/projectile.h"
#include "world/world.h"

Player player = {};

int32_t player_point_x() { return num_round(player.x); }
int32_t player_point_y() { return num_round(player.y); }

static constexpr float WALK_SPEED = 15.0f;  // also the knock-back while hurt
static constexpr float DASH_SPEED = 28.0f;
static constexpr float DASH_DURATION = 0.25f;
static constexpr float JUMP_SPEED = 13.14f;
static constexpr float JUMP_HOLD_TIME = 0.35f;
static constexpr float GRAVITY = 65.27f;
static constexpr float GRAVITY_HELD = 6.527f;  // jump held while rising
static constexpr float FALL_LIMIT = -27.58f;
static constexpr float STOMP_WIND_UP = 0.5f;
static constexpr float HARD_LANDING_SPEED = -13.79f;
static constexpr float LANDING_BLINK_START = 0.002f;
static constexpr float LANDING_BLINK_END = 0.3333332f;
static constexpr float SHOT_COOLDOWN = 0.2f;
static constexpr float SHOT_SPEED = 35.22f;
static constexpr float SHOT_LIFETIME = 0.8f;
static constexpr int32_t SHOT_FRAMES = 4;
static constexpr float HURT_TIME = 0.8f;
static constexpr float DEATH_WAIT = 2.5f;
static constexpr double RESPAWN_AT = 0.1;  // compared in double precision
static constexpr float DEBRIS_SPEED = 35.0f;
static constexpr float DEBRIS_LIFETIME = 2.0f;
static constexpr int32_t RESPAWN_HEALTH = 5;
static constexpr int32_t DOODAD_BREAKABLE = 9;

enum EffectType : int32_t {
    EFFECT_JUMP_PUFF = 0,
    EFFECT_LANDING_PUFF = 1,
    EFFECT_DASH_START = 4,
    EFFECT_STOMP_TRAIL = 5,
    EFFECT_DASH_DUST = 6,
    EFFECT_BURST = 7,
    EFFECT_STOMP_IMPACT = 9,
    EFFECT_MUZZLE_FLASH = 10,
};

// Pixel coordinates a few pixels beside a rounded position; saturating, so
// that a position far outside any level cannot overflow.
static int32_t pixel(int32_t base, int64_t offset) {
    const int64_t value = int64_t{base} + offset;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

static void spawn_at_player(int32_t type, bool mirrored) {
    spawn_effect(type, static_cast<float>(player_point_x()), static_cast<float>(player_point_y()), mirrored,
                 0.0f, 0.0f);
}

// The body pixel and the head above it must both be free at the new x.
static bool body_fits_at(float new_x) {
    const int32_t nx = num_round(new_x);
    const int32_t y = num_round(player.y);
    return !solid_at_either(nx, pixel(y, -1), nx, y);
}

// Standing on an armed elevator sets it going.
static void start_elevator() {
    const int32_t index = player.ground_index;
    if (index < 0 || index >= doodad_count || index >= DOODAD_CAPACITY) return;
    Doodad &doodad = doodads[index];
    if (!doodad.elevator_armed) return;
    doodad.elevator_moving = true;
    doodad.elevator_armed = false;
    if (level_state.level == 0) audio_PlaySound(SOUND_ELEVATOR_LOOP);
}

static const SavePoint *first_save_point(bool match_id) {
    for (int32_t i = 0; i < save_point_count && i < SAVEPOINT_CAPACITY; ++i) {
        const SavePoint &point = save_points[i];
        if (!point.active) continue;
        if (!match_id || point.id == settings.savecheckpoint) return &point;
    }
    return nullptr;
}

static void place_at_save_point(const SavePoint &point) {
    player.x = static_cast<float>(int64_t{point.x} + 2);
    player.y = static_cast<float>(int64_t{point.y} + 3);
}

static void respawn() {
    player.death_timer = 0.0f;
    if (player.lives <= 0) {
        load_level(0, 0, false);
        return;
    }
    const int32_t level = level_state.level;
    if (level == settings.savelevel) {
        for (int32_t i = 0; i < doodad_count && i < DOODAD_CAPACITY; ++i) {
            Doodad &doodad = doodads[i];
            if (!doodad.elevator_moving) continue;
            doodad.elevator_moving = false;
            doodad.elevator_armed = true;
            doodad.x = static_cast<float>(doodad.home_x);
            doodad.y = static_cast<float>(doodad.home_y);
        }
    }
    if (settings.savelevel == -1) {
        if (const SavePoint *point = first_save_point(false)) {
            place_at_save_point(*point);
        } else {
            // Back to the title from its beginning, as with no lives left:
            // the title's fresh 3 lives are not charged for this death.
            load_level(0, 0, false);
            return;
        }
    } else if (level == settings.savelevel) {
        if (const SavePoint *point = first_save_point(true)) place_at_save_point(*point);
    } else {
        load_level(settings.savelevel, settings.savecheckpoint, true);
    }
    player.lives -= 1;
    player.state = PLAYER_STANDING;
    player.health = RESPAWN_HEALTH;
}

// Starts a shot from the gun. step is one frame of flight, which the shot
// update of this same frame takes back off.
static void shoot(float dt) {
    Projectile *shot = nullptr;
    for (Projectile &candidate : player.shots) {
        if (candidate.lifetime <= 0.0f) {
            shot = &candidate;
            break;
        }
    }
    if (!shot) return;
    audio_PlaySound(SOUND_SHOOT);
    shot->frames = SHOT_FRAMES;
    shot->frame = 0;
    shot->frame_time = FRAME_TIME_12FPS;
    shot->frame_timer = 0.0f;
    shot->speed = SHOT_SPEED;
    shot->lifetime = SHOT_LIFETIME;
    shot->kind = PROJECTILE_SHOT;
    player.shoot_cooldown = SHOT_COOLDOWN;

    const float step = SHOT_SPEED * dt;
    const int32_t px = player_point_x();
    const int32_t py = player_point_y();
    if (controls.up && player.state != PLAYER_CROUCHING) {
        shot->direction = DIR_UP;
        shot->x = static_cast<float>(px);
        shot->y = static_cast<float>(int64_t{py} - 3) + step;
        return;
    }
    if (player.state == PLAYER_AIRBORNE && controls.down) {
        shot->direction = DIR_DOWN;
        shot->x = static_cast<float>(px);
        shot->y = static_cast<float>(int64_t{py} + 1) - step;
        return;
    }
    shot->direction = player.facing;
    shot->y = static_cast<float>(player.state == PLAYER_CROUCHING ? int64_t{py} : int64_t{py} - 1);
    const float flash_vx = controls.left ? -WALK_SPEED : (controls.right ? WALK_SPEED : 0.0f);
    if (player.facing == DIR_LEFT) {
        const float gun = static_cast<float>(int64_t{px} - 2);
        shot->x = gun + step;
        spawn_effect(EFFECT_MUZZLE_FLASH, gun, shot->y, true, flash_vx, 0.0f);
    } else {
        const float gun = static_cast<float>(int64_t{px} + 2);
        shot->x = gun - step;
        spawn_effect(EFFECT_MUZZLE_FLASH, gun, shot->y, false, flash_vx, 0.0f);
    }
}

static void update_stomp(float dt) {
    player.stomp_timer += dt;
    if (player.stomp_timer <= STOMP_WIND_UP) return;  // hanging still
    player.y -= dt * FALL_LIMIT * 1.9f;
    const int32_t r = num_round(player.y);
    const int32_t x = player_point_x();
    const int32_t below = solid_at(x, pixel(r, 1));
    if (below == NO_DOODAD) {
        if (player.dust_mark != r && int64_t{player.dust_mark} != int64_t{r} - 1) {
            player.dust_mark = r;
            spawn_effect(EFFECT_STOMP_TRAIL, static_cast<float>(x), static_cast<float>(r), false, 0.0f, 0.0f);
        }
        player.ground_index = NO_DOODAD;
        return;
    }
    Doodad &doodad = doodads[below];
    if (doodad.type == DOODAD_BREAKABLE) {
        doodad.active = false;
        audio_PlaySound(SOUND_EXPLOSION_LARGE);
        spawn_effect(EFFECT_BURST, doodad.x + 2.0f, doodad.y + 2.0f, false, 0.0f, 0.0f);
        spawn_effect(EFFECT_BURST, doodad.x + 7.0f, doodad.y + 3.0f, false, 0.0f, 0.0f);
        return;
    }
    player.state = PLAYER_STANDING;
    audio_PlaySound(SOUND_STOMP_LAND);
    spawn_effect(EFFECT_STOMP_IMPACT, static_cast<float>(x), static_cast<float>(r), false, 0.0f, 0.0f);
    if (player.vy < HARD_LANDING_SPEED) player.landing_timer = LANDING_BLINK_START;
    player.ground_index = below;
    start_elevator();
}

static void end_dash() { player.state = controls.down ? PLAYER_CROUCHING : PLAYER_STANDING; }

// The pixel just ahead of the body after a move of delta must be free.
static bool dash_way_clear(float delta) {
    const float ahead = delta < 0.0f ? player.x + delta - 1.0f : player.x + delta + 1.0f;
    return solid_at(num_round(ahead), player_point_y()) == NO_DOODAD;
}

static void update_dash(float dt) {
    player.dash_timer -= dt;
    const float distance = DASH_SPEED * dt;
    if (solid_at(player_point_x(), pixel(player_point_y(), -1)) != NO_DOODAD) {
        // Head under a solid: crawl on, steerable, until the head is clear.
        if (controls.left) {
            player.facing = DIR_LEFT;
        } else if (controls.right) {
            player.facing = DIR_RIGHT;
        }
        const float delta = player.facing == DIR_LEFT ? -distance : distance;
        if (dash_way_clear(delta)) player.x += delta;
        return;
    }
    const float delta = player.facing == DIR_LEFT ? -distance : distance;
    if (dash_way_clear(delta)) {
        player.x += delta;
    } else {
        end_dash();
    }
    const float mark = static_cast<float>(player.dust_mark);
    if (player.x != mark && player.x != mark - 1.0f && player.x != mark + 1.0f) {
        player.dust_mark = num_truncate(player.x);
        spawn_at_player(EFFECT_DASH_DUST, false);
    }
    if (player.dash_timer <= 0.0f) end_dash();
}

static void update_on_foot(float dt, bool control) {
    if (!controls.jump) player.jump_ready = true;
    if (player.landing_timer > 0.0f && player.landing_timer < LANDING_BLINK_END) player.landing_timer += dt;

    if (control) {
        if (controls.down) {
            if (player.state == PLAYER_STANDING) player.state = PLAYER_CROUCHING;
        } else if (player.state == PLAYER_CROUCHING) {
            player.state = PLAYER_STANDING;
        }
        if (controls.left) {
            const float nx = player.x - WALK_SPEED * dt;
            if (player.state != PLAYER_CROUCHING && body_fits_at(nx)) player.x = nx;
            player.facing = DIR_LEFT;
        }
        if (controls.right) {
            const float nx = player.x + WALK_SPEED * dt;
            if (player.state != PLAYER_CROUCHING && body_fits_at(nx)) player.x = nx;
            player.facing = DIR_RIGHT;
        }
    }

    // Ground test: only while not rising.
    int32_t ground = NO_DOODAD;
    if (player.vy <= 0.0f) ground = solid_at(player_point_x(), pixel(player_point_y(), 1));
    if (player.vy > 0.0f || ground == NO_DOODAD) {
        player.state = PLAYER_AIRBORNE;
        player.ground_index = NO_DOODAD;
    } else {
        if (player.state == PLAYER_AIRBORNE) {
            player.state = PLAYER_STANDING;
            audio_PlaySound(SOUND_LAND);
            spawn_at_player(EFFECT_LANDING_PUFF, false);
            if (player.vy < HARD_LANDING_SPEED) player.landing_timer = LANDING_BLINK_START;
        }
        player.ground_index = ground;
        start_elevator();
    }

    if (player.state == PLAYER_AIRBORNE) {
        const float d = player.vy * dt;
        if (d < 0.0f) {
            player.y -= d;
        } else if (solid_at(player_point_x(), pixel(player_point_y(), -2)) != NO_DOODAD) {
            player.vy = 0.0f;  // bumped the head
        } else {
            player.y -= d;
        }
        if (player.jump_hold > 0.0f) player.jump_hold -= dt;
        if (control && player.jump_hold > 0.0f && controls.jump && player.vy > 0.0f) {
            player.vy -= GRAVITY_HELD * dt;
        } else {
            player.vy -= GRAVITY * dt;
        }
        if (player.vy < FALL_LIMIT) player.vy = FALL_LIMIT;
        return;
    }

    if (player.jump_ready && control && controls.jump) {
        if (player.state == PLAYER_STANDING) {
            audio_PlaySound(SOUND_JUMP);
            player.vy = JUMP_SPEED;
            player.state = PLAYER_AIRBORNE;
            player.jump_hold = JUMP_HOLD_TIME;
            player.jump_ready = false;
            spawn_at_player(EFFECT_JUMP_PUFF, false);
        }
        if (controls.jump && player.state == PLAYER_CROUCHING) {
            audio_PlaySound(SOUND_DASH);
            player.dash_timer = DASH_DURATION;
            player.state = PLAYER_DASHING;
            player.jump_ready = false;
            spawn_at_player(EFFECT_DASH_START, player.facing == DIR_LEFT);
        }
    }
}

// The player may not leave the level sideways or upward; below it dies.
static void keep_in_bounds() {
    const double right_end = static_cast<double>(level_state.level_width) - 1.0;
    if (player.x >= right_end) player.x = static_cast<float>(right_end);
    if (player.x < 0.0f) player.x = 0.0f;
    if (player.y < 0.0f) player.y = 0.0f;
    if (player.y >= static_cast<double>(level_state.level_height) + 1.0) kill_player();
}

void update_player(float dt) {
    bool control = true;

    if (player.shoot_cooldown > 0.0f) {
        player.shoot_cooldown -= dt;
    } else {
        player.shoot_cooldown = 0.0f;
    }

    if (player.death_timer > 0.0f) {
        player.death_timer -= dt;
        control = false;
        if (static_cast<double>(player.death_timer) <= RESPAWN_AT) respawn();
    }

    if (player.hurt_timer > 0.0f) {
        player.hurt_timer -= dt;
        control = false;
        if (player.state == PLAYER_AIRBORNE) {
            // Knocked back away from the side it faces.
            const float push = player.facing == DIR_LEFT ? WALK_SPEED * dt : -WALK_SPEED * dt;
            const float nx = player.x + push;
            if (body_fits_at(nx)) player.x = nx;
        }
    }

    if (player.health <= 0 && player.state != PLAYER_DEAD) kill_player();

    if (control && controls.shoot && player.state != PLAYER_DASHING && player.state != PLAYER_STOMPING &&
        player.health > 0 && player.shoot_cooldown <= 0.0f) {
        shoot(dt);
    }
    // Holding fire repeats at the cooldown; tapping fires at every press.
    if (!controls.shoot) player.shoot_cooldown = 0.0f;

    if (control && controls.down && controls.jump && player.state == PLAYER_AIRBORNE && settings.buttstomp) {
        player.stomp_timer = 0.0f;
        player.state = PLAYER_STOMPING;
        player.dust_mark = 0;
        audio_PlaySound(SOUND_STOMP_CHARGE);
    }

    for (Projectile &shot : player.shots) update_projectile(shot, dt);

    switch (player.state) {
        case PLAYER_DEAD:
            for (Projectile &piece : player.debris) update_projectile(piece, dt);
            return;
        case PLAYER_STOMPING: update_stomp(dt); break;
        case PLAYER_DASHING: update_dash(dt); break;
        case PLAYER_STANDING:
        case PLAYER_CROUCHING:
        case PLAYER_AIRBORNE: update_on_foot(dt, control); break;
        default: break;
    }

    keep_in_bounds();
}

void kill_player() {
    if (player.state == PLAYER_DEAD) return;
    audio_PlaySound(SOUND_PLAYER_DIE);
    player.state = PLAYER_DEAD;
    player.health = 0;
    // A body must not ride an elevator, nor wake up on one after a respawn.
    player.ground_index = NO_DOODAD;
    for (int32_t i = 0; i < DEBRIS_CAPACITY; ++i) {
        Projectile &piece = player.debris[i];
        piece = {};
        piece.kind = PROJECTILE_DEBRIS;
        piece.direction = i;
        piece.speed = DEBRIS_SPEED;
        piece.lifetime = DEBRIS_LIFETIME;
        piece.x = player.x;
        piece.y = player.y;
    }
    player.death_timer = DEATH_WAIT;
}

void hurt_player() {
    audio_PlaySound(SOUND_PLAYER_HURT);
    player.health -= 1;
    player.hurt_timer = HURT_TIME;
    if (player.health <= 0) {
        kill_player();
        return;
    }
    player.state = PLAYER_AIRBORNE;
    player.vy = JUMP_SPEED;
    player.jump_hold = JUMP_HOLD_TIME;
}
