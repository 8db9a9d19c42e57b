// Hand-made PNG files for the decoder's tests: a bit writer for DEFLATE
// streams with stored, fixed and dynamic blocks, the zlib wrapper, chunks
// and scanline filtering. Nothing here compresses; every code and block is
// chosen by the test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Bits go in from the least significant end of each byte.
struct BitWriter {
    Bytes bytes;
    int used = 0;  // bits used in the last byte
    void bits(uint32_t value, int count);
    void code(uint32_t code, int length);  // Huffman code, first bit most significant
    void align();
};

// One symbol of a compressed block: a literal byte, a match, or the end.
struct DeflateOp {
    int literal = -1;  // 0-255, or -1 for a match
    int length = 0;
    int distance = 0;
};
DeflateOp lit(int byte);
DeflateOp match(int length, int distance);
std::vector<DeflateOp> literals(const Bytes &bytes);

// Length and distance symbols with their extra bits, or raw symbols (for
// symbols an encoder would never use, such as distance code 30).
struct SymbolBits {
    int symbol;
    int extra_bits;
    uint32_t extra;
};
SymbolBits length_symbol(int length);
SymbolBits distance_symbol(int distance);

void deflate_stored(BitWriter &out, const Bytes &data, bool final);
// Stored header with any LEN and NLEN, followed by the given bytes.
void deflate_stored_raw(BitWriter &out, uint16_t length, uint16_t inverse, const Bytes &data, bool final);
void deflate_fixed(BitWriter &out, const std::vector<DeflateOp> &ops, bool final, bool end_block = true);
void fixed_distance_code(BitWriter &out, int symbol);
void fixed_length_or_literal(BitWriter &out, int symbol);

// A dynamic block header with these code lengths (literal/length then
// distance), written with repeat codes where they fit, then the symbols.
void deflate_dynamic(BitWriter &out, const std::vector<uint8_t> &literal_lengths,
                     const std::vector<uint8_t> &distance_lengths, const std::vector<DeflateOp> &ops, bool final);
// A dynamic block header whose code-length symbols are given one by one:
// each pair is (symbol 0-18, extra bits value).
void deflate_dynamic_header_raw(BitWriter &out, int literal_count, int distance_count,
                                const std::vector<std::pair<int, int>> &code_length_symbols, bool final);
// Code-length symbols for a length sequence, with repeat codes where they
// fit.
std::vector<std::pair<int, int>> run_length_codes(const std::vector<uint8_t> &lengths);
// Lengths of a complete code for all 288 literal/length symbols (literals
// 9 bits, the rest 6) and for 32 distances (5 bits each).
std::vector<uint8_t> dynamic_literal_lengths();
std::vector<uint8_t> dynamic_distance_lengths();

// 0x78 0x01, the stream, and its Adler-32 (or any four bytes).
Bytes zlib_wrap(const Bytes &deflate);
Bytes zlib_wrap_with(uint8_t cmf, uint8_t flg, const Bytes &deflate, uint32_t adler);

struct Chunk {
    std::string type;
    Bytes data;
};
Chunk ihdr_chunk(uint32_t width, uint32_t height, uint8_t colour_type, uint8_t depth = 8, uint8_t compression = 0,
                 uint8_t filter = 0, uint8_t interlace = 0);
// Signature and chunks; every CRC is left zero since the decoder ignores it.
Bytes png_file(const std::vector<Chunk> &chunks);

// Filters the rows (each width * bytes_per_pixel bytes) with the given type
// per row and puts the filter-type byte in front of each.
Bytes filter_scanlines(const Bytes &pixels, int width, int height, int bytes_per_pixel,
                       const std::vector<int> &filters);
// Rows with filter type 0.
Bytes plain_scanlines(const Bytes &pixels, int width, int height, int bytes_per_pixel);
