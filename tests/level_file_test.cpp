// Level file lines applied to the world tables, one line at a time. Nothing
// here needs video or an archive; music lines switch the current music of
// an audio bank that was never started, which plays nothing.
#include "audio/audio.h"
#include "common/random.h"
#include "common/settings.h"
#include "level/level.h"
#include "player/player.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <string>

namespace {

class LevelFile : public testing::Test {
protected:
    void SetUp() override {
        settings_apply_defaults();
        level_state = {};
        level_state.level = 3;
        RearBG = BG = FG = {};
        doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
        player = {};
        player.x = 32.0f;
        player.y = 25.0f;
    }

    static void parse(const std::string &text, int32_t arrival = 0, bool at_save_point = false) {
        std::string line = text;
        parse_level_line(line.data(), arrival, at_save_point);
    }
};

}  // namespace

TEST_F(LevelFile, LevelWideKeysAreExactAndReadTheirLeadingNumber) {
    struct Case {
        const char *line;
        std::function<double()> value;
        double expected;
    };
    const auto width = [] { return level_state.level_width; };
    const auto never = 77.0;  // the value set before each line
    const Case cases[] = {
        {"width:300", width, 300},
        {"width:12abc", width, 12},
        {"width: -5", width, -5},
        {"width", width, never},
        {"Width:5", width, never},
        {" width:5", width, never},
        {"height:48", [] { return level_state.level_height; }, 48},
        {"cameralocked", [] { return level_state.camera_locked; }, 1},
        {"cameralocked:no", [] { return level_state.camera_locked; }, 1},
        {"flashlight", [] { return level_state.flashlight; }, 1},
        {"RearBGframes:3", [] { return RearBG.frames; }, 3},
        {"RearBGwidth:96", [] { return RearBG.width; }, 96},
        {"BGwidth:96", [] { return BG.width; }, 96},
        {"FGheight:48", [] { return FG.height; }, 48},
        {"FGfps:4", [] { return FG.frame_time; }, 0.25},
        {"BGfps:0", [] { return BG.frame_time; }, INFINITY},
        {"BGfpsx:4", [] { return BG.frame_time; }, never},
        {"RearBGHorzScrollSpeed:2.5", [] { return RearBG.scroll_speed; }, 2.5},
        {"FGHorzScrollSpeed:1e39", [] { return FG.scroll_speed; }, 0},
        {"entrance:1:8:30:2.5", [] { return level_state.fade_in_duration; }, 2.5},
        {"entrance:1:8:30:-1e39", [] { return level_state.fade_in_duration; }, 0},
        {"entrance:1:8:30", [] { return level_state.fade_in_duration; }, never},
    };
    for (const Case &c : cases) {
        SetUp();
        level_state.level_width = level_state.level_height = 77;
        level_state.fade_in_duration = 77.0f;
        BG.frame_time = 77.0f;
        parse(c.line);
        EXPECT_EQ(c.value(), c.expected) << c.line;
    }
}

TEST_F(LevelFile, TitleIsTheSecondFieldCutAtFiftyCharacters) {
    const std::string sixty(60, 'x');
    struct Case {
        std::string line;
        std::string title;
    };
    const Case cases[] = {
        {"title:The Outskirts", "The Outskirts"},
        {"title:One:Two", "One"},
        {"title:" + sixty, sixty.substr(0, 50)},
        {"Title:Foo", ""},
        {" title:Foo", ""},
        {"title", ""},
    };
    for (const Case &c : cases) {
        SetUp();
        parse(c.line);
        EXPECT_EQ(level_state.title, c.title) << c.line;
    }
}

