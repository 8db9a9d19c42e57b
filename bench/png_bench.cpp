// Decoding speed of the game's PNG decoder against two reference decoders
// (stb_image and libpng's simplified reader) on the same in-memory files,
// in the same run. The pictures are generated here and written by libpng
// with its default filter choice and compression level.
#include "resources/png.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <stb_image.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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

// One 64 x 36 pixel-art frame: sky bands, hills, ground tiles, a figure.
void draw_frame(Canvas &canvas, int ox, int oy, int frame, Random &random) {
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
}

Canvas pixel_art(int width, int height, uint32_t seed) {
    Canvas canvas{width, height, Bytes(static_cast<size_t>(width * height * 4), 0)};
    Random random{seed};
    int frame = 0;
    for (int y = 0; y < height; y += 36)
        for (int x = 0; x < width; x += 64) draw_frame(canvas, x, y, frame++, random);
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

// A smooth colour field with strong noise: few matches, mostly literals.
Bytes noisy_rgb(int width, int height, uint32_t seed) {
    Random random{seed};
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgb.push_back(static_cast<uint8_t>(x * 255 / width + random.below(48)));
            rgb.push_back(static_cast<uint8_t>(y * 255 / height + random.below(48)));
            rgb.push_back(static_cast<uint8_t>((x + y) / 4 + random.below(48)));
        }
    return rgb;
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

struct TestImage {
    std::string name;
    Bytes file;
    int width;
    int height;
};

std::vector<TestImage> &images() {
    static std::vector<TestImage> list = [] {
        std::vector<TestImage> made;
        const Canvas strip = pixel_art(2048, 144, 1);
        made.push_back({"strip_2048x144", write_rgba(strip), 2048, 144});
        const Canvas sheet = sprite_sheet(256, 128, 2);
        made.push_back({"sprites_256x128", write_rgba(sheet), 256, 128});
        made.push_back({"noisy_rgb_640x360",
                        write_png(640, 360, PNG_COLOR_TYPE_RGB, 3, noisy_rgb(640, 360, 3)), 640, 360});
        const Canvas small = pixel_art(64, 36, 4);
        made.push_back({"small_64x36", write_rgba(small), 64, 36});
        made.push_back({"palette_strip_2048x144", write_palette(strip), 2048, 144});
        return made;
    }();
    return list;
}

// ---------------------------------------------------------------------------
// Decoders: each returns the RGBA pixels in a block it releases itself.

uint8_t *decode_ours(const Bytes &file) {
    return reinterpret_cast<uint8_t *>(png_load_from_memory(file.data(), int32_t(file.size())).pixels);
}

uint8_t *decode_stb(const Bytes &file) {
    int w = 0, h = 0, n = 0;
    return stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
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

void release_ours(uint8_t *pixels) {
    std::free(pixels);
}
void release_stb(uint8_t *pixels) {
    stbi_image_free(pixels);
}

struct Decoder {
    const char *name;
    uint8_t *(*decode)(const Bytes &);
    void (*release)(uint8_t *);
};

const Decoder decoders[] = {
    {"ours", decode_ours, release_ours},
    {"libpng", decode_libpng, release_ours},
    {"stb_image", decode_stb, release_stb},
};

void run_decoder(benchmark::State &state, const TestImage *image, const Decoder *decoder) {
    for (auto _ : state) {
        uint8_t *pixels = decoder->decode(image->file);
        benchmark::DoNotOptimize(pixels);
        decoder->release(pixels);
    }
    const int64_t pixels = int64_t(image->width) * image->height;
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 4);
}

// The three decoders must agree before their speeds are compared.
bool decoders_agree() {
    bool agree = true;
    for (const TestImage &image : images()) {
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

// Prints the runs as usual and keeps each benchmark's median time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> median_ns;

    void ReportRuns(const std::vector<Run> &reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run &run : reports) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            median_ns[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
};

}  // namespace

int main(int argc, char **argv) {
    if (!decoders_agree()) return 1;
    for (const TestImage &image : images()) {
        for (const Decoder &decoder : decoders) {
            const std::string name = image.name + "/" + decoder.name;
            benchmark::RegisterBenchmark(name.c_str(), run_decoder, &image, &decoder)
                ->Unit(benchmark::kMicrosecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true)
                ->MinTime(0.1);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedian decode time, and ours as a multiple of each reference's time (below 1: ours is faster)\n");
    std::printf("%-24s %9s %9s %9s %12s %12s %8s\n", "image", "ours us", "libpng us", "stb us", "ours/libpng",
                "ours/stb", "bytes");
    for (const TestImage &image : images()) {
        auto time = [&](const char *decoder) {
            const auto found = reporter.median_ns.find(image.name + "/" + decoder);
            return found == reporter.median_ns.end() ? 0.0 : found->second;
        };
        const double ours = time("ours"), libpng = time("libpng"), stb = time("stb_image");
        if (ours == 0 || libpng == 0 || stb == 0) continue;
        std::printf("%-24s %9.1f %9.1f %9.1f %12.2f %12.2f %8zu\n", image.name.c_str(), ours, libpng, stb,
                    ours / libpng, ours / stb, image.file.size());
    }
    benchmark::Shutdown();
    return 0;
}
