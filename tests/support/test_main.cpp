// The main of every test program. Tests never need a display or a sound
// card, and pixel checks need SDL's exact software renderer: these drivers
// are chosen unless the caller has chosen others.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    // The window surface stays in software too, so no GL driver is loaded
    // behind it (the leak checker of sanitizer builds trips over those).
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
