// The player: its record, its per-frame update, death and respawn.
#pragma once

#include <cstdint>

constexpr int SHOT_CAPACITY = 3;
constexpr int DEBRIS_CAPACITY = 8;

// Compass direction codes; the player's facing uses 2 and 6.
enum Direction : int32_t {
    DIR_UP = 0,
    DIR_UP_RIGHT = 1,
    DIR_RIGHT = 2,
    DIR_DOWN_RIGHT = 3,
    DIR_DOWN = 4,
    DIR_DOWN_LEFT = 5,
    DIR_LEFT = 6,
    DIR_UP_LEFT = 7,
};

enum ProjectileKind : int32_t {
    PROJECTILE_SHOT = 0,
    PROJECTILE_DEBRIS = 2,
};

struct Projectile {
    float x, y;
    float lifetime;  // in use while above 0
    float speed;
    int32_t frames;
    int32_t frame;
    float frame_time;
    float frame_timer;
    int32_t kind;
    int32_t direction;
};

enum PlayerState : int32_t {
    PLAYER_STANDING = 0,
    PLAYER_CROUCHING = 1,
    PLAYER_DASHING = 2,
    PLAYER_DEAD = 3,
    PLAYER_AIRBORNE = 4,
    PLAYER_STOMPING = 5,
};

struct Player {
    float x, y;  // the body pixel; the head is at y - 1
    float vy;    // positive upward
    int32_t state;
    int32_t facing;
    int32_t health;
    int32_t lives;
    float shoot_cooldown;
    float jump_hold;
    float dash_timer;
    float hurt_timer;
    float landing_timer;
    float stomp_timer;
    float death_timer;
    int32_t dust_mark;
    int32_t ground_index;
    bool jump_ready;
    float walk_timer;  // the walking animation's timer
    Projectile shots[SHOT_CAPACITY];
    Projectile debris[DEBRIS_CAPACITY];
};

extern Player player;

// The player's point: the position rounded, halves away from zero.
int32_t player_point_x();
int32_t player_point_y();

// One frame of the player.
void update_player(float dt);

// The death burst; nothing when already dead.
void kill_player();

// An enemy's touch: a point of health, the hurt time, the bounce or death.
void hurt_player();
