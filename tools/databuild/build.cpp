#include "databuild.h"

#include "art.h"
#include "layouts.h"
#include "level.h"
#include "source.h"
#include "synth.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;

// A file of a content folder: its path, its name without the extension,
// and the extension.
struct FolderFile {
    std::string path, stem, extension;
};

// The files of one folder, sorted by path. Hidden files, notes (.md) and
// what editors leave behind are passed over. Sub-folders are passed over
// where they may hold pictures to import (images/), and named elsewhere,
// since nothing in them would be read.
static std::vector<FolderFile> list_folder(const std::string &folder, bool subfolders_hold_imports = false) {
    std::vector<FolderFile> files;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return files;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error)) {
        const fs::path &path = entry.path();
        const std::string name = path.filename().string();
        if (name.empty() || name[0] == '.' || path.extension() == ".md" || source_is_leftover(name)) continue;
        if (entry.is_directory(error) && subfolders_hold_imports) continue;
        if (!entry.is_regular_file(error)) {
            diag_error(path.string(), 0, "is not a file; sub-folders of this folder are not read");
            continue;
        }
        files.push_back({path.string(), path.stem().string(), path.extension().string()});
    }
    std::sort(files.begin(), files.end(), [](const FolderFile &a, const FolderFile &b) { return a.path < b.path; });
    return files;
}

// "level12" with prefix "level" gives 12; false for "level", "level07", "levelx".
static bool numbered(const std::string &name, const std::string &prefix, int *number) {
    if (name.rfind(prefix, 0) != 0) return false;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 6 || (digits.size() > 1 && digits[0] == '0')) return false;
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    *number = std::atoi(digits.c_str());
    return true;
}

// The pictures the game loads.
static bool picture_name_known(const std::string &name) {
    int number = 0;
    if (name == "tinyfont" || layout_find(name)) return true;
    if (numbered(name, "cutscene", &number) || numbered(name, "level", &number)) return true;
    for (const char *suffix : {"-rear", "-fg"}) {
        const std::string s = suffix;
        if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0 &&
            numbered(name.substr(0, name.size() - s.size()), "level", &number)) {
            return true;
        }
    }
    return false;
}

static void add_entry(std::vector<ArchiveEntry> *entries, const std::string &path, std::vector<uint8_t> bytes) {
    entries->push_back({path, std::move(bytes)});
}

