// The data builder: reads a content folder and makes the game's archive.
//
//   images/NAME.art|png     -> img/NAME.png (sheets, font, level layers, cutscenes)
//   levels/levelN.txt       -> data/levelN.txt (with levels/levelN.map: img/levelN.png and solid boxes)
//   cutscenes/cutsceneN.txt -> data/cutsceneN.txt
//   sounds/NAME.snd|ogg     -> snd/NAME.ogg
//   palettes/, tiles/       -> shared colours, tilesets and stamps
//
// Messages go to the global `diagnostics` (source.h).
#pragma once

#include "dataio/dataio.h"

#include <string>
#include <vector>

// Builds every entry of the archive, sorted by path. False when any error
// was found; the entries are then incomplete.
bool databuild_build(const std::string &content_dir, std::vector<ArchiveEntry> *entries);

// Builds and writes the archive; on errors nothing is written and an older
// archive at the path is left as it was.
bool databuild_write(const std::string &content_dir, const std::string &archive_path);
