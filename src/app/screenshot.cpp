#include "app/screenshot.h"

#include "app/app.h"
#include "common/log.h"
#include "common/screen.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

// The CRC-32 of PNG chunks, four bytes a step: crc_tables[k][n] is the CRC of
// byte n followed by k zero bytes.
static uint32_t crc_tables[4][256];

static void crc_prepare() {
    if (crc_tables[0][1] != 0) return;
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_tables[0][n] = c;
    }
    for (int k = 1; k < 4; ++k) {
        for (int n = 0; n < 256; ++n) {
            const uint32_t c = crc_tables[k - 1][n];
            crc_tables[k][n] = (c >> 8) ^ crc_tables[0][c & 0xFF];
        }
    }
}

static uint32_t crc_update(uint32_t crc, const uint8_t *data, size_t length) {
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        crc ^= uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24;
        crc = crc_tables[3][crc & 0xFF] ^ crc_tables[2][(crc >> 8) & 0xFF] ^ crc_tables[1][(crc >> 16) & 0xFF] ^
              crc_tables[0][crc >> 24];
    }
    for (; i < length; ++i) crc = crc_tables[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

static uint8_t *put_u32(uint8_t *out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
    return out + 4;
}

// A chunk's length, type and data are already in place at chunk; this adds
// the CRC over type and data and returns the end.
static uint8_t *close_chunk(uint8_t *chunk, size_t data_length) {
    const uint32_t crc = crc_update(0xFFFFFFFFu, chunk + 4, 4 + data_length) ^ 0xFFFFFFFFu;
    return put_u32(chunk + 8 + data_length, crc);
}

static constexpr size_t STORED_BLOCK_MAX = 65535;

uint8_t *screenshot_encode_png(const uint8_t *rgba, int width, int height, size_t *size) {
    // 8192 x 8192 keeps every size below well inside 32 bits.
    if (width < 1 || height < 1 || width > 8192 || height > 8192) return nullptr;
    crc_prepare();
    const size_t row_bytes = 1 + static_cast<size_t>(width) * 3;  // filter byte, then RGB
    const size_t raw = row_bytes * static_cast<size_t>(height);
    const size_t blocks = (raw + STORED_BLOCK_MAX - 1) / STORED_BLOCK_MAX;
    const size_t zlib = 2 + raw + blocks * 5 + 4;
    const size_t total = 8 + (12 + 13) + (12 + zlib) + 12;
    uint8_t *png = static_cast<uint8_t *>(std::malloc(total));
    if (!png) return nullptr;

    static const uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::memcpy(png, SIGNATURE, 8);
    uint8_t *chunk = png + 8;
    uint8_t *p = put_u32(chunk, 13);
    std::memcpy(p, "IHDR", 4);
    p = put_u32(p + 4, static_cast<uint32_t>(width));
    p = put_u32(p, static_cast<uint32_t>(height));
    const uint8_t header_rest[5] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, no filter choice, no interlace
    std::memcpy(p, header_rest, 5);
    chunk = close_chunk(chunk, 13);

    p = put_u32(chunk, static_cast<uint32_t>(zlib));
    std::memcpy(p, "IDAT", 4);
    p += 4;
    *p++ = 0x78;  // deflate with a 32 KiB window, no dictionary,
    *p++ = 0x01;  // a header that is a multiple of 31
    uint8_t *row = static_cast<uint8_t *>(std::malloc(row_bytes));
    if (!row) {
        std::free(png);
        return nullptr;
    }
    uint32_t adler_a = 1, adler_b = 0;
    size_t left = raw;
    size_t in_block = 0;
    for (int y = 0; y < height; ++y) {
        row[0] = 0;  // no filter
        for (int x = 0; x < width; ++x) std::memcpy(&row[1 + 3 * static_cast<size_t>(x)], &rgba[(static_cast<size_t>(y) * width + x) * 4], 3);
        // Reduced every 4096 bytes, the sums cannot overflow.
        for (size_t from = 0; from < row_bytes; from += 4096) {
            const size_t to = row_bytes - from < 4096 ? row_bytes : from + 4096;
            for (size_t i = from; i < to; ++i) {
                adler_a += row[i];
                adler_b += adler_a;
            }
            adler_a %= 65521;
            adler_b %= 65521;
        }
        for (size_t done = 0; done < row_bytes;) {
            if (in_block == 0) {
                const size_t length = left < STORED_BLOCK_MAX ? left : STORED_BLOCK_MAX;
                *p++ = left == length ? 1 : 0;  // the last block is marked final
                *p++ = static_cast<uint8_t>(length);
                *p++ = static_cast<uint8_t>(length >> 8);
                *p++ = static_cast<uint8_t>(~length);
                *p++ = static_cast<uint8_t>(~length >> 8);
                in_block = length;
                left -= length;
            }
            const size_t n = row_bytes - done < in_block ? row_bytes - done : in_block;
            std::memcpy(p, row + done, n);
            p += n;
            done += n;
            in_block -= n;
        }
    }
    std::free(row);
    p = put_u32(p, (adler_b << 16) | adler_a);
    chunk = close_chunk(chunk, zlib);

    p = put_u32(chunk, 0);
    std::memcpy(p, "IEND", 4);
    chunk = close_chunk(chunk, 0);
    *size = static_cast<size_t>(chunk - png);
    return png;
}

// The canvas, enlarged with hard pixel edges, as RGBA bytes from malloc.
static uint8_t *capture_canvas() {
    uint8_t small[CANVAS_WIDTH * CANVAS_HEIGHT * 4];
    SDL_Texture *target = SDL_GetRenderTarget(renderer);
    SDL_SetRenderTarget(renderer, canvas);
    const int read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, small, CANVAS_WIDTH * 4);
    SDL_SetRenderTarget(renderer, target);
    if (read != 0) {
        app_log("screenshot > SDL_RenderReadPixels Error: %s", SDL_GetError());
        return nullptr;
    }
    const int width = CANVAS_WIDTH * SCREENSHOT_SCALE;
    uint8_t *large = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(width) * CANVAS_HEIGHT * SCREENSHOT_SCALE * 4));
    if (!large) return nullptr;
    for (int y = 0; y < CANVAS_HEIGHT * SCREENSHOT_SCALE; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t *from = &small[((y / SCREENSHOT_SCALE) * CANVAS_WIDTH + x / SCREENSHOT_SCALE) * 4];
            std::memcpy(&large[(static_cast<size_t>(y) * width + x) * 4], from, 4);
        }
    }
    return large;
}

