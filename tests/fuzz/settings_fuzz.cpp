// Any bytes as the settings file: no crash or read outside them, and what
// the file holds after a save reads back as the same settings, so that a
// save and a load in turn never drift.
#include "common/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A terminated copy of exactly the input, as the loader reads it.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    settings_apply_defaults();
    settings_parse(text.data());

    char saved[512];
    const int length = settings_format(saved, sizeof saved);
    if (length <= 0 || length >= static_cast<int>(sizeof saved)) std::abort();
    const Settings first = settings;

    char again[512];
    std::memcpy(again, saved, sizeof saved);
    settings_apply_defaults();
    settings_parse(again);
    char resaved[512];
    settings_format(resaved, sizeof resaved);
    if (std::strcmp(saved, resaved) != 0) std::abort();
    // Whole numbers and flags come back exactly; the volume as printed.
    if (settings.fullscreen != first.fullscreen || settings.buttstomp != first.buttstomp ||
        settings.savelevel != first.savelevel || settings.savecheckpoint != first.savecheckpoint) {
        std::abort();
    }
    return 0;
}
