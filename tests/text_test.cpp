#include "common/numeric.h"
#include "common/random.h"
#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextSplit, CutsAtRunsOfSeparatorsWithoutEmptyPieces) {
    char text[] = "\r\nfirst\r\n\r\nsecond\rthird\n\n";
    char *lines[TEXT_MAX_LINES];
    ASSERT_EQ(text_split_lines(text, lines), 3);
    EXPECT_STREQ(lines[1], "second");
    EXPECT_STREQ(lines[2], "third");

    char line[] = "::volume::0.3:";
    char *fields[TEXT_MAX_FIELDS];
    ASSERT_EQ(text_split_fields(line, fields), 2);
    EXPECT_STREQ(fields[0], "volume");
    EXPECT_STREQ(fields[1], "0.3");
}

TEST(TextSplit, StopsAtItsTableSizes) {
    std::string many_lines;
    for (int i = 0; i < 250; ++i) many_lines += "line" + std::to_string(i) + "\n";
    char *lines[TEXT_MAX_LINES];
    ASSERT_EQ(text_split_lines(many_lines.data(), lines), 200);
    EXPECT_STREQ(lines[199], "line199");

    char line[] = "a:b:c:d:e:f:g:h:i:j:k:l";
    char *fields[TEXT_MAX_FIELDS];
    ASSERT_EQ(text_split_fields(line, fields), 10);
    EXPECT_STREQ(fields[9], "j");
}

TEST(TextRead, NumbersAreTheirLeadingDecimalPrefix) {
    struct IntCase { const char *text; int32_t value; };
    const IntCase ints[] = {{"12abc", 12}, {"  -7", -7}, {"+3", 3}, {"abc", 0}, {"- 4", 0},
                            {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
    for (const IntCase &c : ints) EXPECT_EQ(text_read_int(c.text), c.value) << c.text;

    struct FloatCase { const char *text; float value; };
    const FloatCase floats[] = {{"1.5", 1.5f}, {"-3", -3.0f}, {"2e1", 20.0f}, {".5", 0.5f}, {"1e", 1.0f},
                                {"abc", 0.0f}, {"0x10", 0.0f}, {"inf", 0.0f}, {"nan", 0.0f},
                                {"-.", 0.0f}, {"2.5e-1xyz", 0.25f}};
    for (const FloatCase &c : floats) EXPECT_EQ(text_read_float(c.text), c.value) << c.text;
}

TEST(Numeric, RoundsHalvesAwayFromZeroAndTruncatesTowardZero) {
    EXPECT_EQ(num_round(2.5), 3);
    EXPECT_EQ(num_round(-2.5), -3);
    EXPECT_EQ(num_round(2.49), 2);
    EXPECT_EQ(num_truncate(-2.7), -2);
    EXPECT_EQ(num_round(1e20), INT32_MAX);
    EXPECT_EQ(num_truncate(-1e20), INT32_MIN);
}

// The generator's state as the program starts, before any test touches it.
static const uint32_t STARTING_STATE = random_state;

TEST(Random, StartsAtOneAndFollowsTheGameSequence) {
    EXPECT_EQ(STARTING_STATE, 1u);
    random_state = STARTING_STATE;
    EXPECT_EQ(random_next(), 41);
    EXPECT_EQ(random_next(), 18467);
    EXPECT_EQ(random_next(), 6334);
}
