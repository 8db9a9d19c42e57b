#include "render/hud.h"

#include "common/numeric.h"
#include "common/screen.h"
#include "player/player.h"
#include "render/font.h"
#include "render/layouts.h"
#include "resources/sprite_sheets.h"
#include "world/world.h"

#include <algorithm>
#include <cstdint>

static constexpr float TITLE_FADE_SECONDS = 0.75f;
static constexpr float TITLE_HOLD_FROM = 3.0f;  // the fade-in ends with 3 s left
static constexpr float ENDING_WORDS_SECONDS = 4.0f;

// Between the fade-in and the fade-out the title keeps the last alpha the
// fade-in reached.
static uint8_t title_alpha = 255;

static uint8_t to_alpha(double value) {
    return static_cast<uint8_t>(std::clamp(num_truncate(value), 0, 255));
}

static void copy_ui(const SheetSlot &slot, int width, int x, int y) {
    const SDL_Rect source = {slot.x, slot.y, width, slot.height};
    const SDL_Rect destination = {x, y, width, slot.height};
    SDL_RenderCopy(renderer, ui_texture, &source, &destination);
}

static void draw_health_and_lives() {
    copy_ui(UI_HEALTH_BAR, UI_HEALTH_BAR.width, 1, 3);
    for (int x = 1; x <= 13; x += 3) copy_ui(UI_HEALTH_BAR, UI_LIFE_PIP.width, x, 1);
    if (player.health > 0) {
        // Health has no upper limit; the fill never reaches past the bar.
        const int64_t fill = std::min<int64_t>(3 * static_cast<int64_t>(player.health) - 1, UI_HEALTH_FILL.width);
        copy_ui(UI_HEALTH_FILL, static_cast<int>(fill), 1, 3);
    }
    // Pips past the canvas's right edge would draw nothing.
    for (int i = 0; i < player.lives && 1 + 3 * i < CANVAS_WIDTH; ++i) copy_ui(UI_LIFE_PIP, UI_LIFE_PIP.width, 1 + 3 * i, 1);
}

static void draw_title() {
    const float t = level_state.title_timer;
    if (!(t > 0.0f)) return;
    if (t < TITLE_FADE_SECONDS) {
        title_alpha = to_alpha(t * 255.0 / TITLE_FADE_SECONDS);
    } else if (t > TITLE_HOLD_FROM) {
        title_alpha = to_alpha(255.0 - num_truncate((t - TITLE_HOLD_FROM) * 255.0 / TITLE_FADE_SECONDS));
    }
    font_draw_text(level_state.title, 32, 8, true, title_alpha);
}

static void fill_black(uint8_t alpha) {
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, alpha);
    const SDL_Rect whole = {0, 0, CANVAS_WIDTH, CANVAS_HEIGHT};
    SDL_RenderFillRect(renderer, &whole);
}

void hud_draw() {
    if (level_state.level != 0) {
        draw_health_and_lives();
        draw_title();
    }
    if (level_state.fade_in_duration > 0.0f) {
        fill_black(to_alpha(255.0 - num_truncate(level_state.fade_in_elapsed * 255.0 / level_state.fade_in_duration)));
    }
    if (level_state.fade_out_duration > 0.0f) {
        fill_black(to_alpha(level_state.fade_out_elapsed * 255.0 / level_state.fade_out_duration));
    }
    if (boss.timer > 0.0f && boss.timer < ENDING_WORDS_SECONDS) {
        font_draw_text("To Be", 32, 16, true, 255);
        font_draw_text("Continued...", 32, 26, true, 255);
    }
}
