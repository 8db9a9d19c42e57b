// Decoding speed of the game's PNG decoder against two reference decoders,
// libpng's simplified reader and stb_image (compiled here with the
// project's flags), on the same in-memory files in the same run. The
// pictures are the game's own (every picture in the archive) and generated
// ones written like them: every row's filter chosen among all five types,
// zlib level 9, a 64 x 36 frame that compresses about 8:1 and a palette
// strip with tRNS. The decoders take turns, one decode each, in an order
// that rotates every round, so that whatever the caches do to one of them
// they do to all; the allocator keeps freed blocks, so none of them pays
// for another's pages going back to the kernel.
//
//   png_bench [--save FOLDER] [ARCHIVE]
//
// ARCHIVE defaults to ./data.quob; without it only the generated pictures
// run. --save writes the generated pictures into FOLDER and stops.
#include "bench_table.h"
#include "resources/png.h"

#include <malloc.h>
#include <physfs.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

uint8_t *stb_reference_decode(const uint8_t *file, int size);
void stb_reference_free(uint8_t *pixels);

namespace {

using Bytes = std::vector<uint8_t>;

struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

// ---------------------------------------------------------------------------
// Pictures

struct Canvas {
    int width;
    int height;
    Bytes rgba;
    void fill(int x0, int y0, int w, int h, uint32_t colour) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) {
                if (x < 0 || y < 0 || x >= width || y >= height) continue;
                uint8_t *p = &rgba[static_cast<size_t>((y * width + x) * 4)];
                p[0] = static_cast<uint8_t>(colour >> 24);
                p[1] = static_cast<uint8_t>(colour >> 16);
                p[2] = static_cast<uint8_t>(colour >> 8);
                p[3] = static_cast<uint8_t>(colour);
            }
    }
};

const uint32_t art_palette[16] = {0x1a1c2cff, 0x5d275dff, 0xb13e53ff, 0xef7d57ff, 0xffcd75ff, 0xa7f070ff,
                                  0x38b764ff, 0x257179ff, 0x29366fff, 0x3b5dc9ff, 0x41a6f6ff, 0x73eff7ff,
                                  0xf4f4f4ff, 0x94b0c2ff, 0x566c86ff, 0x333c57ff};

// One 64 x 36 pixel-art frame: sky bands, hills, ground tiles, a figure,
// stars, and `speckles` single pixels of texture (dither on the hills and
// the ground, as the game's level pictures have).
void draw_frame(Canvas &canvas, int ox, int oy, int frame, Random &random, int speckles) {
    for (int band = 0; band < 4; ++band) canvas.fill(ox, oy + band * 5, 64, 5, art_palette[8 + band % 3]);
    for (int hill = 0; hill < 3; ++hill) {
        const int cx = ox + random.below(64);
        const int r = 5 + random.below(8);
        for (int row = 0; row < r; ++row) canvas.fill(cx - row, oy + 26 - r + row, 2 * row + 1, 1, art_palette[6]);
    }
    for (int tile = 0; tile < 16; ++tile) {
        canvas.fill(ox + tile * 4, oy + 28, 4, 8, art_palette[1 + (tile + frame) % 2]);
        canvas.fill(ox + tile * 4 + 1, oy + 29, 2, 1, art_palette[3]);
    }
    const int fx = ox + 10 + (frame * 3) % 40;
    canvas.fill(fx, oy + 24, 3, 4, art_palette[12]);
    canvas.fill(fx + 1, oy + 23, 1, 1, art_palette[4]);
    for (int star = 0; star < 6; ++star)
        canvas.fill(ox + random.below(64), oy + random.below(18), 1, 1, art_palette[11 + random.below(2)]);
    for (int i = 0; i < speckles; ++i)
        canvas.fill(ox + random.below(64), oy + 14 + random.below(22), 1, 1, art_palette[random.below(16)]);
}

Canvas pixel_art(int width, int height, uint32_t seed, int speckles) {
    Canvas canvas{width, height, Bytes(static_cast<size_t>(width * height * 4), 0)};
    Random random{seed};
    int frame = 0;
    for (int y = 0; y < height; y += 36)
        for (int x = 0; x < width; x += 64) draw_frame(canvas, x, y, frame++, random, speckles);
    return canvas;
}

