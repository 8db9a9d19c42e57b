#include "art.h"

#include "common/numeric.h"
#include "layouts.h"
#include "source.h"

#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

static constexpr int MAX_SIDE = 4096;  // larger pictures are surely mistakes

Image image_make(int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    return image;
}

Rgba image_get(const Image &image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return {};
    const uint8_t *p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void image_set(Image *image, int x, int y, Rgba colour) {
    if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
    uint8_t *p = &image->pixels[(static_cast<size_t>(y) * image->width + x) * 4];
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
    p[3] = colour.a;
}

void image_copy(Image *dst, const Image &src, int x, int y) {
    for (int sy = 0; sy < src.height; ++sy) {
        for (int sx = 0; sx < src.width; ++sx) image_set(dst, x + sx, y + sy, image_get(src, sx, sy));
    }
}

// Source over destination, in whole numbers so every build gives the same
// bytes.
static Rgba blend_over(Rgba src, Rgba dst) {
    if (src.a == 255 || dst.a == 0) return src;
    if (src.a == 0) return dst;
    const int dst_weight = dst.a * (255 - src.a);  // scaled by 255
    const int alpha_255 = src.a * 255 + dst_weight;
    auto mix = [&](int s, int d) { return static_cast<uint8_t>((s * src.a * 255 + d * dst_weight + alpha_255 / 2) / alpha_255); };
    return {mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b), static_cast<uint8_t>((alpha_255 + 127) / 255)};
}

void image_draw(Image *dst, const Image &src, int x, int y, int cx, int cy, int cw, int ch) {
    for (int sy = 0; sy < src.height; ++sy) {
        for (int sx = 0; sx < src.width; ++sx) {
            const int dx = x + sx, dy = y + sy;
            if (dx < cx || dy < cy || dx >= cx + cw || dy >= cy + ch) continue;
            const Rgba s = image_get(src, sx, sy);
            if (s.a == 0) continue;
            image_set(dst, dx, dy, blend_over(s, image_get(*dst, dx, dy)));
        }
    }
}

void image_grow(Image *image, int width, int height) {
    if (width <= image->width && height <= image->height) return;
    Image grown = image_make(std::max(width, image->width), std::max(height, image->height));
    image_copy(&grown, *image, 0, 0);
    *image = std::move(grown);
}

bool art_load_png(const std::string &path, Image *out) {
    int width = 0, height = 0, channels = 0;
    stbi_uc *pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!pixels) {
        diag_error(path, 0, std::string("is not a PNG picture this builder can read (") + stbi_failure_reason() + ")");
        return false;
    }
    if (width > MAX_SIDE || height > MAX_SIDE) {
        stbi_image_free(pixels);
        diag_error(path, 0, "is larger than " + std::to_string(MAX_SIDE) + " pixels on a side");
        return false;
    }
    *out = image_make(width, height);
    std::memcpy(out->pixels.data(), pixels, out->pixels.size());
    stbi_image_free(pixels);
    return true;
}

void art_draw_text(Image *dst, const Image &font, const std::string &text, int x, int y, bool centred, int cx,
                   int cy, int cw, int ch) {
    int offset = 0;
    if (centred) {
        int advance = 0;
        for (unsigned char c : text) {
            if (font_width(c) > 0 || c == 127) advance += font_width(c) - 1;
        }
        offset = num_truncate(advance * 0.5);
    }
    int pen = x;
    for (unsigned char c : text) {
        if (c < FONT_FIRST_CODE || c >= FONT_FIRST_CODE + FONT_GLYPHS) continue;
        const int width = font_width(c);
        Image glyph = image_make(width, FONT_HEIGHT);
        for (int gy = 0; gy < FONT_HEIGHT; ++gy) {
            for (int gx = 0; gx < width; ++gx) image_set(&glyph, gx, gy, image_get(font, font_left_x(c) + gx, gy));
        }
        image_draw(dst, glyph, pen - offset, y, cx, cy, cw, ch);
        pen += width - 1;
    }
}

namespace {

enum class ArtKind { sheet, font, cutscene, free, library };

struct FrameRect {
    int x, y, w, h;
};

// The parser's state while it reads one file.
struct ArtReader {
    std::string path;
    const ArtContext *context = nullptr;
    Art *out = nullptr;
    const std::vector<SourceLine> *lines = nullptr;
    size_t index = 0;  // the line being read

    Rgba palette[128];
    bool defined[128] = {};
    bool outline = false;
    Rgba outline_colour;

    ArtKind kind = ArtKind::free;
    const SheetLayout *layout = nullptr;
    const SheetSlot *sprite = nullptr;
    int next_frame = 0;
    int frame_w = 0, frame_h = 0, per_row = 0;  // "framesize" of a free picture
    bool sized = false;

