#include "resources/png.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define PNG_INLINE inline __attribute__((always_inline))
#define PNG_LIKELY(x) __builtin_expect(!!(x), 1)
#define PNG_UNLIKELY(x) __builtin_expect(!!(x), 0)

// ---------------------------------------------------------------------------
// Byte access

static PNG_INLINE uint32_t read_be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

static PNG_INLINE uint32_t load_le32(const uint8_t *p) {
    uint32_t value;
    std::memcpy(&value, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap32(value);
#endif
    return value;
}

static PNG_INLINE void store_le32(uint8_t *p, uint32_t value) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap32(value);
#endif
    std::memcpy(p, &value, 4);
}

// ---------------------------------------------------------------------------
// Chunks

struct ChunkCursor {
    const uint8_t *position;
    const uint8_t *end;
};

// The data length of the chunk whose data starts at data.
static uint32_t chunk_length(const uint8_t *data) {
    return read_be32(data - 8);
}

// The chunk at the cursor if it has the type, at least min_length bytes of
// data and lies wholly inside the file; the cursor then moves past it.
static const uint8_t *chunk_next(ChunkCursor *cursor, const char *type, uint32_t min_length) {
    const size_t left = static_cast<size_t>(cursor->end - cursor->position);
    if (left < 8) return nullptr;
    const uint8_t *header = cursor->position;
    const uint32_t length = read_be32(header);
    if (std::memcmp(header + 4, type, 4) != 0 || length < min_length) return nullptr;
    if (static_cast<uint64_t>(length) + 12 > left) return nullptr;
    cursor->position = header + 12 + length;
    return header + 8;
}