// 16 x 16 sprites on a transparent background, outlined, with a few
// half-transparent pixels.
Canvas sprite_sheet(int width, int height, uint32_t seed) {
    Canvas canvas{width, height, Bytes(static_cast<size_t>(width * height * 4), 0)};
    Random random{seed};
    for (int sy = 0; sy < height; sy += 16)
        for (int sx = 0; sx < width; sx += 16) {
            const uint32_t body = art_palette[2 + random.below(12)];
            const int w = 6 + random.below(8), h = 6 + random.below(8);
            const int x0 = sx + (16 - w) / 2, y0 = sy + 16 - h;
            canvas.fill(x0, y0, w, h, art_palette[0]);
            canvas.fill(x0 + 1, y0 + 1, w - 2, h - 2, body);
            canvas.fill(x0 + 2, y0 + 2, 2, 2, art_palette[12]);
            canvas.fill(x0 + w - 3, y0 + 1, 1, h - 2, (body & 0xFFFFFF00) | 0x80);
        }
    return canvas;
}

// ---------------------------------------------------------------------------
// Writing with libpng

void append_output(png_structp png, png_bytep data, png_size_t length) {
    auto *out = static_cast<Bytes *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_output(png_structp) {}

Bytes write_png(int width, int height, int colour_type, int channels, const Bytes &samples, const Bytes &plte = {},
                const Bytes &trns = {}) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fprintf(stderr, "libpng could not write a picture\n");
        std::exit(1);
    }
    png_set_write_fn(png, &out, append_output, flush_output);
    // Like the game's pictures: each row's filter picked among all five.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!plte.empty()) png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(plte.data()), int(plte.size() / 3));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, samples.data() + static_cast<size_t>(y) * static_cast<size_t>(width * channels));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes write_rgba(const Canvas &canvas) {
    return write_png(canvas.width, canvas.height, PNG_COLOR_TYPE_RGB_ALPHA, 4, canvas.rgba);
}

// The same picture as palette indices, colour 0 transparent.
Bytes write_palette(const Canvas &canvas) {
    std::map<uint32_t, uint8_t> index_of;
    Bytes plte, indices;
    for (size_t i = 0; i < canvas.rgba.size(); i += 4) {
        uint32_t colour;
        std::memcpy(&colour, &canvas.rgba[i], 4);
        auto found = index_of.find(colour);
        if (found == index_of.end()) {
            found = index_of.emplace(colour, static_cast<uint8_t>(index_of.size())).first;
            plte.insert(plte.end(), {canvas.rgba[i], canvas.rgba[i + 1], canvas.rgba[i + 2]});
        }
        indices.push_back(found->second);
    }
    return write_png(canvas.width, canvas.height, PNG_COLOR_TYPE_PALETTE, 1, indices, plte, {0});
}

// The filter types (bit per type) the rows of a file use, from its
// inflated scanlines.
int filters_of(const Bytes &file, int height) {
    Bytes idat;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 |
                                file[at + 3];
        if (at + 12 + length > file.size()) break;
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0) idat.insert(idat.end(), &file[at + 8], &file[at + 8 + length]);
        at += 12 + length;
    }
    Bytes raw(idat.size() * 64 + 1024);
    uLongf raw_size = raw.size();
    while (uncompress(raw.data(), &raw_size, idat.data(), idat.size()) == Z_BUF_ERROR) {
        raw.resize(raw.size() * 4);
        raw_size = raw.size();
    }
    const size_t row = raw_size / size_t(height);
    int seen = 0;
    for (int y = 0; y < height; ++y)
        if (raw[size_t(y) * row] <= 4) seen |= 1 << raw[size_t(y) * row];
    return seen;
}

std::string filter_names(int seen) {
    static const char *const names[] = {"None", "Sub", "Up", "Average", "Paeth"};
    std::string out;
    for (int type = 0; type < 5; ++type)
        if (seen & (1 << type)) out += std::string(out.empty() ? "" : " ") + names[type];
    return out;
}

struct TestImage {
    std::string name;
    Bytes file;
    int width;
    int height;
    bool shipped;
};

std::vector<TestImage> pictures;

