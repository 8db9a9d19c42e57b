// Level and cutscene descriptions: tile maps drawn into level pictures with
// their solid ground as invisible boxes, and the checks that keep every file
// inside what the game reads.
#pragma once

#include "art.h"
#include "layouts.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// What the other files may refer to.
struct ContentIndex {
    std::set<int> levels;
    std::set<int> cutscenes;
    std::map<std::string, Image> pictures;  // by name: "level3", "cutscene1", "ui", ...
    std::map<int, std::set<int>> entrances; // by level
};

// A solid rectangle of level pixels.
struct Box {
    int x, y, w, h;
};

// A level line made by a "place" line of a tile map, for each cell of its
// letter: "enemy:2:36:14". line is the place line's number in the map.
struct PlacedLine {
    int line;
    std::string text;
};

// A level picture drawn from a tile map, its solid ground, and the level
// lines its letters place.
struct TileMap {
    std::string path;
    Image picture;
    std::vector<Box> boxes;
    std::vector<PlacedLine> placed;
};

// Reads a tile map (tilesets come from <content_dir>/tiles). False after
// errors.
bool map_build(const std::string &path, const ArtContext &context, TileMap *out);

// Covers the set cells of a width x height mask with few rectangles.
std::vector<Box> boxes_merge(const std::vector<bool> &mask, int width, int height);

// A level description read and checked on its own; finished by level_check
// once every file is known.
struct LevelRef {
    int line;
    bool cutscene;   // else a level
    int number;
    int entrance;    // for levels; -1 when none is named
};

struct LayerKeys {
    int frames = 1, width = VIEW_WIDTH, height = VIEW_HEIGHT;
    bool any = false;  // a key of this layer appears
    int line = 0;      // the first such key
};

// A position the level file gives, checked against the level's size once
// it is known: a thing of w x h pixels at (x, y), or a trigger rectangle.
struct Spot {
    std::string path;  // the level file, or the map for placed lines
    int line;
    std::string what;  // "the enemy", "entrance 1", ...
    double x, y;
    int w, h;
    bool whole;        // must lie wholly inside; else some part must
};

struct LevelInfo {
    int number = 0;
    std::string path;
    std::vector<std::string> lines;  // the file as the game gets it, comments left out
    int width = 0, height = 0;       // 0 when the file does not say
    bool width_given = false, height_given = false;
    LayerKeys layers[3];             // rear, level picture, foreground
    int doodads = 0, enemies = 0, triggers = 0, savepoints = 0, pickups = 0;
    int created_doodads = 0;         // by "createdoodad" triggers while playing
    std::vector<LevelRef> refs;
    int ability_line = 0;            // an ability pickup, which plays cutscene 5
    int loadgame_line = 0;           // a "loadgame" trigger, which may play cutscene 2
    int newgame_line = 0;            // a "newgame" trigger, which makes level 3 the saved level
    std::set<int> entrances;
    std::vector<Spot> spots;
    bool map_failed = false;         // its tile map has errors of its own
};

// Reads and checks one level description line by line.
bool level_read(const std::string &path, int number, LevelInfo *out);
// Reads the lines a tile map's "place" lines make as if the level file held
// them (messages name the map's lines), and adds them to the level.
bool level_read_placed(const TileMap &map, LevelInfo *level);
// Adds the map's keys and boxes, checks references, sizes and capacities,
// and gives the text for the archive.
bool level_check(LevelInfo *level, const TileMap *map, const ContentIndex &index, std::string *text);

struct CutsceneInfo {
    int number = 0;
    std::string path;
    std::vector<std::string> lines;
    int frames = 0;
    int frames_line = 0;
    bool has_target = false;
    std::vector<LevelRef> refs;
};

bool cutscene_read(const std::string &path, int number, CutsceneInfo *out);
bool cutscene_check(const CutsceneInfo &cutscene, const ContentIndex &index, std::string *text);
