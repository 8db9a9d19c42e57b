#include "render/world_render.h"

#include "common/numeric.h"
#include "common/screen.h"
#include "player/player.h"
#include "render/actors.h"
#include "render/layouts.h"
#include "resources/sprite_sheets.h"
#include "resources/texture.h"

#include <algorithm>
#include <cstdint>

// Rectangles from level files stay far from the int range, so SDL's own
// sums of position and size cannot overflow.
static int to_rect_value(int64_t value) {
    constexpr int64_t LIMIT = 1 << 28;
    return static_cast<int>(std::clamp(value, -LIMIT, LIMIT));
}

// Where a layer of the given size lies along one axis. A layer as large as
// the view stands still on screen; otherwise it moves in proportion, its
// near edge on the level's at camera 0 and its far edge on the level's at
// the far end. A level no larger than the view has no far end: the layer
// then lies at 0.
static int parallax(float camera, int32_t layer_size, int32_t view_size, int32_t level_size) {
    if (layer_size == view_size) return num_round(camera);
    if (level_size == view_size) return 0;
    const float span = static_cast<float>(level_size - view_size);
    return num_round(camera / span * static_cast<float>(level_size - layer_size));
}

void draw_layer(Layer layer) {
    // A layer larger than any picture the game makes comes from a broken
    // file; drawing it would make the renderer stretch the picture through a
    // buffer of the layer's size, up to gigabytes.
    if (!texture_size_allowed(layer.width, layer.height)) return;
    const SDL_Rect source = {to_rect_value(static_cast<int64_t>(layer.frame) * layer.width), 0,
                             to_rect_value(layer.width), to_rect_value(layer.height)};
    SDL_Rect destination = {
        parallax(level_state.camera_x, layer.width, level_state.view_width, level_state.level_width),
        parallax(level_state.camera_y, layer.height, level_state.view_height, level_state.level_height),
        source.w, source.h};
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(layer.texture, 255);
    if (layer.scroll_speed != 0.0f) {
        // Two copies side by side cover the layer's span for any offset
        // within 0..width.
        destination.x = to_rect_value(static_cast<int64_t>(destination.x) + num_round(layer.scroll_offset));
        SDL_RenderCopy(renderer, layer.texture, &source, &destination);
        destination.x = to_rect_value(static_cast<int64_t>(destination.x) - source.w);
    }
    SDL_RenderCopy(renderer, layer.texture, &source, &destination);
}

static void draw_doodads() {
    for (int i = 0; i < doodad_count; ++i) {
        const Doodad &doodad = doodads[i];
        // Type -1 is an invisible solid box.
        if (!doodad.active || doodad.type < 0) continue;
        const SDL_Rect source = {to_rect_value(static_cast<int64_t>(doodad.frame) * doodad.width), doodad.sheet_y,
                                 doodad.width, doodad.height};
        const SDL_Rect destination = {num_round(doodad.x), num_round(doodad.y), doodad.width, doodad.height};
        SDL_RenderCopy(renderer, doodads_texture, &source, &destination);
    }
}

static void draw_save_points() {
    for (int i = 0; i < save_point_count; ++i) {
        const SavePoint &save_point = save_points[i];
        if (!save_point.active) continue;
        const SheetSlot &slot = save_point.lit ? SAVEPOINT_LIT : SAVEPOINT_UNLIT;
        const SDL_Rect source = {to_rect_value(static_cast<int64_t>(save_point.frame) * slot.width), slot.y,
                                 slot.width, slot.height};
        const SDL_Rect destination = {save_point.x, save_point.y, slot.width, slot.height};
        SDL_RenderCopy(renderer, doodads_texture, &source, &destination);
    }
}

static void draw_effects(bool behind) {
    for (const Effect &effect : effects) {
        if (effect.active && effect.drawn_behind == behind) draw_effect(effect);
    }
}

static void draw_enemies() {
    for (int i = 0; i < enemy_count; ++i) {
        if (enemies[i].active) draw_enemy(enemies[i]);
    }
}

// The boss rises from y = 127 over the first seconds of the closing sequence
// and stays at y = 92.
static constexpr float BOSS_SEQUENCE_SECONDS = 12.0f;
static constexpr int BOSS_X = 78;
static constexpr int BOSS_START_Y = 127;
static constexpr int BOSS_TOP_Y = 92;

int boss_drawn_y(float seconds_left) {
    const float risen = static_cast<float>(BOSS_START_Y) - (BOSS_SEQUENCE_SECONDS - seconds_left) * 36.0f / 10.0f;
    return std::max(num_truncate(risen), BOSS_TOP_Y);
}

static void draw_boss() {
    if (!(boss.timer > 0.0f)) return;
    const SDL_Rect source = {to_rect_value(static_cast<int64_t>(boss.boss_frame) * BOSS_FRAMES.width), BOSS_FRAMES.y,
                             BOSS_FRAMES.width, BOSS_FRAMES.height};
    const SDL_Rect destination = {BOSS_X, boss_drawn_y(boss.timer), BOSS_FRAMES.width, BOSS_FRAMES.height};
    SDL_RenderCopy(renderer, boss_texture, &source, &destination);
}

// The darkness around the player: four looks from two pictures, each plain
// or mirrored, light in ordinary levels and deep in dark ones.
static void draw_darkness() {
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(darkness_texture, level_state.flashlight ? 220 : 90);
    const int32_t flicker = level_state.flicker;
    const SheetSlot &look = flicker == 2 || flicker == 3 ? EFFECT_DARKNESS_FLICKER : EFFECT_DARKNESS;
    const SDL_Rect source = {look.x, look.y, look.width, look.height};
    const SDL_Rect destination = {num_round(player.x - look.width / 2), num_round(player.y - look.height / 2),
                                  look.width, look.height};
    const bool mirrored = flicker == 0 || flicker == 2;
    if (mirrored) render_copy_mirrored(darkness_texture, source, destination);
    else SDL_RenderCopy(renderer, darkness_texture, &source, &destination);
}

static void draw_pickups() {
    for (int i = 0; i < pickup_count; ++i) {
        const Pickup &pickup = pickups[i];
        // Only the ability has a picture; health pickups are 0 x 0.
        if (!pickup.active || pickup.hidden || pickup.kind != PICKUP_STOMP) continue;
        const SDL_Rect source = {to_rect_value(static_cast<int64_t>(pickup.frame) * pickup.w), PICKUP_ABILITY.y,
                                 pickup.w, pickup.h};
        const SDL_Rect destination = {pickup.x, pickup.y, pickup.w, pickup.h};
        SDL_RenderCopy(renderer, pickups_texture, &source, &destination);
    }
}

void draw_world() {
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    if (RearBG.present) draw_layer(RearBG);
    if (BG.present) draw_layer(BG);
    draw_doodads();
    draw_save_points();
    draw_effects(true);
    draw_enemies();
    draw_player();
    draw_effects(false);
    draw_boss();
    if (FG.present) draw_layer(FG);
    draw_darkness();
    draw_pickups();
}
