// F12 screenshots: the PNG writer checked against the game's own decoder
// (which never looks at checksums) and an independent reckoning of them, and
// whole screenshots written into a temporary save folder.
#include "app/screenshot.h"
#include "common/settings.h"
#include "render_support.h"
#include "resources/png.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

uint32_t big_endian(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Bit by bit, as the PNG book defines it.
uint32_t slow_crc(const uint8_t *data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::vector<uint8_t> pattern(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = i % 4 == 3 ? 255 : uint8_t(i * 7 + i / 13);
    return rgba;
}

// Decodes the PNG file and checks it shows the RGB of `rgba`, enlarged
// `scale` times.
void expect_picture(const void *png, size_t size, const std::vector<uint8_t> &rgba, int width,
                    int scale = 1) {
    const PngImage image = png_load_from_memory(static_cast<const uint8_t *>(png), int32_t(size));
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_EQ(image.width, width * scale);
    ASSERT_EQ(image.height, static_cast<int>(rgba.size() / 4 / width) * scale);
    for (int i = 0; i < image.width * image.height; ++i) {
        const uint8_t *want = &rgba[((i / image.width / scale) * width + i % image.width / scale) * 4];
        const PngPixel got = image.pixels[i];
        ASSERT_TRUE(got.r == want[0] && got.g == want[1] && got.b == want[2] && got.a == 255) << i;
    }
    std::free(image.pixels);
}

class Screenshot : public RenderTest {};

}  // namespace

TEST_F(Screenshot, EncodesPicturesOfOneOrManyStoredBlocksWithTheirChecksums) {
    for (const auto &[width, height] : {std::pair{1, 1}, {3, 2}, {200, 150}}) {  // the last needs two blocks
        const std::vector<uint8_t> rgba = pattern(width, height);
        size_t size = 0;
        uint8_t *png = screenshot_encode_png(rgba.data(), width, height, &size);
        ASSERT_NE(png, nullptr);
        expect_picture(png, size, rgba, width);
        // Every chunk's CRC, and the Adler-32 of the rows (each led by filter 0) at the IDAT's end.
        uint32_t a = 1, b = 0;
        for (size_t i = 0; i < rgba.size(); ++i) {
            if (i % (static_cast<size_t>(width) * 4) == 0) b = (b + a) % 65521;
            if (i % 4 == 3) continue;
            a = (a + rgba[i]) % 65521;
            b = (b + a) % 65521;
        }
        size_t at = 8;
        while (at + 12 <= size) {
            const uint32_t length = big_endian(png + at);
            EXPECT_EQ(big_endian(png + at + 8 + length), slow_crc(png + at + 4, 4 + length)) << at;
            if (std::memcmp(png + at + 4, "IDAT", 4) == 0) {
                EXPECT_EQ(big_endian(png + at + 4 + length), b << 16 | a);
            }
            at += 12 + length;
        }
        EXPECT_EQ(at, size);
        std::free(png);
    }
    size_t size = 0;
    EXPECT_EQ(screenshot_encode_png(nullptr, 0, 10, &size), nullptr);
}

TEST_F(Screenshot, SavesTheCanvasTenTimesLargerUnderADatedNameAndPutsTheTargetBack) {
    TempDir save;
    const std::vector<uint8_t> rgba = pattern(CANVAS_WIDTH, CANVAS_HEIGHT);
    SDL_Texture *picture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC,
                                             CANVAS_WIDTH, CANVAS_HEIGHT);
    SDL_UpdateTexture(picture, nullptr, rgba.data(), CANVAS_WIDTH * 4);
    SDL_RenderCopy(renderer, picture, nullptr, nullptr);
    SDL_DestroyTexture(picture);
    SDL_SetRenderTarget(renderer, nullptr);  // as after a presented frame

    char first[APP_PATH_CAPACITY] = "", second[APP_PATH_CAPACITY] = "";
    ASSERT_TRUE(screenshot_save(save.path.c_str(), first, sizeof first));
    ASSERT_TRUE(screenshot_save(save.path.c_str(), second, sizeof second));
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    EXPECT_NE(std::string(first), std::string(second));
    EXPECT_EQ(std::filesystem::path(first).parent_path().string(), save.file("screenshots"));
    EXPECT_EQ(std::filesystem::path(first).filename().string().rfind("numbral-20", 0), 0u) << first;
    const std::string file = read_file(first);
    expect_picture(file.data(), file.size(), rgba, CANVAS_WIDTH, SCREENSHOT_SCALE);
}

TEST_F(Screenshot, AFailedWriteIsReportedAndChangesNothing) {
    TempDir save;
    write_file(save.file("screenshots"), "a file where the folder belongs");
    EXPECT_FALSE(screenshot_save(save.path.c_str(), nullptr, 0));
    EXPECT_EQ(read_file(save.file("screenshots")), "a file where the folder belongs");
    EXPECT_FALSE(screenshot_save("", nullptr, 0));
}
