#include "render/font.h"

#include "common/numeric.h"
#include "common/screen.h"
#include "render/layouts.h"
#include "resources/texture.h"

struct Glyph {
    uint16_t width;
    uint16_t height;
    uint16_t left_x;
    uint16_t right_x;
    uint16_t top_y;
    uint16_t bottom_y;
};

static Glyph glyphs[FONT_GLYPHS];
static SDL_Texture *font_texture = nullptr;
// 32 once the font is loaded, 0 before: the mark that it is loaded.
static int first_code = 0;

int font_load() {
    int left_x = 0;
    for (int i = 0; i < FONT_GLYPHS; ++i) {
        const int width = font_width(FONT_FIRST_CODE + i);
        glyphs[i] = {static_cast<uint16_t>(width), FONT_HEIGHT, static_cast<uint16_t>(left_x),
                     static_cast<uint16_t>(left_x + width), 0, FONT_HEIGHT};
        left_x += width + 1;
    }
    font_texture = quob_load_png_as_SDLtexture("img/tinyfont.png");
    if (font_texture) SDL_SetTextureBlendMode(font_texture, SDL_BLENDMODE_BLEND);
    first_code = FONT_FIRST_CODE;
    return 1;
}

void font_unload() {
    if (font_texture) SDL_DestroyTexture(font_texture);
    font_texture = nullptr;
    first_code = 0;
}

static const Glyph *glyph_of(unsigned char code) {
    if (code < FONT_FIRST_CODE || code >= FONT_FIRST_CODE + FONT_GLYPHS) return nullptr;
    return &glyphs[code - first_code];
}

void font_draw_text(const char *text, int x, int y, bool centred, uint8_t alpha) {
    if (first_code == 0) font_load();
    if (!text || !font_texture) return;
    int offset = 0;
    if (centred) {
        int advance = 0;
        for (const char *c = text; *c; ++c) {
            if (const Glyph *glyph = glyph_of(static_cast<unsigned char>(*c))) advance += glyph->width - 1;
        }
        offset = num_truncate(advance * 0.5);
    }
    SDL_SetTextureAlphaMod(font_texture, alpha);
    int pen = x;
    for (const char *c = text; *c; ++c) {
        const Glyph *glyph = glyph_of(static_cast<unsigned char>(*c));
        if (!glyph) continue;
        const SDL_Rect source = {glyph->left_x, 0, glyph->width, FONT_HEIGHT};
        const SDL_Rect destination = {pen - offset, y, glyph->width, FONT_HEIGHT};
        SDL_RenderCopy(renderer, font_texture, &source, &destination);
        pen += glyph->width - 1;
    }
    SDL_SetTextureAlphaMod(font_texture, 255);
}
