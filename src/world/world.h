// The world of the current level: fixed-capacity tables, the level-wide
// state, effects and the solid queries. A level load resets the counts and
// the level-wide values; nothing here allocates.
#pragma once

#include <cstdint>

struct SDL_Texture;  // drawn by the renderer; the simulation only holds it

constexpr int DOODAD_CAPACITY = 100;
constexpr int ENEMY_CAPACITY = 20;
constexpr int TRIGGER_CAPACITY = 10;
constexpr int SAVEPOINT_CAPACITY = 6;
constexpr int PICKUP_CAPACITY = 5;
constexpr int EFFECT_CAPACITY = 40;
constexpr int TITLE_CAPACITY = 50;  // characters, without the closing zero

constexpr int NO_DOODAD = -99;  // what solid_at gives when nothing is solid

// 12 frames a second: the most common animation step (float bits 0x3DAAAAA6).
constexpr float FRAME_TIME_12FPS = 0.0833333f;

struct Doodad {
    bool active;
    float x, y;
    bool elevator_moving;
    bool elevator_armed;
    int32_t dest_x, dest_y;
    int32_t home_x, home_y;
    int32_t width, height;
    int32_t box_x, box_y;
    int32_t box_w, box_h;
    int32_t type;  // 0..9, or -1 for an invisible solid box
    int32_t sheet_y;
    int32_t frames;
    int32_t frame;
    float frame_time;
    float frame_timer;
};

enum EnemyKind : int32_t {
    ENEMY_WALKER = 0,     // wandering one-pixel enemy
    ENEMY_HAZARD = 1,     // invisible one-pixel hazard
    ENEMY_SMALL = 3,      // 7 x 6 patroller
    ENEMY_LARGE = 4,      // 12 x 12 patroller
};

struct Enemy {
    bool active;
    float x, y;
    int32_t width, height;
    int32_t health;
    float hurt_timer;
    float behaviour_timer;
    float frame_time;
    float frame_timer;
    int32_t state1_frames, state3_frames;
    int32_t frame;
    int32_t hit_x, hit_y;
    int32_t hit_w, hit_h;
    int32_t kind;
    int32_t state;
    int32_t facing;  // 6 left, 2 right
};

enum TriggerCommand : int32_t {
    TRIGGER_STARTBOSS = 0,
    TRIGGER_CREATEDOODAD = 1,
    TRIGGER_LEVEL = 2,
    TRIGGER_LOADGAME = 3,
    TRIGGER_NEWGAME = 4,
    TRIGGER_CUTSCENE = 5,
    TRIGGER_QUIT = 6,
    TRIGGER_UNLOCKCAMERA = 7,
    TRIGGER_LOCKCAMERA = 8,
    TRIGGER_LOCKCAMERAX = 9,
    TRIGGER_MOVECAMERA = 10,
};

struct Trigger {
    bool active;
    int32_t x, y, w, h;  // covers x..x+w-1, y..y+h-1
    int32_t param_a, param_b;
    int32_t new_x, new_y, new_w, new_h;
    int32_t command;  // TriggerCommand
};

struct SavePoint {
    bool active;
    bool lit;
    int32_t x, y;
    int32_t id;
    int32_t frame;
    float frame_time;
    float frame_timer;
};

enum PickupKind : int32_t {
    PICKUP_HEALTH = 0,
    PICKUP_STOMP = 1,
};

struct Pickup {
    int32_t x, y;
    bool active;
    int32_t kind;
    int32_t frame;
    int32_t frames;
    float frame_timer;
    float frame_time;
    int32_t w, h;
    bool hidden;
};

struct Effect {
    bool active;
    bool drawn_behind;
    float x, y;
    bool flip_x, flip_y;
    float vx, vy;
    int32_t type;
    int32_t frame;
    int32_t last_frame;
    int32_t height, width;
    float frame_timer, frame_time;
    float age, lifetime;
};