    int line_number() const { return (*lines)[index].number; }
    void error(const std::string &text) const { diag_error(path, line_number(), text); }
};

}  // namespace

static bool parse_colour(const std::string &word, Rgba *out) {
    if (word == "transparent" || word == "none") {
        *out = {};
        return true;
    }
    std::string hex = word[0] == '#' ? word.substr(1) : word;
    if (hex.size() != 6 && hex.size() != 8) return false;
    uint8_t bytes[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            const char c = hex[j];
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else return false;
            value = value * 16 + digit;
        }
        bytes[i / 2] = static_cast<uint8_t>(value);
    }
    *out = {bytes[0], bytes[1], bytes[2], bytes[3]};
    return true;
}

static bool palette_char_ok(const std::string &word) {
    return word.size() == 1 && word[0] > ' ' && word[0] < 127;
}

static bool define_colour(ArtReader *r, const std::vector<std::string> &words) {
    Rgba colour;
    if (words.size() != 3 || !palette_char_ok(words[1]) || !parse_colour(words[2], &colour)) {
        r->error("write a colour as: colour C RRGGBB (or RRGGBBAA, or transparent), with C one character");
        return false;
    }
    const int c = words[1][0];
    r->palette[c] = colour;
    r->defined[c] = true;
    return true;
}

static bool read_palette_file(ArtReader *r, const std::string &name) {
    const std::string file = r->context->content_dir + "/palettes/" + name + ".pal";
    SourceFile source;
    if (!source_read(file, &source)) return false;
    bool ok = true;
    for (const SourceLine &line : source.lines) {
        const std::string text = source_trim(line.text);
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> words = source_words(text);
        Rgba colour;
        if (words.size() != 3 || (words[0] != "colour" && words[0] != "color") || !palette_char_ok(words[1]) ||
            !parse_colour(words[2], &colour)) {
            diag_error(file, line.number, "write a colour as: colour C RRGGBB (or RRGGBBAA, or transparent)");
            ok = false;
            continue;
        }
        r->palette[static_cast<int>(words[1][0])] = colour;
        r->defined[static_cast<int>(words[1][0])] = true;
    }
    return ok;
}

// The rows that follow the header line: up to an empty line, a line with a
// blank in it (a directive with values), a lone "frame" or the end of the
// file.
static std::vector<const SourceLine *> grid_rows(ArtReader *r) {
    std::vector<const SourceLine *> rows;
    while (r->index + 1 < r->lines->size()) {
        const SourceLine &next = (*r->lines)[r->index + 1];
        if (next.blank_before || next.text.find_first_of(" \t") != std::string::npos || next.text == "frame") break;
        rows.push_back(&next);
        ++r->index;
    }
    return rows;
}

static void apply_outline(ArtReader *r, Image *image) {
    if (!r->outline) return;
    const Image body = *image;
    for (int y = 0; y < body.height; ++y) {
        for (int x = 0; x < body.width; ++x) {
            if (image_get(body, x, y).a != 0) continue;
            bool touches = false;
            for (int dy = -1; dy <= 1 && !touches; ++dy) {
                for (int dx = -1; dx <= 1 && !touches; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    touches = nx >= 0 && ny >= 0 && nx < body.width && ny < body.height && image_get(body, nx, ny).a != 0;
                }
            }
            if (touches) image_set(image, x, y, r->outline_colour);
        }
    }
}

// Reads the grid after the current line into a picture; false after errors.
static bool read_grid(ArtReader *r, Image *out, const std::vector<const SourceLine *> &rows) {
    const int header = r->line_number();
    if (rows.empty()) {
        diag_error(r->path, header, "a grid of pixels must follow this line");
        return false;
    }
    const size_t width = rows[0]->text.size();
    bool ok = true;
    for (const SourceLine *row : rows) {
        if (row->text.size() != width) {
            diag_error(r->path, row->number,
                       "this row is " + std::to_string(row->text.size()) + " pixels wide, the first row " +
                           std::to_string(width));
            ok = false;
        }
    }
    if (!ok) return false;
    if (static_cast<int>(width) > MAX_SIDE || static_cast<int>(rows.size()) > MAX_SIDE) {
        diag_error(r->path, header, "the grid is too large");
        return false;
    }
    *out = image_make(static_cast<int>(width), static_cast<int>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y) {
        const std::string &text = rows[y]->text;
        for (size_t x = 0; x < text.size(); ++x) {
            const unsigned char c = static_cast<unsigned char>(text[x]);
            if (c >= 128 || !r->defined[c]) {
                diag_error(r->path, rows[y]->number,
                           std::string("'") + static_cast<char>(c) + "' is not in the palette (column " +
                               std::to_string(x + 1) + ")");
                return false;
            }
            image_set(out, static_cast<int>(x), static_cast<int>(y), r->palette[c]);
        }
    }
    apply_outline(r, out);
    return true;
}

