// Level file lines applied to the world tables, one line at a time. Nothing
// here needs video or an archive; music lines switch the current music of
// an audio bank that was never started, which plays nothing.
#include "audio/audio.h"
#include "common/random.h"
#include "common/settings.h"
#include "level/level.h"
#include "player/player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Level 3 with empty tables whose records still hold ones in every byte, so
// that a line must clear what it does not set.
void reset_world() {
    settings_apply_defaults();
    level_state = {};
    level_state.level = 3;
    RearBG = BG = FG = {};
    std::memset(static_cast<void *>(doodads), 1, sizeof doodads);
    std::memset(static_cast<void *>(enemies), 1, sizeof enemies);
    std::memset(static_cast<void *>(triggers), 1, sizeof triggers);
    std::memset(static_cast<void *>(save_points), 1, sizeof save_points);
    std::memset(static_cast<void *>(pickups), 1, sizeof pickups);
    doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
    player = {};
    player.x = 32.0f;
    player.y = 25.0f;
}

void parse(const std::string &text, int32_t arrival = 0, bool at_save_point = false) {
    std::string line = text;
    parse_level_line(line.data(), arrival, at_save_point);
}

// The first record of the first table that is not empty, in words.
std::string first_record() {
    char s[256] = "";
    if (doodad_count > 0) {
        const Doodad &d = doodads[0];
        std::snprintf(s, sizeof s, "%sdoodad %d at %g,%g home %d,%d size %dx%d box %d,%d %dx%d frames %d%s",
                      d.active ? "" : "off ", d.type, d.x, d.y, d.home_x, d.home_y, d.width, d.height, d.box_x,
                      d.box_y, d.box_w, d.box_h, d.frames, d.elevator_moving ? " moving" : "");
        if (d.elevator_armed) std::snprintf(s + std::strlen(s), 40, " lift to %d,%d", d.dest_x, d.dest_y);
    } else if (enemy_count > 0) {
        const Enemy &e = enemies[0];
        std::snprintf(s, sizeof s,
                      "%senemy %d at %g,%g size %dx%d hit %d,%d %dx%d health %d frames %d/%d state %d facing %d",
                      e.active ? "" : "off ", e.kind, e.x, e.y, e.width, e.height, e.hit_x, e.hit_y, e.hit_w,
                      e.hit_h, e.health, e.state1_frames, e.state3_frames, e.state, e.facing);
    } else if (pickup_count > 0) {
        const Pickup &p = pickups[0];
        std::snprintf(s, sizeof s, "%spickup %d at %d,%d size %dx%d frames %d%s", p.active ? "" : "off ", p.kind,
                      p.x, p.y, p.w, p.h, p.frames, p.hidden ? " hidden" : "");
    } else if (save_point_count > 0) {
        const SavePoint &p = save_points[0];
        std::snprintf(s, sizeof s, "%ssavepoint %d at %d,%d%s", p.active ? "" : "off ", p.id, p.x, p.y,
                      p.lit ? " lit" : "");
    } else if (trigger_count > 0) {
        static const char *const commands[] = {"startboss", "createdoodad", "level", "loadgame", "newgame", "cutscene",
                                               "quit", "unlockcamera", "lockcamera", "lockcamerax", "movecamera"};
        const Trigger &t = triggers[0];
        std::snprintf(s, sizeof s, "%strigger %s %d,%d at %d,%d %dx%d new %d,%d %dx%d", t.active ? "" : "off ",
                      t.command >= 0 && t.command <= 10 ? commands[t.command] : "?", t.param_a, t.param_b, t.x, t.y,
                      t.w, t.h, t.new_x, t.new_y, t.new_w, t.new_h);
    }
    return s;
}

}  // namespace