static std::vector<uint8_t> text_bytes(const std::string &text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

static void build_picture(const FolderFile &file, const ArtContext &context, ContentIndex *index) {
    Image picture;
    if (file.extension == ".png") {
        if (!art_load_png(file.path, &picture)) return;
        const SheetLayout *layout = layout_find(file.stem);
        const int need_w = file.stem == "tinyfont" ? font_left_x(127) : layout ? layout->width : 1;
        const int need_h = file.stem == "tinyfont" ? FONT_HEIGHT : layout ? layout->height : 1;
        if (picture.width < need_w || picture.height < need_h) {
            diag_error(file.path, 0, "is " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                                         " pixels; the sheet's frames need at least " + std::to_string(need_w) + " x " +
                                         std::to_string(need_h));
            return;
        }
    } else {
        Art art;
        if (!art_build(file.path, file.stem, context, &art)) return;
        picture = std::move(art.image);
    }
    index->pictures[file.stem] = std::move(picture);
}

static void check_sound_file(const FolderFile &file, std::vector<uint8_t> *bytes) {
    std::string data;
    if (!source_read_file(file.path, &data)) return;
    int channels = 0, rate = 0;
    short *samples = nullptr;
    const int frames = stb_vorbis_decode_memory(reinterpret_cast<const unsigned char *>(data.data()),
                                                static_cast<int>(data.size()), &channels, &rate, &samples);
    std::free(samples);
    if (frames <= 0) {
        diag_error(file.path, 0, "is not an Ogg Vorbis file that decodes");
    } else if (rate != SOUND_RATE) {
        diag_error(file.path, 0, "plays at " + std::to_string(rate) +
                                     " frames per second; the game plays every sound at 44000 without resampling");
    } else if (channels != 1 && channels != 2) {
        diag_error(file.path, 0, "has " + std::to_string(channels) + " channels; the game plays 1 or 2");
    } else {
        bytes->assign(data.begin(), data.end());
    }
}

bool databuild_build(const std::string &content_dir, std::vector<ArchiveEntry> *entries) {
    entries->clear();
    std::error_code error;
    if (!fs::is_directory(content_dir, error)) {
        diag_error(content_dir, 0, "is not a folder");
        return false;
    }
    ContentIndex index;
    ArtContext context;
    context.content_dir = content_dir;

    // Pictures; the font first, since other pictures may write with it. A
    // PNG that is no picture of the game is one drawn to be imported.
    static const char *const PICTURE_NAMES = "sheets: ui, enemies, effects, pickups, projectiles, doodads, boss; tinyfont; "
                                             "cutsceneN; levelN, levelN-rear, levelN-fg";
    const std::vector<FolderFile> images = list_folder(content_dir + "/images", true);
    std::map<std::string, std::string> picture_sources;
    std::vector<const FolderFile *> loose_pictures;
    for (const FolderFile &file : images) {
        if (file.extension != ".art" && file.extension != ".png") {
            diag_error(file.path, 0, "is neither pixel art (.art) nor a picture (.png)");
        } else if (!picture_name_known(file.stem)) {
            if (file.extension == ".png") {
                loose_pictures.push_back(&file);
            } else {
                diag_error(file.path, 0, std::string("is not a picture the game loads (") + PICTURE_NAMES + ")");
            }
        } else if (picture_sources.count(file.stem)) {
            diag_error(file.path, 0, "makes the same picture as " + picture_sources[file.stem]);
        } else {
            picture_sources[file.stem] = file.path;
        }
    }
    std::set<std::string> imported;
    context.imported = &imported;
    const auto is_source = [&](const FolderFile &file) {
        const auto found = picture_sources.find(file.stem);
        return found != picture_sources.end() && found->second == file.path;
    };
    for (const FolderFile &file : images) {
        if (file.stem == "tinyfont" && is_source(file)) build_picture(file, context, &index);
    }
    const auto font = index.pictures.find("tinyfont");
    if (font != index.pictures.end()) context.font = &font->second;
    for (const FolderFile &file : images) {
        if (file.stem != "tinyfont" && is_source(file)) build_picture(file, context, &index);
    }
    for (const FolderFile *file : loose_pictures) {
        if (!imported.count(art_file_key(file->path))) {
            diag_error(file->path, 0, std::string("is not a picture the game loads (") + PICTURE_NAMES +
                                          "), and no art file imports it (import FILE X Y)");
        }
    }

    // Levels, with their tile maps.
    std::map<int, std::string> level_files, map_files;
    for (const FolderFile &file : list_folder(content_dir + "/levels")) {
        int number = 0;
        if (!numbered(file.stem, "level", &number) || (file.extension != ".txt" && file.extension != ".map")) {
            diag_error(file.path, 0, "is not a level (levelN.txt) or a level's tile map (levelN.map)");
        } else if (file.extension == ".txt") {
            level_files[number] = file.path;
            index.levels.insert(number);
        } else {
            map_files[number] = file.path;
        }
    }
    std::map<int, TileMap> maps;
    std::set<int> failed_maps;
    for (const auto &[number, path] : map_files) {
        const std::string name = "level" + std::to_string(number);
        if (!level_files.count(number)) {
            diag_error(path, 0, "has no level description levels/" + name + ".txt");
            continue;
        }
        if (picture_sources.count(name)) {
            diag_error(path, 0, "draws the level picture, and so does " + picture_sources[name]);
            continue;
        }
        TileMap map;
        if (!map_build(path, context, &map)) {
            failed_maps.insert(number);
            continue;
        }
        index.pictures[name] = map.picture;
        maps[number] = std::move(map);
    }

    // Cutscenes.
    std::map<int, std::string> cutscene_files;
    for (const FolderFile &file : list_folder(content_dir + "/cutscenes")) {
        int number = 0;
        if (!numbered(file.stem, "cutscene", &number) || file.extension != ".txt") {
            diag_error(file.path, 0, "is not a cutscene description (cutsceneN.txt)");
        } else {
            cutscene_files[number] = file.path;
            index.cutscenes.insert(number);
        }
    }

    // Descriptions are read first, then checked against each other.
    std::map<int, LevelInfo> levels;
    for (const auto &[number, path] : level_files) {
        LevelInfo &level = levels[number];
        level_read(path, number, &level);
        const auto map = maps.find(number);
        if (map != maps.end()) level_read_placed(map->second, &level);
        level.map_failed = failed_maps.count(number) > 0;
        index.entrances[number] = level.entrances;
    }
    for (auto &[number, level] : levels) {
        std::string text;
        const auto map = maps.find(number);
        if (level_check(&level, map == maps.end() ? nullptr : &map->second, index, &text)) {
            add_entry(entries, "data/level" + std::to_string(number) + ".txt", text_bytes(text));
        }
    }
    for (const auto &[number, path] : cutscene_files) {
        CutsceneInfo cutscene;
        std::string text;
        cutscene_read(path, number, &cutscene);
        if (cutscene_check(cutscene, index, &text)) {
            add_entry(entries, "data/cutscene" + std::to_string(number) + ".txt", text_bytes(text));
        }
    }
    if (!index.levels.count(0)) diag_error(content_dir + "/levels", 0, "there is no level 0 (levels/level0.txt), the title level");
    if (!index.cutscenes.count(1)) {
        diag_error(content_dir + "/cutscenes", 0, "there is no cutscene 1 (cutscenes/cutscene1.txt), which opens the game");
    }
    for (int i = 0; i < layout_count(); ++i) {
        const std::string name = layout_at(i)->name;
        if (!picture_sources.count(name)) diag_error(content_dir + "/images", 0, "the sheet img/" + name + ".png is missing (images/" + name + ".art)");
    }
    if (!picture_sources.count("tinyfont")) diag_error(content_dir + "/images", 0, "the font img/tinyfont.png is missing (images/tinyfont.art)");

    for (const auto &[name, picture] : index.pictures) {
        add_entry(entries, "img/" + name + ".png", dataio_encode_png(picture.pixels.data(), picture.width, picture.height));
    }

    // Sounds.
    std::map<std::string, std::string> sound_sources;
    for (const FolderFile &file : list_folder(content_dir + "/sounds")) {
        if (file.extension != ".snd" && file.extension != ".ogg") {
            diag_error(file.path, 0, "is neither a score (.snd) nor an Ogg Vorbis file (.ogg)");
            continue;
        }
        if (!sound_is_known(file.stem)) {
            diag_error(file.path, 0, "is not one of the game's 22 sounds");
            continue;
        }
        if (sound_sources.count(file.stem)) {
            diag_error(file.path, 0, "makes the same sound as " + sound_sources[file.stem]);
            continue;
        }
        sound_sources[file.stem] = file.path;
        std::vector<uint8_t> bytes;
        if (file.extension == ".ogg") {
            check_sound_file(file, &bytes);
        } else {
            Pcm pcm;
            if (synth_build(file.path, &pcm)) {
                bytes = dataio_encode_ogg(pcm.samples.data(), pcm.frames, pcm.channels, SOUND_RATE, pcm.quality);
                if (bytes.empty()) diag_error(file.path, 0, "the Ogg Vorbis encoder refused the sound");
            }
        }
        if (!bytes.empty()) add_entry(entries, "snd/" + file.stem + ".ogg", std::move(bytes));
    }
    for (int i = 0; i < SOUND_COUNT; ++i) {
        const std::string name = sound_name(i);
        if (!sound_sources.count(name)) {
            diag_error(content_dir + "/sounds", 0, "the sound snd/" + name + ".ogg is missing (sounds/" + name + ".snd or .ogg)");
        }
    }

    std::sort(entries->begin(), entries->end(), [](const ArchiveEntry &a, const ArchiveEntry &b) { return a.path < b.path; });
    return diagnostics.errors == 0;
}

bool databuild_write(const std::string &content_dir, const std::string &archive_path) {
    std::vector<ArchiveEntry> entries;
    if (!databuild_build(content_dir, &entries)) return false;
    // Written beside the target and renamed over it, so that a reader never
    // sees half an archive.
    const std::string temporary = archive_path + ".part";
    std::string error;
    if (!dataio_write_zip(temporary, entries, &error)) {
        diag_error(archive_path, 0, "cannot be written: " + error);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), archive_path.c_str()) != 0) {
        diag_error(archive_path, 0, "cannot be replaced");
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
