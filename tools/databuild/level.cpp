#include "level.h"

#include "common/text.h"
#include "source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------- tile maps

static std::vector<Box> boxes_merge_rows(const std::vector<bool> &mask, int width, int height) {
    std::vector<Box> boxes;
    std::vector<bool> used(mask.size(), false);
    auto free_cell = [&](int x, int y) { return mask[static_cast<size_t>(y) * width + x] && !used[static_cast<size_t>(y) * width + x]; };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!free_cell(x, y)) continue;
            int w = 1;
            while (x + w < width && free_cell(x + w, y)) ++w;
            int h = 1;
            for (bool grows = true; grows && y + h < height; h += grows ? 1 : 0) {
                for (int i = 0; i < w && grows; ++i) grows = free_cell(x + i, y + h);
            }
            for (int j = 0; j < h; ++j) {
                for (int i = 0; i < w; ++i) used[static_cast<size_t>(y + j) * width + x + i] = true;
            }
            boxes.push_back({x, y, w, h});
        }
    }
    return boxes;
}

std::vector<Box> boxes_merge(const std::vector<bool> &mask, int width, int height) {
    // Greedy rectangles along rows and along columns; the fewer win.
    std::vector<Box> by_rows = boxes_merge_rows(mask, width, height);
    std::vector<bool> turned(mask.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) turned[static_cast<size_t>(x) * height + y] = mask[static_cast<size_t>(y) * width + x];
    }
    std::vector<Box> by_columns = boxes_merge_rows(turned, height, width);
    if (by_columns.size() >= by_rows.size()) return by_rows;
    for (Box &box : by_columns) box = {box.y, box.x, box.h, box.w};
    std::sort(by_columns.begin(), by_columns.end(), [](const Box &a, const Box &b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return by_columns;
}

// A "place" line of a map: the level line its letter makes in every cell
// where the letter stands.
namespace {
struct Place {
    int line;
    char letter;
    std::string key;       // entrance, savepoint, enemy, pickup, doodad
    int number;            // the field after the key
    std::string rest;      // fields after the position, with their ':'
    int w, h;              // the size of the thing placed
    int dx = 0, dy = 0;    // "move DX DY"
    char to = 0;           // "to D": an elevator's destination
    std::string stamp;     // "stamp NAME": drawn where the thing stands
};
}  // namespace

// The size of what a level line places, or false when the line names no
// thing the map can place.
static bool placed_size(const std::string &key, int number, int *w, int *h) {
    const auto slot_size = [&](const char *sheet, const std::string &name) {
        const SheetLayout *layout = layout_find(sheet);
        for (int i = 0; layout && i < layout->slot_count; ++i) {
            if (name == layout->slots[i].name) {
                *w = layout->slots[i].width;
                *h = layout->slots[i].height;
                return true;
            }
        }
        return false;
    };
    *w = *h = 1;  // the player's body, a one-pixel enemy, a health pickup
    if (key == "entrance") return true;
    if (key == "savepoint") return slot_size("doodads", "savepoint");
    if (key == "enemy") return number == 0 || number == 1 || ((number == 2 || number == 3) && slot_size("enemies", "enemy" + std::to_string(number)));
    if (key == "pickup") return number == 0 || (number == 1 && slot_size("pickups", "ability"));
    if (key == "doodad") return number >= 0 && number <= 9 && slot_size("doodads", "doodad" + std::to_string(number));
    return false;
}

static bool read_place(const std::string &path, const SourceLine &line, const std::vector<std::string> &words, Place *out) {
    const auto fail = [&](const std::string &text) {
        diag_error(path, line.number, text);
        return false;
    };
    if (words.size() < 3 || words[1].size() != 1 || words[1][0] == '.' || words[1][0] == '#') {
        return fail("write it as: place C WHAT [move DX DY] [to D] [stamp NAME], with C one letter and WHAT a level line "
                    "without its position (enemy:2, savepoint:1, entrance:0, pickup:0, doodad:9)");
    }
    out->line = line.number;
    out->letter = words[1][0];
    const size_t colon = words[2].find(':');
    out->key = words[2].substr(0, colon);
    const std::string after = colon == std::string::npos ? "" : words[2].substr(colon + 1);
    const size_t second = after.find(':');
    int32_t number = 0;
    if (!source_int(after.substr(0, second), &number)) {
        return fail(quoted(words[2]) + " is no level line to place: it is KEY:NUMBER, such as enemy:2, savepoint:1 or entrance:0" +
                    source_suggest(out->key, {"entrance", "savepoint", "enemy", "pickup", "doodad"}));
    }
    out->number = number;
    out->rest = second == std::string::npos ? "" : after.substr(second);
    if (out->key == "doodad" && number == -1) return fail("an invisible box is made by solid tiles, not placed");
    if (!placed_size(out->key, number, &out->w, &out->h)) {
        return fail("a map places entrances, save points, enemies (0 to 3), pickups (0, 1) and doodads (0 to 9), not " +
                    quoted(words[2]) + source_suggest(out->key, {"entrance", "savepoint", "enemy", "pickup", "doodad"}));
    }
    for (size_t i = 3; i < words.size(); ++i) {
        int32_t a = 0, b = 0;
        if (words[i] == "move" && i + 2 < words.size() && source_int(words[i + 1], &a) && source_int(words[i + 2], &b)) {
            out->dx = a;
            out->dy = b;
            i += 2;
        } else if (words[i] == "to" && i + 1 < words.size() && words[i + 1].size() == 1 && words[i + 1][0] != '.') {
            if (out->key != "doodad" || !out->rest.empty()) return fail("\"to D\" sends a doodad as an elevator to the cell of D");
            out->to = words[++i][0];
        } else if (words[i] == "stamp" && i + 1 < words.size()) {
            out->stamp = words[++i];
        } else {
            return fail("unexpected " + quoted(words[i]) + "; expected move DX DY, to D or stamp NAME");
        }
    }
    return true;
}

bool map_build(const std::string &path, const ArtContext &context, TileMap *out) {
    const int errors_before = diagnostics.errors;
    SourceFile source;
    *out = TileMap{};
    out->path = path;
    if (!source_read(path, &source)) return false;
    Art tileset;
    bool have_tileset = false;
    std::string tileset_name;
    Rgba background;
    std::vector<const SourceLine *> rows;
    int map_line = 0;
    struct Put {
        int line;
        std::string stamp;  // or the text to write
        int x, y;
        bool text, centred;
    };
    std::vector<Put> puts;
    std::vector<Place> places;
    std::map<std::string, Image> stamps;

    for (size_t i = 0; i < source.lines.size(); ++i) {
        const SourceLine &line = source.lines[i];
        const std::string text = source_trim(line.text);
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> words = source_words(text);
        if (words[0] == "tileset" && words.size() == 2) {
            if (have_tileset) diag_error(path, line.number, "a map has one tileset");
            tileset_name = words[1];
            have_tileset = art_build(context.content_dir + "/tiles/" + words[1] + ".art", "", context, &tileset);
            if (have_tileset && tileset.tiles.size == 0) {
                diag_error(path, line.number, "the tileset " + quoted(words[1]) + " defines no tiles");
                have_tileset = false;
            }
            stamps.insert(tileset.stamps.begin(), tileset.stamps.end());
        } else if (words[0] == "stamps" && words.size() == 2) {
            Art more;
            if (art_build(context.content_dir + "/tiles/" + words[1] + ".art", "", context, &more)) {
                stamps.insert(more.stamps.begin(), more.stamps.end());
            }
        } else if (words[0] == "background" && words.size() == 2) {
            const std::string hex = words[1][0] == '#' ? words[1].substr(1) : words[1];
            unsigned value = 0;
            if (hex.size() != 6 || std::sscanf(hex.c_str(), "%6x", &value) != 1 ||
                hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                diag_error(path, line.number, "write it as: background RRGGBB");
            } else {
                background = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value), 255};
            }
        } else if (words[0] == "map" && words.size() == 1) {
            if (map_line) diag_error(path, line.number, "a file holds one map");
            map_line = line.number;
            rows.clear();
            while (i + 1 < source.lines.size() && !source.lines[i + 1].blank_before &&
                   source.lines[i + 1].text.find_first_of(" \t") == std::string::npos) {
                rows.push_back(&source.lines[++i]);
            }
        } else if (words[0] == "put" && words.size() == 4) {
            int32_t x = 0, y = 0;
            if (!source_int(words[2], &x) || !source_int(words[3], &y)) {
                diag_error(path, line.number, "write it as: put STAMP X Y");
            } else {
                puts.push_back({line.number, words[1], x, y, false, false});
            }
        } else if (words[0] == "text" && (words.size() == 4 || (words.size() == 5 && words[4] == "centred")) &&
                   words[1].size() >= 2 && words[1].front() == '"' && words[1].back() == '"') {
            int32_t x = 0, y = 0;
            if (!source_int(words[2], &x) || !source_int(words[3], &y)) {
                diag_error(path, line.number, "write it as: text \"WORDS\" X Y [centred]");
            } else if (!context.font || context.font->width == 0) {
                diag_error(path, line.number, "text needs the tiny font (images/tinyfont.art)");
            } else {
                puts.push_back({line.number, words[1].substr(1, words[1].size() - 2), x, y, true, words.size() == 5});
            }
        } else if (words[0] == "place") {
            Place place;
            if (read_place(path, line, words, &place)) places.push_back(place);
        } else {
            diag_error(path, line.number, "unknown line " + quoted(words[0]) +
                                              " (a map file holds tileset NAME, stamps NAME, background RRGGBB, map, "
                                              "put STAMP X Y, text \"WORDS\" X Y [centred] and place C WHAT lines)" +
                                              source_suggest(words[0], {"tileset", "stamps", "background", "map", "put", "text", "place"}));
        }
    }
    if (!have_tileset) {
        if (diagnostics.errors == errors_before) diag_error(path, 0, "names no tileset (tileset NAME)");
        return false;
    }
    if (!map_line || rows.empty()) {
        diag_error(path, map_line, "holds no map: a line \"map\" followed by rows of tiles");
        return false;
    }
    const int columns = static_cast<int>(rows[0]->text.size());
    const int size = tileset.tiles.size;
    for (const SourceLine *row : rows) {
        if (static_cast<int>(row->text.size()) != columns) {
            diag_error(path, row->number, "this row is " + std::to_string(row->text.size()) + " tiles long, the first " +
                                              std::to_string(columns));
            return false;
        }
    }
    const int width = columns * size, height = static_cast<int>(rows.size()) * size;
    if (width > 4096 || height > 4096) {
        diag_error(path, map_line, "the map is larger than 4096 pixels on a side");
        return false;
    }

    // Letters that place things (or mark where an elevator goes) are no tiles.
    std::map<char, std::vector<std::pair<int, int>>> marks;  // letter -> cells (column, row)
    for (const Place &place : places) {
        for (const char letter : {place.letter, place.to}) {
            if (!letter) continue;
            if (tileset.tiles.variants.count(letter)) {
                diag_error(path, place.line, std::string("'") + letter + "' is a tile of the tileset " + quoted(tileset_name) +
                                                 "; place things with a letter the tileset does not use");
            }
            marks[letter];
        }
    }
    for (size_t a = 0; a < places.size(); ++a) {
        for (size_t b = 0; b < a; ++b) {
            if (places[a].letter == places[b].letter) {
                diag_error(path, places[a].line, std::string("'") + places[a].letter + "' already places " +
                                                     places[b].key + ":" + std::to_string(places[b].number) + " (line " +
                                                     std::to_string(places[b].line) + ")");
            }
        }
    }

    out->picture = image_make(width, height);
    std::vector<bool> solid(static_cast<size_t>(width) * height, false);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image_set(&out->picture, x, y, background);
    }
    struct Unknown {
        int row_line, column, count;
    };
    std::map<char, Unknown> unknown;
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const char ch = rows[r]->text[c];
            if (ch == '.') continue;
            const auto mark = marks.find(ch);
            if (mark != marks.end()) {
                mark->second.push_back({c, static_cast<int>(r)});
                continue;
            }
            const auto found = tileset.tiles.variants.find(ch);
            if (found == tileset.tiles.variants.end()) {
                auto &seen = unknown[ch];
                if (seen.count++ == 0) seen = {rows[r]->number, c + 1, 1};
                continue;
            }
            // Variants of a tile take turns by a fixed scramble of the cell.
            const uint32_t scramble = (static_cast<uint32_t>(c) * 73856093u) ^ (static_cast<uint32_t>(r) * 19349663u);
            const Tile &tile = found->second[scramble % found->second.size()];
            const int x0 = c * size, y0 = static_cast<int>(r) * size;
            image_draw(&out->picture, tile.picture, x0, y0, 0, 0, width, height);
            if (!tile.solid) continue;
            for (int y = tile.box_y; y < tile.box_y + tile.box_h; ++y) {
                for (int x = tile.box_x; x < tile.box_x + tile.box_w; ++x) solid[static_cast<size_t>(y0 + y) * width + x0 + x] = true;
            }
        }
    }
    if (!unknown.empty()) {
        std::string tiles;
        for (const auto &entry : tileset.tiles.variants) tiles += std::string(tiles.empty() ? "" : " ") + entry.first;
        for (const auto &[ch, seen] : unknown) {
            const int more = seen.count - 1;
            diag_error(path, seen.row_line,
                       std::string("the tileset ") + quoted(tileset_name) + " has no tile '" + ch + "' (column " +
                           std::to_string(seen.column) +
                           (more > 0 ? ", and " + std::to_string(more) + (more == 1 ? " more cell" : " more cells") : std::string()) +
                           "); its tiles are " + tiles + ", '.' is empty, and place C WHAT gives a letter to a thing to place");
        }
    }
    for (const Put &put : puts) {
        if (put.text) {
            art_draw_text(&out->picture, *context.font, put.stamp, put.x, put.y, put.centred, 0, 0, width, height);
            continue;
        }
        const auto stamp = stamps.find(put.stamp);
        if (stamp == stamps.end()) {
            diag_error(path, put.line, "no stamp " + quoted(put.stamp) + " in the tileset or the stamps files named above");
            continue;
        }
        image_draw(&out->picture, stamp->second, put.x, put.y, 0, 0, width, height);
    }

    // Each placed thing stands on the bottom of its cell, at the cell's left.
    for (const Place &place : places) {
        const auto &cells = marks[place.letter];
        if (cells.empty()) diag_warning(path, place.line, std::string("'") + place.letter + "' stands nowhere in the map");
        std::string destination;
        if (place.to) {
            const auto &targets = marks[place.to];
            if (targets.size() != 1) {
                diag_error(path, place.line, std::string("the elevator's destination '") + place.to + "' must stand in the map once, not " +
                                                 std::to_string(targets.size()) + " times");
                continue;
            }
            destination = ":elevator:" + std::to_string(targets[0].first * size + place.dx) + ":" +
                          std::to_string((targets[0].second + 1) * size - place.h + place.dy);
        }
        const Image *stamp = nullptr;
        if (!place.stamp.empty()) {
            const auto found = stamps.find(place.stamp);
            if (found == stamps.end()) {
                diag_error(path, place.line, "no stamp " + quoted(place.stamp) + " in the tileset or the stamps files named above");
                continue;
            }
            stamp = &found->second;
        }
        for (const auto &[c, r] : cells) {
            const int x = c * size + place.dx, bottom = (r + 1) * size + place.dy;
            if (stamp) image_draw(&out->picture, *stamp, x, bottom - stamp->height, 0, 0, width, height);
            out->placed.push_back({place.line, place.key + ":" + std::to_string(place.number) + ":" + std::to_string(x) + ":" +
                                                   std::to_string(bottom - place.h) + place.rest + destination});
        }
    }
    out->boxes = boxes_merge(solid, width, height);
    return diagnostics.errors == errors_before;
}

