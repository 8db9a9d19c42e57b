// The decoder on hand-made files: DEFLATE blocks and their faults, chunk
// layout, sizes, and the filters in pixel sizes the PNG suite leaves out.
#include "resources/png.h"
#include "support/png_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

struct Decoded {
    bool ok;
    int32_t width, height;
    Bytes rgba;
};

// Decodes from a copy of exactly the file's size, so the sanitizer builds
// catch any read past it.
Decoded decode(const Bytes &file) {
    const Bytes copy = file;
    const PngImage image = png_load_from_memory(copy.data(), static_cast<int32_t>(copy.size()));
    const auto *bytes = reinterpret_cast<const uint8_t *>(image.pixels);
    const size_t size = image.pixels ? size_t(image.width) * size_t(image.height) * 4 : 0;
    Decoded result{image.pixels != nullptr, image.width, image.height, Bytes(bytes, bytes + size)};
    std::free(image.pixels);
    return result;
}

Bytes pattern(size_t size, uint32_t seed) {
    Bytes out(size);
    for (uint8_t &byte : out) byte = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    return out;
}

// A DEFLATE writer whose every block and symbol the test chooses. Bits go
// in from the least significant end of each byte.
struct BitWriter {
    Bytes bytes;
    int used = 0;  // bits used in the last byte
    void bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i, used = (used + 1) & 7) {
            if (used == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << used);
        }
    }
    // A Huffman code, first bit most significant.
    void code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) bits(code >> i, 1);
    }
};

struct DeflateOp {
    int literal;  // -1 for a match
    int length, distance;
};
DeflateOp lit(int byte) { return {byte, 0, 0}; }
DeflateOp match(int length, int distance) { return {-1, length, distance}; }
std::vector<DeflateOp> literals(const Bytes &bytes) {
    std::vector<DeflateOp> ops;
    for (uint8_t byte : bytes) ops.push_back(lit(byte));
    return ops;
}

// A stored block; LEN and NLEN are the data's unless given.
void stored_block(BitWriter &out, const Bytes &data, bool final, int length = -1, int inverse = -1) {
    if (length < 0) length = static_cast<int>(data.size());
    out.bits(final, 3);  // type 0
    out.used = 0;
    out.bits(static_cast<uint32_t>(length), 16);
    out.bits(static_cast<uint32_t>(inverse < 0 ? ~length : inverse), 16);
    out.bytes.insert(out.bytes.end(), data.begin(), data.end());
}

// A literal/length symbol in the fixed code.
void put_symbol(BitWriter &out, int symbol) {
    if (symbol < 144) out.code(0x30 + symbol, 8);
    else if (symbol < 256) out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) out.code(symbol - 256, 7);
    else out.code(0xC0 + symbol - 280, 8);
}

// Length codes carry 0 extra bits eight times, then 1, 2, ... four times
// each; distance codes (5 bits) 0 four times, then 1, 2, ... twice each.
// Each code's range follows the previous one's; length 258 has its own.
void put_match_value(BitWriter &out, int value, bool distance) {
    if (!distance && value == 258) return put_symbol(out, 285);
    for (int code = 0, base = distance ? 1 : 3;; ++code) {
        const int extra = distance ? (code < 4 ? 0 : code / 2 - 1) : (code < 8 ? 0 : code / 4 - 1);
        if (value < base + (1 << extra)) {
            if (distance) out.code(static_cast<uint32_t>(code), 5);
            else put_symbol(out, 257 + code);
            return out.bits(static_cast<uint32_t>(value - base), extra);
        }
        base += 1 << extra;
    }
}