TEST(LevelFile, LevelWideKeysAreExactAndReadTheirNumbers) {
    const double never = 77;  // what each value holds before the line
    const struct {
        const char *line;
        std::function<double()> value;
        double expected;
    } cases[] = {
        {"width:300", [] { return level_state.level_width; }, 300},
        {"width", [] { return level_state.level_width; }, never},
        {"Width:5", [] { return level_state.level_width; }, never},
        {"cameralocked:no", [] { return level_state.camera_locked; }, 1},
        {"RearBGframes:3", [] { return RearBG.frames; }, 3},
        {"FGfps:4", [] { return FG.frame_time; }, 0.25},
        {"BGfps:0", [] { return BG.frame_time; }, INFINITY},
        {"BGfpsx:4", [] { return BG.frame_time; }, never},
        {"RearBGHorzScrollSpeed:2.5", [] { return RearBG.scroll_speed; }, 2.5},
        {"entrance:1:8:30:2.5", [] { return level_state.fade_in_duration; }, 2.5},
        {"entrance:1:8:30:-1e39", [] { return level_state.fade_in_duration; }, 0},
        {"entrance:1:8:30", [] { return level_state.fade_in_duration; }, never},
        {"music:-1", [] { return current_music; }, MUSIC_NONE},
        {"music:2", [] { return current_music; }, MUSIC_LEVEL2},
        {"music:3", [] { return current_music; }, never},
    };
    for (const auto &c : cases) {
        reset_world();
        level_state.level_width = 77;
        level_state.fade_in_duration = BG.frame_time = 77.0f;
        current_music = 77;
        parse(c.line);
        EXPECT_EQ(c.value(), c.expected) << c.line;
    }
    current_music = MUSIC_NONE;

    const std::string sixty(60, 'x');
    for (const auto &[line, title] : std::vector<std::pair<std::string, std::string>>{
             {"title:One:Two", "One"}, {"title:" + sixty, sixty.substr(0, 50)}}) {
        reset_world();
        parse(line);
        EXPECT_EQ(level_state.title, title) << line;
    }
}

// Doodads, enemies, pickups, save points and triggers: the record a line appends,
// cleared of what the slot held before. Floats are truncated where the
// table holds ints, and saturate.
TEST(LevelFile, RecordLines) {
    const struct {
        const char *line;
        const char *record;  // "" when the line appends nothing
    } cases[] = {
        {"doodad:3:10.7:20.2", "doodad 3 at 10.7,20.2 home 10,20 size 15x13 box 0,5 15x8 frames 1"},
        {"doodad:9:-2.7:3e9", "doodad 9 at -2.7,3e+09 home -2,2147483647 size 12x6 box 0,1 12x11 frames 1"},
        {"doodad:5:1e39:-1e39", "doodad 5 at 0,0 home 0,0 size 33x12 box 0,4 33x8 frames 1"},
        {"doodad:-1:4:8:30:2", "doodad -1 at 4,8 home 4,8 size 30x2 box 0,0 30x2 frames 1"},
        {"doodad:-1:4:8:30", ""},
        // Only types 0..9 can be lifts, with both numbers.
        {"doodad:0:110:26:elevator:110:12",
         "doodad 0 at 110,26 home 110,26 size 6x2 box 0,0 6x2 frames 1 lift to 110,12"},
        {"doodad:-1:4:8:elevator:3:4", "doodad -1 at 4,8 home 4,8 size 0x3 box 0,0 0x3 frames 1"},
        {"doodad:8:1:2:elevator:3", "doodad 8 at 1,2 home 1,2 size 12x12 box 0,1 12x11 frames 1"},
        // Types outside -1..9 are inert: neither drawn nor solid.
        {"doodad:12:1:2:elevator:3:4", "doodad 12 at 1,2 home 1,2 size 0x0 box 0,0 0x0 frames 0"},
        {"doodad:-2:1:2", "doodad -2 at 1,2 home 1,2 size 0x0 box 0,0 0x0 frames 0"},
        // File kinds 0..3 are the walker, the hazard, the small and the large
        // enemy; every enemy starts falling, facing left.
        {"enemy:0:40.5:23", "enemy 0 at 40.5,23 size 0x0 hit 0,0 0x0 health 3 frames 0/0 state 2 facing 6"},
        {"enemy:2:40.5:23", "enemy 3 at 40.5,23 size 7x6 hit 1,1 4x5 health 3 frames 19/0 state 2 facing 6"},
        {"enemy:3:40.5:23", "enemy 4 at 40.5,23 size 12x12 hit 2,3 8x9 health 5 frames 6/7 state 2 facing 6"},
        {"enemy:4:1:1", ""},
        {"enemy:-1:1:1", ""},
        {"pickup:0:10.7:20.2", "pickup 0 at 10,20 size 0x0 frames 0"},
        {"pickup:1:-70.9:29", "pickup 1 at -70,29 size 8x11 frames 12 hidden"},
        {"pickup:2:1:1", ""},
        {"savepoint:4:40.9:16.2", "savepoint 4 at 40,16"},
        // Each trigger form needs its fields; a level trigger's ninth field
        // may make it a new game or a continue.
        {"trigger:level:5:1:0:2:8:36", "trigger level 5,1 at 0,2 8x36 new 0,0 0x0"},
        {"trigger:level:5:1:0:2:8:36:loadgame", "trigger loadgame 5,1 at 0,2 8x36 new 0,0 0x0"},
        {"trigger:level:5:1:0:2:8:36:newgame", "trigger newgame 5,1 at 0,2 8x36 new 0,0 0x0"},
        {"trigger:level:5:1:0:2:8:36:continue", "trigger level 5,1 at 0,2 8x36 new 0,0 0x0"},
        {"trigger:level:5:1:0:2:8", ""},
        {"trigger:cutscene:3:0:1:8:8", "trigger cutscene 3,0 at 0,1 8x8 new 0,0 0x0"},
        {"trigger:cutscene:3:0:1:8", ""},
        {"trigger:quit:46:12:4:4:extra", "trigger quit 0,0 at 46,12 4x4 new 0,0 0x0"},
        {"trigger:quit:46:12:4", ""},
        {"trigger:lockcamerax:1:2:3:4", "trigger lockcamerax 0,0 at 1,2 3x4 new 0,0 0x0"},
        {"trigger:movecamera:10:0:0:0:4:4", "trigger movecamera 10,0 at 0,0 4x4 new 0,0 0x0"},
        {"trigger:createdoodad:30:31:4:2:20:21:5:10", "trigger createdoodad 0,0 at 20,21 5x10 new 30,31 4x2"},
        {"trigger:createdoodad:30:31:4:2:20:21:5", ""},
        {"trigger:jump:1:2:3:4", ""},
    };
    for (const auto &c : cases) {
        reset_world();
        parse(c.line);
        EXPECT_EQ(first_record(), c.record) << c.line;
        EXPECT_LE(doodad_count + enemy_count + pickup_count + save_point_count + trigger_count, 1) << c.line;
    }
}

