// F12 screenshots: the PNG writer checked against the game's own decoder and
// an independent reckoning of the checksums, and whole screenshots written
// into a temporary save folder.
#include "app/screenshot.h"
#include "render_support.h"
#include "resources/png.h"

#include "common/settings.h"

#include <chrono>
#include <cstring>
#include <cstdlib>
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

uint32_t slow_adler(const std::vector<uint8_t> &data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

std::vector<uint8_t> pattern(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(i * 7 + i / 13);
    return rgba;
}

// Checks every chunk's CRC, undoes the stored blocks and checks the Adler-32;
// returns the filtered image bytes.
std::vector<uint8_t> check_structure(const uint8_t *png, size_t size) {
    std::vector<uint8_t> zlib;
    size_t at = 8;
    while (at + 12 <= size) {
        const uint32_t length = big_endian(png + at);
        EXPECT_EQ(big_endian(png + at + 8 + length), slow_crc(png + at + 4, 4 + length)) << "chunk at " << at;
        if (std::memcmp(png + at + 4, "IDAT", 4) == 0) zlib.insert(zlib.end(), png + at + 8, png + at + 8 + length);
        at += 12 + length;
    }
    EXPECT_EQ(at, size);
    std::vector<uint8_t> raw;
    size_t p = 2;
    bool final_block = false;
    while (!final_block && p + 5 <= zlib.size()) {
        final_block = zlib[p] & 1;
        EXPECT_EQ(zlib[p] >> 1, 0) << "a stored block";
        const size_t length = zlib[p + 1] | zlib[p + 2] << 8;
        EXPECT_EQ(length ^ 0xFFFF, size_t(zlib[p + 3] | zlib[p + 4] << 8));
        raw.insert(raw.end(), zlib.begin() + p + 5, zlib.begin() + p + 5 + length);
        p += 5 + length;
    }
    EXPECT_TRUE(final_block);
    EXPECT_EQ(p + 4, zlib.size());
    EXPECT_EQ(big_endian(&zlib[p]), slow_adler(raw));
    return raw;
}

class Screenshot : public RenderTest {};

}  // namespace

TEST_F(Screenshot, EncodesPicturesOfOneOrManyStoredBlocks) {
    for (const auto &[width, height] : {std::pair{1, 1}, {3, 2}, {200, 150}}) {
        const std::vector<uint8_t> rgba = pattern(width, height);
        size_t size = 0;
        uint8_t *png = screenshot_encode_png(rgba.data(), width, height, &size);
        ASSERT_NE(png, nullptr);
        const std::vector<uint8_t> raw = check_structure(png, size);
        EXPECT_EQ(raw.size(), static_cast<size_t>(height) * (1 + width * 3));
        const PngImage image = png_load_from_memory(png, static_cast<int32_t>(size));
        std::free(png);
        ASSERT_NE(image.pixels, nullptr) << width;
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int i = 0; i < width * height; ++i) {
            const PngPixel pixel = image.pixels[i];
            ASSERT_EQ(pixel.r, rgba[i * 4]) << i;
            ASSERT_EQ(pixel.g, rgba[i * 4 + 1]) << i;
            ASSERT_EQ(pixel.b, rgba[i * 4 + 2]) << i;
            ASSERT_EQ(pixel.a, 255) << i;
        }
        std::free(image.pixels);
    }
    size_t size = 0;
    EXPECT_EQ(screenshot_encode_png(nullptr, 0, 10, &size), nullptr);
}

TEST_F(Screenshot, SavesTheCanvasTenTimesLargerUnderADatedName) {
    TempDir save;
    // A canvas of distinct pixels.
    const std::vector<uint8_t> rgba = pattern(64, 36);
    SDL_Texture *picture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, 64, 36);
    SDL_UpdateTexture(picture, nullptr, rgba.data(), 64 * 4);
    SDL_SetRenderTarget(renderer, canvas);
    SDL_RenderCopy(renderer, picture, nullptr, nullptr);
    SDL_DestroyTexture(picture);
    SDL_SetRenderTarget(renderer, nullptr);  // as after a presented frame

    char first[APP_PATH_CAPACITY] = "", second[APP_PATH_CAPACITY] = "";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(screenshot_save(save.path.c_str(), first, sizeof first));
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(screenshot_save(save.path.c_str(), second, sizeof second));
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);  // the target is put back
    EXPECT_NE(std::string(first), std::string(second));
    const std::string name = std::filesystem::path(first).filename().string();
    EXPECT_EQ(std::filesystem::path(first).parent_path().string(), save.file("screenshots"));
    EXPECT_EQ(name.rfind("numbral-20", 0), 0u) << name;
    std::printf("one screenshot took %.1f ms\n", std::chrono::duration<double, std::milli>(took).count());

    const std::string file = read_file(first);
    const PngImage image = png_load_from_memory(reinterpret_cast<const uint8_t *>(file.data()), static_cast<int32_t>(file.size()));
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_EQ(image.width, 640);
    ASSERT_EQ(image.height, 360);
    for (int y = 0; y < 360; y += 7) {
        for (int x = 0; x < 640; x += 3) {
            const uint8_t *want = &rgba[((y / 10) * 64 + x / 10) * 4];
            const PngPixel got = image.pixels[y * 640 + x];
            ASSERT_EQ(got.r, want[0]) << x << "," << y;
            ASSERT_EQ(got.g, want[1]) << x << "," << y;
            ASSERT_EQ(got.b, want[2]) << x << "," << y;
        }
    }
    std::free(image.pixels);
}

TEST_F(Screenshot, AFailedWriteIsReportedAndChangesNothing) {
    TempDir save;
    write_file(save.file("screenshots"), "a file where the folder belongs");
    EXPECT_FALSE(screenshot_save(save.path.c_str(), nullptr, 0));
    EXPECT_EQ(read_file(save.file("screenshots")), "a file where the folder belongs");
    EXPECT_FALSE(screenshot_save("", nullptr, 0));
}