TEST_F(LevelFile, MusicLinesSwitchToTheirTrackAndOthersPlayNothing) {
    struct Case {
        const char *line;
        MusicId music;
    };
    const MusicId untouched = 42;
    const Case cases[] = {{"music:-1", MUSIC_NONE}, {"music:0", MUSIC_LEVEL0}, {"music:2", MUSIC_LEVEL2},
                          {"music:3", untouched},   {"music:-2", untouched},  {"music", untouched}};
    for (const Case &c : cases) {
        current_music = untouched;
        parse(c.line);
        EXPECT_EQ(current_music, c.music) << c.line;
    }
    current_music = MUSIC_NONE;
}

TEST_F(LevelFile, DoodadFormsGiveTheirTypesShapeAndElevator) {
    struct Case {
        const char *line;
        bool appended;
        int32_t type = 0;
        float x = 0, y = 0;
        int32_t home_x = 0, home_y = 0, width = 0, height = 0, box_y = 0, box_w = 0, box_h = 0, frames = 0;
        bool elevator = false;
        int32_t dest_x = 0, dest_y = 0;
    };
    const Case cases[] = {
        {"doodad:3:10.7:20.2", true, 3, 10.7f, 20.2f, 10, 20, 15, 13, 5, 15, 8, 1, false, 0, 0},
        {"doodad:1::5:6", true, 1, 5, 6, 5, 6, 22, 18, 0, 22, 18, 3, false, 0, 0},
        {"doodad:9:-2.7:3e9", true, 9, -2.7f, 3e9f, -2, INT32_MAX, 12, 6, 1, 12, 11, 1, false, 0, 0},
        {"doodad:5:1e39:-1e39", true, 5, 0, 0, 0, 0, 33, 12, 4, 33, 8, 1, false, 0, 0},
        {"doodad:-1:4:8:30:2", true, -1, 4, 8, 4, 8, 30, 2, 0, 30, 2, 1, false, 0, 0},
        {"doodad:-1:4:8:30", false},
        {"doodad:-1:4:8:elevator:3:4", true, -1, 4, 8, 4, 8, 0, 3, 0, 0, 3, 1, false, 0, 0},
        {"doodad:0:110:26:elevator:110:12", true, 0, 110, 26, 110, 26, 6, 2, 0, 6, 2, 1, true, 110, 12},
        {"doodad:8:1:2:elevator:3", true, 8, 1, 2, 1, 2, 12, 12, 1, 12, 11, 1, false, 0, 0},
        {"doodad:8:1:2:Elevator:3:4", true, 8, 1, 2, 1, 2, 12, 12, 1, 12, 11, 1, false, 0, 0},
        {"doodad:12:1:2:elevator:3:4", true, 12, 1, 2, 1, 2, 0, 0, 0, 0, 0, 0, false, 0, 0},
        {"doodad:-2:1:2", true, -2, 1, 2, 1, 2, 0, 0, 0, 0, 0, 0, false, 0, 0},
        {"doodad:4:1", false},
    };
    for (const Case &c : cases) {
        SetUp();
        parse(c.line);
        SCOPED_TRACE(c.line);
        ASSERT_EQ(doodad_count, c.appended ? 1 : 0);
        if (!c.appended) continue;
        const Doodad &d = doodads[0];
        EXPECT_TRUE(d.active);
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(d.x, c.x);
        EXPECT_EQ(d.y, c.y);
        EXPECT_EQ(d.home_x, c.home_x);
        EXPECT_EQ(d.home_y, c.home_y);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.box_x, 0);
        EXPECT_EQ(d.box_y, c.box_y);
        EXPECT_EQ(d.box_w, c.box_w);
        EXPECT_EQ(d.box_h, c.box_h);
        EXPECT_EQ(d.frames, c.frames);
        EXPECT_EQ(d.elevator_armed, c.elevator);
        EXPECT_EQ(d.dest_x, c.dest_x);
        EXPECT_EQ(d.dest_y, c.dest_y);
        EXPECT_FALSE(d.elevator_moving);
    }
}

