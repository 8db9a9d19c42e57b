#include "audio/mixer.h"

#include "audio/ogg_guard.h"

#include <SDL.h>
#include <emmintrin.h>

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void *aligned_alloc16(size_t size) {
    if (size > SIZE_MAX - 16) return nullptr;
    uint8_t *raw = static_cast<uint8_t *>(std::malloc(size + 16));
    if (!raw) return nullptr;
    // 1 to 16 bytes in, so the byte before the result always belongs to us.
    const uint8_t distance = static_cast<uint8_t>(16 - (reinterpret_cast<uintptr_t>(raw) & 15));
    uint8_t *aligned = raw + distance;
    aligned[-1] = distance;
    return aligned;
}

void aligned_free16(void *block) {
    if (!block) return;
    uint8_t *aligned = static_cast<uint8_t *>(block);
    std::free(aligned - aligned[-1]);
}

static void lock(MixerContext *context) {
    SDL_LockMutex(context->mutex);
}

static void unlock(MixerContext *context) {
    SDL_UnlockMutex(context->mutex);
}

MixerContext *mixer_create(int32_t pool_size) {
    if (SDL_Init(SDL_INIT_AUDIO) < 0) return nullptr;
    if (pool_size < 0) pool_size = 0;

    const size_t context_bytes = sizeof(MixerContext) + 16;
    const size_t total = context_bytes + 3 * static_cast<size_t>(MIXER_BUFFER_BYTES) +
                         static_cast<size_t>(pool_size) * sizeof(PlayingSound);
    uint8_t *block = static_cast<uint8_t *>(std::malloc(total));
    if (!block) return nullptr;

    MixerContext *context = new (block) MixerContext{};
    context->target_fill = MIXER_TARGET_FILL;
    context->read_index.store(0);
    context->write_index.store(0);
    context->frames_per_second = MIXER_FRAMES_PER_SECOND;
    context->bytes_per_frame = MIXER_BYTES_PER_FRAME;
    context->group_count = MIXER_GROUP_COUNT;
    context->ring_capacity = MIXER_RING_CAPACITY;
    context->playing = nullptr;
    // The mix buffers start at the first 16-byte boundary after the context.
    const uintptr_t context_end = reinterpret_cast<uintptr_t>(block) + sizeof(MixerContext);
    uint8_t *buffers = block + (((context_end + 15) & ~uintptr_t{15}) - reinterpret_cast<uintptr_t>(block));
    context->left = reinterpret_cast<float *>(buffers);
    context->right = reinterpret_cast<float *>(buffers + MIXER_BUFFER_BYTES);
    context->ring = buffers + 2 * MIXER_BUFFER_BYTES;
    context->thread_running.store(0);
    context->running.store(1);
    context->sleep_ms.store(0);

    context->pool = pool_size > 0 ? reinterpret_cast<PlayingSound *>(context->ring + MIXER_BUFFER_BYTES) : nullptr;
    context->free_list = context->pool;
    for (int32_t i = 0; i < pool_size; ++i) {
        context->pool[i] = PlayingSound{};
        context->pool[i].next = i + 1 < pool_size ? &context->pool[i + 1] : nullptr;
    }

    // The mutex comes before the device so that a failure leaves nothing open.
    context->mutex = SDL_CreateMutex();
    if (!context->mutex) {
        std::free(block);
        return nullptr;
    }
    SDL_AudioSpec desired = {};
    desired.freq = MIXER_FRAMES_PER_SECOND;
    desired.format = AUDIO_S16LSB;
    desired.channels = 2;
    desired.samples = MIXER_DEVICE_FRAMES;
    desired.callback = audio_device_callback;
    desired.userdata = context;
    // Without an obtained format SDL converts to exactly this one.
    if (SDL_OpenAudio(&desired, nullptr) < 0) {
        SDL_DestroyMutex(context->mutex);
        std::free(block);
        return nullptr;
    }
    SDL_PauseAudio(0);
    return context;
}

