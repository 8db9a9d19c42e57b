#include "app/numeric.h"
#include "app/random.h"
#include "app/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextSplit, LinesAtRunsOfLineEndsWithoutEmptyLines) {
    char text[] = "\r\nfirst\r\n\r\nsecond\rthird\n\n";
    char *lines[TEXT_MAX_LINES];
    ASSERT_EQ(text_split_lines(text, lines), 3);
    EXPECT_STREQ(lines[0], "first");
    EXPECT_STREQ(lines[1], "second");
    EXPECT_STREQ(lines[2], "third");
}

TEST(TextSplit, FieldsAtRunsOfColonsWithoutEmptyFields) {
    char line[] = "::volume::0.3:";
    char *fields[TEXT_MAX_FIELDS];
    ASSERT_EQ(text_split_fields(line, fields), 2);
    EXPECT_STREQ(fields[0], "volume");
    EXPECT_STREQ(fields[1], "0.3");

    char empty[] = ":::";
    EXPECT_EQ(text_split_fields(empty, fields), 0);
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

TEST(TextRead, IntegersTakeBlanksSignAndLeadingDigits) {
    struct Case { const char *text; int32_t value; };
    const Case cases[] = {
        {"12", 12}, {"12abc", 12}, {"  -7", -7}, {"+3", 3}, {"01", 1}, {"abc", 0}, {"", 0},
        {"- 4", 0}, {"1\r", 1}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
    };
    for (const Case &c : cases) EXPECT_EQ(text_read_int(c.text), c.value) << c.text;
}

TEST(TextRead, FloatsTakeTheLongestDecimalPrefix) {
    struct Case { const char *text; float value; };
    const Case cases[] = {
        {"1.5", 1.5f}, {"-3", -3.0f}, {"2e1", 20.0f}, {" 0.35", 0.35f}, {".5", 0.5f}, {"5.", 5.0f},
        {"abc", 0.0f}, {"", 0.0f}, {"1e", 1.0f}, {"0.3\r", 0.3f}, {"0x10", 0.0f}, {"inf", 0.0f},
        {"nan", 0.0f}, {"-.", 0.0f}, {"2.5e-1xyz", 0.25f},
    };
    for (const Case &c : cases) EXPECT_EQ(text_read_float(c.text), c.value) << c.text;
}

TEST(Numeric, RoundsHalvesAwayFromZeroAndTruncatesTowardZero) {
    EXPECT_EQ(num_round(2.5), 3);
    EXPECT_EQ(num_round(-2.5), -3);
    EXPECT_EQ(num_round(2.49), 2);
    EXPECT_EQ(num_round(-0.4), 0);
    EXPECT_EQ(num_truncate(2.7), 2);
    EXPECT_EQ(num_truncate(-2.7), -2);
    EXPECT_EQ(num_round(1e20), INT32_MAX);
    EXPECT_EQ(num_truncate(-1e20), INT32_MIN);
}

TEST(Random, FollowsTheGameSequenceFromStateOne) {
    random_state = 1;
    EXPECT_EQ(random_next(), 41);
    EXPECT_EQ(random_next(), 18467);
    EXPECT_EQ(random_next(), 6334);
    for (int i = 0; i < 1000; ++i) {
        const int32_t value = random_next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}