// folder/screenshots/numbral-YYYY-MM-DD_HH-MM-SS.png, with -2, -3... when
// several are taken within a second. False when no free name fits.
static bool free_file_name(const char *screenshots, char *path, size_t capacity) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    const std::tm *local = std::localtime(&now);
    if (!local || std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", local) == 0) {
        std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(now));
    }
    for (int n = 1; n < 100; ++n) {
        const int length = n == 1 ? std::snprintf(path, capacity, "%s%cnumbral-%s.png", screenshots,
                                                  platform_path_separator, stamp)
                                  : std::snprintf(path, capacity, "%s%cnumbral-%s-%d.png", screenshots,
                                                  platform_path_separator, stamp, n);
        if (length < 0 || static_cast<size_t>(length) >= capacity) return false;
        if (!platform_path_exists(path)) return true;
    }
    return false;
}

static bool write_file(const char *path, const uint8_t *data, size_t size) {
    std::FILE *file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!(written && closed)) std::remove(path);
    return written && closed;
}

bool screenshot_save(const char *folder, char *written_path, size_t capacity) {
    char screenshots[APP_PATH_CAPACITY];
    char path[APP_PATH_CAPACITY];
    const int length = std::snprintf(screenshots, sizeof screenshots, "%s%cscreenshots", folder, platform_path_separator);
    if (folder[0] == '\0' || length < 0 || static_cast<size_t>(length) >= sizeof screenshots) {
        app_log("screenshot > no save folder to write into");
        return false;
    }
    ensure_folder(screenshots);
    if (!free_file_name(screenshots, path, sizeof path)) {
        app_log("screenshot > no free file name in %s", screenshots);
        return false;
    }
    uint8_t *pixels = capture_canvas();
    if (!pixels) return false;
    size_t size = 0;
    uint8_t *png = screenshot_encode_png(pixels, CANVAS_WIDTH * SCREENSHOT_SCALE, CANVAS_HEIGHT * SCREENSHOT_SCALE, &size);
    std::free(pixels);
    const bool written = png && write_file(path, png, size);
    std::free(png);
    if (!written) {
        app_log("screenshot > could not write %s", path);
        return false;
    }
    if (written_path) std::snprintf(written_path, capacity, "%s", path);
    return true;
}

bool screenshot_take() {
    return screenshot_save(app_folder_path, nullptr, 0);
}