static bool read_grid(ArtReader *r, Image *out) {
    const std::vector<const SourceLine *> rows = grid_rows(r);
    return read_grid(r, out, rows);
}

static bool read_int(ArtReader *r, const std::string &word, const char *what, int32_t *value) {
    if (!source_int(word, value)) {
        r->error(std::string(what) + " must be a whole number, not " + quoted(word));
        return false;
    }
    return true;
}

// "N", "A..B" or a comma list of both ("0,3,5..7"); ranges include both
// ends.
static bool read_frames(ArtReader *r, const std::string &word, std::vector<int> *frames) {
    frames->clear();
    const std::string list = word + ",";
    for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
        const std::string item = list.substr(start, comma - start);
        const size_t dots = item.find("..");
        int32_t a = 0, b = 0;
        if (dots == std::string::npos) {
            if (!read_int(r, item, "a frame number", &a)) return false;
            b = a;
        } else if (!read_int(r, item.substr(0, dots), "a frame number", &a) ||
                   !read_int(r, item.substr(dots + 2), "a frame number", &b)) {
            return false;
        }
        if (a < 0 || b < a || b - a > 4096) {
            r->error("a frame range runs from a first frame of 0 or more to a last frame no smaller: " + quoted(item));
            return false;
        }
        for (int i = a; i <= b; ++i) frames->push_back(i);
    }
    return true;
}

// Where frame i lies in the current picture, or false with an error.
static bool frame_rect(ArtReader *r, int i, FrameRect *rect) {
    if (r->sprite) {
        if (i >= r->sprite->frames) {
            r->error("frame " + std::to_string(i) + " lies outside the sheet: " + r->sprite->name + " has " +
                     std::to_string(r->sprite->frames) + (r->sprite->frames == 1 ? " frame" : " frames"));
            return false;
        }
        *rect = {r->sprite->x + i * r->sprite->width, r->sprite->y, r->sprite->width, r->sprite->height};
        return true;
    }
    if (r->kind == ArtKind::cutscene) {
        if (i >= 16 * CUTSCENE_FRAMES_PER_ROW) {
            r->error("a cutscene holds at most " + std::to_string(16 * CUTSCENE_FRAMES_PER_ROW) + " frames");
            return false;
        }
        *rect = {i % CUTSCENE_FRAMES_PER_ROW * CUTSCENE_FRAME_WIDTH, i / CUTSCENE_FRAMES_PER_ROW * CUTSCENE_FRAME_HEIGHT,
                 CUTSCENE_FRAME_WIDTH, CUTSCENE_FRAME_HEIGHT};
        return true;
    }
    if (r->kind == ArtKind::free && r->frame_w > 0) {
        const int64_t per_row = r->per_row > 0 ? r->per_row : MAX_SIDE;
        const int64_t x = i % per_row * r->frame_w, y = i / per_row * r->frame_h;
        if (x + r->frame_w > MAX_SIDE || y + r->frame_h > MAX_SIDE) {
            r->error("frame " + std::to_string(i) + " lies beyond " + std::to_string(MAX_SIDE) + " pixels");
            return false;
        }
        *rect = {static_cast<int>(x), static_cast<int>(y), r->frame_w, r->frame_h};
        return true;
    }
    if (r->kind == ArtKind::sheet) {
        r->error("choose a sprite of the sheet first (sprite NAME)");
    } else {
        r->error("frames need a frame size first (framesize W H)");
    }
    return false;
}

// Makes sure the picture holds the frame, growing pictures whose size comes
// from their frames.
static bool claim_frame(ArtReader *r, const FrameRect &rect, int i) {
    if (r->kind == ArtKind::cutscene || (r->kind == ArtKind::free && !r->sized)) {
        image_grow(&r->out->image, rect.x + rect.w, rect.y + rect.h);
    }
    if (rect.x + rect.w > r->out->image.width || rect.y + rect.h > r->out->image.height) {
        r->error("frame " + std::to_string(i) + " lies outside the sheet (" + std::to_string(r->out->image.width) + " x " +
                 std::to_string(r->out->image.height) + ")");
        return false;
    }
    if (!r->sprite) r->out->frames_used = std::max(r->out->frames_used, i + 1);
    return true;
}

