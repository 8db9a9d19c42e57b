// Bounds on what an Ogg Vorbis file from the archive may cost: its headers
// are checked before the decoder sees them, each sound decodes to a limited
// number of samples, and all decoded sounds together share a budget.
#pragma once

#include <cstdint>

// Samples are counted over all channels (a stereo frame is two samples).
// One sound: 95 s of stereo at 44 kHz, 32 MiB as float samples.
constexpr int64_t OGG_GUARD_SOUND_SAMPLES = int64_t{1} << 23;
// Every decoded sound at once: 64 MiB as float samples. The game's own bank
// needs about 9 million.
constexpr int64_t OGG_GUARD_BUDGET_SAMPLES = int64_t{1} << 24;

// Codebooks in the setup header: entries in one book, and entries x
// dimensions of one book (the size of the decoder's tables for it). An
// encoder's books stay far below (the game's sounds: 6561 and 52488).
constexpr int64_t OGG_GUARD_CODEBOOK_ENTRIES = 65536;
constexpr int64_t OGG_GUARD_CODEBOOK_VALUES = int64_t{1} << 17;
// The longest codeword: the decoder builds a codeword's mask as
// (1 << length) - 1 in an int, which overflows for 31 and 32 bits. An
// encoder's codewords stay far shorter (the game's sounds: 22 bits).
constexpr uint32_t OGG_GUARD_CODEWORD_BITS = 30;

// The decoder works inside one block of this size, which holds all its
// tables (the game's sounds need 180 KB): a stream that needs more is
// refused, and nothing the decoder allocates can outlive the block.
constexpr int32_t OGG_GUARD_DECODER_BYTES = 2 << 20;

// True when the stream begins with a Vorbis identification header that this
// game can play (one or two channels), a comment header whose lengths all
// lie inside its packet, and a setup header whose codebooks are whole and
// within the bounds above.
bool ogg_guard_headers_ok(const uint8_t *bytes, int32_t length);

// Decodes a whole file, as the decoder's own whole-file call does, into
// interleaved 16-bit samples (released with free). Returns the frame count,
// or 0 with a null buffer when the headers fail the check, the stream does
// not decode, it is longer than OGG_GUARD_SOUND_SAMPLES or the budget has
// no room for it. A sound that succeeds holds its samples in the budget
// until ogg_guard_release.
int ogg_guard_decode(const uint8_t *bytes, int32_t length, int *channels, int *sample_rate, short **output);

// Gives samples back to the budget (never below empty).
void ogg_guard_release(int64_t samples);

// Samples the budget holds now.
int64_t ogg_guard_budget_used();