// The 64 x 36 frame: speckles are added until the file compresses at most
// about 8:1, as the game's most detailed frames do; among the first frames
// of that kind, the first whose rows use all five filter types.
TestImage small_frame() {
    TestImage first;
    for (uint32_t seed = 4; seed < 200; ++seed) {
        for (int speckles = 0; speckles <= 400; speckles += 4) {
            const Canvas frame = pixel_art(64, 36, seed, speckles);
            TestImage made = {"frame_64x36", write_rgba(frame), 64, 36, false};
            if (double(64 * 36 * 4) / double(made.file.size()) > 8.0) continue;
            if (filters_of(made.file, 36) == 31) return made;
            if (first.file.empty()) first = made;
            break;
        }
    }
    return first;
}

void make_generated_pictures() {
    pictures.push_back(small_frame());
    const Canvas strip = pixel_art(2048, 144, 1, 40);
    pictures.push_back({"strip_2048x144", write_rgba(strip), 2048, 144, false});
    pictures.push_back({"palette_strip_2048x144_trns", write_palette(strip), 2048, 144, false});
    pictures.push_back({"sprites_256x128", write_rgba(sprite_sheet(256, 128, 2)), 256, 128, false});
}

// Every picture of the archive, by name.
int add_shipped_pictures(const char *archive) {
    if (!PHYSFS_init(nullptr) || !PHYSFS_mount(archive, nullptr, 0)) return 0;
    char **names = PHYSFS_enumerateFiles("img");
    int added = 0;
    for (char **name = names; name && *name; ++name) {
        const std::string path = std::string("img/") + *name;
        PHYSFS_File *file = PHYSFS_openRead(path.c_str());
        if (!file) continue;
        Bytes bytes(static_cast<size_t>(PHYSFS_fileLength(file)));
        const bool read = PHYSFS_readBytes(file, bytes.data(), bytes.size()) == PHYSFS_sint64(bytes.size());
        PHYSFS_close(file);
        if (!read || bytes.size() < 24) continue;
        const int width = int(uint32_t(bytes[16]) << 24 | uint32_t(bytes[17]) << 16 | uint32_t(bytes[18]) << 8 | bytes[19]);
        const int height = int(uint32_t(bytes[20]) << 24 | uint32_t(bytes[21]) << 16 | uint32_t(bytes[22]) << 8 | bytes[23]);
        pictures.push_back({path, bytes, width, height, true});
        ++added;
    }
    PHYSFS_freeList(names);
    PHYSFS_deinit();
    return added;
}

// ---------------------------------------------------------------------------
// Decoders: each returns the RGBA pixels in a block it releases itself.

uint8_t *decode_ours(const Bytes &file) {
    return reinterpret_cast<uint8_t *>(png_load_from_memory(file.data(), int32_t(file.size())).pixels);
}

uint8_t *decode_stb(const Bytes &file) {
    return stb_reference_decode(file.data(), int(file.size()));
}

uint8_t *decode_libpng(const Bytes &file) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return nullptr;
    image.format = PNG_FORMAT_RGBA;
    auto *pixels = static_cast<uint8_t *>(std::malloc(PNG_IMAGE_SIZE(image)));
    if (!png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) {
        std::free(pixels);
        png_image_free(&image);
        return nullptr;
    }
    return pixels;
}

void release_malloc(uint8_t *pixels) {
    std::free(pixels);
}

struct Decoder {
    const char *name;
    uint8_t *(*decode)(const Bytes &);
    void (*release)(uint8_t *);
};

constexpr int DECODERS = 3;
const Decoder decoders[DECODERS] = {
    {"ours", decode_ours, release_malloc},
    {"libpng", decode_libpng, release_malloc},
    {"stb_image", decode_stb, stb_reference_free},
};

// The three decoders must agree before their speeds are compared.
bool decoders_agree() {
    bool agree = true;
    for (const TestImage &image : pictures) {
        const size_t size = size_t(image.width) * size_t(image.height) * 4;
        uint8_t *reference = decode_libpng(image.file);
        for (const Decoder &decoder : decoders) {
            uint8_t *pixels = decoder.decode(image.file);
            if (!pixels || !reference || std::memcmp(pixels, reference, size) != 0) {
                std::fprintf(stderr, "%s decodes %s differently\n", decoder.name, image.name.c_str());
                agree = false;
            }
            decoder.release(pixels);
        }
        std::free(reference);
    }
    return agree;
}