// A picture whose size comes from what is drawn grows to hold it, within
// the largest size a picture may have.
static bool grow_to_hold(ArtReader *r, int64_t right, int64_t bottom) {
    if (r->kind != ArtKind::free || r->sized) return true;
    if (right > MAX_SIDE || bottom > MAX_SIDE) {
        r->error("the picture would grow beyond " + std::to_string(MAX_SIDE) + " pixels");
        return false;
    }
    if (right > 0 && bottom > 0) image_grow(&r->out->image, static_cast<int>(right), static_cast<int>(bottom));
    return true;
}

static bool picture_ready(ArtReader *r) {
    if (r->kind == ArtKind::library) {
        r->error("this file only defines stamps and tiles; it makes no picture");
        return false;
    }
    if (r->kind == ArtKind::free && !r->sized && r->frame_w == 0) {
        r->error("give the picture a size first (size W H or framesize W H)");
        return false;
    }
    return true;
}

// Reads the grid below a placement's header line and, when the header and
// the grid are good, hands it to place with the reader back on the header,
// so messages about the placement name that line. Reading goes on after the
// grid either way; true when the grid was handed on.
template <typename Place>
static bool place_grid(ArtReader *r, bool header_ok, Place place) {
    const size_t header = r->index;
    Image grid;
    const bool read = read_grid(r, &grid);
    if (!header_ok || !read) return false;
    const size_t end = r->index;
    r->index = header;
    place(grid);
    r->index = end;
    return true;
}

static void directive_frame(ArtReader *r, const std::vector<std::string> &words) {
    std::vector<int> frames = {r->next_frame};
    bool ok = true;
    if (words.size() > 2) {
        r->error("write a frame line as: frame, frame N, frame A..B or frame 0,2,4..6");
        ok = false;
    } else if (words.size() == 2) {
        ok = read_frames(r, words[1], &frames);
    }
    const auto place = [&](const Image &grid) {
        for (const int i : frames) {
            FrameRect rect;
            if (!frame_rect(r, i, &rect) || !claim_frame(r, rect, i)) return;
            if (grid.width != rect.w || grid.height != rect.h) {
                r->error("the frame is " + std::to_string(grid.width) + " x " + std::to_string(grid.height) +
                         " pixels; it must be " + std::to_string(rect.w) + " x " + std::to_string(rect.h));
                return;
            }
            image_copy(&r->out->image, grid, rect.x, rect.y);
        }
    };
    if (place_grid(r, ok && picture_ready(r), place)) r->next_frame = *std::max_element(frames.begin(), frames.end()) + 1;
}

static void directive_at(ArtReader *r, const std::vector<std::string> &words) {
    int32_t x = 0, y = 0;
    const bool header_ok = words.size() == 3 && read_int(r, words[1], "x", &x) && read_int(r, words[2], "y", &y);
    if (words.size() != 3) r->error("write it as: at X Y");
    place_grid(r, header_ok && picture_ready(r), [&](const Image &grid) {
        if (!grow_to_hold(r, static_cast<int64_t>(x) + grid.width, static_cast<int64_t>(y) + grid.height)) return;
        if (x < 0 || y < 0 || x + grid.width > r->out->image.width || y + grid.height > r->out->image.height) {
            r->error("the grid lies outside the sheet (" + std::to_string(r->out->image.width) + " x " +
                     std::to_string(r->out->image.height) + ")");
        } else {
            image_copy(&r->out->image, grid, x, y);
        }
    });
}