TEST_F(LevelFile, AnimatedDoodadsStartAtARandomPointAndStillOnesDrawNothing) {
    random_state = 12345;
    const int32_t r1 = random_next();
    const int32_t r2 = random_next();
    random_state = 12345;
    parse("doodad:2:0:0");
    EXPECT_EQ(doodads[0].frame_timer, static_cast<float>(r1 % 1000) / 1000.0f * 0.5f);
    EXPECT_EQ(doodads[0].frame, r2 % 4);

    const uint32_t before = random_state;
    parse("doodad:3:0:0");
    parse("doodad:-1:0:0:4:4");
    EXPECT_EQ(random_state, before);
    EXPECT_EQ(doodads[1].frame, 0);
    EXPECT_EQ(doodads[1].frame_timer, 0.0f);
}

TEST_F(LevelFile, EnemiesTakeTheirKindFromTheFileKind) {
    struct Case {
        const char *line;
        int32_t kind, width, height, state1_frames, state3_frames, hit_x, hit_y, hit_w, hit_h, health;
    };
    const Case cases[] = {
        {"enemy:0:40.5:23", ENEMY_WALKER, 0, 0, 0, 0, 0, 0, 0, 0, 3},
        {"enemy:1:40.5:23", ENEMY_HAZARD, 0, 0, 0, 0, 0, 0, 0, 0, 3},
        {"enemy:2:40.5:23", ENEMY_SMALL, 7, 6, 19, 0, 1, 1, 4, 5, 3},
        {"enemy:3:40.5:23", ENEMY_LARGE, 12, 12, 6, 7, 2, 3, 8, 9, 5},
    };
    for (const Case &c : cases) {
        SetUp();
        parse(c.line);
        SCOPED_TRACE(c.line);
        ASSERT_EQ(enemy_count, 1);
        const Enemy &e = enemies[0];
        EXPECT_TRUE(e.active);
        EXPECT_EQ(e.x, 40.5f);
        EXPECT_EQ(e.y, 23.0f);
        EXPECT_EQ(e.kind, c.kind);
        EXPECT_EQ(e.width, c.width);
        EXPECT_EQ(e.height, c.height);
        EXPECT_EQ(e.state1_frames, c.state1_frames);
        EXPECT_EQ(e.state3_frames, c.state3_frames);
        EXPECT_EQ(e.hit_x, c.hit_x);
        EXPECT_EQ(e.hit_y, c.hit_y);
        EXPECT_EQ(e.hit_w, c.hit_w);
        EXPECT_EQ(e.hit_h, c.hit_h);
        EXPECT_EQ(e.health, c.health);
        EXPECT_EQ(e.state, 2);
        EXPECT_EQ(e.facing, 6);
        EXPECT_EQ(std::bit_cast<uint32_t>(e.frame_time), 0x3DAAAAA6u);
    }
}

TEST_F(LevelFile, PickupsAndSavePointsSitOnTruncatedPositions) {
    parse("pickup:0:10.7:20.2");
    parse("pickup:1:-70.9:29");
    ASSERT_EQ(pickup_count, 2);
    EXPECT_EQ(pickups[0].x, 10);
    EXPECT_EQ(pickups[0].y, 20);
    EXPECT_FALSE(pickups[0].hidden);
    EXPECT_EQ(pickups[0].frames, 0);
    EXPECT_EQ(pickups[1].x, -70);
    EXPECT_TRUE(pickups[1].hidden);
    EXPECT_EQ(pickups[1].frames, 12);
    EXPECT_EQ(pickups[1].w, 8);
    EXPECT_EQ(pickups[1].h, 11);
    EXPECT_EQ(std::bit_cast<uint32_t>(pickups[1].frame_time), 0x3DAAAAA6u);

    parse("savepoint:4:40.9:16.2");
    ASSERT_EQ(save_point_count, 1);
    EXPECT_TRUE(save_points[0].active);
    EXPECT_FALSE(save_points[0].lit);
    EXPECT_EQ(save_points[0].id, 4);
    EXPECT_EQ(save_points[0].x, 40);
    EXPECT_EQ(save_points[0].y, 16);
    EXPECT_EQ(std::bit_cast<uint32_t>(save_points[0].frame_time), 0x3D2AAAA6u);
}

