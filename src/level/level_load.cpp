// Moving to another level: the world and the player are reset, the level
// file is parsed, and the layer pictures and the level texture are replaced.
#include "level/level.h"

#include "common/log.h"
#include "common/screen.h"
#include "common/text.h"
#include "player/player.h"
#include "resources/archive.h"
#include "resources/texture.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

static void reset_level_state(int32_t level) {
    boss.timer = 0.0f;
    level_state.camera_x = 0.0f;
    level_state.camera_y = 0.0f;
    level_state.camera_target_x = 0.0f;
    level_state.camera_target_y = 0.0f;
    level_state.level = level;
    level_state.fade_in_duration = 0.0f;
    level_state.fade_in_elapsed = 0.0f;
    level_state.fade_out_duration = 0.0f;
    level_state.fade_out_elapsed = 0.0f;
    level_state.title[0] = '\0';
    level_state.camera_locked = false;
    level_state.camera_x_locked = false;
    level_state.view_width = CANVAS_WIDTH;
    level_state.view_height = CANVAS_HEIGHT;
    level_state.flashlight = false;
    // level_width and level_height stay until the new file sets them.
}

// The hurt and dash timers, the dust mark and the ground index carry over.
static void reset_player(int32_t level) {
    player.x = 32.0f;
    player.y = 25.0f;
    player.vy = 0.0f;
    player.shoot_cooldown = 0.0f;
    player.jump_hold = 0.0f;
    player.landing_timer = 0.0f;
    player.stomp_timer = 0.0f;
    player.death_timer = 0.0f;
    player.walk_timer = 0.0f;
    player.state = PLAYER_STANDING;
    player.jump_ready = true;
    player.facing = level == 0 ? DIR_LEFT : DIR_RIGHT;
    if (level == 0) {
        player.health = 5;
        player.lives = 3;
    }
}

static void reset_tables() {
    doodad_count = 0;
    enemy_count = 0;
    trigger_count = 0;
    save_point_count = 0;
    pickup_count = 0;
    for (Projectile &shot : player.shots) shot.lifetime = 0.0f;
    for (Projectile &piece : player.debris) piece.lifetime = 0.0f;
    // Running effects play out in the new level.
}

static void reset_layer(Layer &layer) {
    layer.width = level_state.view_width;
    layer.height = level_state.view_height;
    layer.frame_time = FRAME_TIME_12FPS;
    layer.frame_timer = 0.0f;
    layer.scroll_speed = 0.0f;
    layer.scroll_offset = 0.0f;
    layer.frame = 0;
    layer.frames = 1;
}

// A missing file reads as an empty one: the level is then empty.
static bool parse_level_file(int32_t level, int32_t arrival_number, bool arrival_is_savepoint) {
    char path[64];
    std::snprintf(path, sizeof path, "data/level%d.txt", static_cast<int>(level));
    int32_t length = 0;
    char *text = reinterpret_cast<char *>(archive_read_file(path, &length));
    if (!text) {
        app_log("load_level > filename doesn't exist: %s", path);
        return false;
    }
    char *lines[TEXT_MAX_LINES];
    const int line_count = text_split_lines(text, lines);
    for (int i = 0; i < line_count; ++i) parse_level_line(lines[i], arrival_number, arrival_is_savepoint);
    std::free(text);
    return true;
}

// The layer's previous picture goes first, so pictures never pile up. A
// picture that is there but cannot be loaded leaves the layer absent.
static bool load_layer(Layer &layer, const char *format, int32_t level) {
    if (layer.texture) SDL_DestroyTexture(layer.texture);
    layer.texture = nullptr;
    char path[64];
    std::snprintf(path, sizeof path, format, static_cast<int>(level));
    layer.present = archive_exists(path);
    if (!layer.present) return true;
    layer.texture = quob_load_png_as_SDLtexture(path);
    layer.present = layer.texture != nullptr;
    return layer.present;
}

// The new texture is made before the old one goes, so a level whose size
// cannot be made keeps drawing into the previous level's texture.
static bool recreate_level_texture() {
    // A size from the file beyond what a texture may take is refused like
    // one the renderer cannot make.
    if (!texture_size_allowed(level_state.level_width, level_state.level_height)) {
        app_log("load_level > level too large: %d x %d", static_cast<int>(level_state.level_width),
                static_cast<int>(level_state.level_height));
        return false;
    }
    SDL_Texture *texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET,
                                             level_state.level_width, level_state.level_height);
    if (!texture) {
        app_log("SDL_CreateTexture Error: %s", SDL_GetError());
        return false;
    }
    if (level_state.level_texture) SDL_DestroyTexture(level_state.level_texture);
    level_state.level_texture = texture;
    return true;
}

bool load_level(int32_t level, int32_t arrival_number, bool arrival_is_savepoint) {
    reset_level_state(level);
    reset_player(level);
    reset_tables();
    reset_layer(RearBG);
    reset_layer(BG);
    reset_layer(FG);

    bool ok = parse_level_file(level, arrival_number, arrival_is_savepoint);
    if (level_state.title[0] != '\0') level_state.title_timer = 3.75f;

    ok = load_layer(RearBG, "img/level%d-rear.png", level) && ok;
    ok = load_layer(BG, "img/level%d.png", level) && ok;
    ok = load_layer(FG, "img/level%d-fg.png", level) && ok;
    ok = recreate_level_texture() && ok;
    return ok;
}