static void directive_glyphs(ArtReader *r) {
    const int header = r->line_number();
    const size_t header_index = r->index;
    const std::vector<const SourceLine *> rows = grid_rows(r);
    if (r->kind != ArtKind::font) {
        diag_error(r->path, header, "glyphs belong in the font (images/tinyfont.art)");
        return;
    }
    // "glyphs space" names the blank glyph; otherwise every character after
    // "glyphs " is one glyph.
    const std::string text = source_trim((*r->lines)[header_index].text);
    const std::string rest = text.size() > 7 ? text.substr(7) : std::string();
    const std::string chars = rest == "space" ? std::string(" ") : rest;
    if (chars.empty()) {
        diag_error(r->path, header, "name the glyphs after the word: glyphs ABC");
        return;
    }
    for (unsigned char c : chars) {
        if (font_width(c) == 0) {
            diag_error(r->path, header, std::string("the font has no glyph for '") + static_cast<char>(c) + "'");
            return;
        }
    }
    if (rows.size() != static_cast<size_t>(FONT_HEIGHT)) {
        diag_error(r->path, header, "a glyph grid has " + std::to_string(FONT_HEIGHT) + " rows, not " +
                                        std::to_string(rows.size()));
        return;
    }
    // Each row holds the glyphs' columns in order, separated by '|'.
    std::vector<Image> glyphs(chars.size());
    for (size_t g = 0; g < chars.size(); ++g) glyphs[g] = image_make(font_width(static_cast<unsigned char>(chars[g])), FONT_HEIGHT);
    for (int y = 0; y < FONT_HEIGHT; ++y) {
        const std::string &row = rows[y]->text;
        size_t cursor = 0;
        for (size_t g = 0; g < chars.size(); ++g) {
            const int width = glyphs[g].width;
            const size_t end = row.find('|', cursor);
            const std::string cell = row.substr(cursor, end == std::string::npos ? std::string::npos : end - cursor);
            if (static_cast<int>(cell.size()) != width) {
                diag_error(r->path, rows[y]->number,
                           std::string("glyph '") + chars[g] + "' is " + std::to_string(width) + " pixels wide; this row gives it " +
                               std::to_string(cell.size()));
                return;
            }
            for (int x = 0; x < width; ++x) {
                const unsigned char c = static_cast<unsigned char>(cell[x]);
                if (c >= 128 || !r->defined[c]) {
                    diag_error(r->path, rows[y]->number, std::string("'") + static_cast<char>(c) + "' is not in the palette");
                    return;
                }
                image_set(&glyphs[g], x, y, r->palette[c]);
            }
            if (g + 1 < chars.size() && end == std::string::npos) {
                diag_error(r->path, rows[y]->number, "this row ends before glyph '" + std::string(1, chars[g + 1]) + "'");
                return;
            }
            cursor = end == std::string::npos ? row.size() : end + 1;
        }
        if (cursor < row.size()) {
            diag_error(r->path, rows[y]->number, "this row holds more glyphs than the header names");
            return;
        }
    }
    for (size_t g = 0; g < chars.size(); ++g) {
        apply_outline(r, &glyphs[g]);
        image_copy(&r->out->image, glyphs[g], font_left_x(static_cast<unsigned char>(chars[g])), 0);
    }
}

static void directive_stamp(ArtReader *r, const std::vector<std::string> &words) {
    if (words.size() != 2) {
        r->error("write it as: stamp NAME");
        grid_rows(r);
        return;
    }
    Image grid;
    if (read_grid(r, &grid)) r->out->stamps[words[1]] = grid;
}

static void directive_tile(ArtReader *r, const std::vector<std::string> &words) {
    Tile tile;
    bool ok = true;
    if (r->out->tiles.size <= 0) {
        r->error("give the tile size first (tilesize N)");
        ok = false;
    }
    if (words.size() < 2 || words[1].size() != 1 || words[1][0] == '.') {
        r->error("write it as: tile C [solid [X Y W H]], with C one character other than '.'");
        ok = false;
    }
    if (ok && words.size() >= 3) {
        if (words[2] != "solid" || (words.size() != 3 && words.size() != 7)) {
            r->error("after the tile's character only \"solid\" or \"solid X Y W H\" may follow");
            ok = false;
        } else {
            tile.solid = true;
            tile.box_w = tile.box_h = r->out->tiles.size;
            if (words.size() == 7) {
                int32_t v[4];
                for (int i = 0; i < 4 && ok; ++i) ok = read_int(r, words[3 + i], "a solid box value", &v[i]);
                if (ok && (v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0 || v[0] + v[2] > r->out->tiles.size ||
                           v[1] + v[3] > r->out->tiles.size)) {
                    r->error("the solid box must lie inside the tile");
                    ok = false;
                }
                if (ok) {
                    tile.box_x = v[0];
                    tile.box_y = v[1];
                    tile.box_w = v[2];
                    tile.box_h = v[3];
                }
            }
        }
    }
    const int header = static_cast<int>(r->index);
    const bool read = read_grid(r, &tile.picture);
    if (!ok || !read) return;
    if (tile.picture.width != r->out->tiles.size || tile.picture.height != r->out->tiles.size) {
        diag_error(r->path, (*r->lines)[header].number,
                   "a tile is " + std::to_string(r->out->tiles.size) + " x " + std::to_string(r->out->tiles.size) + " pixels");
        return;
    }
    r->out->tiles.variants[words[1][0]].push_back(tile);
}

// The frames an "on A..B" clause names, or the whole picture.
struct Targets {
    bool framed = false;
    std::vector<int> frames;
    double move_x = 0, move_y = 0;
};

