// The software mixer: decoded sounds, playing instances, the mixing thread
// and the ring buffer that the audio device drains.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct SDL_Thread;
struct SDL_mutex;

constexpr int32_t MIXER_FRAMES_PER_SECOND = 44000;
constexpr int32_t MIXER_BYTES_PER_FRAME = 4;        // 16-bit left, right
constexpr int32_t MIXER_DEVICE_FRAMES = 1024;       // the device's buffer
constexpr int32_t MIXER_TARGET_FILL = 4096;         // frames kept ahead of the device
constexpr int32_t MIXER_RING_CAPACITY = 8192;       // frames
constexpr int32_t MIXER_GROUP_COUNT = 2048;         // groups of 4 floats per mix buffer
constexpr int32_t MIXER_BUFFER_BYTES = MIXER_GROUP_COUNT * 4 * 4;  // = ring bytes too

// One decoded sound: planar floats holding the 16-bit sample values, in
// 16-byte aligned groups of 4 frames; the slots after the last frame are 0.
struct LoadedSound {
    int32_t sample_rate;    // as the file declares it; playback is always 44000
    int32_t sample_count;   // frames per channel
    int32_t channel_count;  // 1 or 2
    int32_t playing_count;  // instances referring to it (under the mixer lock)
    float *channel0;
    float *channel1;        // null for mono; lives in channel0's block
};

// The parameters of a start; taken by value.
struct SoundTemplate {
    int32_t looped;
    float volume_left;
    float volume_right;
    float pan;              // 0 left only, 0.5 centre, 1 right only
    LoadedSound *sound;
};

struct PlayingSound {
    int32_t active;         // cleared to make the next pass remove it
    int32_t looped;
    float volume0;          // left
    float volume1;          // right
    float pan0;             // left weight, 1 - pan1
    float pan1;             // right weight
    int32_t sample_index;   // next frame to mix, a multiple of 4
    LoadedSound *sound;
    PlayingSound *next;     // playing list or free list
};

struct MixerContext {
    int32_t target_fill;
    std::atomic<int32_t> read_index;   // moved only by the device callback
    std::atomic<int32_t> write_index;  // moved only by a mixing pass
    int32_t frames_per_second;
    int32_t bytes_per_frame;
    int32_t group_count;
    int32_t ring_capacity;
    PlayingSound *playing;             // newest first
    float *left;
    float *right;
    uint8_t *ring;
    PlayingSound *pool;
    PlayingSound *free_list;
    SDL_Thread *thread;
    SDL_mutex *mutex;                  // guards both lists, every PlayingSound and the playing counts
    std::atomic<int32_t> thread_running;
    std::atomic<int32_t> running;
    std::atomic<int32_t> sleep_ms;
};

// Opens the audio device (44000 frames/s, 16-bit stereo) and makes the one
// block holding the context, the mix buffers, the ring and the pool. Null
// when SDL audio, the memory, the mutex or the device is unavailable.
MixerContext *mixer_create(int32_t pool_size);

// Starts "MixerThread"; does nothing while it already runs.
void mixer_spawn_thread(MixerContext *context);
void mixer_set_sleep(MixerContext *context, int32_t milliseconds);

// A new instance from the free list, or null when the pool is exhausted.
PlayingSound *mixer_play(MixerContext *context, SoundTemplate sound_template);

// Stops every instance and returns them all to the pool at once; audio
// already in the ring still plays out.
void mixer_stop_all(MixerContext *context);

// One pass: tops the ring up to the target fill with the sum of every
// playing instance. Instances that were stopped go back to the pool even
// when the ring is already full.
void mixer_mix(MixerContext *context);

// Stops the thread, closes the device and frees the block. Loaded sounds
// stay with their owner.
void mixer_shutdown(MixerContext *context);

// The device callback: copies buffered frames out of the ring and fills the
// rest of the stream with silence. Takes no lock.
void audio_device_callback(void *context, uint8_t *stream, int byte_count);

// Decodes a whole Ogg Vorbis file into the record; all zero on failure.
void sound_load_ogg_memory(const uint8_t *bytes, int32_t length, LoadedSound *sound);

// Releases the samples and clears the record.
void sound_free(LoadedSound *sound);

// malloc'd memory whose address is a multiple of 16; released only with
// aligned_free16. Null on failure.
void *aligned_alloc16(size_t size);
void aligned_free16(void *block);