// ------------------------------------------------------------ level files

namespace {

// One line cut into fields by the game's own splitter.
struct Fields {
    std::string buffer;
    char *field[TEXT_MAX_FIELDS];
    int count = 0;
    bool overflow = false;  // more than the splitter's 10 fields

    std::string operator[](int i) const { return i < count ? field[i] : ""; }
};

struct LineReader {
    std::string path;
    int line = 0;
    void error(const std::string &text) const { diag_error(path, line, text); }
    void warning(const std::string &text) const { diag_warning(path, line, text); }
};

}  // namespace

static void split_fields(const std::string &text, Fields *out) {
    out->buffer = text;
    out->count = text_split_fields(out->buffer.data(), out->field);
    if (out->count == TEXT_MAX_FIELDS) {
        const size_t end = static_cast<size_t>(out->field[TEXT_MAX_FIELDS - 1] - out->buffer.data()) +
                           std::strlen(out->field[TEXT_MAX_FIELDS - 1]);
        out->overflow = text.find_first_not_of(':', end) != std::string::npos;
    }
}

static bool want_int(const LineReader &r, const Fields &f, int i, const char *what, int *value) {
    int32_t v = 0;
    if (!source_int(f[i], &v)) {
        r.error(std::string(what) + " must be a whole number, not " + quoted(f[i]));
        return false;
    }
    *value = v;
    return true;
}