static bool read_targets(ArtReader *r, const std::vector<std::string> &words, size_t from, Targets *t) {
    for (size_t i = from; i < words.size(); ++i) {
        if (words[i] == "on" && i + 1 < words.size()) {
            if (!read_frames(r, words[++i], &t->frames)) return false;
            t->framed = true;
        } else if (words[i] == "move" && i + 2 < words.size()) {
            if (!source_float(words[i + 1], &t->move_x) || !source_float(words[i + 2], &t->move_y)) {
                r->error("move takes two numbers: move DX DY");
                return false;
            }
            i += 2;
        } else if (words[i] != "centred" && words[i] != "centered" && words[i] != "mirrored") {
            r->error("unexpected " + quoted(words[i]) + "; expected on A..B, move DX DY or mirrored");
            return false;
        }
    }
    if (!t->framed && (t->move_x != 0 || t->move_y != 0)) {
        r->error("move needs frames to move over: add on A..B");
        return false;
    }
    return true;
}

// Calls paint(x, y, clip) for the whole picture or for every named frame.
// Positions far outside any picture are all the same to the clip; keeping
// them near keeps the sums in range.
static int near_position(double value) {
    return static_cast<int>(std::clamp(value, -1.0e6, 1.0e6));
}

template <typename Paint>
static void paint_targets(ArtReader *r, int x, int y, const Targets &t, Paint paint) {
    if (!t.framed) {
        paint(near_position(x), near_position(y), FrameRect{0, 0, r->out->image.width, r->out->image.height});
        return;
    }
    for (size_t step = 0; step < t.frames.size(); ++step) {
        const int i = t.frames[step];
        FrameRect rect;
        if (!frame_rect(r, i, &rect) || !claim_frame(r, rect, i)) return;
        const double moved_x = static_cast<double>(rect.x) + x + num_round(t.move_x * static_cast<double>(step));
        const double moved_y = static_cast<double>(rect.y) + y + num_round(t.move_y * static_cast<double>(step));
        paint(near_position(moved_x), near_position(moved_y), rect);
    }
}

static void directive_put(ArtReader *r, const std::vector<std::string> &words) {
    int32_t x = 0, y = 0;
    Targets targets;
    if (words.size() < 4) {
        r->error("write it as: put STAMP X Y [mirrored] [on A..B] [move DX DY]");
        return;
    }
    if (!read_int(r, words[2], "x", &x) || !read_int(r, words[3], "y", &y) || !read_targets(r, words, 4, &targets)) return;
    const auto stamp = r->out->stamps.find(words[1]);
    if (stamp == r->out->stamps.end()) {
        r->error("there is no stamp " + quoted(words[1]) + " above this line");
        return;
    }
    if (!picture_ready(r)) return;
    Image picture = stamp->second;
    if (std::find(words.begin(), words.end(), "mirrored") != words.end()) {
        for (int sy = 0; sy < picture.height; ++sy) {
            for (int sx = 0; sx < picture.width; ++sx) image_set(&picture, sx, sy, image_get(stamp->second, picture.width - 1 - sx, sy));
        }
    }
    paint_targets(r, x, y, targets, [&](int px, int py, const FrameRect &clip) {
        image_draw(&r->out->image, picture, px, py, clip.x, clip.y, clip.w, clip.h);
    });
}

static void directive_fill(ArtReader *r, const std::vector<std::string> &words) {
    int32_t v[4];
    Targets targets;
    if (words.size() < 6 || !palette_char_ok(words[1])) {
        r->error("write it as: fill C X Y W H [on A..B]");
        return;
    }
    for (int i = 0; i < 4; ++i) {
        if (!read_int(r, words[2 + i], "a fill value", &v[i])) return;
    }
    if (!read_targets(r, words, 6, &targets)) return;
    const int c = words[1][0];
    if (!r->defined[c]) {
        r->error(std::string("'") + words[1] + "' is not in the palette");
        return;
    }
    if (!picture_ready(r)) return;
    paint_targets(r, v[0], v[1], targets, [&](int px, int py, const FrameRect &clip) {
        // Only the part inside the clip is visited, however large the fill.
        const int64_t x0 = std::max<int64_t>(px, clip.x), y0 = std::max<int64_t>(py, clip.y);
        const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(px) + v[2], clip.x + clip.w);
        const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(py) + v[3], clip.y + clip.h);
        for (int64_t yy = y0; yy < y1; ++yy) {
            for (int64_t xx = x0; xx < x1; ++xx) image_set(&r->out->image, static_cast<int>(xx), static_cast<int>(yy), r->palette[c]);
        }
    });
}