// A dynamic block header whose code-length symbols are given one by one as
// (symbol, extra bits). Code-length symbols 0-12 get 4-bit codes 0-12, 13-18
// 5-bit codes 26-31.
void dynamic_header(BitWriter &out, int literal_count, int distance_count,
                    const std::vector<std::pair<int, int>> &symbols, bool final) {
    out.bits(final | 2 << 1, 3);
    out.bits(static_cast<uint32_t>(literal_count - 257), 5);
    out.bits(static_cast<uint32_t>(distance_count - 1), 5);
    out.bits(19 - 4, 4);
    for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
        out.bits(symbol <= 12 ? 4 : 5, 3);
    for (const auto &[symbol, extra] : symbols) {
        out.code(static_cast<uint32_t>(symbol <= 12 ? symbol : symbol + 13), symbol <= 12 ? 4 : 5);
        if (symbol >= 16) out.bits(static_cast<uint32_t>(extra), symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
    }
}

// The fixed code's 320 lengths, one code-length symbol each.
std::vector<std::pair<int, int>> fixed_code_lengths() {
    std::vector<std::pair<int, int>> lengths;
    for (int i = 0; i < 320; ++i)
        lengths.push_back({i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : i < 288 ? 8 : 5, 0});
    return lengths;
}

// A block with the fixed code, or a dynamic block that sends the same code.
void compressed_block(BitWriter &out, bool dynamic, const std::vector<DeflateOp> &ops, bool final,
                      bool end_block = true) {
    if (dynamic) dynamic_header(out, 288, 32, fixed_code_lengths(), final);
    else out.bits(final | 1 << 1, 3);
    for (const DeflateOp &op : ops) {
        if (op.literal >= 0) {
            put_symbol(out, op.literal);
        } else {
            put_match_value(out, op.length, false);
            put_match_value(out, op.distance, true);
        }
    }
    if (end_block) put_symbol(out, 256);
}

// A one-row grey image whose scanline (filter type first) is the stream's
// output, after `padding` bytes of another chunk that shift the stream's
// alignment in memory.
Bytes grey_row_png(size_t scanline_bytes, const Bytes &deflate, size_t padding = 0) {
    return png_file({ihdr_chunk(static_cast<uint32_t>(scanline_bytes - 1), 1, 0),
                     {"tEXt", Bytes(padding, 'x')}, {"IDAT", zlib_wrap(deflate)}});
}

// Stored, fixed and dynamic blocks in one stream, with matches reaching
// back across block borders as far as they may, whatever the stream's
// alignment in memory.
TEST(PngInflate, BlocksOfEveryKindInOneStream) {
    Bytes expected = pattern(32769, 3);
    expected[0] = 0;  // filter type none
    const std::vector<DeflateOp> near = {match(258, 1), lit(7), match(10, 2), match(31, 5), match(130, 9)};
    const std::vector<DeflateOp> far = {match(258, 32768), lit(1), match(4, 24577), match(17, 300)};
    for (const auto &ops : {near, far}) {
        for (const DeflateOp &op : ops) {
            if (op.literal >= 0) expected.push_back(static_cast<uint8_t>(op.literal));
            for (int i = 0; i < op.length; ++i) expected.push_back(expected[expected.size() - op.distance]);
        }
    }
    Bytes rgba;
    for (size_t i = 1; i < expected.size(); ++i)
        rgba.insert(rgba.end(), {expected[i], expected[i], expected[i], 255});

    BitWriter writer;
    stored_block(writer, {}, false);
    compressed_block(writer, false, literals(Bytes(expected.begin(), expected.begin() + 200)), false);
    stored_block(writer, Bytes(expected.begin() + 200, expected.begin() + 32769), false);
    compressed_block(writer, true, near, false);
    compressed_block(writer, false, far, true);
    for (size_t padding = 0; padding < 4; ++padding) {
        SCOPED_TRACE(padding);
        EXPECT_EQ(decode(grey_row_png(expected.size(), writer.bytes, padding)).rgba, rgba);
    }
}

// Streams that break a DEFLATE rule, end early, read past their input or
// would write past the scanlines fail the image. Each writes a one-row grey
// image of `size` scanline bytes.
TEST(PngInflate, StreamRules) {
    const Bytes ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    // Literals 0-9 and symbols 256, 257 get 4-bit codes 0-11; no distances.
    const auto no_distances = [](BitWriter &w, std::initializer_list<uint32_t> codes) {
        dynamic_header(w, 258, 1, {{4, 0}, {16, 3}, {16, 0}, {18, 127}, {18, 97}, {4, 0}, {4, 0}, {0, 0}},
                       true);
        for (uint32_t code : codes) w.code(code, 4);
    };
    struct {
        const char *name;
        size_t size;
        std::function<void(BitWriter &)> write;
        bool ok = false;
    } const cases[] = {
        {"block type 3", 10, [](BitWriter &w) { w.bits(7, 3); }},
        {"stored length not matching its complement", 10,
         [&](BitWriter &w) { stored_block(w, ten, true, 10, 0x1234); }},
        {"stored length past the input", 50, [&](BitWriter &w) { stored_block(w, ten, true, 50); }},
        {"stored header cut before its complement", 70000,
         [](BitWriter &w) {
             stored_block(w, Bytes(100, 0), false);  // enough input for so many bytes
             stored_block(w, {}, true, 0xFFFF);
             w.bytes.resize(w.bytes.size() - 2);
         }},
        {"stored block past the scanlines", 9, [&](BitWriter &w) { stored_block(w, ten, true); }},
        {"literal past the scanlines", 9,
         [&](BitWriter &w) { compressed_block(w, false, literals(ten), true); }},
        {"match past the scanlines", 12,
         [](BitWriter &w) { compressed_block(w, false, {lit(0), lit(1), match(11, 1)}, true); }},
        {"distance before the first byte", 10,
         [](BitWriter &w) { compressed_block(w, false, {lit(0), lit(1), match(8, 3)}, true); }},
        {"distance back to exactly the first byte", 10,
         [](BitWriter &w) { compressed_block(w, false, {lit(0), lit(1), match(8, 2)}, true); }, true},
        {"distance code 30", 10,
         [](BitWriter &w) {
             compressed_block(w, false, {lit(0), lit(1)}, true, false);
             put_symbol(w, 257 + 5);  // length 8
             w.code(30, 5);
         }},
        {"final block before every scanline byte", 10,
         [&](BitWriter &w) { compressed_block(w, false, literals({0, 1, 2, 3, 4, 5, 6, 7, 8}), true); }},
        {"no final block", 10, [&](BitWriter &w) { compressed_block(w, false, literals(ten), false); }},
        {"end-of-block code cut off", 10,
         [&](BitWriter &w) {
             compressed_block(w, false, literals(ten), true);
             ASSERT_EQ(w.used, 2);  // only the code's last two (zero) bits are in the last byte
             w.bytes.pop_back();
         }},
        {"repeat code as the first length", 10,
         [](BitWriter &w) { dynamic_header(w, 257, 1, {{16, 0}, {18, 127}, {18, 127}}, true); }},
        {"code lengths running past 320", 10,
         [&](BitWriter &w) {
             // A sound code, but the last repeat overshoots the 320 lengths.
             std::vector<std::pair<int, int>> lengths = fixed_code_lengths();
             lengths.resize(317);
             lengths.push_back({16, 3});
             dynamic_header(w, 288, 32, lengths, true);
             for (uint8_t byte : ten) put_symbol(w, byte);
             put_symbol(w, 256);
         }},
        {"no literal/length codes", 10,
         [](BitWriter &w) { dynamic_header(w, 257, 1, {{18, 127}, {18, 109}}, true); }},
        // Literal 0, a match of length 3, literals 4-9: ten bytes if the
        // match were given some distance.
        {"match with no distance codes", 10,
         [&](BitWriter &w) { no_distances(w, {0, 11, 4, 5, 6, 7, 8, 9, 10}); }},
        {"no distance codes, but no match either", 10,
         [&](BitWriter &w) { no_distances(w, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}); }, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter writer;
        c.write(writer);
        EXPECT_EQ(decode(grey_row_png(c.size, writer.bytes)).ok, c.ok);
    }
}

// Each case gives the pixels it decodes to, or none when it fails.
TEST(PngFile, LayoutRules) {
    const Bytes zlib = stored_zlib({0, 1, 2, 0, 3, 4});  // 2 x 2 grey
    const Bytes deflate(zlib.begin() + 2, zlib.end() - 4);
    const Bytes grey = {1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255, 4, 4, 4, 255};
    const Chunk ihdr = ihdr_chunk(2, 2, 0), idat = {"IDAT", zlib};
    const auto with_zlib = [&](const Bytes &data) { return png_file({ihdr, {"IDAT", data}}); };
    // The image data in IDAT chunks cut at these offsets.
    const auto split = [&](std::vector<size_t> cuts) {
        std::vector<Chunk> chunks = {ihdr};
        cuts.push_back(zlib.size());
        for (size_t i = 0, from = 0; i < cuts.size(); from = cuts[i++])
            chunks.push_back({"IDAT", Bytes(zlib.begin() + from, zlib.begin() + cuts[i])});
        return png_file(chunks);
    };
    const auto palette = [](uint8_t last_index) {  // two entries
        const Bytes scanlines = {0, 0, 1, 0, 1, last_index};
        return png_file({ihdr_chunk(2, 2, 3), {"PLTE", {1, 2, 3, 4, 5, 6, 7, 8}}, {"IDAT", stored_zlib(scanlines)}});
    };
    struct {
        const char *name;
        Bytes file;
        Bytes rgba;
    } const cases[] = {
        {"sound file", png_file({ihdr, idat, {"IEND", {}}}), grey},
        {"empty", {}, {}},
        {"IHDR of 12 bytes", png_file({{"IHDR", Bytes(12, 0)}, idat}), {}},
        {"first chunk not IHDR", png_file({{"gAMA", {0, 0, 0, 1}}, ihdr, idat}), {}},
        {"no IDAT", png_file({ihdr, {"IEND", {}}}), {}},
        {"compression method 1", png_file({ihdr_chunk(2, 2, 0, 8, 1), idat}), {}},
        {"filter method 1", png_file({ihdr_chunk(2, 2, 0, 8, 0, 1), idat}), {}},
        {"filter type 5", with_zlib(stored_zlib({0, 1, 2, 5, 3, 4})), {}},
        {"filter type 5, RGBA",
         png_file({ihdr_chunk(1, 2, 6), {"IDAT", stored_zlib({0, 1, 2, 3, 4, 5, 5, 6, 7, 8})}}), {}},
        {"palette image without PLTE", png_file({ihdr_chunk(2, 2, 3), idat}), {}},
        {"palette indices within PLTE", palette(1),
         {1, 2, 3, 255, 4, 5, 6, 255, 4, 5, 6, 255, 4, 5, 6, 255}},
        {"palette index at the entry count", palette(2), {}},
        {"zlib check bits wrong", with_zlib(zlib_wrap(deflate, 0x78, 0x00)), grey},
        {"smallest window", with_zlib(zlib_wrap(deflate, 0x08, 0x00)), grey},
        {"zlib method 7", with_zlib(zlib_wrap(deflate, 0x77)), {}},
        {"zlib method 9", with_zlib(zlib_wrap(deflate, 0x79)), {}},
        {"window 8", with_zlib(zlib_wrap(deflate, 0x88)), {}},
        {"preset dictionary", with_zlib(zlib_wrap(deflate, 0x78, 0x20)), {}},
        {"fewer than 6 bytes of zlib data", with_zlib({0x78, 0x01, 0x03, 0x00, 0x00}), {}},
        {"stream over consecutive IDATs, some empty", split({0, 1, 1, 4, 9, 17}), grey},
        // Only the first run of IDAT chunks counts, even when a later one
        // would complete the stream.
        {"later IDAT ignored", png_file({ihdr, idat, {"tEXt", {'a'}}, {"IDAT", {1, 2, 3}}}), grey},
        {"IDAT run broken by another chunk",
         png_file({ihdr, {"IDAT", Bytes(zlib.begin(), zlib.begin() + 8)}, {"tEXt", {'a'}},
                   {"IDAT", Bytes(zlib.begin() + 8, zlib.end())}}),
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.file).rgba, c.rgba);
    }
}

