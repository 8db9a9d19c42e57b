#include "app/video.h"

#include "app/app.h"
#include "render/font.h"
#include "common/settings.h"

#include <cstdio>

int screen_width = 0;
int screen_height = 0;
DisplayLayout display_layout = {};

static const char WINDOW_TITLE[] = "NUMBRAL (Teaser) - a 64x36 game by quob and Hazelquirk";

// SDL falls back to a driver that shows nothing when there is no display (a
// remote shell); the game would then run where nobody can see it. That
// counts as a failed start unless the driver was chosen on purpose.
static bool unseen_without_asking() {
    const char *requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (requested && requested[0] != '\0') return false;
    const char *chosen = SDL_GetCurrentVideoDriver();
    return chosen && (SDL_strcmp(chosen, "offscreen") == 0 || SDL_strcmp(chosen, "dummy") == 0);
}

static void show_loading_screen() {
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    font_draw_text("Loading...", 32, 14, true, 255);
    video_present();
}

int video_init() {
    // Without SDL's handlers, Ctrl+C and SIGTERM end the game at once; with
    // them they would become quit events, which the game ignores.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_EVERYTHING) != 0) {
        app_log("SDL_Init Error: %s", SDL_GetError());
        return 0;
    }
    if (unseen_without_asking()) {
        app_log("SDL_Init Error: %s", "no display; SDL chose a video driver that shows nothing");
        std::fprintf(stderr,
                     "numbral: there is no display to show the game on. Run it in a desktop session, "
                     "or set SDL_VIDEODRIVER on purpose (SDL_VIDEODRIVER=offscreen runs it unseen).\n");
        return 0;
    }
    video_compute_layout();
    if (settings.fullscreen) {
        window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, screen_width,
                                  screen_height, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, WINDOW_WIDTH,
                                  WINDOW_HEIGHT, SDL_WINDOW_SHOWN);
    }
    if (!window) {
        app_log("SDL_CreateWindow Error: %s", SDL_GetError());
        return 0;
    }
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
    if (!renderer) {
        // Machines without GL drivers still have SDL's software renderer,
        // which draws the game just as well.
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_TARGETTEXTURE);
    }
    if (!renderer) {
        app_log("SDL_CreateRenderer Error: %s", SDL_GetError());
        return 0;
    }
    canvas = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, CANVAS_WIDTH,
                               CANVAS_HEIGHT);
    if (!canvas) {
        app_log("SDL_CreateTexture Error: %s", SDL_GetError());
        return 0;
    }
    show_loading_screen();
    if (settings.fullscreen) {
        settings.fullscreen = false;
        video_toggle_fullscreen();
    }
    return 1;
}

void video_compute_layout() {
    display_layout = {};
    if (!settings.fullscreen) return;
    // The quotient is whole, so only a screen at least twice as wide as high
    // is height-limited.
    const int whole_ratio = screen_height != 0 ? screen_width / screen_height : 0;
    int factor;
    if (static_cast<double>(whole_ratio) < 1.666) {
        factor = screen_width < CANVAS_WIDTH ? 0 : screen_width / CANVAS_WIDTH;
    } else {
        factor = screen_height < CANVAS_HEIGHT ? 0 : screen_height / CANVAS_HEIGHT;
    }
    display_layout.scaled_width = CANVAS_WIDTH * factor;
    display_layout.scaled_height = CANVAS_HEIGHT * factor;
    display_layout.offset_x = static_cast<int>((screen_width - display_layout.scaled_width) * 0.5);
    display_layout.offset_y = static_cast<int>((screen_height - display_layout.scaled_height) * 0.5);
}

void video_toggle_fullscreen() {
    settings.fullscreen = !settings.fullscreen;
    SDL_DisplayMode mode = {};
    SDL_GetWindowDisplayMode(window, &mode);
    video_compute_layout();
    if (settings.fullscreen) {
        mode.w = screen_width;
        mode.h = screen_height;
        SDL_SetWindowDisplayMode(window, &mode);
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_RestoreWindow(window);
        SDL_SetWindowSize(window, WINDOW_WIDTH, WINDOW_HEIGHT);
        SDL_SetWindowFullscreen(window, 0);
        SDL_SetWindowSize(window, WINDOW_WIDTH, WINDOW_HEIGHT);
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void video_present() {
    SDL_Rect destination = {0, 0, WINDOW_WIDTH, WINDOW_HEIGHT};
    if (settings.fullscreen) {
        destination = {display_layout.offset_x, display_layout.offset_y, display_layout.scaled_width,
                       display_layout.scaled_height};
    }
    SDL_SetRenderTarget(renderer, nullptr);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, canvas, nullptr, &destination);
    SDL_RenderPresent(renderer);
}