static void directive_text(ArtReader *r, const std::vector<std::string> &words) {
    int32_t x = 0, y = 0;
    Targets targets;
    if (words.size() < 4 || words[1].size() < 2 || words[1].front() != '"' || words[1].back() != '"') {
        r->error("write it as: text \"WORDS\" X Y [centred] [on A..B] [move DX DY]");
        return;
    }
    if (!read_int(r, words[2], "x", &x) || !read_int(r, words[3], "y", &y) || !read_targets(r, words, 4, &targets)) return;
    if (!r->context->font || r->context->font->width == 0) {
        r->error("text needs the tiny font (images/tinyfont.art)");
        return;
    }
    if (!picture_ready(r)) return;
    const bool centred = std::find(words.begin(), words.end(), "centred") != words.end() ||
                         std::find(words.begin(), words.end(), "centered") != words.end();
    const std::string text = words[1].substr(1, words[1].size() - 2);
    paint_targets(r, x, y, targets, [&](int px, int py, const FrameRect &clip) {
        art_draw_text(&r->out->image, *r->context->font, text, px, py, centred, clip.x, clip.y, clip.w, clip.h);
    });
}

std::string art_file_key(const std::string &path) {
    return std::filesystem::path(path).lexically_normal().generic_string();
}

// import FILE X Y: a PNG drawn in an editor, pasted as it is. Under a
// sprite X Y count from the sprite's first frame, and the picture must stay
// within the sprite's frames; otherwise they count from the picture's corner.
static void directive_import(ArtReader *r, const std::vector<std::string> &words) {
    int32_t x = 0, y = 0;
    if (words.size() != 4) {
        r->error("write it as: import FILE.png X Y");
        return;
    }
    if (!read_int(r, words[2], "x", &x) || !read_int(r, words[3], "y", &y) || !picture_ready(r)) return;
    // Only files inside the content folder, which the build watches.
    const std::string &file = words[1];
    if (file[0] == '/' || file == ".." || file.rfind("../", 0) == 0 || file.find("/../") != std::string::npos ||
        (file.size() >= 3 && file.compare(file.size() - 3, 3, "/..") == 0)) {
        r->error("an imported picture lies beside the art file or below it, not " + quoted(file));
        return;
    }
    const size_t slash = r->path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : r->path.substr(0, slash);
    const std::string path = folder + "/" + file;
    if (r->context->imported) r->context->imported->insert(art_file_key(path));
    Image picture;
    if (!art_load_png(path, &picture)) return;
    if (r->sprite) {
        const SheetSlot &slot = *r->sprite;
        const int64_t span = static_cast<int64_t>(slot.width) * slot.frames;
        if (x < 0 || y < 0 || x + static_cast<int64_t>(picture.width) > span || y + static_cast<int64_t>(picture.height) > slot.height) {
            r->error("the imported picture (" + std::to_string(picture.width) + " x " + std::to_string(picture.height) + " at " +
                     std::to_string(x) + ", " + std::to_string(y) + ") does not fit the sprite " + slot.name + ": its " +
                     std::to_string(slot.frames) + (slot.frames == 1 ? " frame is " : " frames side by side are ") +
                     std::to_string(span) + " x " + std::to_string(slot.height) + " pixels");
            return;
        }
        image_copy(&r->out->image, picture, slot.x + x, slot.y + y);
        return;
    }
    if (!grow_to_hold(r, static_cast<int64_t>(x) + picture.width, static_cast<int64_t>(y) + picture.height)) return;
    if (x < 0 || y < 0 || x + static_cast<int64_t>(picture.width) > r->out->image.width ||
        y + static_cast<int64_t>(picture.height) > r->out->image.height) {
        r->error("the imported picture lies outside the picture (" + std::to_string(r->out->image.width) + " x " +
                 std::to_string(r->out->image.height) + ")");
        return;
    }
    image_copy(&r->out->image, picture, x, y);
}

static void directive_size(ArtReader *r, const std::vector<std::string> &words, bool frames) {
    int32_t w = 0, h = 0, per_row = 0;
    if (words.size() < 3 || words.size() > (frames ? 4u : 3u)) {
        r->error(frames ? "write it as: framesize W H [PER_ROW]" : "write it as: size W H");
        return;
    }
    if (!read_int(r, words[1], "the width", &w) || !read_int(r, words[2], "the height", &h)) return;
    if (frames && words.size() == 4 && !read_int(r, words[3], "frames per row", &per_row)) return;
    if (w <= 0 || h <= 0 || w > MAX_SIDE || h > MAX_SIDE || per_row < 0) {
        r->error("sizes run from 1 to " + std::to_string(MAX_SIDE));
        return;
    }
    if (r->kind != ArtKind::free) {
        r->error("this picture's size is fixed by its layout");
        return;
    }
    if (frames) {
        r->frame_w = w;
        r->frame_h = h;
        r->per_row = per_row;
    } else {
        if (r->sized || r->out->image.width > 0) {
            r->error("the size is given once, before anything is drawn");
            return;
        }
        r->sized = true;
        r->out->image = image_make(w, h);
    }
}