struct Layer {
    int32_t width, height;
    float frame_timer;
    float frame_time;
    float scroll_speed;
    float scroll_offset;
    int32_t frame;
    int32_t frames;
    bool present;
    SDL_Texture *texture;
};

struct LevelState {
    int32_t level;
    int32_t level_width, level_height;
    SDL_Texture *level_texture;
    char title[TITLE_CAPACITY + 1];
    float title_timer;
    bool flashlight;
    float camera_x, camera_y;
    float camera_target_x, camera_target_y;
    int32_t view_width, view_height;
    bool camera_locked;
    bool camera_x_locked;
    float fade_in_duration, fade_in_elapsed;
    float fade_out_duration, fade_out_elapsed;
    int32_t flicker;
};

struct BossSequence {
    float timer;  // seconds left; 0 when not running
    int32_t boss_frame;
    float boss_frame_timer;
    bool roar_played;  // once per run of the program
};

// Sprite and solid box of each visible doodad type 0..9; the box starts at
// x 0. The doodad sheet's layout is made from the same table.
struct DoodadShape {
    int32_t sheet_y, width, height, box_y, box_w, box_h, frames;
    float frame_time;
};

inline constexpr DoodadShape DOODAD_SHAPES[10] = {
    {0, 6, 2, 0, 6, 2, 1, 0.0f},     {2, 22, 18, 0, 22, 18, 3, 0.5f}, {20, 9, 5, 2, 9, 3, 4, 0.5f},
    {25, 15, 13, 5, 15, 8, 1, 0.0f}, {38, 26, 14, 4, 26, 10, 1, 0.0f}, {52, 33, 12, 4, 33, 8, 1, 0.0f},
    {72, 6, 6, 0, 6, 6, 1, 0.0f},    {78, 11, 6, 1, 11, 5, 1, 0.0f},  {84, 12, 12, 1, 12, 11, 1, 0.0f},
    {96, 12, 6, 1, 12, 11, 1, 0.0f},
};

// Enemy kinds by file kind 0..3, with their sprite, animation frames and
// contact box. The enemy sheet's layout is made from the same table.
struct EnemyShape {
    int32_t kind, width, height, state1_frames, state3_frames, hit_x, hit_y, hit_w, hit_h, health;
};

inline constexpr EnemyShape ENEMY_SHAPES[4] = {
    {ENEMY_WALKER, 0, 0, 0, 0, 0, 0, 0, 0, 3},
    {ENEMY_HAZARD, 0, 0, 0, 0, 0, 0, 0, 0, 3},
    {ENEMY_SMALL, 7, 6, 19, 0, 1, 1, 4, 5, 3},
    {ENEMY_LARGE, 12, 12, 6, 7, 2, 3, 8, 9, 5},
};

extern Doodad doodads[DOODAD_CAPACITY];
extern int32_t doodad_count;
extern Enemy enemies[ENEMY_CAPACITY];
extern int32_t enemy_count;
extern Trigger triggers[TRIGGER_CAPACITY];
extern int32_t trigger_count;
extern SavePoint save_points[SAVEPOINT_CAPACITY];
extern int32_t save_point_count;
extern Pickup pickups[PICKUP_CAPACITY];
extern int32_t pickup_count;
extern Effect effects[EFFECT_CAPACITY];

extern Layer RearBG;
extern Layer BG;
extern Layer FG;

extern LevelState level_state;
extern BossSequence boss;

// Appending: the record at the table's count, cleared to all zero, with the
// count advanced; null when the table is full (the record is dropped).
Doodad *doodad_append();
Enemy *enemy_append();
Trigger *trigger_append();
SavePoint *save_point_append();
Pickup *pickup_append();

// Takes the first free effect slot; does nothing when all 40 are in use.
void spawn_effect(int32_t type, float x, float y, bool mirrored, float vx, float vy);

// The index of the first active doodad whose solid box holds the pixel, or
// NO_DOODAD.
int32_t solid_at(int32_t px, int32_t py);
bool solid_at_either(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
bool solid_at_any(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
