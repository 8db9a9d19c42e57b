#include <gtest/gtest.h>

#include <cstdlib>

// Tests run with no display and no sound card, and draw pixel-exactly.
TEST(TestEnvironment, SelectsTheHeadlessDriversAndTheSoftwareRenderer) {
    ASSERT_NE(std::getenv("SDL_VIDEODRIVER"), nullptr);
    ASSERT_NE(std::getenv("SDL_AUDIODRIVER"), nullptr);
    ASSERT_NE(std::getenv("SDL_RENDER_DRIVER"), nullptr);
    EXPECT_STREQ(std::getenv("SDL_VIDEODRIVER"), "offscreen");
    EXPECT_STREQ(std::getenv("SDL_AUDIODRIVER"), "dummy");
    EXPECT_STREQ(std::getenv("SDL_RENDER_DRIVER"), "software");
}
