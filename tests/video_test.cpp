#include "common/settings.h"
#include "app/video.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The software renderer draws into the window's own pixels; without this SDL
// would back them with a GL texture and load the graphics drivers, whose
// memory the leak checker of the sanitizer build trips over.
static const int NO_GL_BEHIND_THE_WINDOW = setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);

TEST(DisplayLayout, EnlargesByTheLargestWholeFactorAndCentres) {
    struct Case { int screen_w, screen_h; DisplayLayout expected; };
    const Case cases[] = {
        {1920, 1080, {1920, 1080, 0, 0}},
        {1366, 768, {1344, 756, 11, 6}},
        {1280, 1024, {1280, 720, 0, 152}},
        {2560, 1080, {1920, 1080, 320, 0}},     // twice as wide as high: height-limited
        {1920, 1000, {1920, 1080, 0, -40}},     // width-limited, overhangs top and bottom
        {1920, 1001, {1920, 1080, 0, -39}},     // -39.5 truncated toward zero
        {60, 20, {0, 0, 30, 10}},               // narrower than the canvas: nothing visible
        {200, 30, {0, 0, 100, 15}},             // height-limited and lower than the canvas
        {0, 0, {0, 0, 0, 0}},                   // no display
    };
    settings.fullscreen = true;
    for (const Case &c : cases) {
        screen_width = c.screen_w;
        screen_height = c.screen_h;
        video_compute_layout();
        EXPECT_EQ(display_layout.scaled_width, c.expected.scaled_width) << c.screen_w << "x" << c.screen_h;
        EXPECT_EQ(display_layout.scaled_height, c.expected.scaled_height) << c.screen_w << "x" << c.screen_h;
        EXPECT_EQ(display_layout.offset_x, c.expected.offset_x) << c.screen_w << "x" << c.screen_h;
        EXPECT_EQ(display_layout.offset_y, c.expected.offset_y) << c.screen_w << "x" << c.screen_h;
    }
}

TEST(DisplayLayout, IsEmptyInAWindow) {
    settings.fullscreen = false;
    screen_width = 1920;
    screen_height = 1080;
    video_compute_layout();
    EXPECT_EQ(display_layout.scaled_width, 0);
    EXPECT_EQ(display_layout.offset_x, 0);
}

TEST(Video, OpensTheWindowAndEnlargesTheCanvasIntoIt) {
    settings.fullscreen = false;
    ASSERT_EQ(video_init(), 1);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "NUMBRAL (Teaser) - a 64x36 game by quob and Hazelquirk");
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    Uint32 format = 0;
    int access = 0;
    SDL_QueryTexture(canvas, &format, &access, &w, &h);
    EXPECT_EQ(format, static_cast<Uint32>(SDL_PIXELFORMAT_RGBA8888));
    EXPECT_EQ(access, SDL_TEXTUREACCESS_TARGET);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 36);

    // One canvas pixel covers ten by ten window pixels.
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawColor(renderer, 200, 100, 50, 255);
    SDL_RenderDrawPoint(renderer, 3, 2);
    video_present();
    Uint8 pixel[4];
    const SDL_Rect inside = {35, 25, 1, 1};
    SDL_RenderReadPixels(renderer, &inside, SDL_PIXELFORMAT_RGBA32, pixel, 4);
    EXPECT_EQ(pixel[0], 200);
    EXPECT_EQ(pixel[1], 100);
    EXPECT_EQ(pixel[2], 50);
    const SDL_Rect outside = {40, 25, 1, 1};
    SDL_RenderReadPixels(renderer, &outside, SDL_PIXELFORMAT_RGBA32, pixel, 4);
    EXPECT_EQ(pixel[0], 0);

    SDL_Quit();
}

namespace {

// The colour of one window pixel after the last present.
uint32_t window_pixel(int x, int y) {
    uint32_t pixel = 0;
    const SDL_Rect at = {x, y, 1, 1};
    SDL_RenderReadPixels(renderer, &at, SDL_PIXELFORMAT_RGBA8888, &pixel, 4);
    return pixel;
}

}  // namespace

// On the offscreen driver's 1024 x 768 screen the canvas is enlarged 16
// times to 1024 x 576 at (0, 96), and the border shows the draw colour.
// Back in a window, it is 640 x 360 and centred, whatever it was before.
TEST(Video, FullscreenCentresTheEnlargedCanvasAndWindowedModeComesBackCentred) {
    settings.fullscreen = false;
    ASSERT_EQ(video_init(), 1);
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    ASSERT_EQ(desktop.w, 1024);
    ASSERT_EQ(desktop.h, 768);
    screen_width = desktop.w;
    screen_height = desktop.h;
    SDL_SetWindowSize(window, 100, 100);
    SDL_SetWindowPosition(window, 3, 7);

    video_toggle_fullscreen();
    EXPECT_TRUE(settings.fullscreen);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawColor(renderer, 255, 0, 0, 255);
    SDL_RenderDrawPoint(renderer, 0, 0);
    SDL_SetRenderDrawColor(renderer, 0, 255, 0, 255);
    SDL_RenderDrawPoint(renderer, 63, 35);
    SDL_SetRenderDrawColor(renderer, 0, 0, 255, 255);
    video_present();
    const uint32_t RED = 0xFF0000FF, GREEN = 0x00FF00FF, BLUE = 0x0000FFFF, BLACK = 0x000000FF;
    struct Probe { int x, y; uint32_t colour; };
    const Probe probes[] = {
        {0, 95, BLUE}, {0, 96, RED}, {15, 111, RED}, {16, 111, BLACK}, {15, 112, BLACK},
        {1007, 671, BLACK}, {1008, 656, GREEN}, {1023, 671, GREEN}, {1023, 672, BLUE}, {512, 767, BLUE},
    };
    for (const Probe &p : probes) EXPECT_EQ(window_pixel(p.x, p.y), p.colour) << p.x << "," << p.y;

    video_toggle_fullscreen();
    EXPECT_FALSE(settings.fullscreen);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, (1024 - 640) / 2);
    EXPECT_EQ(y, (768 - 360) / 2);
    SDL_Quit();
}

TEST(Video, StartsOnTheSoftwareRendererWhereNothingIsAccelerated) {
    // SDL's dummy driver offers no accelerated renderer at all.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("SDL_RENDER_DRIVER");
    settings.fullscreen = false;
    ASSERT_EQ(video_init(), 1);
    SDL_RendererInfo info;
    ASSERT_EQ(SDL_GetRendererInfo(renderer, &info), 0);
    EXPECT_TRUE(info.flags & SDL_RENDERER_TARGETTEXTURE);
    EXPECT_NE(canvas, nullptr);
    SDL_Quit();
}
