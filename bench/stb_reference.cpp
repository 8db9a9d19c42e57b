// stb_image as a reference PNG decoder, compiled here with the project's own
// flags. Its functions stay private to this file; the benchmark reaches them
// through the two below.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include <cstdint>

uint8_t *stb_reference_decode(const uint8_t *file, int size) {
    int width = 0, height = 0, channels = 0;
    return stbi_load_from_memory(file, size, &width, &height, &channels, 4);
}

void stb_reference_free(uint8_t *pixels) {
    stbi_image_free(pixels);
}
