#include "support/png_builder.h"

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

Bytes zlib_wrap(const Bytes &deflate, uint8_t cmf, uint8_t flg) {
    Bytes out = {cmf, flg};
    out.insert(out.end(), deflate.begin(), deflate.end());
    out.insert(out.end(), 4, 0);
    return out;
}

Bytes stored_zlib(const Bytes &data) {
    const uint16_t length = static_cast<uint16_t>(data.size()), inverse = static_cast<uint16_t>(~length);
    Bytes deflate = {1, uint8_t(length), uint8_t(length >> 8), uint8_t(inverse), uint8_t(inverse >> 8)};
    deflate.insert(deflate.end(), data.begin(), data.end());
    return zlib_wrap(deflate);
}