// Steps over chunks until one of the type has been stepped over; null when
// the file ends first. A chunk that runs past the end of the file ends the
// walk.
static const uint8_t *chunk_find(ChunkCursor *cursor, const char *type) {
    while (cursor->position < cursor->end) {
        const size_t left = static_cast<size_t>(cursor->end - cursor->position);
        const uint8_t *header = cursor->position;
        if (left < 8) break;
        const uint32_t length = read_be32(header);
        if (static_cast<uint64_t>(length) + 12 > left) break;
        cursor->position = header + 12 + length;
        if (std::memcmp(header + 4, type, 4) == 0) return header + 8;
    }
    cursor->position = cursor->end;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Huffman tables: one 32-bit entry per symbol with a code, the code at the
// top of the word (code << (32 - length)), the symbol in bits 4-15 and the
// length in bits 0-3, sorted by value. A key made of the next 16 input bits
// in code order, with ones below, finds its code as the last entry not
// greater than the key.

constexpr int LITERAL_SYMBOLS = 288;
constexpr int DISTANCE_SYMBOLS = 32;
constexpr int CODE_LENGTH_SYMBOLS = 19;
constexpr int MAX_CODE_LENGTHS = LITERAL_SYMBOLS + DISTANCE_SYMBOLS;

// After its entries every table holds TABLE_PADDING entries greater than
// any key, so that the last steps of a search can read a fixed window of
// entries (see huffman_search).
constexpr int TABLE_PADDING = 20;
constexpr uint32_t PADDING_ENTRY = 0xFFFFFFFFu;

static constexpr int32_t huffman_build(uint32_t *table, const uint8_t *lengths, int32_t symbol_count) {
    int32_t count[16] = {};
    for (int32_t symbol = 0; symbol < symbol_count; ++symbol) ++count[lengths[symbol] & 15];
    count[0] = 0;
    uint32_t next_code[16] = {};
    int32_t next_slot[16] = {};
    uint32_t code = 0;
    int32_t slot = 0;
    for (int length = 1; length < 16; ++length) {
        code = (code + static_cast<uint32_t>(count[length - 1])) << 1;
        next_code[length] = code;
        next_slot[length] = slot;
        slot += count[length];
    }
    for (int32_t symbol = 0; symbol < symbol_count; ++symbol) {
        const int length = lengths[symbol] & 15;
        if (length == 0) continue;
        table[next_slot[length]++] =
            next_code[length]++ << (32 - length) | static_cast<uint32_t>(symbol) << 4 | static_cast<uint32_t>(length);
    }
    for (int32_t i = 0; i < TABLE_PADDING; ++i) table[slot + i] = PADDING_ENTRY;
    return slot;
}

// The first four steps of a table's binary search compare the key with
// entries that depend only on the table; they are gathered here when the
// table is built, in the order the steps reach them.
struct HuffmanSteps {
    uint32_t halves[4];
    uint32_t rest;  // entries left to search after the four steps
    uint32_t pivots[15];
};

// Tables no longer than the final window need no steps before it.
constexpr int32_t CACHED_STEPS_MIN_COUNT = TABLE_PADDING + 1;

static constexpr void huffman_prepare_steps(HuffmanSteps *steps, const uint32_t *table, int32_t count) {
    *steps = HuffmanSteps{};
    if (count < CACHED_STEPS_MIN_COUNT) return;
    uint32_t n = static_cast<uint32_t>(count);
    for (int step = 0; step < 4; ++step) {
        steps->halves[step] = n >> 1;
        n -= n >> 1;
    }
    steps->rest = n;
    const uint32_t *h = steps->halves;
    steps->pivots[0] = table[h[0]];
    for (uint32_t s1 = 0; s1 < 2; ++s1) {
        steps->pivots[1 + s1] = table[s1 * h[0] + h[1]];
        for (uint32_t s2 = 0; s2 < 2; ++s2) {
            steps->pivots[3 + 2 * s1 + s2] = table[s1 * h[0] + s2 * h[1] + h[2]];
            for (uint32_t s3 = 0; s3 < 2; ++s3)
                steps->pivots[7 + 4 * s1 + 2 * s2 + s3] = table[s1 * h[0] + s2 * h[1] + s3 * h[2] + h[3]];
        }
    }
}

struct HuffmanTable {
    const uint32_t *entries;
    int32_t count;
    const HuffmanSteps *steps;
};

struct FixedTables {
    uint32_t literal[LITERAL_SYMBOLS + TABLE_PADDING];
    uint32_t distance[DISTANCE_SYMBOLS + TABLE_PADDING];
    int32_t literal_count;
    int32_t distance_count;
    HuffmanSteps literal_steps;
    HuffmanSteps distance_steps;
};

static constexpr FixedTables make_fixed_tables() {
    uint8_t lengths[MAX_CODE_LENGTHS] = {};
    for (int i = 0; i < 144; ++i) lengths[i] = 8;
    for (int i = 144; i < 256; ++i) lengths[i] = 9;
    for (int i = 256; i < 280; ++i) lengths[i] = 7;
    for (int i = 280; i < 288; ++i) lengths[i] = 8;
    for (int i = 288; i < 320; ++i) lengths[i] = 5;
    FixedTables tables = {};
    tables.literal_count = huffman_build(tables.literal, lengths, LITERAL_SYMBOLS);
    tables.distance_count = huffman_build(tables.distance, lengths + LITERAL_SYMBOLS, DISTANCE_SYMBOLS);
    huffman_prepare_steps(&tables.literal_steps, tables.literal, tables.literal_count);
    huffman_prepare_steps(&tables.distance_steps, tables.distance, tables.distance_count);
    return tables;
}

static constexpr FixedTables fixed_tables = make_fixed_tables();

// The bits of a word in reverse order.
static PNG_INLINE uint32_t reverse_bits(uint32_t x) {
    x = ((x >> 1) & 0x55555555u) | ((x & 0x55555555u) << 1);
    x = ((x >> 2) & 0x33333333u) | ((x & 0x33333333u) << 2);
    x = ((x >> 4) & 0x0F0F0F0Fu) | ((x & 0x0F0F0F0Fu) << 4);
    return __builtin_bswap32(x);
}

// One value when the key is at or above the pivot, else the other, chosen
// by a conditional move: the outcome follows the input's bits, which no
// branch predictor can guess, and compilers turn chains of such choices
// into branches.
static PNG_INLINE uint32_t pick(uint32_t key, uint32_t pivot, uint32_t at_or_above, uint32_t below) {
#if defined(__x86_64__) || defined(__i386__)
    __asm__("cmpl %[pivot], %[key]\n\tcmovael %[at_or_above], %[below]"
            : [below] "+r"(below)
            : [key] "r"(key), [pivot] "r"(pivot), [at_or_above] "r"(at_or_above)
            : "cc");
    return below;
#else
    return key >= pivot ? at_or_above : below;
#endif
}

// The last entry not greater than the key: a binary search without
// data-dependent branches. Each step compares with the entry half-way into
// the range left. The first four steps choose among their prepared pivots,
// all read up front, so only the later steps wait for memory. The caller
// checks that the table has entries and that the result is not above the
// key.
static PNG_INLINE uint32_t huffman_search(const HuffmanTable &table, uint32_t key) {
    uint32_t n = static_cast<uint32_t>(table.count);
    uint32_t base = 0;
    if (table.count >= CACHED_STEPS_MIN_COUNT) {
        const uint32_t *p = table.steps->pivots;
        const uint32_t *h = table.steps->halves;
        // Steps 2 to 4 compare with pivot2, pivot3 and pivot4.
        const uint32_t pivot2 = pick(key, p[0], p[2], p[1]);
        const uint32_t pivot3_low = pick(key, p[0], p[5], p[3]);
        const uint32_t pivot3_high = pick(key, p[0], p[6], p[4]);
        const uint32_t pivot4_00 = pick(key, p[0], p[11], p[7]);
        const uint32_t pivot4_01 = pick(key, p[0], p[12], p[8]);
        const uint32_t pivot4_10 = pick(key, p[0], p[13], p[9]);
        const uint32_t pivot4_11 = pick(key, p[0], p[14], p[10]);
        const uint32_t pivot3 = pick(key, pivot2, pivot3_high, pivot3_low);
        const uint32_t pivot4_low = pick(key, pivot2, pivot4_10, pivot4_00);
        const uint32_t pivot4_high = pick(key, pivot2, pivot4_11, pivot4_01);
        const uint32_t pivot4 = pick(key, pivot3, pivot4_high, pivot4_low);
        base = pick(key, p[0], h[0], 0) + pick(key, pivot2, h[1], 0) + pick(key, pivot3, h[2], 0) +
               pick(key, pivot4, h[3], 0);
        n = table.steps->rest;
    }
    const uint32_t *entries = table.entries;
#if defined(__SSE2__)
    // The last steps at once: the answer lies among the n (at most
    // TABLE_PADDING) entries from base on, and every entry after those is
    // greater than the key (padding included), so the window's entries
    // greater than the key form its tail and those before it are counted.
    // Unsigned order becomes signed order by flipping the top bit.
    (void)n;
    const __m128i top_bit = _mm_set1_epi32(INT32_MIN);
    const __m128i biased_key = _mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(key)), top_bit);
    const uint32_t *window = entries + base;
    uint32_t greater = 1u << TABLE_PADDING;
    for (int i = 0; i < TABLE_PADDING / 4; ++i) {
        const __m128i four = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(window + 4 * i)), top_bit);
        greater |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(four, biased_key))))
                   << (4 * i);
    }
    const uint32_t not_greater = static_cast<uint32_t>(__builtin_ctz(greater));
    return entries[base + not_greater - (not_greater != 0)];
