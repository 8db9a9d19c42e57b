#include "common/settings.h"
#include "app/video.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// The colour of one window pixel after the last present.
uint32_t window_pixel(int x, int y) {
    uint32_t pixel = 0;
    const SDL_Rect at = {x, y, 1, 1};
    SDL_RenderReadPixels(renderer, &at, SDL_PIXELFORMAT_RGBA8888, &pixel, 4);
    return pixel;
}

// Clears the canvas to black, draws the points and presents.
void present_points(std::initializer_list<std::pair<SDL_Point, uint32_t>> points, uint32_t border) {
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const auto &[at, colour] : points) {
        SDL_SetRenderDrawColor(renderer, colour >> 24, colour >> 16 & 255, colour >> 8 & 255, 255);
        SDL_RenderDrawPoint(renderer, at.x, at.y);
    }
    SDL_SetRenderDrawColor(renderer, border >> 24, border >> 16 & 255, border >> 8 & 255, 255);
    video_present();
}

const uint32_t RED = 0xFF0000FF, GREEN = 0x00FF00FF, BLUE = 0x0000FFFF, BLACK = 0x000000FF;

struct Probe { int x, y; uint32_t colour; };
void expect_pixels(std::initializer_list<Probe> probes) {
    for (const Probe &p : probes) EXPECT_EQ(window_pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

}  // namespace

// In a window the layout is empty whatever the screen.
TEST(DisplayLayout, EnlargesByTheLargestWholeFactorAndCentres) {
    struct Case { bool fullscreen; int screen_w, screen_h; int expected[4]; };
    const Case cases[] = {
        {true, 1920, 1080, {1920, 1080, 0, 0}},
        {true, 1366, 768, {1344, 756, 11, 6}},
        {true, 1280, 1024, {1280, 720, 0, 152}},
        {true, 2560, 1080, {1920, 1080, 320, 0}},   // twice as wide as high: height-limited
        {true, 1920, 1001, {1920, 1080, 0, -39}},   // width-limited, overhangs: -39.5 truncated toward zero
        {true, 60, 20, {0, 0, 30, 10}},             // narrower than the canvas: nothing visible
        {true, 200, 30, {0, 0, 100, 15}},           // height-limited and lower than the canvas
        {true, 0, 0, {0, 0, 0, 0}},                 // no display
        {false, 1920, 1080, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        settings.fullscreen = c.fullscreen;
        screen_width = c.screen_w;
        screen_height = c.screen_h;
        video_compute_layout();
        const DisplayLayout &l = display_layout;
        EXPECT_EQ(std::vector<int>({l.scaled_width, l.scaled_height, l.offset_x, l.offset_y}),
                  std::vector<int>(c.expected, c.expected + 4)) << c.screen_w << "x" << c.screen_h;
    }
}

// The window is 640 x 360 with its title, one canvas pixel covering ten by
// ten window pixels. On the offscreen driver's 1024 x 768 screen the canvas
// is enlarged 16 times to 1024 x 576 at (0, 96), and the border shows the
// draw colour. Back in a window, it is 640 x 360 and centred, whatever it
// was before.
TEST(Video, EnlargesTheCanvasInAWindowAndCentredInFullscreen) {
    settings.fullscreen = false;
    ASSERT_EQ(video_init(), 1);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "NUMBRAL (Teaser) - a 64x36 game by quob and Hazelquirk");
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_TRUE(w == 640 && h == 360) << w << "x" << h;
    present_points({{{3, 2}, RED}}, BLUE);
    expect_pixels({{30, 20, RED}, {39, 29, RED}, {40, 25, BLACK}, {35, 19, BLACK}});

    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    ASSERT_TRUE(desktop.w == 1024 && desktop.h == 768);
    screen_width = desktop.w;
    screen_height = desktop.h;
    SDL_SetWindowSize(window, 100, 100);
    SDL_SetWindowPosition(window, 3, 7);
    video_toggle_fullscreen();
    EXPECT_TRUE(settings.fullscreen);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_TRUE(w == 1024 && h == 768) << w << "x" << h;
    present_points({{{0, 0}, RED}, {{63, 35}, GREEN}}, BLUE);
    expect_pixels({{0, 95, BLUE}, {0, 96, RED}, {15, 111, RED}, {16, 111, BLACK}, {15, 112, BLACK},
                   {1007, 671, BLACK}, {1008, 656, GREEN}, {1023, 671, GREEN}, {1023, 672, BLUE},
                   {512, 767, BLUE}});

    video_toggle_fullscreen();
    EXPECT_FALSE(settings.fullscreen);
    int x = 0, y = 0;
    SDL_GetWindowSize(window, &w, &h);
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(std::vector<int>({w, h, x, y}), std::vector<int>({640, 360, (1024 - 640) / 2, (768 - 360) / 2}));
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