static bool want_float(const LineReader &r, const Fields &f, int i, const char *what, double *value) {
    if (!source_float(f[i], value)) {
        r.error(std::string(what) + " must be a number, not " + quoted(f[i]));
        return false;
    }
    return true;
}

static bool want_count(const LineReader &r, const Fields &f, int needs, int most, const char *form) {
    if (f.count < needs) {
        r.error(quoted(f[0]) + " needs " + std::to_string(needs) + " fields (" + form + "), this line has " +
                std::to_string(f.count));
        return false;
    }
    if (f.count > most) {
        r.error(quoted(f[0]) + " takes at most " + std::to_string(most) + " fields (" + form + "), this line has " +
                std::to_string(f.count));
        return false;
    }
    return true;
}

static int layer_of(const std::string &key, std::string *rest) {
    static const char *const prefixes[3] = {"RearBG", "BG", "FG"};
    for (int i = 0; i < 3; ++i) {
        if (key.rfind(prefixes[i], 0) == 0) {
            *rest = key.substr(std::strlen(prefixes[i]));
            return i;
        }
    }
    return -1;
}

static void add_spot(const LineReader &r, LevelInfo *level, const std::string &what, double x, double y, int w, int h,
                     bool whole) {
    level->spots.push_back({r.path, r.line, what, x, y, w, h, whole});
}