#else
    while (n > 1) {
        const uint32_t half = n >> 1;
        base = entries[base + half] <= key ? base + half : base;
        n -= half;
    }
    return entries[base];
#endif
}

// ---------------------------------------------------------------------------
// Bit reader: the bytes before the first 4-byte-aligned address, then
// aligned 32-bit little-endian words into a 64-bit buffer, then the 1 to 3
// bytes after the last whole word, then zero bits. Bits are taken from the
// least significant end. A mirror of the buffer holds the same bits in
// reverse order, the next bit at the top, which gives Huffman decoding its
// key without reversing bits for every symbol. Zero bits that are consumed
// mean the stream ran past its input, which fails the stream.

struct BitReader {
    uint64_t buffer;
    uint64_t mirror;
    int32_t count;             // valid bits in the buffer
    int32_t zero_bits;         // zero bits supplied after the end of the input
    const uint8_t *next;       // next whole word, or the end once the final bytes are in
    const uint8_t *words_end;  // end of the whole words
    const uint8_t *end;        // end of the input
};

static void reader_start(BitReader *reader, const uint8_t *position, const uint8_t *end) {
    reader->buffer = 0;
    reader->mirror = 0;
    reader->count = 0;
    reader->zero_bits = 0;
    while (position < end && (reinterpret_cast<uintptr_t>(position) & 3) != 0) {
        reader->buffer |= static_cast<uint64_t>(*position) << reader->count;
        reader->mirror |= static_cast<uint64_t>(reverse_bits(*position)) << (32 - reader->count);
        ++position;
        reader->count += 8;
    }
    reader->next = position;
    reader->words_end = position + (static_cast<size_t>(end - position) & ~static_cast<size_t>(3));
    reader->end = end;
}

// Adds 32 bits above the valid ones; called with fewer than 32 valid. False
// when zero bits from past the end of the input have been consumed.
static PNG_INLINE bool reader_refill(BitReader &reader) {
    if (PNG_LIKELY(reader.next < reader.words_end)) {
        const uint32_t word = load_le32(reader.next);
        reader.buffer |= static_cast<uint64_t>(word) << reader.count;
        reader.mirror |= static_cast<uint64_t>(reverse_bits(word)) << (32 - reader.count);
        reader.next += 4;
        reader.count += 32;
        return true;
    }
    if (reader.zero_bits > reader.count) return false;
    uint32_t word = 0;
    int32_t real_bits = 0;
    while (reader.next < reader.end) {
        word |= static_cast<uint32_t>(*reader.next++) << real_bits;
        real_bits += 8;
    }
    reader.buffer |= static_cast<uint64_t>(word) << reader.count;
    reader.mirror |= static_cast<uint64_t>(reverse_bits(word)) << (32 - reader.count);
    reader.count += 32;
    reader.zero_bits += 32 - real_bits;
    return true;
}

// Takes n bits, n at most 16; the caller made sure n bits are valid.
static PNG_INLINE uint32_t reader_take(BitReader &reader, int32_t n) {
    const uint32_t value = static_cast<uint32_t>(reader.buffer) & ((1u << n) - 1);
    reader.buffer >>= n;
    reader.mirror <<= n;
    reader.count -= n;
    return value;
}

static PNG_INLINE bool reader_read(BitReader &reader, int32_t n, uint32_t *value) {
    if (reader.count < n && !reader_refill(reader)) return false;
    *value = reader_take(reader, n);
    return true;
}

// The next 16 bits with the first one most significant, at the top of a
// 32-bit key filled with ones below, all but the lowest: that keeps every
// key below the tables' padding, and no entry's low half (symbol and
// length, at most 0x11FF) reaches it.
static PNG_INLINE uint32_t reader_key(const BitReader &reader) {
    return (static_cast<uint32_t>(reader.mirror >> 32) | 0xFFFFu) - 1u;
}

// Decodes one symbol; at least 15 bits must be valid. -1 when the table is
// empty or no entry lies at or below the key.
static PNG_INLINE int32_t huffman_decode(BitReader &reader, const HuffmanTable &table) {
    if (PNG_UNLIKELY(table.count == 0)) return -1;
    const uint32_t key = reader_key(reader);
    const uint32_t entry = huffman_search(table, key);
    if (PNG_UNLIKELY(entry > key)) return -1;
    reader_take(reader, static_cast<int32_t>(entry & 15));
    return static_cast<int32_t>((entry >> 4) & 0xFFF);
}

// ---------------------------------------------------------------------------
// Inflate

// Length symbols 257-287 and distance symbols 0-31: base | extra bits << 16.
// Symbols 286, 287, 30 and 31 have base 0 and no extra bits.
static constexpr uint32_t length_codes[31] = {
    3,           4,           5,           6,           7,           8,           9,           10,
    11 | 1 << 16, 13 | 1 << 16, 15 | 1 << 16, 17 | 1 << 16, 19 | 2 << 16, 23 | 2 << 16, 27 | 2 << 16, 31 | 2 << 16,
    35 | 3 << 16, 43 | 3 << 16, 51 | 3 << 16, 59 | 3 << 16, 67 | 4 << 16, 83 | 4 << 16, 99 | 4 << 16, 115 | 4 << 16,
    131 | 5 << 16, 163 | 5 << 16, 195 | 5 << 16, 227 | 5 << 16, 258, 0, 0};

