// The texture loader on SDL's software renderer, reading the archive mounted
// by the test.
#include "app/video.h"
#include "resources/texture.h"
#include "support/png_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>

namespace {

class TextureLoader : public testing::Test {
protected:
    static void SetUpTestSuite() { start_test_video(); }
    static void TearDownTestSuite() { stop_test_video(); }
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

// Each load makes a texture of its own with the file's pixels, blended as
// SDL chooses for a surface with alpha; palette entries past the end of tRNS
// stay opaque.
TEST_F(TextureLoader, PixelsComeBackByteForByteInANewTextureEachTime) {
    Bytes pixels;
    for (int i = 0; i < 7 * 5; ++i)  // every fourth pixel fully transparent
        pixels.insert(pixels.end(), {uint8_t(i * 7), uint8_t(i * 11), uint8_t(i), uint8_t(i % 4 ? i * 7 : 0)});
    mount({{"img/sheet.png", dataio_encode_png(pixels.data(), 7, 5)},
           {"img/palette.png", png_file({ihdr_chunk(4, 2, 3),
                                         {"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}},
                                         {"tRNS", {0, 128}},
                                         {"IDAT", stored_zlib({0, 0, 1, 2, 3, 0, 3, 2, 1, 0})}})}});
    const std::pair<const char *, Bytes> files[] = {
        {"img/sheet.png", pixels},
        {"img/palette.png", {255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 255,
                             9, 9, 9, 255, 0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0}},
    };
    for (const auto &[path, expected] : files) {
        SDL_Texture *first = quob_load_png_as_SDLtexture(path), *second = quob_load_png_as_SDLtexture(path);
        ASSERT_TRUE(first && second && first != second) << path;
        SDL_BlendMode mode;
        SDL_GetTextureBlendMode(second, &mode);
        EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);
        EXPECT_EQ(read_back(second), expected) << path;
        SDL_DestroyTexture(first);
        SDL_DestroyTexture(second);
    }
    expect_no_open_files();
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
