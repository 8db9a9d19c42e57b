// Files from an independent encoder, with every filter choice and
// compression level, decode to the samples they were written from.
#include "resources/png.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void append_output(png_structp png, png_bytep data, png_size_t length) {
    auto *out = static_cast<Bytes *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_output(png_structp) {}

struct Picture {
    int width;
    int height;
    int colour_type;
    Bytes samples;
    Bytes plte;
    Bytes trns;
};

int samples_per_pixel(int colour_type) {
    switch (colour_type) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

Bytes encode(const Picture &picture, int filters, int level) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return out;
    }
    png_set_write_fn(png, &out, append_output, flush_output);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 picture.colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, filters);
    png_set_compression_level(png, level);
    if (picture.colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(picture.plte.data()),
                     static_cast<int>(picture.plte.size() / 3));
        png_set_tRNS(png, info, picture.trns.data(), static_cast<int>(picture.trns.size()), nullptr);
    }
    png_write_info(png, info);
    const size_t row = static_cast<size_t>(picture.width * samples_per_pixel(picture.colour_type));
    for (int y = 0; y < picture.height; ++y) png_write_row(png, picture.samples.data() + static_cast<size_t>(y) * row);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

uint32_t next_random(uint32_t *state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// Flat areas, gradients and noise, so that matches, literals and every
// predictor all occur.
Picture make_picture(int width, int height, int colour_type, uint32_t seed) {
    Picture picture{width, height, colour_type, {}, {}, {}};
    const int channels = samples_per_pixel(colour_type);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                uint32_t value = 0;
                const int region = ((x / 8) + (y / 8)) % 3;
                if (region == 0) value = static_cast<uint32_t>(40 * c + 7);
                if (region == 1) value = static_cast<uint32_t>(x * 3 + y * 2 + c * 50);
                if (region == 2) value = next_random(&seed);
                if (colour_type == PNG_COLOR_TYPE_PALETTE) value %= 200;
                picture.samples.push_back(static_cast<uint8_t>(value));
            }
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < 200 * 3; ++i) picture.plte.push_back(static_cast<uint8_t>(next_random(&seed)));
        for (int i = 0; i < 150; ++i) picture.trns.push_back(static_cast<uint8_t>(next_random(&seed)));
    }
    return picture;
}

Bytes expected_rgba(const Picture &p) {
    Bytes out;
    const Bytes &s = p.samples;
    for (size_t i = 0; i < s.size(); i += static_cast<size_t>(samples_per_pixel(p.colour_type))) {
        switch (p.colour_type) {
        case PNG_COLOR_TYPE_GRAY: out.insert(out.end(), {s[i], s[i], s[i], 255}); break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: out.insert(out.end(), {s[i], s[i], s[i], s[i + 1]}); break;
        case PNG_COLOR_TYPE_RGB: out.insert(out.end(), {s[i], s[i + 1], s[i + 2], 255}); break;
        case PNG_COLOR_TYPE_RGB_ALPHA: out.insert(out.end(), {s[i], s[i + 1], s[i + 2], s[i + 3]}); break;
        default:
            out.insert(out.end(), {p.plte[3 * s[i]], p.plte[3 * s[i] + 1], p.plte[3 * s[i] + 2],
                                   s[i] < p.trns.size() ? p.trns[s[i]] : uint8_t(255)});
        }
    }
    return out;
}

TEST(PngEncoded, EveryColourTypeFilterAndLevel) {
    const int colour_types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_PALETTE};
    const int filter_choices[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH,
                                  PNG_ALL_FILTERS};
    const int sizes[][2] = {{1, 1}, {3, 5}, {64, 36}, {257, 33}, {1000, 3}};
    uint32_t seed = 1;
    for (int colour_type : colour_types)
        for (int filters : filter_choices)
            for (int level : {0, 1, 9})
                for (const auto &size : sizes) {
                    SCOPED_TRACE(testing::Message() << "colour type " << colour_type << ", filters " << filters
                                                    << ", level " << level << ", " << size[0] << "x" << size[1]);
                    const Picture picture = make_picture(size[0], size[1], colour_type, seed++);
                    const Bytes file = encode(picture, filters, level);
                    ASSERT_FALSE(file.empty());
                    const PngImage image = png_load_from_memory(file.data(), static_cast<int32_t>(file.size()));
                    ASSERT_NE(image.pixels, nullptr);
                    EXPECT_EQ(image.width, size[0]);
                    EXPECT_EQ(image.height, size[1]);
                    const auto *bytes = reinterpret_cast<const uint8_t *>(image.pixels);
                    EXPECT_EQ(Bytes(bytes, bytes + static_cast<size_t>(size[0] * size[1] * 4)), expected_rgba(picture));
                    std::free(image.pixels);
                }
}

}  // namespace