TEST_F(LevelFile, KindsOutsideTheirRangeAndShortLinesAreIgnored) {
    for (const char *line : {"enemy:4:1:1", "enemy:-1:1:1", "enemy:0:1", "pickup:2:1:1", "pickup:-1:1:1",
                             "pickup:0:1", "savepoint:1:2", "Enemy:0:1:1"}) {
        parse(line);
        EXPECT_EQ(enemy_count + pickup_count + save_point_count, 0) << line;
    }
}

TEST_F(LevelFile, TriggerFormsNeedTheirFieldCounts) {
    struct Case {
        const char *line;
        bool appended;
        int32_t command = 0;
        int32_t param_a = 0, param_b = 0;
        int32_t x = 0, y = 0, w = 0, h = 0;
        int32_t new_x = 0, new_y = 0, new_w = 0, new_h = 0;
    };
    const Case cases[] = {
        {"trigger:level:5:1:0:2:8:36", true, TRIGGER_LEVEL, 5, 1, 0, 2, 8, 36},
        {"trigger:level:5:1:0:2:8:36:loadgame", true, TRIGGER_LOADGAME, 5, 1, 0, 2, 8, 36},
        {"trigger:level:5:1:0:2:8:36:newgame", true, TRIGGER_NEWGAME, 5, 1, 0, 2, 8, 36},
        {"trigger:level:5:1:0:2:8:36:continue", true, TRIGGER_LEVEL, 5, 1, 0, 2, 8, 36},
        {"trigger:level:5:1:0:2:8", false},
        {"trigger:cutscene:3:0:1:8:8", true, TRIGGER_CUTSCENE, 3, 0, 0, 1, 8, 8},
        {"trigger:cutscene:3:0:1:8", false},
        {"trigger:quit:46:12:4:4", true, TRIGGER_QUIT, 0, 0, 46, 12, 4, 4},
        {"trigger:quit:46:12:4:4:extra", true, TRIGGER_QUIT, 0, 0, 46, 12, 4, 4},
        {"trigger:quit:46:12:4", false},
        {"trigger:lockcamera:1:2:3:4", true, TRIGGER_LOCKCAMERA, 0, 0, 1, 2, 3, 4},
        {"trigger:lockcamerax:1:2:3:4", true, TRIGGER_LOCKCAMERAX, 0, 0, 1, 2, 3, 4},
        {"trigger:unlockcamera:1:2:3:4", true, TRIGGER_UNLOCKCAMERA, 0, 0, 1, 2, 3, 4},
        {"trigger:startboss:1:2:3:4", true, TRIGGER_STARTBOSS, 0, 0, 1, 2, 3, 4},
        {"trigger:movecamera:10:0:0:0:4:4", true, TRIGGER_MOVECAMERA, 10, 0, 0, 0, 4, 4},
        {"trigger:movecamera:10:0:0:0:4", false},
        {"trigger:createdoodad:30:31:4:2:20:21:5:10", true, TRIGGER_CREATEDOODAD, 0, 0, 20, 21, 5, 10, 30, 31, 4, 2},
        {"trigger:createdoodad:30:31:4:2:20:21:5", false},
        {"trigger:Quit:1:2:3:4", false},
        {"trigger:jump:1:2:3:4", false},
    };
    for (const Case &c : cases) {
        SetUp();
        parse(c.line);
        SCOPED_TRACE(c.line);
        ASSERT_EQ(trigger_count, c.appended ? 1 : 0);
        if (!c.appended) continue;
        const Trigger &t = triggers[0];
        EXPECT_TRUE(t.active);
        EXPECT_EQ(t.command, c.command);
        EXPECT_EQ(t.param_a, c.param_a);
        EXPECT_EQ(t.param_b, c.param_b);
        EXPECT_EQ(t.x, c.x);
        EXPECT_EQ(t.y, c.y);
        EXPECT_EQ(t.w, c.w);
        EXPECT_EQ(t.h, c.h);
        EXPECT_EQ(t.new_x, c.new_x);
        EXPECT_EQ(t.new_y, c.new_y);
        EXPECT_EQ(t.new_w, c.new_w);
        EXPECT_EQ(t.new_h, c.new_h);
    }
}