// The sizes of sprites, from the sheets: what a doodad type or enemy kind
// covers, for the check that it lies in the level.
static void slot_size(const char *sheet, const std::string &name, int *w, int *h) {
    const SheetLayout *layout = layout_find(sheet);
    for (int i = 0; layout && i < layout->slot_count; ++i) {
        if (name == layout->slots[i].name) {
            *w = layout->slots[i].width;
            *h = layout->slots[i].height;
        }
    }
}

static void read_trigger(const LineReader &r, const Fields &f, LevelInfo *level) {
    const std::string command = f[1];
    int v[8] = {};
    auto ints = [&](int from, int to) {
        bool ok = true;
        for (int i = from; i <= to; ++i) ok = want_int(r, f, i, "a trigger value", &v[i - from]) && ok;
        return ok;
    };
    auto rectangle_ok = [&](int w, int h) {
        if (w <= 0 || h <= 0) r.error("the trigger's rectangle needs a width and height above 0");
        return w > 0 && h > 0;
    };
    if (command == "level") {
        if (!want_count(r, f, 8, 9, "trigger:level:level:entrance:x:y:w:h[:loadgame|newgame]") || !ints(2, 7)) return;
        if (!rectangle_ok(v[4], v[5])) return;
        if (f.count == 9 && f[8] != "loadgame" && f[8] != "newgame") {
            r.error("the ninth field of a level trigger is \"loadgame\" or \"newgame\", not " + quoted(f[8]) +
                    source_suggest(f[8], {"loadgame", "newgame"}));
            return;
        }
        if (f.count == 9 && f[8] == "loadgame") {
            level->loadgame_line = r.line;  // loads the saved level, not the one named
            add_spot(r, level, "the trigger", v[2], v[3], v[4], v[5], false);
            return;
        }
        if (f.count == 9 && f[8] == "newgame") level->newgame_line = r.line;
        level->refs.push_back({r.line, false, v[0], v[1]});
        add_spot(r, level, "the trigger", v[2], v[3], v[4], v[5], false);
    } else if (command == "cutscene") {
        if (!want_count(r, f, 7, 7, "trigger:cutscene:number:x:y:w:h") || !ints(2, 6) || !rectangle_ok(v[3], v[4])) return;
        level->refs.push_back({r.line, true, v[0], -1});
        add_spot(r, level, "the trigger", v[1], v[2], v[3], v[4], false);
    } else if (command == "quit" || command == "lockcamera" || command == "lockcamerax" || command == "unlockcamera" ||
               command == "startboss") {
        if (!want_count(r, f, 6, 6, "trigger:command:x:y:w:h") || !ints(2, 5)) return;
        if (rectangle_ok(v[2], v[3])) add_spot(r, level, "the trigger", v[0], v[1], v[2], v[3], false);
    } else if (command == "movecamera") {
        if (!want_count(r, f, 8, 8, "trigger:movecamera:tx:ty:x:y:w:h") || !ints(2, 7)) return;
        if (rectangle_ok(v[4], v[5])) add_spot(r, level, "the trigger", v[2], v[3], v[4], v[5], false);
    } else if (command == "createdoodad") {
        if (!want_count(r, f, 10, 10, "trigger:createdoodad:nx:ny:nw:nh:x:y:w:h") || !ints(2, 9)) return;
        if (v[2] <= 0 || v[3] <= 0) r.error("the created box needs a width and height above 0");
        if (rectangle_ok(v[6], v[7])) add_spot(r, level, "the trigger", v[4], v[5], v[6], v[7], false);
        ++level->created_doodads;
    } else {
        r.error("unknown trigger command " + quoted(command) +
                " (level, cutscene, quit, lockcamera, lockcamerax, unlockcamera, movecamera, createdoodad, startboss)" +
                source_suggest(command, {"level", "cutscene", "quit", "lockcamera", "lockcamerax", "unlockcamera", "movecamera",
                                         "createdoodad", "startboss"}));
    }
}