static constexpr uint32_t distance_codes[32] = {
    1,              2,              3,              4,              5 | 1 << 16,     7 | 1 << 16,     9 | 2 << 16,
    13 | 2 << 16,   17 | 3 << 16,   25 | 3 << 16,   33 | 4 << 16,   49 | 4 << 16,    65 | 5 << 16,    97 | 5 << 16,
    129 | 6 << 16,  193 | 6 << 16,  257 | 7 << 16,  385 | 7 << 16,  513 | 8 << 16,   769 | 8 << 16,   1025 | 9 << 16,
    1537 | 9 << 16, 2049 | 10 << 16, 3073 | 10 << 16, 4097 | 11 << 16, 6145 | 11 << 16, 8193 | 12 << 16, 12289 | 12 << 16,
    16385 | 13 << 16, 24577 | 13 << 16, 0, 0};

static constexpr uint8_t code_length_order[CODE_LENGTH_SYMBOLS] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

struct InflateState {
    BitReader reader;
    uint8_t *output_position;
    uint8_t *output_end;
    uint8_t *output_start;
    uint32_t literal_table[LITERAL_SYMBOLS + TABLE_PADDING];
    uint32_t distance_table[DISTANCE_SYMBOLS + TABLE_PADDING];
    uint32_t code_length_table[CODE_LENGTH_SYMBOLS + TABLE_PADDING];
    int32_t literal_count;
    int32_t distance_count;
    int32_t code_length_count;
    HuffmanSteps literal_steps;
    HuffmanSteps distance_steps;
    HuffmanSteps code_length_steps;
};

// Copies length bytes from distance bytes back, as a forward byte-by-byte
// copy would (an overlapping copy repeats the pattern). The range has been
// checked against the output's start and end.
static PNG_INLINE void copy_match(uint8_t *out, uint8_t *out_end, uint32_t distance, uint32_t length) {
    const uint8_t *source = out - distance;
    if (distance == 1) {
        std::memset(out, *source, length);
        return;
    }
    if (PNG_LIKELY(static_cast<size_t>(out_end - out) >= length + 16)) {
        // Whole 8- or 16-byte pieces may write up to 15 bytes past the copy,
        // which later output overwrites. A short distance first lays down
        // enough of the pattern to copy from a multiple of it.
        uint8_t *stop = out + length;
        if (distance < 8) {
            const uint32_t period = distance * ((8 + distance - 1) / distance);
            const uint32_t lead = period - distance < length ? period - distance : length;
            for (uint32_t i = 0; i < lead; ++i) out[i] = source[i];
            out += lead;
            source = out - period;
            distance = period;
        }
        if (distance >= 16) {
            while (out < stop) {
                std::memcpy(out, source, 16);
                out += 16;
                source += 16;
            }
        } else {
            while (out < stop) {
                std::memcpy(out, source, 8);
                out += 8;
                source += 8;
            }
        }
        return;
    }
    for (uint32_t i = 0; i < length; ++i) out[i] = source[i];
}

// Decodes the symbols of one compressed block up to its end-of-block code.
static bool inflate_block(InflateState *state, const HuffmanTable literal_table,
                          const HuffmanTable distance_table) {
    if (literal_table.count == 0) return false;
    BitReader reader = state->reader;
    uint8_t *out = state->output_position;
    uint8_t *const out_end = state->output_end;
    uint8_t *const out_start = state->output_start;
    bool ended = false;
    for (;;) {
        if (reader.count < 32 && !reader_refill(reader)) break;
        const uint32_t key = reader_key(reader);
        const uint32_t entry = huffman_search(literal_table, key);
        if (PNG_UNLIKELY(entry > key)) break;
        reader_take(reader, static_cast<int32_t>(entry & 15));
        const uint32_t symbol = (entry >> 4) & 0xFFF;
        if (symbol < 256) {
            if (PNG_UNLIKELY(out == out_end)) break;
            *out++ = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 256) {
            ended = true;
            break;
        }
        const uint32_t length_code = length_codes[symbol - 257];
        const uint32_t length = (length_code & 0xFFFF) + reader_take(reader, static_cast<int32_t>(length_code >> 16));
        if (reader.count < 32 && !reader_refill(reader)) break;
        const int32_t distance_symbol = huffman_decode(reader, distance_table);
        // Symbols 30 and 31 would give distance 0, a copy from bytes not yet
        // written.
        if (PNG_UNLIKELY(distance_symbol < 0 || distance_symbol >= 30)) break;
        const uint32_t distance_code = distance_codes[distance_symbol];
        const uint32_t distance =
            (distance_code & 0xFFFF) + reader_take(reader, static_cast<int32_t>(distance_code >> 16));
        if (PNG_UNLIKELY(distance > static_cast<size_t>(out - out_start))) break;
        if (PNG_UNLIKELY(length > static_cast<size_t>(out_end - out))) break;
        copy_match(out, out_end, distance, length);
        out += length;
    }
    state->reader = reader;
    state->output_position = out;
    return ended;
}

static bool inflate_stored_block(InflateState *state) {
    BitReader &reader = state->reader;
    reader_take(reader, reader.count & 7);
    uint32_t length = 0;
    uint32_t inverse = 0;
    if (!reader_read(reader, 16, &length) || !reader_read(reader, 16, &inverse)) return false;
    if (reader.zero_bits > reader.count) return false;
    if (length != (~inverse & 0xFFFF)) return false;
    // The unconsumed whole bytes in the buffer are the last ones read.
    const uint8_t *position = reader.next - (reader.count - reader.zero_bits) / 8;
    if (length > static_cast<size_t>(reader.end - position)) return false;
    if (length > static_cast<size_t>(state->output_end - state->output_position)) return false;
    std::memcpy(state->output_position, position, length);
    state->output_position += length;
    reader_start(&reader, position + length, reader.end);
    return true;
}