TEST_F(LevelFile, ArrivalPlacesThePlayerAndProgressLightsOnlyItsOwnLevel) {
    struct Case {
        std::vector<const char *> lines;
        int32_t arrival;
        bool at_save_point;
        int32_t savelevel, savecheckpoint;  // progress; the loaded level is 3
        float x, y;
        bool lit;
    };
    const Case cases[] = {
        {{"savepoint:4:40:16"}, 4, true, -1, -1, 42, 19, true},
        {{"savepoint:4:40:16"}, 4, false, -1, -1, 32, 25, false},
        {{"savepoint:2:40:16"}, 0, false, 3, 2, 32, 25, true},
        {{"savepoint:2:40:16"}, 0, false, 4, 2, 32, 25, false},
        {{"savepoint:1:40:16"}, 0, false, 3, 2, 32, 25, false},
        {{"entrance:1:8:30:2.5"}, 2, false, -1, -1, 32, 25, false},
        {{"entrance:2:8:30"}, 2, false, -1, -1, 8, 30, false},
        {{"entrance:2:8.9:30"}, 2, true, -1, -1, 32, 25, false},
        {{"entrance:2:8:30", "entrance:2:9:31", "entrance:3:1:1"}, 2, false, -1, -1, 9, 31, false},
    };
    for (const Case &c : cases) {
        SetUp();
        settings.savelevel = c.savelevel;
        settings.savecheckpoint = c.savecheckpoint;
        for (const char *line : c.lines) parse(line, c.arrival, c.at_save_point);
        SCOPED_TRACE(c.lines.front());
        EXPECT_EQ(player.x, c.x);
        EXPECT_EQ(player.y, c.y);
        EXPECT_EQ(save_point_count > 0 && save_points[0].lit, c.lit);
    }
}

TEST_F(LevelFile, RecordsPastATableAreDroppedAndRefilledRecordsStartClean) {
    struct Case {
        const char *line;
        int lines;
        const int32_t *count;
        int capacity;
    };
    const Case cases[] = {
        {"doodad:0:1:1", 150, &doodad_count, DOODAD_CAPACITY},
        {"enemy:3:1:1", 25, &enemy_count, ENEMY_CAPACITY},
        {"trigger:quit:0:0:1:1", 15, &trigger_count, TRIGGER_CAPACITY},
        {"savepoint:1:0:0", 9, &save_point_count, SAVEPOINT_CAPACITY},
        {"pickup:1:0:0", 8, &pickup_count, PICKUP_CAPACITY},
    };
    for (const Case &c : cases) {
        for (int i = 0; i < c.lines; ++i) parse(c.line);
        EXPECT_EQ(*c.count, c.capacity) << c.line;
    }
    doodad_count = enemy_count = pickup_count = 0;
    parse("enemy:0:5:5");
    EXPECT_EQ(enemies[0].hit_w, 0);
    EXPECT_EQ(enemies[0].width, 0);
    EXPECT_EQ(enemies[0].health, 3);
    parse("doodad:0:1:1:elevator:4:4");
    doodad_count = 0;
    parse("doodad:-1:1:1:3:3");
    EXPECT_FALSE(doodads[0].elevator_armed);
    EXPECT_EQ(doodads[0].dest_x, 0);
    parse("pickup:0:1:1");
    EXPECT_FALSE(pickups[0].hidden);
    EXPECT_EQ(pickups[0].w, 0);
}