static void read_level_line(const LineReader &r, const Fields &f, LevelInfo *level) {
    const std::string key = f[0];
    int iv = 0;
    double fv = 0;
    std::string layer_key;
    const int layer = layer_of(key, &layer_key);
    if (key == "title") {
        if (!want_count(r, f, 2, 2, "title:text")) return;
        if (f[1].size() > MAX_TITLE) r.error("the title is " + std::to_string(f[1].size()) + " characters long; at most 50 fit");
        for (unsigned char c : f[1]) {
            if (c < 32 || c > 126) {
                r.warning("the tiny font has no glyph for a character of the title");
                break;
            }
        }
    } else if (key == "music") {
        if (!want_count(r, f, 2, 2, "music:number") || !want_int(r, f, 1, "the music", &iv)) return;
        if (iv < -1 || iv > 2) r.error("music is -1 (silence), 0, 1 or 2, not " + std::to_string(iv));
    } else if (key == "width" || key == "height") {
        if (!want_count(r, f, 2, 2, "width:n") || !want_int(r, f, 1, "the size", &iv)) return;
        const int least = key == "width" ? VIEW_WIDTH : VIEW_HEIGHT;
        if (iv < least || iv > 4096) {
            r.error("the level's " + key + " runs from " + std::to_string(least) + " (the view) to 4096, not " + std::to_string(iv));
            return;
        }
        (key == "width" ? level->width : level->height) = iv;
        (key == "width" ? level->width_given : level->height_given) = true;
    } else if (key == "cameralocked" || key == "flashlight") {
        want_count(r, f, 1, 1, key.c_str());
    } else if (key == "entrance") {
        int number = 0, x = 0, y = 0;
        if (!want_count(r, f, 4, 5, "entrance:number:x:y[:fade]") || !want_int(r, f, 1, "the entrance number", &number) ||
            !want_int(r, f, 2, "x", &x) || !want_int(r, f, 3, "y", &y)) {
            return;
        }
        if (f.count == 5 && want_float(r, f, 4, "the fade", &fv) && fv < 0) r.error("the fade lasts 0 seconds or more");
        if (level->entrances.count(number)) r.warning("entrance " + std::to_string(number) + " is given twice; the last one counts");
        level->entrances.insert(number);
        add_spot(r, level, "entrance " + std::to_string(number), x, y, 1, 1, true);
    } else if (layer >= 0 && (layer_key == "frames" || layer_key == "width" || layer_key == "height" || layer_key == "fps")) {
        if (!want_count(r, f, 2, 2, (key + ":n").c_str()) || !want_int(r, f, 1, "the value", &iv)) return;
        if (iv < 1) {
            r.error(quoted(key) + " must be 1 or more");
            return;
        }
        LayerKeys &keys = level->layers[layer];
        if (!keys.any) keys.line = r.line;
        keys.any = true;
        if (layer_key == "frames") keys.frames = iv;
        if (layer_key == "width") keys.width = iv;
        if (layer_key == "height") keys.height = iv;
    } else if (layer >= 0 && layer_key == "HorzScrollSpeed") {
        if (!want_count(r, f, 2, 2, (key + ":speed").c_str())) return;
        want_float(r, f, 1, "the scroll speed", &fv);
        LayerKeys &keys = level->layers[layer];
        if (!keys.any) keys.line = r.line;
        keys.any = true;
    } else if (key == "savepoint") {
        double x = 0, y = 0;
        if (!want_count(r, f, 4, 4, "savepoint:id:x:y") || !want_int(r, f, 1, "the save point id", &iv) ||
            !want_float(r, f, 2, "x", &x) || !want_float(r, f, 3, "y", &y)) {
            return;
        }
        ++level->savepoints;
        int w = 4, h = 4;
        slot_size("doodads", "savepoint", &w, &h);
        add_spot(r, level, "save point " + std::to_string(iv), std::trunc(x), std::trunc(y), w, h, true);
    } else if (key == "doodad") {
        int type = 0;
        double x = 0, y = 0;
        if (!want_count(r, f, 4, 7, "doodad:type:x:y, doodad:-1:x:y:w:h or doodad:type:x:y:elevator:dx:dy") ||
            !want_int(r, f, 1, "the doodad type", &type) || !want_float(r, f, 2, "x", &x) || !want_float(r, f, 3, "y", &y)) {
            return;
        }
        ++level->doodads;
        int w = 1, h = 1;
        slot_size("doodads", "doodad" + std::to_string(type), &w, &h);
        if (type == -1) {
            if (f.count != 6) {
                r.error("an invisible box is written doodad:-1:x:y:w:h");
            } else if (want_int(r, f, 4, "the width", &w) && want_int(r, f, 5, "the height", &h) && (w <= 0 || h <= 0)) {
                r.error("an invisible box needs a width and height above 0");
            } else {
                add_spot(r, level, "the box", x, y, w, h, false);
            }
        } else if (type < 0 || type > 9) {
            r.error("doodad types run from -1 to 9, not " + std::to_string(type));
        } else if (f.count == 5 || f.count == 6 || (f.count == 7 && f[4] != "elevator")) {
            r.error("after doodad:type:x:y only :elevator:dest_x:dest_y may follow" + (f.count == 7 ? source_suggest(f[4], {"elevator"}) : ""));
        } else {
            add_spot(r, level, "the doodad", x, y, w, h, false);
            int dx = 0, dy = 0;
            if (f.count == 7 && want_int(r, f, 5, "the destination x", &dx) && want_int(r, f, 6, "the destination y", &dy)) {
                add_spot(r, level, "the elevator's destination", dx, dy, w, h, false);
            }
        }
    } else if (key == "pickup") {
        double x = 0, y = 0;
        if (!want_count(r, f, 4, 4, "pickup:kind:x:y") || !want_int(r, f, 1, "the pickup kind", &iv) ||
            !want_float(r, f, 2, "x", &x) || !want_float(r, f, 3, "y", &y)) {
            return;
        }
        if (iv != 0 && iv != 1) r.error("pickups are of kind 0 (health) or 1 (the stomp ability), not " + std::to_string(iv));
        if (iv == 1 && !level->ability_line) level->ability_line = r.line;
        ++level->pickups;
        int w = 1, h = 1;
        if (iv == 1) slot_size("pickups", "ability", &w, &h);
        add_spot(r, level, "the pickup", std::trunc(x), std::trunc(y), w, h, false);
    } else if (key == "enemy") {
        double x = 0, y = 0;
        if (!want_count(r, f, 4, 4, "enemy:kind:x:y") || !want_int(r, f, 1, "the enemy kind", &iv) ||
            !want_float(r, f, 2, "x", &x) || !want_float(r, f, 3, "y", &y)) {
            return;
        }
        if (iv < 0 || iv > 3) r.error("enemies are of kind 0 to 3, not " + std::to_string(iv));
        ++level->enemies;
        int w = 1, h = 1;
        if (iv == 2 || iv == 3) slot_size("enemies", "enemy" + std::to_string(iv), &w, &h);
        add_spot(r, level, "the enemy", x, y, w, h, false);
    } else if (key == "trigger") {
        ++level->triggers;
        read_trigger(r, f, level);
    } else {
        static const std::vector<std::string> KEYS = {
            "title",          "music",        "width",        "height",        "cameralocked",          "entrance",
            "flashlight",     "savepoint",    "doodad",       "pickup",        "enemy",                 "trigger",
            "RearBGframes",   "BGframes",     "FGframes",     "RearBGwidth",   "BGwidth",               "FGwidth",
            "RearBGheight",   "BGheight",     "FGheight",     "RearBGfps",     "BGfps",                 "FGfps",
            "RearBGHorzScrollSpeed", "BGHorzScrollSpeed", "FGHorzScrollSpeed"};
        r.error("unknown key " + quoted(key) + source_suggest(key, KEYS));
    }
}

