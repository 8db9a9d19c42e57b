// Sounds from text: a small deterministic synthesizer (square, triangle,
// saw, sine and noise voices with envelopes and simple effects) that plays a
// score of instruments, patterns and notes, or a sound effect of a few voices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Rendered sound: interleaved 16-bit samples at 44000 frames per second.
struct Pcm {
    int channels = 1;
    int frames = 0;
    std::vector<int16_t> samples;
    bool looped = false;     // the end runs on into the start without a click
    float quality = 0.3f;    // Ogg Vorbis quality, -0.1 to 1
};

// Reads and renders a sound file (".snd"); false after errors.
bool synth_build(const std::string &path, Pcm *out);
