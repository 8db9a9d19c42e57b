// The texture loader on SDL's offscreen video driver and software renderer,
// reading the archive mounted by the test.
#include "app/video.h"
#include "resources/texture.h"
#include "support/png_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <cstdlib>

namespace {

class TextureLoader : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_RENDER_DRIVER", "software", 0);
        // The window's own surface stays in software too: accelerating it
        // would load the system's GL libraries, which leak under the leak
        // checker.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("texture test", 0, 0, 64, 36, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
        ASSERT_NE(renderer, nullptr) << SDL_GetError();
    }

    static void TearDownTestSuite() {
        unmount_test_archives();
        SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        renderer = nullptr;
        window = nullptr;
        SDL_Quit();
    }

    void mount(const std::vector<ArchiveEntry> &entries) {
        mount_test_archive(folder.file("data.zip"), entries);
    }

    // The archive can be unmounted only when no file of it is open.
    void expect_no_open_files() {
        EXPECT_NE(PHYSFS_unmount(folder.file("data.zip").c_str()), 0) << PHYSFS_getLastErrorCode();
    }

    TempDir folder;
};

// The texture's pixels as RGBA bytes, copied unblended into a render target.
Bytes read_back(SDL_Texture *texture) {
    int width = 0, height = 0;
    SDL_QueryTexture(texture, nullptr, nullptr, &width, &height);
    SDL_Texture *target =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_TARGET, width, height);
    SDL_SetRenderTarget(renderer, target);
    SDL_BlendMode mode;
    SDL_GetTextureBlendMode(texture, &mode);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_SetTextureBlendMode(texture, mode);
    Bytes pixels(static_cast<size_t>(width * height * 4));
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, pixels.data(), width * 4);
    SDL_SetRenderTarget(renderer, nullptr);
    SDL_DestroyTexture(target);
    return pixels;
}

// Each load makes a texture of its own with the file's pixels.
TEST_F(TextureLoader, PixelsComeBackByteForByteInANewTextureEachTime) {
    Bytes pixels;
    for (int i = 0; i < 7 * 5; ++i)  // every fourth pixel fully transparent
        pixels.insert(pixels.end(), {uint8_t(i * 7), uint8_t(i * 11), uint8_t(i), uint8_t(i % 4 ? i * 7 : 0)});
    mount({{"img/sheet.png", dataio_encode_png(pixels.data(), 7, 5)}});
    SDL_Texture *first = quob_load_png_as_SDLtexture("img/sheet.png");
    SDL_Texture *second = quob_load_png_as_SDLtexture("img/sheet.png");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    SDL_DestroyTexture(first);
    int width = 0, height = 0;
    SDL_QueryTexture(second, nullptr, nullptr, &width, &height);
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 5);
    // SDL's own choice for a surface with alpha; the loader sets nothing.
    SDL_BlendMode mode;
    SDL_GetTextureBlendMode(second, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);
    EXPECT_EQ(read_back(second), pixels);
    SDL_DestroyTexture(second);
    expect_no_open_files();
}

// Entries past the end of tRNS stay opaque.
TEST_F(TextureLoader, TransparentPaletteEntriesStayTransparent) {
    mount({{"img/palette.png", png_file({ihdr_chunk(4, 2, 3),
                                         {"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}},
                                         {"tRNS", {0, 128}},
                                         {"IDAT", stored_zlib({0, 0, 1, 2, 3, 0, 3, 2, 1, 0})}})}});
    SDL_Texture *texture = quob_load_png_as_SDLtexture("img/palette.png");
    ASSERT_NE(texture, nullptr);
    const Bytes expected = {255, 0, 0, 0,   0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 255,
                            9, 9, 9, 255, 0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0};
    EXPECT_EQ(read_back(texture), expected);
    SDL_DestroyTexture(texture);
}

TEST_F(TextureLoader, FailuresGiveNullAndLeaveNothingOpen) {
    mount({{"img/text.png", {'h', 'e', 'l', 'l', 'o'}},
           {"img/wide.png", png_file({ihdr_chunk(0, 1, 6), {"IDAT", stored_zlib({0})}})}});
    // "img" exists as a folder but cannot be opened as a file; wide.png
    // decodes to a width of 0, which SDL refuses as a texture.
    for (const char *path : {"img/missing.png", "img/text.png", "img/wide.png", "img"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(quob_load_png_as_SDLtexture(path), nullptr);
    }
    expect_no_open_files();
}

}  // namespace