static int mixer_thread(void *argument) {
    MixerContext *context = static_cast<MixerContext *>(argument);
    while (context->running.load(std::memory_order_acquire)) {
        mixer_mix(context);
        const int32_t sleep_ms = context->sleep_ms.load(std::memory_order_relaxed);
        SDL_Delay(sleep_ms > 0 ? static_cast<Uint32>(sleep_ms) : 1);
    }
    context->thread_running.store(0, std::memory_order_release);
    return 0;
}

void mixer_spawn_thread(MixerContext *context) {
    if (!context || context->thread_running.load(std::memory_order_acquire)) return;
    context->thread_running.store(1, std::memory_order_release);
    context->thread = SDL_CreateThread(mixer_thread, "MixerThread", context);
    if (!context->thread) context->thread_running.store(0, std::memory_order_release);
}

void mixer_set_sleep(MixerContext *context, int32_t milliseconds) {
    if (context) context->sleep_ms.store(milliseconds, std::memory_order_relaxed);
}

PlayingSound *mixer_play(MixerContext *context, SoundTemplate sound_template) {
    if (!context) return nullptr;
    lock(context);
    PlayingSound *instance = context->free_list;
    if (!instance) {
        unlock(context);
        return nullptr;
    }
    context->free_list = instance->next;

    instance->active = 1;
    instance->looped = sound_template.looped;
    // Written so that a NaN volume or pan ends up as 0.
    instance->volume0 = sound_template.volume_left > 0.0f ? sound_template.volume_left : 0.0f;
    instance->volume1 = sound_template.volume_right > 0.0f ? sound_template.volume_right : 0.0f;
    const float pan = sound_template.pan;
    instance->pan1 = pan > 0.0f ? (pan < 1.0f ? pan : 1.0f) : 0.0f;
    instance->pan0 = 1.0f - instance->pan1;
    instance->sample_index = 0;
    instance->sound = sound_template.sound;

    instance->next = context->playing;
    context->playing = instance;
    if (instance->sound) instance->sound->playing_count += 1;
    unlock(context);
    return instance;
}

void mixer_stop_all(MixerContext *context) {
    if (!context) return;
    lock(context);
    for (PlayingSound *instance = context->playing; instance; instance = instance->next) instance->active = 0;
    unlock(context);
    mixer_mix(context);
}

// Sources stream from memory: each loop asks for the cache lines it will
// need a little ahead, so that loading overlaps the arithmetic. Prefetches
// are hints and never fault, so running past the end of a sound is harmless.
constexpr uintptr_t PREFETCH_AHEAD = 1024;

static inline void prefetch_ahead(const float *at) {
    _mm_prefetch(reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(at) + PREFETCH_AHEAD), _MM_HINT_T0);
}

static void mix_mono(float *left, float *right, const float *source, int32_t groups, float gain_left,
                     float gain_right) {
    const __m128 vector_left = _mm_set1_ps(gain_left);
    const __m128 vector_right = _mm_set1_ps(gain_right);
    for (int32_t i = 0; i < groups; ++i) {
        if ((i & 3) == 0) prefetch_ahead(source + 4 * i);
        const __m128 sample = _mm_load_ps(source + 4 * i);
        _mm_store_ps(left + 4 * i, _mm_add_ps(_mm_load_ps(left + 4 * i), _mm_mul_ps(sample, vector_left)));
        _mm_store_ps(right + 4 * i, _mm_add_ps(_mm_load_ps(right + 4 * i), _mm_mul_ps(sample, vector_right)));
    }
}

static void mix_stereo(float *left, float *right, const float *source_left, const float *source_right,
                       int32_t groups, float gain_left, float gain_right) {
    const __m128 vector_left = _mm_set1_ps(gain_left);
    const __m128 vector_right = _mm_set1_ps(gain_right);
    for (int32_t i = 0; i < groups; ++i) {
        if ((i & 3) == 0) {
            prefetch_ahead(source_left + 4 * i);
            prefetch_ahead(source_right + 4 * i);
        }
        const __m128 sample_left = _mm_load_ps(source_left + 4 * i);
        const __m128 sample_right = _mm_load_ps(source_right + 4 * i);
        _mm_store_ps(left + 4 * i, _mm_add_ps(_mm_load_ps(left + 4 * i), _mm_mul_ps(sample_left, vector_left)));
        _mm_store_ps(right + 4 * i,
                     _mm_add_ps(_mm_load_ps(right + 4 * i), _mm_mul_ps(sample_right, vector_right)));
    }
}