TEST(LevelFile, AnimatedDoodadsStartAtARandomPointAndStillOnesDrawNoNumber) {
    reset_world();
    random_state = 12345;
    const int32_t timer_draw = random_next(), frame_draw = random_next(), after = random_state;
    random_state = 12345;
    for (const char *line : {"doodad:2:0:0", "doodad:3:0:0", "doodad:-1:0:0:4:4"}) parse(line);
    EXPECT_EQ(doodads[0].frame_timer, static_cast<float>(timer_draw % 1000) / 1000.0f * 0.5f);
    EXPECT_EQ(doodads[0].frame, frame_draw % 4);
    EXPECT_EQ(random_state, after);
    EXPECT_EQ(doodads[1].frame + doodads[1].frame_timer + doodads[2].frame + doodads[2].frame_timer, 0.0f);
}

TEST(LevelFile, ArrivalPlacesThePlayerAndProgressLightsOnlyItsOwnLevel) {
    const struct {
        std::vector<const char *> lines;
        int32_t arrival;
        bool at_save_point;
        int32_t savelevel, savecheckpoint;  // progress; the loaded level is 3
        float x, y;
        bool lit;
    } cases[] = {
        {{"savepoint:4:40:16"}, 4, true, -1, -1, 42, 19, true},
        {{"savepoint:4:40:16"}, 4, false, -1, -1, 32, 25, false},
        {{"savepoint:2:40:16"}, 0, false, 3, 2, 32, 25, true},
        {{"savepoint:2:40:16"}, 0, false, 4, 2, 32, 25, false},
        {{"savepoint:1:40:16"}, 0, false, 3, 2, 32, 25, false},
        {{"entrance:2:8.9:30"}, 2, true, -1, -1, 32, 25, false},
        {{"entrance:2:8:30", "entrance:2:9:31", "entrance:3:1:1"}, 2, false, -1, -1, 9, 31, false},
    };
    for (const auto &c : cases) {
        reset_world();
        settings.savelevel = c.savelevel;
        settings.savecheckpoint = c.savecheckpoint;
        for (const char *line : c.lines) parse(line, c.arrival, c.at_save_point);
        SCOPED_TRACE(c.lines.front());
        EXPECT_EQ(player.x, c.x);
        EXPECT_EQ(player.y, c.y);
        EXPECT_EQ(save_point_count > 0 && save_points[0].lit, c.lit);
    }
}

TEST(LevelFile, RecordsPastATableAreDropped) {
    for (const auto &[line, count, capacity] : {std::tuple{"doodad:0:1:1", &doodad_count, DOODAD_CAPACITY},
                                                std::tuple{"enemy:3:1:1", &enemy_count, ENEMY_CAPACITY},
                                                std::tuple{"trigger:quit:0:0:1:1", &trigger_count, TRIGGER_CAPACITY},
                                                std::tuple{"savepoint:1:0:0", &save_point_count, SAVEPOINT_CAPACITY},
                                                std::tuple{"pickup:1:0:0", &pickup_count, PICKUP_CAPACITY}}) {
        reset_world();
        for (int i = 0; i < capacity + 5; ++i) parse(line);
        EXPECT_EQ(*count, capacity) << line;
    }
}
