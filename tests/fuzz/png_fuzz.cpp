// Any bytes given to the PNG decoder: no crash, hang, leak or read outside
// them. A decoded image must hold exactly its pixel block.
#include "resources/png.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > INT32_MAX) return 0;
    // A copy of exactly the input's size, so a read past it is reported.
    uint8_t *copy = static_cast<uint8_t *>(std::malloc(size ? size : 1));
    if (!copy) return 0;
    if (size) std::memcpy(copy, data, size);
    const PngImage image = png_load_from_memory(copy, static_cast<int32_t>(size));
    std::free(copy);
    if (image.pixels) {
        if (image.width < 0 || image.height < 1) std::abort();
        // Touch every pixel; the sanitizer checks the block's extent.
        const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        volatile uint32_t sum = 0;
        for (size_t i = 0; i < count; ++i) sum = sum + image.pixels[i].a;
        std::free(image.pixels);
    }
    return 0;
}