// Rounds (ties to even) and saturates four frames at a time, writing the
// interleaved 16-bit frames over the start of the left buffer: group i of
// the output covers exactly the 16 bytes of left group i just read.
static void convert_to_s16(float *left, const float *right, int32_t groups) {
    // Clamping first keeps sums beyond the 32-bit range from converting to
    // the integer "indefinite" value, which would flip their sign.
    const __m128 highest = _mm_set1_ps(32767.0f);
    const __m128 lowest = _mm_set1_ps(-32768.0f);
    for (int32_t i = 0; i < groups; ++i) {
        const __m128 l = _mm_max_ps(_mm_min_ps(_mm_load_ps(left + 4 * i), highest), lowest);
        const __m128 r = _mm_max_ps(_mm_min_ps(_mm_load_ps(right + 4 * i), highest), lowest);
        const __m128i li = _mm_cvtps_epi32(l);
        const __m128i ri = _mm_cvtps_epi32(r);
        const __m128i frames01 = _mm_unpacklo_epi32(li, ri);
        const __m128i frames23 = _mm_unpackhi_epi32(li, ri);
        _mm_store_si128(reinterpret_cast<__m128i *>(left + 4 * i), _mm_packs_epi32(frames01, frames23));
    }
}

// Producer side of the ring; the caller never pushes more than the free
// space and holds the lock.
static void ring_push(MixerContext *context, const uint8_t *data, int32_t frames) {
    const int32_t capacity = context->ring_capacity;
    int32_t write = context->write_index.load(std::memory_order_relaxed);
    const size_t frame_bytes = static_cast<size_t>(context->bytes_per_frame);
    if (write + frames > capacity) {
        const int32_t to_end = capacity - write;
        std::memcpy(context->ring + write * frame_bytes, data, to_end * frame_bytes);
        std::memcpy(context->ring, data + to_end * frame_bytes, (frames - to_end) * frame_bytes);
        write = frames - to_end;
    } else {
        std::memcpy(context->ring + write * frame_bytes, data, frames * frame_bytes);
        write += frames;
        if (write == capacity) write = 0;
    }
    context->write_index.store(write, std::memory_order_release);
}

static void release_instance(MixerContext *context, PlayingSound *instance) {
    instance->sample_index = 0;
    instance->active = 0;
    if (instance->sound && instance->sound->playing_count > 0) instance->sound->playing_count -= 1;
    instance->next = context->free_list;
    context->free_list = instance;
}

static bool has_ended(const PlayingSound *instance, bool running) {
    const LoadedSound *sound = instance->sound;
    return !instance->active || !running || !sound || sound->sample_count <= 0 || !sound->channel0;
}

// Frames of the instance that this pass mixes.
static int32_t frames_in_pass(const PlayingSound *instance, int32_t frames) {
    const int32_t left_to_play = instance->sound->sample_count - instance->sample_index;
    return left_to_play < frames ? (left_to_play > 0 ? left_to_play : 0) : frames;
}

// Voices are mixed in chunks of this many groups, all voices per chunk: the
// sources stream side by side and the chunk of the mix buffers stays in the
// first-level cache. The sum per frame is formed in the same order.
constexpr int32_t MIX_CHUNK_GROUPS = 64;