// Width + 1 and height must be positive and (width + 1) x height x 4 must
// fit a signed 32-bit size; the size is known (and reported) only when the
// header passes. No IDAT follows, so nothing large is ever allocated.
TEST(PngFile, SizeLimitsAndEmptyImages) {
    struct {
        uint32_t width, height;
        bool accepted;
    } const cases[] = {
        {0, 1, true},          {0x1FFFFFFE, 1, true},  // (width + 1) x 4 = 2^31 - 4
        {0x1FFFFFFF, 1, false},                        // 2^31
        {0, 0x1FFFFFFF, true}, {0, 0x20000000, false},
        {0x7FFFFFFF, 1, false},                        // width + 1 overflows
        {0xFFFFFFFF, 1, false},                        // width -1
        {1, 0, false},         {1, 0x80000000, false},  // negative height
        {0xFFFE, 0x2000, true},                        // 2^31 - 2^15 with both sides large
        {0xFFFF, 0x2000, false},                       // 2^31
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const Decoded image = decode(png_file({ihdr_chunk(c.width, c.height, 6), {"IEND", {}}}));
        EXPECT_FALSE(image.ok);
        EXPECT_EQ(image.width, c.accepted ? static_cast<int32_t>(c.width) : 0);
        EXPECT_EQ(image.height, c.accepted ? static_cast<int32_t>(c.height) : 0);
    }
    // Width zero, of any colour type, is an image without pixels.
    for (uint8_t colour_type : {0, 2, 3, 4, 6}) {
        const Chunk plte = {"PLTE", {1, 2, 3}}, idat = {"IDAT", stored_zlib({0, 1, 2})};
        const Decoded image = decode(png_file({ihdr_chunk(0, 3, colour_type), plte, idat}));
        EXPECT_TRUE(image.ok && image.width == 0 && image.height == 3) << int(colour_type);
    }
}