bool art_build(const std::string &path, const std::string &picture, const ArtContext &context, Art *out) {
    const int errors_before = diagnostics.errors;
    SourceFile source;
    if (!source_read(path, &source)) return false;
    *out = Art{};
    ArtReader r;
    r.path = path;
    r.context = &context;
    r.out = out;
    r.lines = &source.lines;
    r.defined[static_cast<int>('.')] = true;  // '.' is transparent unless a palette says otherwise

    if (picture.empty()) {
        r.kind = ArtKind::library;
    } else if (picture == "tinyfont") {
        r.kind = ArtKind::font;
        out->image = image_make(font_left_x(FONT_FIRST_CODE + FONT_GLYPHS - 1) + 1, FONT_HEIGHT);
    } else if (const SheetLayout *layout = layout_find(picture)) {
        r.kind = ArtKind::sheet;
        r.layout = layout;
        out->image = image_make(layout->width, layout->height);
    } else if (picture.rfind("cutscene", 0) == 0) {
        r.kind = ArtKind::cutscene;
    }

    for (r.index = 0; r.index < source.lines.size(); ++r.index) {
        const std::string text = source_trim(source.lines[r.index].text);
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> words = source_words(text);
        const std::string &word = words[0];
        if (word == "palette") {
            if (words.size() != 2) r.error("write it as: palette NAME");
            else read_palette_file(&r, words[1]);
        } else if (word == "colour" || word == "color") {
            define_colour(&r, words);
        } else if (word == "outline") {
            if (words.size() == 2 && words[1] == "off") {
                r.outline = false;
            } else if (words.size() == 2 && parse_colour(words[1], &r.outline_colour)) {
                r.outline = true;
            } else {
                r.error("write it as: outline RRGGBB or outline off");
            }
        } else if (word == "size") {
            directive_size(&r, words, false);
        } else if (word == "framesize") {
            directive_size(&r, words, true);
        } else if (word == "sprite") {
            const SheetSlot *slot = nullptr;
            for (int i = 0; r.layout && i < r.layout->slot_count; ++i) {
                if (words.size() == 2 && words[1] == r.layout->slots[i].name) slot = &r.layout->slots[i];
            }
            if (!r.layout) {
                r.error("only the game's sprite sheets have sprites");
            } else if (!slot) {
                std::string names;
                std::vector<std::string> known;
                for (int i = 0; i < r.layout->slot_count; ++i) {
                    names += std::string(i ? ", " : "") + r.layout->slots[i].name;
                    known.push_back(r.layout->slots[i].name);
                }
                const std::string name = words.size() > 1 ? words[1] : "";
                r.error("the sheet " + std::string(r.layout->name) + " has no sprite " + quoted(name) + " (it has " + names + ")" +
                        source_suggest(name, known));
            }
            r.sprite = slot;
            r.next_frame = 0;
        } else if (word == "frame") {
            directive_frame(&r, words);
        } else if (word == "at") {
            directive_at(&r, words);
        } else if (word == "glyphs") {
            directive_glyphs(&r);
        } else if (word == "stamp") {
            directive_stamp(&r, words);
        } else if (word == "tilesize") {
            int32_t size = 0;
            if (words.size() != 2 || !read_int(&r, words[1], "the tile size", &size) || size < 1 || size > 64) {
                r.error("write it as: tilesize N, N from 1 to 64");
            } else if (!out->tiles.variants.empty() && size != out->tiles.size) {
                r.error("the tile size is set once, before the first tile");
            } else {
                out->tiles.size = size;
            }
        } else if (word == "tile") {
            directive_tile(&r, words);
        } else if (word == "put") {
            directive_put(&r, words);
        } else if (word == "fill") {
            directive_fill(&r, words);
        } else if (word == "text") {
            directive_text(&r, words);
        } else if (word == "import") {
            directive_import(&r, words);
        } else {
            r.error("unknown line " + quoted(word) + " (a grid must follow a frame, at, glyphs, stamp or tile line directly)" +
                    source_suggest(word, {"palette", "colour", "outline", "size", "framesize", "sprite", "frame", "at", "glyphs",
                                          "stamp", "tilesize", "tile", "put", "fill", "text", "import"}));
        }
    }
    if (r.kind == ArtKind::free && out->image.width == 0) {
        diag_error(path, 0, "draws nothing");
    }
    return diagnostics.errors == errors_before;
}
