#include "support/png_builder.h"

#include <cstdlib>

void BitWriter::bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        if (used == 0) bytes.push_back(0);
        if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(1 << used);
        used = (used + 1) & 7;
    }
}

void BitWriter::code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) bits((code >> i) & 1, 1);
}

void BitWriter::align() {
    used = 0;
}

DeflateOp lit(int byte) {
    return DeflateOp{byte, 0, 0};
}

DeflateOp match(int length, int distance) {
    return DeflateOp{-1, length, distance};
}

std::vector<DeflateOp> literals(const Bytes &bytes) {
    std::vector<DeflateOp> ops;
    for (uint8_t byte : bytes) ops.push_back(lit(byte));
    return ops;
}

static const int length_bases[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int length_extras[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const int distance_bases[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                       193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const int distance_extras[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

SymbolBits length_symbol(int length) {
    for (int i = 28; i >= 0; --i)
        if (length_bases[i] <= length)
            return {257 + i, length_extras[i], static_cast<uint32_t>(length - length_bases[i])};
    std::abort();
}

SymbolBits distance_symbol(int distance) {
    for (int i = 29; i >= 0; --i)
        if (distance_bases[i] <= distance)
            return {i, distance_extras[i], static_cast<uint32_t>(distance - distance_bases[i])};
    std::abort();
}

void deflate_stored_raw(BitWriter &out, uint16_t length, uint16_t inverse, const Bytes &data, bool final) {
    out.bits(final ? 1 : 0, 1);
    out.bits(0, 2);
    out.align();
    out.bits(length, 16);
    out.bits(inverse, 16);
    out.bytes.insert(out.bytes.end(), data.begin(), data.end());
}

void deflate_stored(BitWriter &out, const Bytes &data, bool final) {
    const uint16_t length = static_cast<uint16_t>(data.size());
    deflate_stored_raw(out, length, static_cast<uint16_t>(~length), data, final);
}

void fixed_length_or_literal(BitWriter &out, int symbol) {
    if (symbol < 144) out.code(0x30 + symbol, 8);
    else if (symbol < 256) out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) out.code(symbol - 256, 7);
    else out.code(0xC0 + symbol - 280, 8);
}

void fixed_distance_code(BitWriter &out, int symbol) {
    out.code(static_cast<uint32_t>(symbol), 5);
}

void deflate_fixed(BitWriter &out, const std::vector<DeflateOp> &ops, bool final, bool end_block) {
    out.bits(final ? 1 : 0, 1);
    out.bits(1, 2);
    for (const DeflateOp &op : ops) {
        if (op.literal >= 0) {
            fixed_length_or_literal(out, op.literal);
            continue;
        }
        const SymbolBits length = length_symbol(op.length);
        fixed_length_or_literal(out, length.symbol);
        out.bits(length.extra, length.extra_bits);
        const SymbolBits distance = distance_symbol(op.distance);
        fixed_distance_code(out, distance.symbol);
        out.bits(distance.extra, distance.extra_bits);
    }
    if (end_block) fixed_length_or_literal(out, 256);
}

// Canonical codes for the lengths.
static std::vector<uint32_t> canonical_codes(const std::vector<uint8_t> &lengths) {
    int count[16] = {};
    for (uint8_t length : lengths) ++count[length];
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + static_cast<uint32_t>(count[bits - 1])) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

// Code-length code: symbols 0-12 get 4 bits, 13-18 get 5 (a complete code).
static const uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

static std::vector<uint8_t> code_length_code_lengths() {
    std::vector<uint8_t> lengths(19);
    for (int i = 0; i < 19; ++i) lengths[i] = i <= 12 ? 4 : 5;
    return lengths;
}

void deflate_dynamic_header_raw(BitWriter &out, int literal_count, int distance_count,
                                const std::vector<std::pair<int, int>> &code_length_symbols, bool final) {
    out.bits(final ? 1 : 0, 1);
    out.bits(2, 2);
    out.bits(static_cast<uint32_t>(literal_count - 257), 5);
    out.bits(static_cast<uint32_t>(distance_count - 1), 5);
    out.bits(19 - 4, 4);
    const std::vector<uint8_t> cl_lengths = code_length_code_lengths();
    for (int i = 0; i < 19; ++i) out.bits(cl_lengths[code_length_order[i]], 3);
    const std::vector<uint32_t> cl_codes = canonical_codes(cl_lengths);
    for (const auto &[symbol, extra] : code_length_symbols) {
        out.code(cl_codes[symbol], cl_lengths[symbol]);
        if (symbol == 16) out.bits(static_cast<uint32_t>(extra), 2);
        if (symbol == 17) out.bits(static_cast<uint32_t>(extra), 3);
        if (symbol == 18) out.bits(static_cast<uint32_t>(extra), 7);
    }
}

// Run-length codes for a length sequence: 18/17 for zero runs, 16 for
// repeats of the previous length.
std::vector<std::pair<int, int>> run_length_codes(const std::vector<uint8_t> &lengths) {
    std::vector<std::pair<int, int>> codes;
    size_t i = 0;
    while (i < lengths.size()) {
        size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
        if (lengths[i] == 0 && run >= 11) {
            const int take = static_cast<int>(run < 138 ? run : 138);
            codes.push_back({18, take - 11});
            i += static_cast<size_t>(take);
        } else if (lengths[i] == 0 && run >= 3) {
            const int take = static_cast<int>(run < 10 ? run : 10);
            codes.push_back({17, take - 3});
            i += static_cast<size_t>(take);
        } else if (lengths[i] != 0 && run >= 4) {
            codes.push_back({lengths[i], 0});
            const int take = static_cast<int>(run - 1 < 6 ? run - 1 : 6);
            codes.push_back({16, take - 3});
            i += static_cast<size_t>(take) + 1;
        } else {
            codes.push_back({lengths[i], 0});
            ++i;
        }
    }
    return codes;
}

void deflate_dynamic(BitWriter &out, const std::vector<uint8_t> &literal_lengths,
                     const std::vector<uint8_t> &distance_lengths, const std::vector<DeflateOp> &ops, bool final) {
    std::vector<uint8_t> all = literal_lengths;
    all.insert(all.end(), distance_lengths.begin(), distance_lengths.end());
    deflate_dynamic_header_raw(out, static_cast<int>(literal_lengths.size()), static_cast<int>(distance_lengths.size()),
                               run_length_codes(all), final);
    const std::vector<uint32_t> literal_codes = canonical_codes(literal_lengths);
    const std::vector<uint32_t> distance_codes = canonical_codes(distance_lengths);
    for (const DeflateOp &op : ops) {
        if (op.literal >= 0) {
            out.code(literal_codes[op.literal], literal_lengths[op.literal]);
            continue;
        }
        const SymbolBits length = length_symbol(op.length);
        out.code(literal_codes[length.symbol], literal_lengths[length.symbol]);
        out.bits(length.extra, length.extra_bits);
        const SymbolBits distance = distance_symbol(op.distance);
        out.code(distance_codes[distance.symbol], distance_lengths[distance.symbol]);
        out.bits(distance.extra, distance.extra_bits);
    }
    out.code(literal_codes[256], literal_lengths[256]);
}

std::vector<uint8_t> dynamic_literal_lengths() {
    std::vector<uint8_t> lengths(288, 6);
    for (int i = 0; i < 256; ++i) lengths[i] = 9;
    return lengths;
}

std::vector<uint8_t> dynamic_distance_lengths() {
    return std::vector<uint8_t>(32, 5);
}

static uint32_t adler32(const Bytes &data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

Bytes zlib_wrap_with(uint8_t cmf, uint8_t flg, const Bytes &deflate, uint32_t adler) {
    Bytes out = {cmf, flg};
    out.insert(out.end(), deflate.begin(), deflate.end());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
    return out;
}

Bytes zlib_wrap(const Bytes &deflate) {
    return zlib_wrap_with(0x78, 0x01, deflate, adler32(deflate));
}

static void put_be32(Bytes &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

Chunk ihdr_chunk(uint32_t width, uint32_t height, uint8_t colour_type, uint8_t depth, uint8_t compression,
                 uint8_t filter, uint8_t interlace) {
    Chunk chunk{"IHDR", {}};
    put_be32(chunk.data, width);
    put_be32(chunk.data, height);
    chunk.data.insert(chunk.data.end(), {depth, colour_type, compression, filter, interlace});
    return chunk;
}

Bytes png_file(const std::vector<Chunk> &chunks) {
    Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
    for (const Chunk &chunk : chunks) {
        put_be32(out, static_cast<uint32_t>(chunk.data.size()));
        out.insert(out.end(), chunk.type.begin(), chunk.type.end());
        out.insert(out.end(), chunk.data.begin(), chunk.data.end());
        put_be32(out, 0);
    }
    return out;
}

static int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

Bytes filter_scanlines(const Bytes &pixels, int width, int height, int bytes_per_pixel,
                       const std::vector<int> &filters) {
    const int row = width * bytes_per_pixel;
    Bytes out;
    for (int y = 0; y < height; ++y) {
        const int filter = filters[static_cast<size_t>(y) % filters.size()];
        out.push_back(static_cast<uint8_t>(filter));
        for (int i = 0; i < row; ++i) {
            const int x = pixels[static_cast<size_t>(y * row + i)];
            const int a = i >= bytes_per_pixel ? pixels[static_cast<size_t>(y * row + i - bytes_per_pixel)] : 0;
            const int b = y > 0 ? pixels[static_cast<size_t>((y - 1) * row + i)] : 0;
            const int c = y > 0 && i >= bytes_per_pixel
                              ? pixels[static_cast<size_t>((y - 1) * row + i - bytes_per_pixel)]
                              : 0;
            int predicted = 0;
            if (filter == 1) predicted = a;
            if (filter == 2) predicted = b;
            if (filter == 3) predicted = (a + b) / 2;
            if (filter == 4) predicted = paeth(a, b, c);
            out.push_back(static_cast<uint8_t>(x - predicted));
        }
    }
    return out;
}

Bytes plain_scanlines(const Bytes &pixels, int width, int height, int bytes_per_pixel) {
    return filter_scanlines(pixels, width, height, bytes_per_pixel, {0});
}
