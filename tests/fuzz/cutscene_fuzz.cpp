// Any bytes as a cutscene description, played from its start to its end with
// jump held or not: no crash, hang, leak or undefined behaviour, and the end
// always releases the cutscene. There is no renderer and no archive here, so
// strips are missing and a started cutscene's own description is empty.
#include "common/controls.h"
#include "common/text.h"
#include "level/cutscene.h"
#include "resources/archive.h"

#include <physfs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    archive_init(nullptr);  // nothing mounted: every file is missing
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the cutscene (some have music), the second the dt
    // and how long jump is held; the rest is the description.
    static const int32_t numbers[] = {1, 2, 5, 7};
    const int32_t number = numbers[data[0] % 4];
    const float dt = 0.001f + static_cast<float>(data[1] % 99) / 1000.0f;
    const bool skipping = data[1] & 0x80;
    data += 2;
    size -= 2;

    // A terminated copy of exactly the input, so a read past it is reported.
    char *text = static_cast<char *>(std::malloc(size + 1));
    if (!text) return 0;
    std::memcpy(text, data, size);
    text[size] = '\0';

    controls = {};
    quit_requested = false;
    cutscene_start(number);
    char *lines[TEXT_MAX_LINES];
    const int count = text_split_lines(text, lines);
    if (count < 0 || count > TEXT_MAX_LINES) std::abort();
    for (int i = 0; i < count; ++i) cutscene_parse_line(lines[i]);
    std::free(text);

    // A level target needs the world and a renderer; it is left to the tests.
    if (cutscene_playback.has_target && cutscene_playback.target.kind == CUTSCENE_TARGET_LEVEL) {
        cutscene_playback.has_target = false;
    }
    const bool quits = cutscene_playback.has_target && cutscene_playback.target.kind == CUTSCENE_TARGET_QUIT;

    // The frames run out, or after 2000 game frames the skip is held. A
    // chained cutscene has no description, so no target of its own: it ends
    // within the same bounds.
    controls.jump = skipping;
    int steps = 0;
    while (cutscene_active) {
        if (++steps > 2000) controls.jump = true;
        if (steps > 2000 + 2 * 1100) std::abort();  // the skip must fire
        const int32_t index = cutscene_playback.frame_index;
        const bool chained = cutscene_number != number;
        cutscene_update(dt);
        // One frame per update, or a new start that has shown at most its
        // first advance (the skip ends, the chained cutscene advances).
        const int32_t now = cutscene_playback.frame_index;
        if (now != index + 1 && now != index && now > 1) std::abort();
        if (chained && cutscene_active && cutscene_playback.has_target) std::abort();
    }
    if (quit_requested != quits) std::abort();
    if (cutscene_playback.texture || cutscene_number != 0) std::abort();
    return 0;
}