void mixer_mix(MixerContext *context) {
    lock(context);
    const int32_t capacity = context->ring_capacity;
    const int32_t read = context->read_index.load(std::memory_order_acquire);
    const int32_t write = context->write_index.load(std::memory_order_relaxed);
    int32_t buffered = write - read;
    if (buffered < 0) buffered += capacity;
    const int32_t needed = context->target_fill - buffered;
    const int32_t free_frames = capacity - buffered;
    int32_t frames = needed < free_frames ? needed : free_frames;
    // Every pass handles whole groups of 4 frames.
    frames = frames > 0 ? frames & ~3 : 0;
    const int32_t groups = frames / 4;
    const bool running = context->running.load(std::memory_order_relaxed) != 0;

    // Stopped and soundless instances return to the pool first, also when
    // there is nothing to mix, so that a stop frees its records at once.
    for (PlayingSound **link = &context->playing; PlayingSound *instance = *link;) {
        if (has_ended(instance, running)) {
            *link = instance->next;
            release_instance(context, instance);
        } else {
            link = &instance->next;
        }
    }
    if (frames == 0) {
        unlock(context);
        return;
    }

    std::memset(context->left, 0, static_cast<size_t>(frames) * sizeof(float));
    std::memset(context->right, 0, static_cast<size_t>(frames) * sizeof(float));
    for (int32_t chunk = 0; chunk < groups; chunk += MIX_CHUNK_GROUPS) {
        for (PlayingSound *instance = context->playing; instance; instance = instance->next) {
            const int32_t count_groups = (frames_in_pass(instance, frames) + 3) / 4;
            const int32_t chunk_end = count_groups < chunk + MIX_CHUNK_GROUPS ? count_groups : chunk + MIX_CHUNK_GROUPS;
            if (chunk_end <= chunk) continue;
            const LoadedSound *sound = instance->sound;
            const float gain_left = instance->volume0 * instance->pan0;
            const float gain_right = instance->volume1 * instance->pan1;
            const int32_t source_offset = instance->sample_index + 4 * chunk;
            float *left = context->left + 4 * chunk;
            float *right = context->right + 4 * chunk;
            if (sound->channel_count == 2 && sound->channel1) {
                mix_stereo(left, right, sound->channel0 + source_offset, sound->channel1 + source_offset,
                           chunk_end - chunk, gain_left, gain_right);
            } else {
                mix_mono(left, right, sound->channel0 + source_offset, chunk_end - chunk, gain_left, gain_right);
            }
        }
    }

    // A sound that reached its end either loops, continuing from its first
    // frame in the next pass, or leaves.
    for (PlayingSound **link = &context->playing; PlayingSound *instance = *link;) {
        instance->sample_index += frames_in_pass(instance, frames);
        bool remove = false;
        if (instance->sample_index >= instance->sound->sample_count) {
            if (instance->looped) {
                instance->sample_index = 0;
            } else {
                remove = true;
            }
        }
        if (remove) {
            *link = instance->next;
            release_instance(context, instance);
        } else {
            link = &instance->next;
        }
    }

    convert_to_s16(context->left, context->right, groups);
    ring_push(context, reinterpret_cast<const uint8_t *>(context->left), frames);
    unlock(context);
}

void audio_device_callback(void *user_data, uint8_t *stream, int byte_count) {
    MixerContext *context = static_cast<MixerContext *>(user_data);
    if (byte_count <= 0) return;
    const int32_t capacity = context->ring_capacity;
    const int32_t frame_bytes = context->bytes_per_frame;
    int32_t read = context->read_index.load(std::memory_order_relaxed);
    const int32_t write = context->write_index.load(std::memory_order_acquire);
    int32_t buffered = write - read;
    if (buffered < 0) buffered += capacity;

    int32_t frames = byte_count / frame_bytes;
    if (frames > buffered) frames = buffered;
    const int32_t to_end = capacity - read;
    if (frames > to_end) {
        std::memcpy(stream, context->ring + read * frame_bytes, static_cast<size_t>(to_end) * frame_bytes);
        std::memcpy(stream + to_end * frame_bytes, context->ring,
                    static_cast<size_t>(frames - to_end) * frame_bytes);
        read = frames - to_end;
    } else {
        std::memcpy(stream, context->ring + read * frame_bytes, static_cast<size_t>(frames) * frame_bytes);
        read += frames;
        if (read == capacity) read = 0;
    }
    context->read_index.store(read, std::memory_order_release);

    // An underrun is heard as a short silence.
    const int copied = frames * frame_bytes;
    if (copied < byte_count) std::memset(stream + copied, 0, static_cast<size_t>(byte_count - copied));
}