static bool inflate_dynamic_tables(InflateState *state) {
    BitReader &reader = state->reader;
    uint32_t literal_lengths = 0;
    uint32_t distance_lengths = 0;
    uint32_t code_lengths = 0;
    if (!reader_read(reader, 5, &literal_lengths) || !reader_read(reader, 5, &distance_lengths) ||
        !reader_read(reader, 4, &code_lengths))
        return false;
    literal_lengths += 257;
    distance_lengths += 1;
    code_lengths += 4;

    uint8_t lengths[MAX_CODE_LENGTHS] = {};
    for (uint32_t i = 0; i < code_lengths; ++i) {
        uint32_t length = 0;
        if (!reader_read(reader, 3, &length)) return false;
        lengths[code_length_order[i]] = static_cast<uint8_t>(length);
    }
    state->code_length_count = huffman_build(state->code_length_table, lengths, CODE_LENGTH_SYMBOLS);
    huffman_prepare_steps(&state->code_length_steps, state->code_length_table, state->code_length_count);
    const HuffmanTable code_length_table = {state->code_length_table, state->code_length_count,
                                            &state->code_length_steps};
    std::memset(lengths, 0, CODE_LENGTH_SYMBOLS);

    const uint32_t wanted = literal_lengths + distance_lengths;
    uint32_t produced = 0;
    while (produced < wanted) {
        if (reader.count < 32 && !reader_refill(reader)) return false;
        const int32_t symbol = huffman_decode(reader, code_length_table);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[produced++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        uint32_t repeat = 0;
        if (symbol == 16) {
            if (produced == 0) return false;
            value = lengths[produced - 1];
            repeat = 3 + reader_take(reader, 2);
        } else if (symbol == 17) {
            repeat = 3 + reader_take(reader, 3);
        } else {
            repeat = 11 + reader_take(reader, 7);
        }
        if (produced + repeat > MAX_CODE_LENGTHS) return false;
        std::memset(lengths + produced, value, repeat);
        produced += repeat;
    }
    state->literal_count = huffman_build(state->literal_table, lengths, static_cast<int32_t>(literal_lengths));
    state->distance_count =
        huffman_build(state->distance_table, lengths + literal_lengths, static_cast<int32_t>(distance_lengths));
    huffman_prepare_steps(&state->literal_steps, state->literal_table, state->literal_count);
    huffman_prepare_steps(&state->distance_steps, state->distance_table, state->distance_count);
    return true;
}

// Inflates a raw DEFLATE stream into output[0, output_length). The stream
// must end with a final block without reading past its input; *produced is
// the number of bytes it wrote.
static bool inflate_deflate_stream(const uint8_t *input, int32_t input_length, uint8_t *output,
                                   size_t output_length, size_t *produced) {
    InflateState *state = static_cast<InflateState *>(std::calloc(1, sizeof(InflateState)));
    if (!state) return false;
    reader_start(&state->reader, input, input + input_length);
    state->output_position = output;
    state->output_start = output;
    state->output_end = output + output_length;

    bool ok = false;
    for (;;) {
        uint32_t header = 0;
        if (!reader_read(state->reader, 3, &header)) break;
        const uint32_t type = header >> 1;
        bool block_ok = false;
        if (type == 0) {
            block_ok = inflate_stored_block(state);
        } else if (type == 1) {
            block_ok = inflate_block(
                state, {fixed_tables.literal, fixed_tables.literal_count, &fixed_tables.literal_steps},
                {fixed_tables.distance, fixed_tables.distance_count, &fixed_tables.distance_steps});
        } else if (type == 2) {
            block_ok = inflate_dynamic_tables(state) &&
                       inflate_block(state, {state->literal_table, state->literal_count, &state->literal_steps},
                                     {state->distance_table, state->distance_count, &state->distance_steps});
        }
        if (!block_ok) break;
        if (header & 1) {
            ok = state->reader.zero_bits <= state->reader.count;
            break;
        }
    }
    *produced = static_cast<size_t>(state->output_position - output);
    std::free(state);
    return ok;
}

// ---------------------------------------------------------------------------
// Scanline filters. dst receives the reconstructed row; src holds the
// filtered bytes and is either dst itself or lies after it, so a byte of
// src is always read before a write could reach it. prior is the
// reconstructed row above, or null for the first row (a row of zeros). Rows
// hold whole pixels: n is a multiple of BPP.

typedef uint8_t Lanes16 __attribute__((vector_size(16)));

static PNG_INLINE Lanes16 load16(const uint8_t *p) {
    Lanes16 v;
    std::memcpy(&v, p, 16);
    return v;
}

static PNG_INLINE void store16(uint8_t *p, Lanes16 v) {
    std::memcpy(p, &v, 16);
}

// Lane i takes lane i - S (zero below S), or lane i + S (zero above).
template <int S, size_t... I>
static PNG_INLINE Lanes16 lanes_up(Lanes16 v, std::index_sequence<I...>) {
    const Lanes16 zero = {};
    return __builtin_shufflevector(v, zero, (I >= S ? I - S : 16)...);
}

template <int S, size_t... I>
static PNG_INLINE Lanes16 lanes_down(Lanes16 v, std::index_sequence<I...>) {
    const Lanes16 zero = {};
    return __builtin_shufflevector(v, zero, (I + S < 16 ? I + S : 16)...);
}

template <int S>
static PNG_INLINE Lanes16 lanes_up(Lanes16 v) {
    return lanes_up<S>(v, std::make_index_sequence<16>());
}

template <int S>
static PNG_INLINE Lanes16 lanes_down(Lanes16 v) {
    return lanes_down<S>(v, std::make_index_sequence<16>());
}

static PNG_INLINE uint8_t paeth_predictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

static void unfilter_up(uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) store16(dst + i, load16(src + i) + load16(prior + i));
    for (; i < n; ++i) dst[i] = static_cast<uint8_t>(src[i] + prior[i]);
}

