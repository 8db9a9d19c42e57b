// Any bytes as a sound file in the archive, through the sound loader: the
// archive read, the stream checks and the bounded decode. The decoder is
// compiled into this target from its header (the build links the same
// version as a library, which sanitizers and coverage cannot see into), so
// its own faults are found too. A sound that loads has one or two channels
// and at most the samples one sound may hold, and gives them all back to
// the budget when freed. The decoder works inside a block of its own, so
// nothing it allocates can leak (sound_seeds/decoder-fault-setup-leak.ogg
// leaked when it allocated on the heap).
#include "audio/audio.h"
#include "audio/mixer.h"
#include "audio/ogg_guard.h"
#include "resources/archive.h"

#include "fuzz_zip.h"

#include <physfs.h>
#include <stb_vorbis.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    archive_init(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1u << 20) return 0;
    const std::vector<uint8_t> zip = fuzz_stored_zip({{"snd/fuzz.ogg", data, size}});
    if (!fuzz_mount(zip.data(), zip.size(), "sound.zip")) std::abort();
    LoadedSound sound = {};
    audio_LoadSound(&sound, "snd/fuzz.ogg");
    if (sound.channel0) {
        const int64_t samples = int64_t{sound.sample_count} * sound.channel_count;
        if (sound.sample_count <= 0 || samples > OGG_GUARD_SOUND_SAMPLES) std::abort();
        if ((sound.channel_count == 2) != (sound.channel1 != nullptr) || sound.channel_count > 2) std::abort();
        if (ogg_guard_budget_used() != samples) std::abort();
        // The last group of each channel lies inside its block.
        volatile float sum = sound.channel0[(sound.sample_count + 3) / 4 * 4 - 1];
        if (sound.channel1) sum = sum + sound.channel1[(sound.sample_count + 3) / 4 * 4 - 1];
    }
    sound_free(&sound);
    if (ogg_guard_budget_used() != 0) std::abort();
    if (!PHYSFS_unmount("sound.zip")) std::abort();
    return 0;
}
