#include "app/pause_menu.h"

#include "app/video.h"
#include "audio/audio.h"
#include "common/controls.h"
#include "common/numeric.h"
#include "common/screen.h"
#include "common/settings.h"
#include "level/level.h"
#include "render/font.h"

#include <algorithm>
#include <cstdio>

bool paused = false;
int menu_cursor = 1;
bool menu_armed = false;

enum MenuItem { ITEM_UNPAUSE = 1, ITEM_VOLUME = 2, ITEM_FULLSCREEN = 3, ITEM_EXIT = 4 };

static constexpr float VOLUME_STEP = 0.05f;
static constexpr int LABEL_X = 5;
static constexpr int CURSOR_X = 2;
static constexpr int ROW_HEIGHT = 9;
static constexpr SDL_Rect VOLUME_BAR = {20, 11, 42, 5};

void pause_menu_open() {
    paused = true;
    menu_armed = true;
    menu_cursor = ITEM_UNPAUSE;
}

float pause_menu_shown_volume() {
    const float volume = settings.volume;
    if (!(volume >= 0.0f)) return 0.0f;  // negative or not a number
    return std::min(volume, 1.0f);
}

static bool any_control_held() {
    return controls.up || controls.down || controls.left || controls.right || controls.jump || controls.shoot;
}

// Steps are taken in single precision, so repeated steps keep its
// inexactness; the result stays within 0..1.
static void step_volume() {
    const float shown = pause_menu_shown_volume();
    float volume;
    if (controls.left) volume = std::max(0.0f, shown - VOLUME_STEP);
    else if (controls.right) volume = std::min(1.0f, shown + VOLUME_STEP);
    else return;
    menu_armed = false;
    audio_SetVolume(volume);
    settings_save();
}

static void confirm_item() {
    if (!controls.jump && !controls.shoot) return;
    controls.pause_requested = false;
    switch (menu_cursor) {
    case ITEM_UNPAUSE:
        paused = false;
        break;
    case ITEM_FULLSCREEN:
        menu_armed = false;
        video_toggle_fullscreen();
        settings_save();
        break;
    case ITEM_EXIT:
        // Back to the title level; nothing is saved.
        paused = false;
        load_level(0, 0, false);
        break;
    default:
        break;
    }
}

void pause_menu_update() {
    if (!menu_armed) {
        // The pause key stays pending until the menu is armed again.
        menu_armed = !any_control_held();
        return;
    }
    if (controls.up) {
        menu_armed = false;
        menu_cursor = menu_cursor <= ITEM_UNPAUSE ? ITEM_EXIT : menu_cursor - 1;
    } else if (controls.down) {
        menu_armed = false;
        menu_cursor = menu_cursor >= ITEM_EXIT ? ITEM_UNPAUSE : menu_cursor + 1;
    } else if (controls.pause_requested) {
        controls.pause_requested = false;
        paused = false;
    } else if (menu_cursor == ITEM_VOLUME) {
        step_volume();
    } else {
        confirm_item();
    }
}

static void fill(const SDL_Rect &rect, uint8_t r, uint8_t g, uint8_t b) {
    SDL_SetRenderDrawColor(renderer, r, g, b, 255);
    SDL_RenderFillRect(renderer, &rect);
}

void pause_menu_draw() {
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);

    static const char *const LABELS[] = {"Unpause", "Vol", "Fullscreen", "Exit"};
    for (int i = 0; i < 4; ++i) font_draw_text(LABELS[i], LABEL_X, i * ROW_HEIGHT, false, 255);
    if (menu_cursor >= ITEM_UNPAUSE && menu_cursor <= ITEM_EXIT) {
        font_draw_text(">", CURSOR_X, (menu_cursor - 1) * ROW_HEIGHT, false, 255);
    }

    const float volume = pause_menu_shown_volume();
    fill(VOLUME_BAR, 40, 40, 40);
    SDL_Rect level = VOLUME_BAR;
    level.w = num_round(volume * static_cast<float>(VOLUME_BAR.w));
    // The draw colour stays at the bar's for the window's border, even when
    // the bar is empty (an empty rectangle would still light a pixel).
    SDL_SetRenderDrawColor(renderer, 80, 40, 80, 255);
    if (level.w > 0) SDL_RenderFillRect(renderer, &level);

    char percent[8];
    std::snprintf(percent, sizeof percent, "%02d", num_round(volume * 100.0f));
    font_draw_text(percent, 25, 9, false, 255);
}