// The last pixel of a group of sixteen bytes in every position.
template <int BPP, size_t... I>
static PNG_INLINE Lanes16 spread_last_pixel(Lanes16 v, std::index_sequence<I...>) {
    return __builtin_shufflevector(v, v, (16 - BPP + I % BPP)...);
}

// Sub is a running sum per channel. Sixteen bytes (twelve for three bytes a
// pixel) are summed in log steps, apart from the pixel before them, which is
// added last so that only that addition waits for the previous group.
template <int BPP>
static void unfilter_sub(uint8_t *dst, const uint8_t *src, size_t n) {
    Lanes16 last = {};
    size_t i = 0;
    if constexpr (BPP == 3) {
        // No cheap three-byte spread: the previous pixel enters lanes 0-2
        // before the sums carry it along.
        const Lanes16 low3 = {0xFF, 0xFF, 0xFF};
        for (; i + 16 <= n; i += 12) {
            Lanes16 x = load16(src + i) + last;
            x += lanes_up<3>(x);
            x += lanes_up<6>(x);
            std::memcpy(dst + i, &x, 12);
            last = lanes_down<9>(x) & low3;
        }
    } else {
        for (; i + 16 <= n; i += 16) {
            Lanes16 x = load16(src + i);
            x += lanes_up<BPP>(x);
            x += lanes_up<2 * BPP>(x);
            if constexpr (4 * BPP < 16) x += lanes_up<4 * BPP>(x);
            if constexpr (8 * BPP < 16) x += lanes_up<8 * BPP>(x);
            x += last;
            store16(dst + i, x);
            last = spread_last_pixel<BPP>(x, std::make_index_sequence<16>());
        }
    }
    for (; i < n && i < BPP; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = static_cast<uint8_t>(src[i] + dst[i - BPP]);
}

#if defined(__SSE2__)
// One pixel of three or four bytes in the low lanes. Three-byte pixels are
// read as four bytes (the byte after a row is still inside the block) and
// written as three, so the next pixel's bytes stay unread until their turn.
template <int BPP>
static PNG_INLINE __m128i load_pixel(const uint8_t *p) {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return _mm_cvtsi32_si128(static_cast<int>(value));
}

template <int BPP>
static PNG_INLINE void store_pixel(uint8_t *p, __m128i v) {
    const uint32_t value = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    std::memcpy(p, &value, BPP);
}

template <int BPP>
static void unfilter_average_pixels(uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i < n; i += BPP) {
        const __m128i b = prior ? load_pixel<BPP>(prior + i) : _mm_setzero_si128();
        // The rounded-up average less the rounding gives (a + b) >> 1.
        const __m128i average = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(load_pixel<BPP>(src + i), average);
        store_pixel<BPP>(dst + i, a);
    }
}

static PNG_INLINE __m128i select16(__m128i mask, __m128i when_set, __m128i otherwise) {
    return _mm_or_si128(_mm_and_si128(mask, when_set), _mm_andnot_si128(mask, otherwise));
}

static PNG_INLINE __m128i abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

template <int BPP>
static void unfilter_paeth_pixels(uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero;  // left, upper left: 16-bit lanes
    __m128i c = zero;
    for (size_t i = 0; i < n; i += BPP) {
        const __m128i b = _mm_unpacklo_epi8(load_pixel<BPP>(prior + i), zero);
        const __m128i b_less_c = _mm_sub_epi16(b, c);
        const __m128i a_less_c = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(b_less_c);
        const __m128i pb = abs16(a_less_c);
        const __m128i pc = abs16(_mm_add_epi16(b_less_c, a_less_c));
        // Ties go to a, then b.
        const __m128i take_b = _mm_cmpgt_epi16(pa, pb);
        const __m128i nearer = select16(take_b, b, a);
        const __m128i take_c = _mm_cmpgt_epi16(_mm_min_epi16(pa, pb), pc);
        const __m128i predicted = select16(take_c, c, nearer);
        const __m128i pixel = _mm_add_epi8(load_pixel<BPP>(src + i), _mm_packus_epi16(predicted, predicted));
        store_pixel<BPP>(dst + i, pixel);
        a = _mm_unpacklo_epi8(pixel, zero);
        c = b;
    }
}
#endif

template <int BPP>
static void unfilter_average(uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
#if defined(__SSE2__)
    if constexpr (BPP >= 3) {
        unfilter_average_pixels<BPP>(dst, src, prior, n);
        return;
    }
#endif
    if (!prior) {
        for (size_t i = 0; i < n && i < BPP; ++i) dst[i] = src[i];
        for (size_t i = BPP; i < n; ++i) dst[i] = static_cast<uint8_t>(src[i] + (dst[i - BPP] >> 1));
        return;
    }
    for (size_t i = 0; i < n && i < BPP; ++i) dst[i] = static_cast<uint8_t>(src[i] + (prior[i] >> 1));
    for (size_t i = BPP; i < n; ++i) dst[i] = static_cast<uint8_t>(src[i] + ((dst[i - BPP] + prior[i]) >> 1));
}

