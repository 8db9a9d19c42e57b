// Hand-made PNG files for the decoder and texture tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct Chunk {
    std::string type;
    Bytes data;
};
Chunk ihdr_chunk(uint32_t width, uint32_t height, uint8_t colour_type, uint8_t depth = 8,
                 uint8_t compression = 0, uint8_t filter = 0, uint8_t interlace = 0);
// Signature and chunks; every CRC is left zero since the decoder ignores it.
Bytes png_file(const std::vector<Chunk> &chunks);
// cmf, flg, the DEFLATE stream and a zero Adler-32, which the decoder ignores too.
Bytes zlib_wrap(const Bytes &deflate, uint8_t cmf = 0x78, uint8_t flg = 0x01);
// A zlib stream of one final stored block.
Bytes stored_zlib(const Bytes &data);