// Reads a description line by line: notes for people ('#') and lines of
// only colons, which the game skips, are left out; every other line is kept
// for the archive and handed to read_line unless it has more fields than the
// game reads.
template <typename ReadLine>
static bool read_description(const std::string &path, std::vector<std::string> *lines, ReadLine read_line) {
    SourceFile source;
    if (!source_read(path, &source)) return false;
    for (const SourceLine &line : source.lines) {
        if (line.text[0] == '#') continue;
        LineReader r{path, line.number};
        Fields fields;
        split_fields(line.text, &fields);
        if (fields.count == 0) continue;
        lines->push_back(line.text);
        if (fields.overflow) {
            r.error("this line has more than " + std::to_string(TEXT_MAX_FIELDS) + " fields; the game reads only the first 10");
            continue;
        }
        read_line(r, fields);
    }
    return true;
}

bool level_read(const std::string &path, int number, LevelInfo *out) {
    const int errors_before = diagnostics.errors;
    *out = LevelInfo{};
    out->number = number;
    out->path = path;
    const auto read_line = [out](const LineReader &r, const Fields &f) { read_level_line(r, f, out); };
    return read_description(path, &out->lines, read_line) && diagnostics.errors == errors_before;
}

bool level_read_placed(const TileMap &map, LevelInfo *level) {
    const int errors_before = diagnostics.errors;
    for (const PlacedLine &placed : map.placed) {
        LineReader r{map.path, placed.line};
        Fields fields;
        split_fields(placed.text, &fields);
        level->lines.push_back(placed.text);
        if (fields.overflow) {
            r.error("the placed line " + quoted(placed.text) + " has more than " + std::to_string(TEXT_MAX_FIELDS) + " fields");
            continue;
        }
        read_level_line(r, fields, level);
    }
    return diagnostics.errors == errors_before;
}

// A thing lies in the level when its rectangle does (wholly, or in part).
static void check_spot(const Spot &spot, int width, int height) {
    const double right = spot.x + spot.w, bottom = spot.y + spot.h;
    const bool inside = spot.whole ? spot.x >= 0 && spot.y >= 0 && right <= width && bottom <= height
                                   : right > 0 && bottom > 0 && spot.x < width && spot.y < height;
    if (inside) return;
    diag_error(spot.path, spot.line,
               spot.what + " at (" + source_number(spot.x) + ", " + source_number(spot.y) + ") lies " +
                   (spot.whole ? "outside" : "wholly outside") + " the level, which is " + std::to_string(width) + " x " +
                   std::to_string(height) + " pixels (x 0 to " + std::to_string(width - 1) + ", y 0 to " +
                   std::to_string(height - 1) + ")");
}