template <int BPP>
static void unfilter_paeth(uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
#if defined(__SSE2__)
    if constexpr (BPP >= 3) {
        unfilter_paeth_pixels<BPP>(dst, src, prior, n);
        return;
    }
#endif
    for (size_t i = 0; i < n && i < BPP; ++i) dst[i] = static_cast<uint8_t>(src[i] + prior[i]);
    for (size_t i = BPP; i < n; ++i)
        dst[i] = static_cast<uint8_t>(src[i] + paeth_predictor(dst[i - BPP], prior[i], prior[i - BPP]));
}

template <int BPP>
static void unfilter_row(int filter, uint8_t *dst, const uint8_t *src, const uint8_t *prior, size_t n) {
    // Above the first row everything is zero: Up keeps the bytes and Paeth
    // predicts from the left.
    if (!prior && filter == 2) filter = 0;
    if (!prior && filter == 4) filter = 1;
    switch (filter) {
    case 0:
        if (dst != src) std::memmove(dst, src, n);
        break;
    case 1: unfilter_sub<BPP>(dst, src, n); break;
    case 2: unfilter_up(dst, src, prior, n); break;
    case 3: unfilter_average<BPP>(dst, src, prior, n); break;
    case 4: unfilter_paeth<BPP>(dst, src, prior, n); break;
    }
}

// ---------------------------------------------------------------------------
// Expansion to RGBA. Each writes the row's pixels from out while reading
// raw further on in the same block; a pixel is read before it is written.
// A pixel is read as four bytes: past the last pixel of a row lies the next
// row's filter byte, or for the last row the block's unused end.

static void expand_grey_row(uint8_t *out, const uint8_t *raw, size_t width) {
    for (size_t x = 0; x < width; ++x) store_le32(out + 4 * x, raw[x] * 0x010101u | 0xFF000000u);
}

static void expand_grey_alpha_row(uint8_t *out, const uint8_t *raw, size_t width) {
    for (size_t x = 0; x < width; ++x) {
        const uint32_t grey = raw[2 * x];
        store_le32(out + 4 * x, grey * 0x010101u | static_cast<uint32_t>(raw[2 * x + 1]) << 24);
    }
}

static void expand_rgb_row(uint8_t *out, const uint8_t *raw, size_t width) {
    for (size_t x = 0; x < width; ++x) store_le32(out + 4 * x, load_le32(raw + 3 * x) | 0xFF000000u);
}

// The largest byte of a row.
static uint8_t row_largest(const uint8_t *raw, size_t n) {
    Lanes16 largest = {};
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const Lanes16 v = load16(raw + i);
        largest = v > largest ? v : largest;
    }
    uint8_t result = 0;
    for (int lane = 0; lane < 16; ++lane) result = largest[lane] > result ? largest[lane] : result;
    for (; i < n; ++i) result = raw[i] > result ? raw[i] : result;
    return result;
}

// Palette entries as little-endian RGBA words.
static void expand_palette_row(uint8_t *out, const uint8_t *raw, size_t width, const uint32_t *palette) {
    for (size_t x = 0; x < width; ++x) store_le32(out + 4 * x, palette[raw[x]]);
}

// ---------------------------------------------------------------------------
// The file

static const uint8_t png_signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

struct PaletteInfo {
    uint32_t colours[256];
    uint32_t entries;
};

static void palette_prepare(PaletteInfo *palette, const uint8_t *plte, const uint8_t *trns) {
    const uint32_t plte_length = chunk_length(plte);
    const uint32_t trns_length = trns ? chunk_length(trns) : 0;
    palette->entries = plte_length / 3 < 256 ? plte_length / 3 : 256;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t colour = 0;
        if (i < palette->entries) {
            const uint32_t alpha = i < trns_length ? trns[i] : 255;
            colour = plte[3 * i] | static_cast<uint32_t>(plte[3 * i + 1]) << 8 |
                     static_cast<uint32_t>(plte[3 * i + 2]) << 16 | alpha << 24;
        }
        palette->colours[i] = colour;
    }
}

// Unfilters the scanlines and expands them into RGBA from the block's start.
// RGBA rows are reconstructed straight into their final place (reading the
// row above from there); the other types are reconstructed in place and each
// row is expanded once the row below no longer needs it.
static bool png_unfilter_and_expand(uint8_t *block, uint8_t *raw, int32_t width, int32_t height,
                                    int bytes_per_pixel, const PaletteInfo *palette) {
    const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(bytes_per_pixel);
    const size_t stride = row_bytes + 1;
    const size_t pitch = static_cast<size_t>(width) * 4;
    if (bytes_per_pixel == 4) {
        const uint8_t *prior = nullptr;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t *row = raw + static_cast<size_t>(y) * stride;
            uint8_t *dst = block + static_cast<size_t>(y) * pitch;
            if (row[0] > 4) return false;
            unfilter_row<4>(row[0], dst, row + 1, prior, row_bytes);
            prior = dst;
        }
        return true;
    }
    uint32_t largest_index = 0;
    const uint8_t *prior = nullptr;
    for (int32_t y = 0; y <= height; ++y) {
        if (y < height) {
            uint8_t *row = raw + static_cast<size_t>(y) * stride;
            const int filter = row[0];
            if (filter > 4) return false;
            switch (bytes_per_pixel) {
            case 1: unfilter_row<1>(filter, row + 1, row + 1, prior, row_bytes); break;
            case 2: unfilter_row<2>(filter, row + 1, row + 1, prior, row_bytes); break;
            default: unfilter_row<3>(filter, row + 1, row + 1, prior, row_bytes); break;
            }
            prior = row + 1;
        }
        if (y == 0) continue;
        // The row above is no longer needed as a prior: expand it.
        const uint8_t *done = raw + static_cast<size_t>(y - 1) * stride + 1;
        uint8_t *out = block + static_cast<size_t>(y - 1) * pitch;
        const size_t count = static_cast<size_t>(width);
        if (palette) {
            const uint32_t largest = row_largest(done, count);
            largest_index = largest > largest_index ? largest : largest_index;
            expand_palette_row(out, done, count, palette->colours);
        } else if (bytes_per_pixel == 1) {
            expand_grey_row(out, done, count);
        } else if (bytes_per_pixel == 2) {
            expand_grey_alpha_row(out, done, count);
        } else {
            expand_rgb_row(out, done, count);
        }
    }
    // An index past the palette would have no colour.
    return !palette || width == 0 || largest_index < palette->entries;
}

