// The decoder on hand-made files: DEFLATE blocks and their faults, chunk
// layout, filters, colour types, sizes.
#include "resources/png.h"
#include "support/png_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

struct Decoded {
    bool ok = false;
    int32_t width = 0;
    int32_t height = 0;
    Bytes rgba;
};

// Decodes from a block of exactly the file's size, so the sanitizer builds
// catch any read past it.
Decoded decode(const Bytes &file) {
    uint8_t *copy = static_cast<uint8_t *>(std::malloc(file.size() ? file.size() : 1));
    if (!file.empty()) std::memcpy(copy, file.data(), file.size());
    const PngImage image = png_load_from_memory(copy, static_cast<int32_t>(file.size()));
    std::free(copy);
    Decoded result;
    result.ok = image.pixels != nullptr;
    result.width = image.width;
    result.height = image.height;
    if (image.pixels) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(image.pixels);
        result.rgba.assign(bytes, bytes + static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    }
    std::free(image.pixels);
    return result;
}

Bytes grey_to_rgba(const Bytes &grey) {
    Bytes out;
    for (uint8_t g : grey) out.insert(out.end(), {g, g, g, 255});
    return out;
}

// What a stream of literals and matches produces.
Bytes run_ops(const std::vector<DeflateOp> &ops) {
    Bytes out;
    for (const DeflateOp &op : ops) {
        if (op.literal >= 0) {
            out.push_back(static_cast<uint8_t>(op.literal));
            continue;
        }
        for (int i = 0; i < op.length; ++i) out.push_back(out[out.size() - static_cast<size_t>(op.distance)]);
    }
    return out;
}

// A one-row grey image whose scanline bytes (filter type first) are the
// stream's output, after a chunk of padding bytes that shifts the stream's
// alignment in memory.
Bytes grey_row_png(size_t scanline_bytes, const Bytes &zlib, size_t padding = 0) {
    std::vector<Chunk> chunks = {ihdr_chunk(static_cast<uint32_t>(scanline_bytes - 1), 1, 0)};
    if (padding) chunks.push_back({"tEXt", Bytes(padding, 'x')});
    chunks.push_back({"IDAT", zlib});
    chunks.push_back({"IEND", {}});
    return png_file(chunks);
}

Bytes pattern(size_t size, uint32_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        out[i] = static_cast<uint8_t>(seed >> 16);
    }
    return out;
}

// A row of matches of every distance class and several lengths, after
// enough literals to reach back.
std::vector<DeflateOp> match_mix() {
    std::vector<DeflateOp> ops = {lit(0)};
    for (uint8_t byte : pattern(300, 7)) ops.push_back(lit(byte));
    const int distances[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 64, 255, 300};
    const int lengths[] = {3, 4, 7, 10, 17, 31, 130, 257, 258};
    for (int distance : distances)
        for (int length : lengths) ops.push_back(match(length, distance));
    return ops;
}

struct StreamCase {
    const char *name;
    std::function<void(BitWriter &)> write;
};

// The same scanline bytes, written as different kinds of blocks, decode to
// the same pixels whatever the stream's alignment in memory.
TEST(PngInflate, BlockKindsDecodeTheSameBytes) {
    const std::vector<DeflateOp> ops = match_mix();
    const Bytes scanline = run_ops(ops);
    const size_t half = 301 + 72;  // the literals and half the matches
    const std::vector<DeflateOp> first(ops.begin(), ops.begin() + static_cast<long>(half));
    const std::vector<DeflateOp> second(ops.begin() + static_cast<long>(half), ops.end());
    const Bytes second_bytes(scanline.begin() + static_cast<long>(run_ops(first).size()), scanline.end());

    const StreamCase cases[] = {
        {"stored", [&](BitWriter &w) { deflate_stored(w, scanline, true); }},
        {"fixed", [&](BitWriter &w) { deflate_fixed(w, ops, true); }},
        {"dynamic", [&](BitWriter &w) {
             deflate_dynamic(w, dynamic_literal_lengths(), dynamic_distance_lengths(), ops, true);
         }},
        {"empty stored, fixed, dynamic, stored", [&](BitWriter &w) {
             deflate_stored(w, {}, false);
             deflate_fixed(w, std::vector<DeflateOp>(first.begin(), first.begin() + 100), false);
             deflate_dynamic(w, dynamic_literal_lengths(), dynamic_distance_lengths(),
                             std::vector<DeflateOp>(first.begin() + 100, first.end()), false);
             deflate_stored(w, second_bytes, true);
         }},
        {"dynamic then fixed, matches reaching into the earlier block", [&](BitWriter &w) {
             deflate_dynamic(w, dynamic_literal_lengths(), dynamic_distance_lengths(), first, false);
             deflate_fixed(w, second, true);
         }},
    };
    for (const StreamCase &stream : cases) {
        BitWriter writer;
        stream.write(writer);
        for (size_t padding = 0; padding < 4; ++padding) {
            SCOPED_TRACE(std::string(stream.name) + ", padding " + std::to_string(padding));
            const Decoded image = decode(grey_row_png(scanline.size(), zlib_wrap(writer.bytes), padding));
            ASSERT_TRUE(image.ok);
            EXPECT_EQ(image.rgba, grey_to_rgba(Bytes(scanline.begin() + 1, scanline.end())));
        }
    }
}

