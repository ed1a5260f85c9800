// Text helpers: trimmed length, set scans, case handling, justification,
// command appends and the reading of one number from a reply field.
#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

using namespace gonioctl;

namespace {

int32_t len_of(const std::string &s) {
    return static_cast<int32_t>(s.size());
}

}  // namespace

TEST(TextTest, TrimlenCountsUpToLastNonBlankOrFirstNul) {
    struct Case {
        std::string text;
        int32_t expected;
    } cases[] = {
        {"ABC     ", 3},
        {std::string("\0ABC", 4), 0},
        {"        ", 0},
        {std::string("AB \0", 4), 3},  // blanks before the NUL count
        {std::string("A\0B ", 4), 1},
        {"  X", 3},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(TRIMLEN(c.text.data(), len_of(c.text)), c.expected) << '[' << c.text << ']';
    }
    EXPECT_EQ(TRIMLEN("ABC", 0), 0);
    EXPECT_EQ(TRIMLEN("ABC", -4), 0);
}

TEST(TextTest, ScansetAndSkipsetSearchOnlyTheSignificantPart) {
    EXPECT_EQ(SCANSET("    ", 4, " ", 1), 1);    // all blank: first position still examined
    EXPECT_EQ(SCANSET("AB    ", 6, " ", 1), 0);  // trailing blanks are outside
    EXPECT_EQ(SCANSET("A B", 3, " ", 1), 2);
    EXPECT_EQ(SCANSET("AB\0C", 4, "C", 1), 0);  // nothing after a NUL is found
    EXPECT_EQ(SCANSET("ABC", 0, "A", 1), 0);
    EXPECT_EQ(SKIPSET("  ,W", 4, " ,\t", 3), 4);
    EXPECT_EQ(SKIPSET("     ", 5, " ", 1), 0);
    EXPECT_EQ(SKIPSET(" ,  ", 4, " ,", 2), 0);
}

TEST(TextTest, UpcharChangesOnlyLowerCaseLetters) {
    EXPECT_EQ(UPCHAR('a'), 'A');
    EXPECT_EQ(UPCHAR('z'), 'Z');
    for (int32_t code : {65, 123, 126, 96, 0, 128, 200, 255}) EXPECT_EQ(UPCHAR(code), code);
}

TEST(TextTest, CasecmpComparesTheCommonStartOnly) {
    EXPECT_EQ(CASECMP("gc1", 3, "GC", 2, 2), 0);
    EXPECT_EQ(CASECMP("GA", 2, "GC", 2, 2), -1);
    EXPECT_EQ(CASECMP("gd", 2, "GC", 2, 2), 1);
    EXPECT_EQ(CASECMP("abc", 3, "ABD", 3, 2), 0);  // n limits the comparison
    EXPECT_EQ(CASECMP("x", 1, "y", 1, 0), 0);
    // Codes above 127 compare as unsigned codes.
    EXPECT_EQ(CASECMP("\xE9", 1, "z", 1, 1), 1);
}

TEST(TextTest, LeftjustMovesTextAndBlanksTheRest) {
    char t[10] = {' ', ' ', '\t', '1', '2', '.', '5', ' ', ' ', ' '};
    LEFTJUST(t, 10);
    EXPECT_EQ(std::string(t, 10), "12.5      ");

    char nul[8] = {' ', 'A', 'B', '\0', 'X', 'Y', 'Z', 'Q'};
    LEFTJUST(nul, 8);
    EXPECT_EQ(std::string(nul, 8), "AB      ");  // characters after the NUL blanked

    char same[4] = {'A', ' ', 'B', ' '};
    LEFTJUST(same, 4);
    EXPECT_EQ(std::string(same, 4), "A B ");
    char blanks[3] = {' ', '\t', ' '};
    LEFTJUST(blanks, 3);
    EXPECT_EQ(std::string(blanks, 3), " \t ");
}

TEST(TextTest, CmdAppendAddsAfterTheDestinationsSignificantPart) {
    char d[32];
    set_text(d, 32, "W+3", -1);
    CMD_APPEND(" W-1", 4, d, 32);
    EXPECT_EQ(std::string(d, 32), "W+3 W-1" + std::string(25, ' '));

    char z[8] = {};
    CMD_APPEND("AB", 2, z, 8);
    EXPECT_EQ(std::string(z, 8), "AB      ");

    char full[4] = {'A', 'B', 'C', 'D'};
    CMD_APPEND("X", 1, full, 4);
    EXPECT_EQ(std::string(full, 4), "ABCD");

    char small[6];
    set_text(small, 6, "AB", -1);
    CMD_APPEND("123456", 6, small, 6);  // cut at the destination's end
    EXPECT_EQ(std::string(small, 6), "AB1234");
}

TEST(TextTest, ReadrealCases) {
    struct Case {
        std::string text;
        int32_t status;
        float value;  // expected when status is 0
    } cases[] = {
        {"  12", 0, 12.0f},
        {"1E2", 0, 100.0f},
        {"-0.25", 0, -0.25f},
        {"12 5", 0, 12.0f},     // only the first token: no point anywhere
        {"12 3.4", 0, 123.4f},  // a point in the rest: the rest is read, blanks ignored
        {"3.5D1", 0, 35.0f},
        {"  7  ", 0, 7.0f},
        {"1.5e-2", 0, 0.015f},
        {std::string("42\0  9", 6), 0, 42.0f},
        {std::string("42\0 .5", 6), 0, 42.0f},  // a point after the NUL is outside the text
        {"      ", -1, 0},
        {".", -1, 0},
        {"E", -1, 0},
    };
    for (const auto &c : cases) {
        float v = -99.0f;
        EXPECT_EQ(READREAL(c.text.data(), len_of(c.text), v), c.status) << '[' << c.text << ']';
        EXPECT_FLOAT_EQ(v, c.status == 0 ? c.value : -99.0f) << '[' << c.text << ']';
    }
}

TEST(TextTest, ReadrealRefusesLettersAndKeepsTheValue) {
    float v = 3.0f;
    const int32_t st = READREAL("AB", 2, v);
    EXPECT_EQ(st, 2064);
    EXPECT_EQ(v, 3.0f);
    EXPECT_NE(READREAL("12X", 3, v), 0);
    EXPECT_EQ(v, 3.0f);
}

TEST(TextTest, ErrIostatMapsReadStatuses) {
    EXPECT_EQ(ERR_IOSTAT(-1), 599);
    EXPECT_EQ(ERR_IOSTAT(-7), 599);
    EXPECT_EQ(ERR_IOSTAT(0), 0);
    EXPECT_EQ(ERR_IOSTAT(64), 2064);
    EXPECT_EQ(ERR_IOSTAT(999), 2999);
    EXPECT_EQ(ERR_IOSTAT(1234), 1234);
}

TEST(TextTest, MemcopyHandlesOverlapLikeAMove) {
    char buf[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
    MEMCOPY(buf + 2, buf, 4);
    EXPECT_EQ(std::string(buf, 8), "12123478");
    MEMCOPY(buf, buf + 1, 0);
    EXPECT_EQ(std::string(buf, 8), "12123478");
}