PngImage png_load_from_memory(const uint8_t *data, int32_t length) {
    PngImage image = {0, 0, nullptr};
    if (!data || length < 8 || std::memcmp(data, png_signature, 8) != 0) return image;
    ChunkCursor cursor = {data + 8, data + length};
    const uint8_t *ihdr = chunk_next(&cursor, "IHDR", 13);
    if (!ihdr) return image;

    const int32_t width = static_cast<int32_t>(read_be32(ihdr));
    const int32_t height = static_cast<int32_t>(read_be32(ihdr + 4));
    if (ihdr[8] != 8) return image;
    int bytes_per_pixel = 0;
    switch (ihdr[9]) {
    case 0: bytes_per_pixel = 1; break;
    case 2: bytes_per_pixel = 3; break;
    case 3: bytes_per_pixel = 1; break;
    case 4: bytes_per_pixel = 2; break;
    case 6: bytes_per_pixel = 4; break;
    default: return image;
    }
    const int64_t padded_width = static_cast<int64_t>(width) + 1;
    if (padded_width < 1 || height < 1) return image;
    const uint64_t block_size = static_cast<uint64_t>(padded_width) * static_cast<uint64_t>(height) * 4;
    if (block_size > INT32_MAX) return image;
    image.width = width;
    image.height = height;
    if (ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0) return image;

    // PLTE anywhere after IHDR, tRNS after it, the image data after both.
    const uint8_t *remembered = cursor.position;
    const uint8_t *plte = chunk_find(&cursor, "PLTE");
    if (plte) remembered = cursor.position;
    cursor.position = remembered;
    const uint8_t *trns = chunk_find(&cursor, "tRNS");
    if (trns) remembered = cursor.position;
    cursor.position = remembered;
    if (ihdr[9] == 3 && !plte) return image;

    // The first run of consecutive IDAT chunks holds the zlib stream.
    const uint8_t *first_idat = chunk_find(&cursor, "IDAT");
    if (!first_idat) return image;
    int32_t idat_total = static_cast<int32_t>(chunk_length(first_idat));
    int32_t idat_chunks = 1;
    while (const uint8_t *idat = chunk_next(&cursor, "IDAT", 0)) {
        idat_total += static_cast<int32_t>(chunk_length(idat));
        ++idat_chunks;
    }
    if (idat_total < 6) return image;
    // DEFLATE yields at most 258 bytes for every 2 bits of input, so data too
    // short for the scanlines fails before any large block is allocated.
    const uint64_t scanline_bytes =
        static_cast<uint64_t>(height) * (1 + static_cast<uint64_t>(width) * static_cast<uint64_t>(bytes_per_pixel));
    if (scanline_bytes > static_cast<uint64_t>(idat_total - 6) * 1032) return image;
    uint8_t *joined = nullptr;
    const uint8_t *zlib = first_idat;
    if (idat_chunks > 1) {
        joined = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(idat_total)));
        if (!joined) return image;
        cursor.position = first_idat - 8;
        size_t offset = 0;
        while (const uint8_t *idat = chunk_next(&cursor, "IDAT", 0)) {
            std::memcpy(joined + offset, idat, chunk_length(idat));
            offset += chunk_length(idat);
        }
        zlib = joined;
    }
    if ((zlib[0] & 0x0F) != 8 || (zlib[0] >> 4) > 7 || (zlib[1] & 0x20) != 0) {
        std::free(joined);
        return image;
    }

    uint8_t *block = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(block_size)));
    if (!block) {
        std::free(joined);
        return image;
    }
    // The scanlines are inflated into the block's last A bytes, so that
    // expanding them to RGBA from the start never overtakes the reading.
    const size_t padded_rows = static_cast<size_t>(padded_width) * static_cast<size_t>(height);
    const size_t raw_length = padded_rows * static_cast<size_t>(bytes_per_pixel);
    uint8_t *raw = block + padded_rows * static_cast<size_t>(4 - bytes_per_pixel);
    size_t produced = 0;
    bool ok = inflate_deflate_stream(zlib + 2, idat_total - 6, raw, raw_length, &produced) &&
              produced >= scanline_bytes;
    std::free(joined);

    PaletteInfo palette;
    if (ok && ihdr[9] == 3) palette_prepare(&palette, plte, trns);
    ok = ok && png_unfilter_and_expand(block, raw, width, height, bytes_per_pixel,
                                       ihdr[9] == 3 ? &palette : nullptr);
    if (!ok) {
        std::free(block);
        return image;
    }
    image.pixels = reinterpret_cast<PngPixel *>(block);
    return image;
}
