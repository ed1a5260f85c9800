// Settings lookup in the environment, the radix reader, and the trace level
// taken from it.
#include "support/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/state.h"
#include "core/trace.h"

using namespace gonioctl;

namespace {

struct Result {
    int32_t status;
    std::string value;
};

Result translate(const std::string &name, int32_t valuelen = 80) {
    std::string value(static_cast<std::size_t>(valuelen) + 4, '#');
    int32_t status = 99;
    ENV_TRANSLATE(name.data(), static_cast<int32_t>(name.size()), value.data(), valuelen, status);
    EXPECT_EQ(value.substr(static_cast<std::size_t>(valuelen)), "####") << "ran past the field";
    value.resize(static_cast<std::size_t>(valuelen));
    return {status, value};
}

std::string padded(const std::string &s, std::size_t n) {
    return s + std::string(n - s.size(), ' ');
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char *v :
             {"VESK$STAGE", "VESK_STAGE", "GCT_A", "GCT_B", "KORU$DBGLEVEL", "KORU_DBGLEVEL"}) {
            unsetenv(v);
        }
        g_link.trace_level_read = false;
    }
};

}  // namespace

TEST_F(SettingsTest, DollarNameFallsBackToUnderscore) {
    setenv("VESK_STAGE", "motor", 1);
    const Result r = translate("VESK$STAGE", 80);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, padded("motor", 80));  // case unchanged

    setenv("VESK$STAGE", "first", 1);  // the name as written wins
    EXPECT_EQ(translate("VESK$STAGE").value, padded("first", 80));
}

TEST_F(SettingsTest, NothingFoundGivesTheNameAndMinusOne) {
    Result r = translate("VESK$STAGE");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.value, padded("VESK$STAGE", 80));

    setenv("VESK$STAGE", "   ", 1);  // blanks count as not set
    r = translate("VESK$STAGE");
    EXPECT_EQ(r.status, -1);

    r = translate("    ");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.value, std::string(80, ' '));
}

TEST_F(SettingsTest, ValuesNamingVariablesAreFollowedAtMost16Times) {
    setenv("VESK$STAGE", "GCT_A", 1);
    setenv("GCT_A", "GCT_B", 1);
    Result r = translate("VESK$STAGE");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, padded("GCT_B", 80));  // GCT_B itself is not set

    setenv("GCT_A", "GCT_A", 1);  // names itself: the loop stops after 16 lookups
    r = translate("VESK$STAGE");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, padded("GCT_A", 80));
}

TEST_F(SettingsTest, LongValuesAreCutToTheCallersField) {
    const std::string longv(300, 'x');
    setenv("GCT_A", longv.c_str(), 1);
    Result r = translate("GCT_A", 32);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, std::string(32, 'x'));
    r = translate("GCT_A", 80);
    EXPECT_EQ(r.value, std::string(80, 'x'));

    // A name longer than the lookup's 80 characters is cut, never overrun.
    const std::string longname(200, 'N');
    r = translate(longname, 100);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.value, padded(std::string(80, 'N'), 100));

    char small[4] = {'#', '#', '#', '#'};
    int32_t st = 0;
    ENV_READ("GCT_A", 3, small, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::string(small, 4), std::string("xx\0#", 4));
    ENV_READ("GCT_A", 0, small, st);
    EXPECT_EQ(st, -1);
}

TEST_F(SettingsTest, ReadradixCases) {
    struct Case {
        std::string text;
        int32_t radix, value, pos;
    } cases[] = {
        {"12", 10, 12, 0},  {"  7", 10, 7, 0},   {"007", 10, 7, 0}, {"-1", 10, 1, 1},
        {"1 2", 10, 2, 2},  {"7a", 10, 0, 2},    {"", 10, 0, 0},    {"    ", 10, 0, 0},
        {"ff", 16, 255, 0}, {"\t42", 10, 42, 0}, {"z", 36, 35, 0},
    };
    for (const auto &c : cases) {
        int32_t v = -5, p = -5;
        READRADIX(c.text.data(), static_cast<int32_t>(c.text.size()), c.radix, v, p);
        EXPECT_EQ(v, c.value) << '[' << c.text << ']';
        EXPECT_EQ(p, c.pos) << '[' << c.text << ']';
    }
}

TEST_F(SettingsTest, UpcaseChangesOnlyTheSignificantPart) {
    char t[6] = {'a', 'b', '\0', 'c', 'd', 'e'};
    UPCASE(t, 6);
    EXPECT_EQ(std::string(t, 6), std::string("AB\0cde", 6));
}

TEST_F(SettingsTest, TraceLevelFromUnderscoreVariable) {
    setenv("KORU_DBGLEVEL", "8", 1);
    EXPECT_EQ(DBGLEVEL(), 8);
    setenv("KORU_DBGLEVEL", "2", 1);
    EXPECT_EQ(DBGLEVEL(), 8);  // read once and kept
}

TEST_F(SettingsTest, TraceLevelIsZeroForAnythingButDigits) {
    for (const char *v : {"-1", "+3", "4x", "abc"}) {
        g_link.trace_level_read = false;
        setenv("KORU$DBGLEVEL", v, 1);
        EXPECT_EQ(DBGLEVEL(), 0) << v;
    }
    g_link.trace_level_read = false;
    setenv("KORU$DBGLEVEL", " 5 ", 1);
    EXPECT_EQ(DBGLEVEL(), 5);
    g_link.trace_level_read = false;
    unsetenv("KORU$DBGLEVEL");
    EXPECT_EQ(DBGLEVEL(), 0);
}