double now_us() {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Median microseconds per decoder. Each round decodes the picture once
// with every decoder, starting with a different one each round; rounds run
// until the picture has had its share of time (and at least 31 rounds).
std::vector<double> time_picture(const TestImage &image, double budget_us) {
    std::vector<double> times[DECODERS];
    const double start = now_us();
    for (int round = 0; round < 31 || now_us() - start < budget_us; ++round) {
        for (int turn = 0; turn < DECODERS; ++turn) {
            const Decoder &decoder = decoders[(round + turn) % DECODERS];
            const double before = now_us();
            uint8_t *pixels = decoder.decode(image.file);
            decoder.release(pixels);
            times[(round + turn) % DECODERS].push_back(now_us() - before);
        }
    }
    std::vector<double> medians;
    for (const auto &list : times) medians.push_back(median(list));
    return medians;
}

}  // namespace

int main(int argc, char **argv) {
    // Freed blocks stay with the allocator: no decoder pays for pages that
    // another one's release gave back to the kernel. Decoding speed is
    // compared here, not this machine's page faults.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    make_generated_pictures();
    if (argc == 3 && std::strcmp(argv[1], "--save") == 0) {
        for (const TestImage &image : pictures) {
            const std::string path = std::string(argv[2]) + "/" + image.name + ".png";
            std::FILE *file = std::fopen(path.c_str(), "wb");
            if (!file || std::fwrite(image.file.data(), 1, image.file.size(), file) != image.file.size()) return 1;
            std::fclose(file);
        }
        return 0;
    }
    const char *archive = argc > 1 ? argv[1] : "data.quob";
    const int shipped = add_shipped_pictures(archive);
    if (shipped == 0) std::fprintf(stderr, "png_bench: no pictures from %s; generated pictures only\n", archive);
    if (!decoders_agree()) return 1;

    std::printf("Median decode time (us), decoders taking turns; ours as a multiple of each reference's time\n");
    std::printf("%-32s %9s %9s %9s %12s %9s %8s %7s  %s\n", "picture", "ours", "libpng", "stb", "ours/libpng",
                "ours/stb", "bytes", "ratio", "filters");
    double shipped_sum[DECODERS] = {};
    int shipped_slower = 0;
    std::string slowest_shipped;
    double slowest_ratio = 0;
    for (const TestImage &image : pictures) {
        const double budget = image.shipped ? 150e3 : 1.5e6;
        const std::vector<double> t = time_picture(image, budget);
        const double ratio = double(image.width) * image.height * 4 / double(image.file.size());
        const std::string filters = filter_names(filters_of(image.file, image.height));
        std::printf("%-32s %9.2f %9.2f %9.2f %12.2f %9.2f %8zu %5.1f:1  %s\n", image.name.c_str(), t[0], t[1], t[2],
                    t[0] / t[1], t[0] / t[2], image.file.size(), ratio, filters.c_str());
        if (image.shipped) {
            for (int d = 0; d < DECODERS; ++d) shipped_sum[d] += t[d];
            if (t[0] > t[1]) ++shipped_slower;
            if (t[0] / t[1] > slowest_ratio) slowest_ratio = t[0] / t[1], slowest_shipped = image.name;
            continue;
        }
        bench_table_add({bench_format("PNG decode %s (%.1f:1), ours", image.name.c_str(), ratio),
                         bench_format("%.1f us", t[0]),
                         bench_format("libpng %.1f us (stb_image %.1f us, %.2fx)", t[1], t[2], t[0] / t[2]),
                         t[0] / t[1], "<= 1.0x libpng", bench_at_most(t[0] / t[1], 1.0)});
    }
    if (shipped > 0) {
        const double ratio = shipped_sum[0] / shipped_sum[1];
        bench_table_add({bench_format("PNG decode, all %d pictures of the archive, ours (sum of medians)", shipped),
                         bench_format("%.1f us", shipped_sum[0]),
                         bench_format("libpng %.1f us (stb_image %.1f us, %.2fx)", shipped_sum[1], shipped_sum[2],
                                      shipped_sum[0] / shipped_sum[2]),
                         ratio, "<= 1.0x libpng", bench_at_most(ratio, 1.0)});
        bench_table_add({"  archive pictures slower than libpng",
                         bench_format("%d of %d (worst %s, %.2fx)", shipped_slower, shipped, slowest_shipped.c_str(),
                                      slowest_ratio),
                         "", 0, "", VERDICT_NONE});
    }
    return 0;
}