void mixer_shutdown(MixerContext *context) {
    if (!context) return;
    if (context->thread_running.load(std::memory_order_acquire)) {
        lock(context);
        context->running.store(0, std::memory_order_release);
        unlock(context);
        while (context->thread_running.load(std::memory_order_acquire)) SDL_Delay(1);
    }
    // The thread has finished its last pass; reaping it frees its record.
    if (context->thread) SDL_WaitThread(context->thread, nullptr);
    SDL_DestroyMutex(context->mutex);
    SDL_CloseAudio();
    context->~MixerContext();
    std::free(context);
}

// 16-bit samples to floats, four frames at a time into aligned groups.
static void convert_mono(const short *samples, size_t count, float *out) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(samples + i));
        _mm_store_ps(out + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(four, four), 16)));
    }
    for (; i < count; ++i) out[i] = samples[i];
}

static void convert_stereo(const short *samples, size_t count, float *left, float *right) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        // Each 32-bit lane holds one frame: left in the low half, right in the high half.
        const __m128i frames = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 2 * i));
        _mm_store_ps(left + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(frames, 16), 16)));
        _mm_store_ps(right + i, _mm_cvtepi32_ps(_mm_srai_epi32(frames, 16)));
    }
    for (; i < count; ++i) {
        left[i] = samples[2 * i];
        right[i] = samples[2 * i + 1];
    }
}

// A sound's block is written once, right after it is allocated. Large
// blocks come fresh from the kernel, one page fault per 4 KiB page, and in
// a virtual machine each fault costs microseconds: asking for huge pages
// and for the whole range up front turns thousands of faults into a few.
static void prepare_fresh_block(void *block, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr size_t LARGE = size_t{1} << 20;
    if (bytes < LARGE) return;
    const uintptr_t page = 4096;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (end <= start) return;
    void *range = reinterpret_cast<void *>(start);
    madvise(range, end - start, MADV_HUGEPAGE);
    madvise(range, end - start, MADV_POPULATE_WRITE);  // a failure only leaves the faults to come
#else
    (void)block;
    (void)bytes;
#endif
}

void sound_load_ogg_memory(const uint8_t *bytes, int32_t length, LoadedSound *sound) {
    *sound = LoadedSound{};
    if (!bytes || length <= 0) return;
    int channels = 0;
    int sample_rate = 0;
    short *interleaved = nullptr;
    // The decoder's whole-file decode, with the archive's streams checked
    // and their length bounded.
    const int frames = ogg_guard_decode(bytes, length, &channels, &sample_rate, &interleaved);
    if (frames <= 0 || (channels != 1 && channels != 2)) {
        std::free(interleaved);
        return;
    }
    const size_t group_floats = (static_cast<size_t>(frames) + 3) / 4 * 4;
    float *block = static_cast<float *>(aligned_alloc16(group_floats * sizeof(float) * static_cast<size_t>(channels)));
    if (!block) {
        ogg_guard_release(int64_t{frames} * channels);
        std::free(interleaved);
        return;
    }
    prepare_fresh_block(block, group_floats * sizeof(float) * static_cast<size_t>(channels));
    const size_t count = static_cast<size_t>(frames);
    if (channels == 1) {
        convert_mono(interleaved, count, block);
    } else {
        convert_stereo(interleaved, count, block, block + group_floats);
        for (size_t i = count; i < group_floats; ++i) block[group_floats + i] = 0.0f;
    }
    for (size_t i = count; i < group_floats; ++i) block[i] = 0.0f;
    std::free(interleaved);

    sound->sample_rate = sample_rate;
    sound->sample_count = frames;
    sound->channel_count = channels;
    sound->playing_count = 0;
    sound->channel0 = block;
    sound->channel1 = channels == 2 ? block + group_floats : nullptr;
}

void sound_free(LoadedSound *sound) {
    if (sound->channel0) ogg_guard_release(int64_t{sound->sample_count} * sound->channel_count);
    aligned_free16(sound->channel0);
    *sound = LoadedSound{};
}