TEST(PngInflate, LongestDistanceAndLength) {
    std::vector<DeflateOp> ops = {lit(0)};
    for (uint8_t byte : pattern(32768, 3)) ops.push_back(lit(byte));
    for (int i = 0; i < 40; ++i) ops.push_back(match(258, 32768));
    const Bytes scanline = run_ops(ops);
    BitWriter writer;
    deflate_fixed(writer, ops, true);
    const Decoded image = decode(grey_row_png(scanline.size(), zlib_wrap(writer.bytes)));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba, grey_to_rgba(Bytes(scanline.begin() + 1, scanline.end())));
}

// Streams that break a DEFLATE rule, or would write outside the scanlines,
// fail the image. Each writes a one-row grey image of `size` scanline bytes.
struct FaultCase {
    const char *name;
    size_t size;
    std::function<void(BitWriter &)> write;
};

TEST(PngInflate, FaultyStreamsFail) {
    const Bytes ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const FaultCase cases[] = {
        {"block type 3", 10, [](BitWriter &w) { w.bits(1, 1); w.bits(3, 2); }},
        {"stored length not matching its complement", 10,
         [&](BitWriter &w) { deflate_stored_raw(w, 10, 0x1234, ten, true); }},
        {"stored length past the input", 50,
         [&](BitWriter &w) { deflate_stored_raw(w, 50, static_cast<uint16_t>(~50), ten, true); }},
        {"stored header cut before its complement", 70000,
         [](BitWriter &w) {
             deflate_stored(w, Bytes(100, 0), false);  // enough input for so many bytes
             w.bits(1, 1);
             w.bits(0, 2);
             w.align();
             w.bits(0xFFFF, 16);
         }},
        {"stored block past the scanlines", 9, [&](BitWriter &w) { deflate_stored(w, ten, true); }},
        {"literal past the scanlines", 9, [&](BitWriter &w) { deflate_fixed(w, literals(ten), true); }},
        {"match past the scanlines", 12,
         [](BitWriter &w) { deflate_fixed(w, {lit(0), lit(1), match(11, 1)}, true); }},
        {"distance before the first byte", 10,
         [](BitWriter &w) { deflate_fixed(w, {lit(0), lit(1), match(8, 3)}, true); }},
        {"distance code 30", 10,
         [](BitWriter &w) {
             deflate_fixed(w, {lit(0), lit(1)}, true, false);
             fixed_length_or_literal(w, 257 + 5);  // length 8
             fixed_distance_code(w, 30);
             fixed_length_or_literal(w, 256);
         }},
        {"final block before every scanline byte", 10,
         [&](BitWriter &w) { deflate_fixed(w, literals(Bytes(ten.begin(), ten.begin() + 9)), true); }},
        {"no final block", 10, [&](BitWriter &w) { deflate_fixed(w, literals(ten), false); }},
        {"stream cut inside a block", 10,
         [&](BitWriter &w) {
             deflate_fixed(w, literals(ten), true);
             w.bytes.resize(w.bytes.size() - 3);
         }},
        {"repeat code as the first length", 10,
         [](BitWriter &w) { deflate_dynamic_header_raw(w, 257, 1, {{16, 0}, {18, 127}, {18, 127}}, true); }},
        {"code lengths running past 320", 10,
         [&](BitWriter &w) {
             // Sound codes, but the last repeat overshoots the 320 lengths.
             std::vector<uint8_t> lengths = dynamic_literal_lengths();
             lengths.insert(lengths.end(), 29, 5);
             std::vector<std::pair<int, int>> codes = run_length_codes(lengths);
             codes.push_back({16, 3});
             deflate_dynamic_header_raw(w, 288, 32, codes, true);
             for (uint8_t byte : ten) w.code(256 + byte, 9);  // after the 32 six-bit codes
             w.code(0, 6);
         }},
        {"end-of-block code cut off", 10,
         [&](BitWriter &w) {
             deflate_fixed(w, literals(ten), true);
             ASSERT_EQ(w.used, 2);  // only the code's last two (zero) bits are in the last byte
             w.bytes.pop_back();
         }},
        {"no literal/length codes", 10,
         [](BitWriter &w) { deflate_dynamic_header_raw(w, 257, 1, {{18, 127}, {18, 109}}, true); }},
        {"match with no distance codes", 10,
         [](BitWriter &w) {
             // Literals 0-9 and symbols 256, 257 with lengths 4; no distances.
             deflate_dynamic_header_raw(w, 258, 1, {{4, 0}, {16, 3}, {16, 0}, {18, 127}, {18, 97}, {4, 0}, {4, 0},
                                                    {0, 0}}, true);
             w.code(0, 4);       // literal 0
             w.code(11, 4);      // symbol 257: length 3
             w.code(10, 4);      // end of block, never reached
         }},
    };
    for (const FaultCase &fault : cases) {
        SCOPED_TRACE(fault.name);
        BitWriter writer;
        fault.write(writer);
        EXPECT_FALSE(decode(grey_row_png(fault.size, zlib_wrap(writer.bytes))).ok);
    }
}