static void check_capacity(const std::string &path, int count, int capacity, const char *what) {
    if (count > capacity) {
        diag_error(path, 0, "holds " + std::to_string(count) + " " + what + "; the game has room for " + std::to_string(capacity));
    }
}

static std::string level_picture_name(int number, int layer) {
    static const char *const suffixes[3] = {"-rear", "", "-fg"};
    return "level" + std::to_string(number) + suffixes[layer];
}

static void check_reference(const std::string &path, const LevelRef &ref, const ContentIndex &index) {
    if (ref.cutscene) {
        if (!index.cutscenes.count(ref.number)) {
            diag_error(path, ref.line, "there is no cutscene " + std::to_string(ref.number) + " (cutscenes/cutscene" +
                                           std::to_string(ref.number) + ".txt)");
        }
        return;
    }
    if (!index.levels.count(ref.number)) {
        diag_error(path, ref.line, "there is no level " + std::to_string(ref.number) + " (levels/level" +
                                       std::to_string(ref.number) + ".txt)");
        return;
    }
    const auto entrances = index.entrances.find(ref.number);
    if (ref.entrance >= 0 && entrances != index.entrances.end() && !entrances->second.empty() &&
        !entrances->second.count(ref.entrance)) {
        diag_warning(path, ref.line, "level " + std::to_string(ref.number) + " has no entrance " + std::to_string(ref.entrance) +
                                         "; the player starts at (32, 25)");
    }
}

bool level_check(LevelInfo *level, const TileMap *map, const ContentIndex &index, std::string *text) {
    const int errors_before = diagnostics.errors;
    const std::string &path = level->path;
    std::vector<std::string> lines = level->lines;
    if (map) {
        const int w = map->picture.width, h = map->picture.height;
        if (level->width_given && level->width != w) {
            diag_error(path, 0, "gives the width " + std::to_string(level->width) + " but its map is " + std::to_string(w) + " pixels wide");
        }
        if (level->height_given && level->height != h) {
            diag_error(path, 0, "gives the height " + std::to_string(level->height) + " but its map is " + std::to_string(h) + " pixels high");
        }
        if (w < VIEW_WIDTH || h < VIEW_HEIGHT) {
            diag_error(path, 0, "its map is " + std::to_string(w) + " x " + std::to_string(h) + " pixels; a level is at least 64 x 36");
        }
        // The level picture stands still in the level: as large as the level.
        if (!level->width_given) lines.push_back("width:" + std::to_string(w));
        if (!level->height_given) lines.push_back("height:" + std::to_string(h));
        LayerKeys &bg = level->layers[1];
        if (bg.width == VIEW_WIDTH && bg.height == VIEW_HEIGHT && bg.frames == 1 && !bg.any) {
            lines.push_back("BGwidth:" + std::to_string(w));
            lines.push_back("BGheight:" + std::to_string(h));
            bg.width = w;
            bg.height = h;
        }
        level->width = w;
        level->height = h;
        for (const Box &box : map->boxes) {
            lines.push_back("doodad:-1:" + std::to_string(box.x) + ":" + std::to_string(box.y) + ":" + std::to_string(box.w) +
                            ":" + std::to_string(box.h));
        }
        level->doodads += static_cast<int>(map->boxes.size());
    }
    if (level->map_failed) {
        // The map's own errors say what is wrong; its picture and size are unknown.
    } else if (!level->width || !level->height) {
        diag_error(path, 0, "gives no width and height (width:n and height:n, or a tile map)");
    } else {
        for (const Spot &spot : level->spots) check_spot(spot, level->width, level->height);
    }

    for (int layer = 0; layer < 3; ++layer) {
        const LayerKeys &keys = level->layers[layer];
        const std::string name = level_picture_name(level->number, layer);
        const auto picture = index.pictures.find(name);
        if (picture == index.pictures.end()) {
            if (layer == 1 && level->map_failed) {
                continue;
            } else if (layer == 1) {
                diag_error(path, 0, "has no level picture img/" + name + ".png (images/" + name + ".art or .png, or levels/" + name + ".map)");
            } else if (keys.any) {
                diag_error(path, keys.line, "sets a layer whose picture img/" + name + ".png is missing");
            }
            continue;
        }
        const int need_w = keys.frames * keys.width, need_h = keys.height;
        if (picture->second.width < need_w || picture->second.height < need_h) {
            diag_error(path, keys.line, "the layer needs a picture of at least " + std::to_string(need_w) + " x " +
                                            std::to_string(need_h) + " pixels; img/" + name + ".png is " +
                                            std::to_string(picture->second.width) + " x " + std::to_string(picture->second.height));
        }
        if (level->width == VIEW_WIDTH && keys.width != VIEW_WIDTH) {
            diag_error(path, keys.line, "in a level exactly as wide as the view every layer is 64 pixels wide");
        }
        if (level->height == VIEW_HEIGHT && keys.height != VIEW_HEIGHT) {
            diag_error(path, keys.line, "in a level exactly as high as the view every layer is 36 pixels high");
        }
    }

    check_capacity(path, level->doodads + level->created_doodads, MAX_DOODADS, "doodads (with boxes from its map and createdoodad triggers)");
    check_capacity(path, level->enemies, MAX_ENEMIES, "enemies");
    check_capacity(path, level->triggers, MAX_TRIGGERS, "triggers");
    check_capacity(path, level->savepoints, MAX_SAVEPOINTS, "save points");
    check_capacity(path, level->pickups, MAX_PICKUPS, "pickups");
    if (static_cast<int>(lines.size()) > TEXT_MAX_LINES) {
        diag_error(path, 0, "comes to " + std::to_string(lines.size()) + " lines" + (map ? " with its map's boxes" : "") +
                                "; the game reads at most " + std::to_string(TEXT_MAX_LINES));
    }

    for (const LevelRef &ref : level->refs) check_reference(path, ref, index);
    if (level->ability_line && !index.cutscenes.count(5)) {
        diag_error(path, level->ability_line, "the ability pickup plays cutscene 5, and there is none");
    }
    if (level->loadgame_line && !index.cutscenes.count(2)) {
        diag_error(path, level->loadgame_line, "without a saved game this trigger plays cutscene 2, and there is none");
    }
    if (level->newgame_line && !index.levels.count(3)) {
        diag_error(path, level->newgame_line, "a new game is saved in level 3, and there is none");
    }

    text->clear();
    for (const std::string &line : lines) *text += line + "\n";
    return diagnostics.errors == errors_before;
}