// Each filter type in the first row and in later rows, for grey with alpha
// and RGBA pixels (the suite's filtered files are grey and RGB).
TEST(PngFilters, EveryFilterInEveryRowPosition) {
    const size_t width = 13, height = 7;
    for (const size_t bpp : {2, 4}) {
        const size_t row = width * bpp;
        for (int first = 0; first < 5; ++first) {
            SCOPED_TRACE(testing::Message() << bpp << " bytes a pixel, first filter " << first);
            const Bytes pixels = pattern(row * height, 17u + first);
            Bytes scanlines;
            for (size_t y = 0; y < height; ++y) {
                const int filter = (first + static_cast<int>(y) * 3) % 5;
                scanlines.push_back(static_cast<uint8_t>(filter));
                for (size_t i = 0; i < row; ++i) {
                    // Left, above and upper left; zero outside the picture.
                    const int a = i >= bpp ? pixels[y * row + i - bpp] : 0;
                    const int b = y > 0 ? pixels[(y - 1) * row + i] : 0;
                    const int c = y > 0 && i >= bpp ? pixels[(y - 1) * row + i - bpp] : 0;
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                    const int predicted[5] = {0, a, b, (a + b) / 2, paeth};
                    scanlines.push_back(static_cast<uint8_t>(pixels[y * row + i] - predicted[filter]));
                }
            }
            Bytes rgba = pixels;
            if (bpp == 2) {
                rgba.clear();
                for (size_t i = 0; i < pixels.size(); i += 2)
                    rgba.insert(rgba.end(), {pixels[i], pixels[i], pixels[i], pixels[i + 1]});
            }
            const Chunk ihdr = ihdr_chunk(width, height, bpp == 2 ? 4 : 6);
            EXPECT_EQ(decode(png_file({ihdr, {"IDAT", stored_zlib(scanlines)}})).rgba, rgba);
        }
    }
}

}  // namespace