// An empty distance code is fine while no match needs it.
TEST(PngInflate, LiteralOnlyBlockNeedsNoDistanceCodes) {
    BitWriter writer;
    deflate_dynamic_header_raw(writer, 258, 1,
                               {{4, 0}, {16, 3}, {16, 0}, {18, 127}, {18, 97}, {4, 0}, {4, 0}, {0, 0}}, true);
    for (uint32_t byte = 0; byte < 10; ++byte) writer.code(byte, 4);
    writer.code(10, 4);
    const Decoded image = decode(grey_row_png(10, zlib_wrap(writer.bytes)));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba, grey_to_rgba({1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(PngZlib, HeaderChecksAndIgnoredChecksums) {
    BitWriter writer;
    deflate_stored(writer, {0, 5, 6}, true);
    struct {
        uint8_t cmf, flg;
        uint32_t adler;
        bool ok;
    } const cases[] = {
        {0x78, 0x01, 0, true},      // wrong Adler-32
        {0x78, 0x00, 0, true},      // wrong header check value
        {0x08, 0x00, 0, true},      // smallest window
        {0x79, 0x01, 0, false},     // method 9
        {0x77, 0x01, 0, false},     // method 7
        {0x88, 0x01, 0, false},     // window 8
        {0x78, 0x20, 0, false},     // preset dictionary
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.cmf) << " " << int(c.flg));
        const Decoded image = decode(grey_row_png(3, zlib_wrap_with(c.cmf, c.flg, writer.bytes, c.adler)));
        EXPECT_EQ(image.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(image.rgba, grey_to_rgba({5, 6}));
        }
    }
    // Fewer than 6 bytes of zlib data.
    EXPECT_FALSE(decode(grey_row_png(3, {0x78, 0x01, 0x03, 0x00, 0x00})).ok);
}

// ---------------------------------------------------------------------------
// Chunk layout

Bytes stored_zlib(const Bytes &scanlines) {
    BitWriter writer;
    deflate_stored(writer, scanlines, true);
    return zlib_wrap(writer.bytes);
}

TEST(PngChunks, ImageDataSplitOverConsecutiveChunks) {
    const Bytes grey = pattern(64, 11);
    const Bytes zlib = stored_zlib(plain_scanlines(grey, 8, 8, 1));
    for (size_t cut_a = 0; cut_a <= zlib.size(); cut_a += 7) {
        for (size_t cut_b = cut_a; cut_b <= zlib.size(); cut_b += 13) {
            SCOPED_TRACE(testing::Message() << cut_a << " " << cut_b);
            const Bytes file = png_file({ihdr_chunk(8, 8, 0),
                                         {"IDAT", Bytes(zlib.begin(), zlib.begin() + static_cast<long>(cut_a))},
                                         {"IDAT", Bytes(zlib.begin() + static_cast<long>(cut_a),
                                                        zlib.begin() + static_cast<long>(cut_b))},
                                         {"IDAT", Bytes(zlib.begin() + static_cast<long>(cut_b), zlib.end())},
                                         {"IEND", {}}});
            const Decoded image = decode(file);
            ASSERT_TRUE(image.ok);
            EXPECT_EQ(image.rgba, grey_to_rgba(grey));
        }
    }
}

TEST(PngChunks, OnlyTheFirstRunOfImageDataCounts) {
    const Bytes grey = pattern(16, 5);
    const Bytes zlib = stored_zlib(plain_scanlines(grey, 4, 4, 1));
    const Bytes half_a(zlib.begin(), zlib.begin() + 10);
    const Bytes half_b(zlib.begin() + 10, zlib.end());
    // An IDAT after another chunk is ignored, even when it would complete
    // the stream.
    EXPECT_TRUE(decode(png_file({ihdr_chunk(4, 4, 0), {"IDAT", zlib}, {"tEXt", {'a'}}, {"IDAT", {1, 2, 3}}})).ok);
    EXPECT_FALSE(decode(png_file({ihdr_chunk(4, 4, 0), {"IDAT", half_a}, {"tEXt", {'a'}}, {"IDAT", half_b}})).ok);
}

TEST(PngChunks, StructuralRejections) {
    const Bytes grey = {1, 2, 3, 4};
    const Bytes zlib = stored_zlib(plain_scanlines(grey, 2, 2, 1));
    const Chunk idat = {"IDAT", zlib};
    const Bytes good = png_file({ihdr_chunk(2, 2, 0), idat, {"IEND", {}}});
    ASSERT_TRUE(decode(good).ok);

    Bytes bad_signature = good;
    bad_signature[1] = 'p';
    Bytes short_ihdr = png_file({{"IHDR", Bytes(12, 0)}, idat});
    Bytes ihdr_past_end = Bytes(good.begin(), good.begin() + 8 + 8 + 12);
    Bytes header_tail = png_file({ihdr_chunk(2, 2, 0)});
    header_tail.insert(header_tail.end(), {0, 0, 0, 0, 'I', 'D', 'A'});

    struct {
        const char *name;
        Bytes file;
    } const cases[] = {
        {"empty", {}},
        {"shorter than the signature", Bytes(good.begin(), good.begin() + 7)},
        {"signature only", Bytes(good.begin(), good.begin() + 8)},
        {"wrong signature", bad_signature},
        {"first chunk not IHDR", png_file({{"gAMA", {0, 0, 0, 1}}, ihdr_chunk(2, 2, 0), idat})},
        {"IHDR of 12 bytes", short_ihdr},
        {"IHDR running past the end", ihdr_past_end},
        {"chunk header cut short", header_tail},
        {"no IDAT", png_file({ihdr_chunk(2, 2, 0), {"IEND", {}}})},
        {"bit depth 16", png_file({ihdr_chunk(2, 2, 0, 16), idat})},
        {"bit depth 4 palette", png_file({ihdr_chunk(2, 2, 3, 4), {"PLTE", Bytes(6, 0)}, idat})},
        {"colour type 1", png_file({ihdr_chunk(2, 2, 1), idat})},
        {"colour type 5", png_file({ihdr_chunk(2, 2, 5), idat})},
        {"colour type 7", png_file({ihdr_chunk(2, 2, 7), idat})},
        {"compression method 1", png_file({ihdr_chunk(2, 2, 0, 8, 1), idat})},
        {"filter method 1", png_file({ihdr_chunk(2, 2, 0, 8, 0, 1), idat})},
        {"interlaced", png_file({ihdr_chunk(2, 2, 0, 8, 0, 0, 1), idat})},
        {"filter type 5", png_file({ihdr_chunk(2, 2, 0), {"IDAT", stored_zlib({0, 1, 2, 5, 3, 4})}})},
        {"filter type 5, RGBA", png_file({ihdr_chunk(1, 2, 6), {"IDAT", stored_zlib({0, 1, 2, 3, 4, 5, 5, 6, 7, 8})}})},
        {"palette image without PLTE", png_file({ihdr_chunk(2, 2, 3), idat})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decode(c.file).ok);
    }
}

// Width + 1 and height must be positive and (width + 1) x height x 4 must
// fit a signed 32-bit size; the size is known (and reported) only when the
// header passes. No IDAT follows, so nothing large is ever allocated.
TEST(PngChunks, SizeLimits) {
    struct {
        uint32_t width, height;
        bool accepted;
    } const cases[] = {
        {0, 1, true},
        {0x1FFFFFFE, 1, true},    // (width + 1) x 4 = 2^31 - 4
        {0x1FFFFFFF, 1, false},   // 2^31
        {0, 0x1FFFFFFF, true},
        {0, 0x20000000, false},
        {0x7FFFFFFE, 1, false},   // largest width, but far too large a block
        {0x7FFFFFFF, 1, false},   // width + 1 overflows
        {0xFFFFFFFF, 1, false},   // width -1
        {1, 0, false},
        {1, 0x80000000, false},   // negative height
        {0xFFFE, 0x2000, true},   // 2^31 - 2^15 with both sides large
        {0xFFFF, 0x2000, false},  // 2^31
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const Decoded image = decode(png_file({ihdr_chunk(c.width, c.height, 6), {"IEND", {}}}));
        EXPECT_FALSE(image.ok);
        EXPECT_EQ(image.width, c.accepted ? static_cast<int32_t>(c.width) : 0);
        EXPECT_EQ(image.height, c.accepted ? static_cast<int32_t>(c.height) : 0);
    }
}

TEST(PngChunks, WidthZeroGivesAnImageWithoutPixels) {
    for (uint8_t colour_type : {0, 2, 3, 4, 6}) {
        SCOPED_TRACE(int(colour_type));
        const Decoded image =
            decode(png_file({ihdr_chunk(0, 3, colour_type), {"PLTE", {1, 2, 3}}, {"IDAT", stored_zlib({0, 1, 2})}}));
        EXPECT_TRUE(image.ok);
        EXPECT_EQ(image.width, 0);
        EXPECT_EQ(image.height, 3);
    }
}

// ---------------------------------------------------------------------------
// Filters and colour types

struct ColourCase {
    uint8_t colour_type;
    int bytes_per_pixel;
};

const ColourCase colour_cases[] = {{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};

// Raw samples of a test picture: smooth ramps with noise, so every
// predictor gives small residues and wraps around sometimes.
Bytes picture_samples(int width, int height, int bytes_per_pixel, uint32_t seed) {
    Bytes noise = pattern(static_cast<size_t>(width * height * bytes_per_pixel), seed);
    Bytes out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bytes_per_pixel; ++c) {
                const size_t i = static_cast<size_t>((y * width + x) * bytes_per_pixel + c);
                out.push_back(static_cast<uint8_t>(x * 9 + y * 5 + c * 40 + (noise[i] & 15)));
            }
    return out;
}

Bytes samples_to_rgba(const Bytes &samples, uint8_t colour_type, const Bytes &plte, const Bytes &trns) {
    Bytes out;
    switch (colour_type) {
    case 0:
        for (uint8_t g : samples) out.insert(out.end(), {g, g, g, 255});
        break;
    case 2:
        for (size_t i = 0; i < samples.size(); i += 3)
            out.insert(out.end(), {samples[i], samples[i + 1], samples[i + 2], 255});
        break;
    case 3:
        for (uint8_t index : samples)
            out.insert(out.end(), {plte[3 * index], plte[3 * index + 1], plte[3 * index + 2],
                                   index < trns.size() ? trns[index] : uint8_t(255)});
        break;
    case 4:
        for (size_t i = 0; i < samples.size(); i += 2)
            out.insert(out.end(), {samples[i], samples[i], samples[i], samples[i + 1]});
        break;
    default:
        out = samples;
    }
    return out;
}

// Each filter type in the first row and in later rows, for every colour
// type, with the stream split over stored and fixed blocks.
TEST(PngFilters, EveryFilterInEveryRowPosition) {
    const int width = 13;
    const int height = 7;
    const Bytes plte = pattern(256 * 3, 99);
    const Bytes trns = pattern(200, 98);
    for (const ColourCase &colour : colour_cases) {
        for (int first = 0; first < 5; ++first) {
            SCOPED_TRACE(testing::Message() << "colour type " << int(colour.colour_type) << ", first filter " << first);
            const Bytes samples = picture_samples(width, height, colour.bytes_per_pixel, 17u + first);
            std::vector<int> filters;
            for (int y = 0; y < height; ++y) filters.push_back((first + y * 3) % 5);
            const Bytes scanlines = filter_scanlines(samples, width, height, colour.bytes_per_pixel, filters);
            BitWriter writer;
            const size_t split = scanlines.size() / 3;
            deflate_stored(writer, Bytes(scanlines.begin(), scanlines.begin() + static_cast<long>(split)), false);
            deflate_fixed(writer, literals(Bytes(scanlines.begin() + static_cast<long>(split), scanlines.end())), true);
            std::vector<Chunk> chunks = {ihdr_chunk(width, height, colour.colour_type)};
            if (colour.colour_type == 3) {
                chunks.push_back({"PLTE", plte});
                chunks.push_back({"tRNS", trns});
            }
            chunks.push_back({"IDAT", zlib_wrap(writer.bytes)});
            const Decoded image = decode(png_file(chunks));
            ASSERT_TRUE(image.ok);
            EXPECT_EQ(image.rgba, samples_to_rgba(samples, colour.colour_type, plte, trns));
        }
    }
}

TEST(PngColour, TransparencyRules) {
    const Bytes indices = {0, 1, 2, 3};
    const Bytes plte = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    const Chunk idat = {"IDAT", stored_zlib(plain_scanlines(indices, 2, 2, 1))};
    // tRNS shorter than the palette: the rest stay opaque.
    Decoded image = decode(png_file({ihdr_chunk(2, 2, 3), {"PLTE", plte}, {"tRNS", {0, 128}}, idat}));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba, Bytes({10, 11, 12, 0, 20, 21, 22, 128, 30, 31, 32, 255, 40, 41, 42, 255}));
    // A grey or RGB colour key is ignored.
    image = decode(png_file({ihdr_chunk(2, 2, 0), {"tRNS", {0, 1}}, idat}));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba, grey_to_rgba(indices));
    // PLTE and tRNS found anywhere before the image data; tRNS before PLTE
    // is not seen.
    image = decode(png_file({ihdr_chunk(2, 2, 3), {"tEXt", {'a'}}, {"PLTE", plte}, {"bKGD", {0}},
                             {"tRNS", {7}}, idat}));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba[3], 7);
    image = decode(png_file({ihdr_chunk(2, 2, 3), {"tRNS", {7}}, {"PLTE", plte}, idat}));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.rgba[3], 255);
}

// An index at or past the palette's entries has no colour: the image is
// refused rather than read past the PLTE data.
TEST(PngColour, PaletteIndexPastTheEntriesFails) {
    const Bytes plte = {1, 2, 3, 4, 5, 6, 7, 8};  // two whole entries
    auto file = [&](Bytes indices) {
        return png_file({ihdr_chunk(2, 2, 3), {"PLTE", plte}, {"IDAT", stored_zlib(plain_scanlines(indices, 2, 2, 1))}});
    };
    EXPECT_TRUE(decode(file({0, 1, 1, 0})).ok);
    EXPECT_FALSE(decode(file({0, 1, 2, 0})).ok);
    EXPECT_FALSE(decode(file({0, 0, 0, 255})).ok);
    EXPECT_FALSE(decode(png_file({ihdr_chunk(2, 2, 3), {"PLTE", {}}, {"IDAT", stored_zlib(plain_scanlines({0, 0, 0, 0}, 2, 2, 1))}})).ok);
}

}  // namespace
