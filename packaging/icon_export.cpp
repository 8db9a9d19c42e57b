// numbral-icon ART CONTENT_FOLDER OUT_FOLDER SIZE...: draws the menu icon
// from its pixel-art source with the data builder (palettes come from
// CONTENT_FOLDER/palettes) and writes OUT_FOLDER/SIZE/numbral.png for each
// size, enlarged nearest-neighbour so that every pixel stays sharp.
#include "art.h"
#include "dataio/dataio.h"
#include "source.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// The picture at size x size: each output pixel takes the source pixel it
// falls on.
static std::vector<uint8_t> enlarge(const Image &image, int size) {
    std::vector<uint8_t> out(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * image.width / size);
            const int sy = static_cast<int>(static_cast<int64_t>(y) * image.height / size);
            const uint8_t *from = &image.pixels[(static_cast<size_t>(sy) * image.width + sx) * 4];
            std::copy(from, from + 4, &out[(static_cast<size_t>(y) * size + x) * 4]);
        }
    }
    return out;
}

int main(int argc, char **argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: numbral-icon ART CONTENT_FOLDER OUT_FOLDER SIZE...\n");
        return 2;
    }
    diag_reset();
    ArtContext context;
    context.content_dir = argv[2];
    Art art;
    const bool built = art_build(argv[1], "icon", context, &art);
    for (const std::string &message : diagnostics.messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (!built) return 1;
    if (art.image.width != art.image.height) {
        std::fprintf(stderr, "%s: an icon is square, not %d x %d\n", argv[1], art.image.width, art.image.height);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        // Whole multiples only: any other size would draw some pixels wider
        // than others.
        if (size < art.image.width || size > 1024 || size % art.image.width != 0) {
            std::fprintf(stderr, "numbral-icon: %s is not a whole multiple of %d up to 1024\n", argv[i], art.image.width);
            return 2;
        }
        const std::vector<uint8_t> pixels = enlarge(art.image, size);
        const std::vector<uint8_t> png = dataio_encode_png(pixels.data(), size, size);
        const fs::path folder = fs::path(argv[3]) / std::to_string(size);
        std::error_code error;
        fs::create_directories(folder, error);
        std::ofstream out(folder / "numbral.png", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(png.data()), static_cast<std::streamsize>(png.size()));
        if (!out) {
            std::fprintf(stderr, "numbral-icon: cannot write %s\n", (folder / "numbral.png").c_str());
            return 1;
        }
    }
    return 0;
}