// --------------------------------------------------------------- cutscenes

static void read_cutscene_line(const LineReader &r, const Fields &f, CutsceneInfo *out) {
    int value = 0;
    const std::string key = f[0];
    if (key == "frames" || key == "fps") {
        if (!want_count(r, f, 2, 2, (key + ":n").c_str()) || !want_int(r, f, 1, "the value", &value)) return;
        if (value < 1) {
            r.error(quoted(key) + " must be 1 or more");
            return;
        }
        if (key == "frames") {
            out->frames = value;
            out->frames_line = r.line;
        }
    } else if (key == "sound_overlay") {
        want_count(r, f, 1, 1, "sound_overlay");
    } else if (key == "target") {
        const std::string kind = f[1];
        int a = 0, b = 0;
        if (kind == "level") {
            if (!want_count(r, f, 4, 4, "target:level:level:entrance") || !want_int(r, f, 2, "the level", &a) ||
                !want_int(r, f, 3, "the entrance", &b)) {
                return;
            }
            out->refs.push_back({r.line, false, a, b});
        } else if (kind == "cutscene") {
            if (!want_count(r, f, 3, 3, "target:cutscene:number") || !want_int(r, f, 2, "the cutscene", &a)) return;
            out->refs.push_back({r.line, true, a, -1});
        } else if (kind == "quit") {
            if (!want_count(r, f, 2, 2, "target:quit")) return;
        } else {
            r.error("a target is level, cutscene or quit, not " + quoted(kind) + source_suggest(kind, {"level", "cutscene", "quit"}));
            return;
        }
        if (out->has_target) r.warning("a second target; the last one counts");
        out->has_target = true;
    } else {
        r.error("unknown key " + quoted(key) + " (frames, fps, sound_overlay, target)" +
                source_suggest(key, {"frames", "fps", "sound_overlay", "target"}));
    }
}

bool cutscene_read(const std::string &path, int number, CutsceneInfo *out) {
    const int errors_before = diagnostics.errors;
    *out = CutsceneInfo{};
    out->number = number;
    out->path = path;
    const auto read_line = [out](const LineReader &r, const Fields &f) { read_cutscene_line(r, f, out); };
    if (!read_description(path, &out->lines, read_line)) return false;
    if (static_cast<int>(out->lines.size()) > TEXT_MAX_LINES) {
        diag_error(path, 0, "has " + std::to_string(out->lines.size()) + " lines; the game reads at most " + std::to_string(TEXT_MAX_LINES));
    }
    return diagnostics.errors == errors_before;
}

bool cutscene_check(const CutsceneInfo &cutscene, const ContentIndex &index, std::string *text) {
    const int errors_before = diagnostics.errors;
    const std::string &path = cutscene.path;
    const std::string name = "cutscene" + std::to_string(cutscene.number);
    if (!cutscene.frames_line) diag_error(path, 0, "gives no frame count (frames:n)");
    const auto picture = index.pictures.find(name);
    if (picture == index.pictures.end()) {
        diag_error(path, 0, "has no picture img/" + name + ".png (images/" + name + ".art or .png)");
    } else if (cutscene.frames > 0) {
        const int columns = std::min(cutscene.frames, CUTSCENE_FRAMES_PER_ROW);
        const int rows = (cutscene.frames + CUTSCENE_FRAMES_PER_ROW - 1) / CUTSCENE_FRAMES_PER_ROW;
        const int need_w = columns * CUTSCENE_FRAME_WIDTH, need_h = rows * CUTSCENE_FRAME_HEIGHT;
        if (picture->second.width < need_w || picture->second.height < need_h) {
            diag_error(path, cutscene.frames_line,
                       std::to_string(cutscene.frames) + " frames need a picture of at least " + std::to_string(need_w) + " x " +
                           std::to_string(need_h) + " pixels; img/" + name + ".png is " + std::to_string(picture->second.width) +
                           " x " + std::to_string(picture->second.height));
        }
    }
    for (const LevelRef &ref : cutscene.refs) check_reference(path, ref, index);
    if (cutscene.number == 1 && !cutscene.has_target) {
        diag_error(path, 0, "opens the game before any level is loaded, so it needs a target (target:level:0:0)");
    }
    text->clear();
    for (const std::string &line : cutscene.lines) *text += line + "\n";
    return diagnostics.errors == errors_before;
}
