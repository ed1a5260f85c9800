// Error values: composition, the 128-character texts, and the decoding of
// the two status words of an angle reply.
#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/callbacks.h"
#include "core/state.h"
#include "gonioctl.h"

using namespace gonioctl;

namespace {

std::vector<std::string> g_traced;
void capture_trace(const char *text, int32_t len) {
    g_traced.emplace_back(text, static_cast<std::size_t>(len));
}

std::string text_of(int32_t value) {
    std::string t(128, '#');
    ::gcget_error_text(value, t.data());
    return t;
}

std::string padded(const std::string &s, std::size_t n) {
    return s + std::string(n - s.size(), ' ');
}

class ErrorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Quiet: no error reports on standard output while these run.
        setenv("KORU_DBGLEVEL", "0", 1);
        g_link.trace_level_read = false;
        g_callbacks = CallbackSlots{};
        g_traced.clear();
    }
};

}  // namespace

TEST_F(ErrorsTest, ComposeAndSplit) {
    EXPECT_EQ(GCERR(10), 72155146);
    EXPECT_EQ(ERR_MAKE(1101, 0), 72155136);
    int32_t facility = 0, code = 0;
    ERR_SPLIT(72155146, facility, code);
    EXPECT_EQ(facility, 1101);
    EXPECT_EQ(code, 10);
    ERR_SPLIT(-1, facility, code);
    EXPECT_EQ(facility, 65535);
    EXPECT_EQ(code, 65535);
}

TEST_F(ErrorsTest, ErrorTextIsExactly128Characters) {
    struct Case {
        int32_t value;
        std::string expected;
    } cases[] = {
        {GCERR(1), padded("Attempt to drive into OMEGA positive collision limit", 128)},
        {GCERR(8), padded("Goniometer in collision.  Back off in MANUAL mode", 128)},
        {GCERR(26), padded("Error message sent from goniometer controller", 128)},
        {GCERR(36), padded("Angle being homed is lost: issue UPDATE, then HOMEAXIS command", 128)},
        {72155136, padded("ZARIM error #  72155136", 128)},  // code 0: the whole value
        {72155173, padded("ZARIM error #  72155173", 128)},  // code 37
        {2, std::string(128, ' ')},                          // operating-system number
        {-1, std::string(128, ' ')},                         // facility 65535
        {2064, std::string(128, ' ')},
    };
    for (const auto &c : cases) EXPECT_EQ(text_of(c.value), c.expected) << c.value;
}

TEST_F(ErrorsTest, ErrorTextLeavesTheTextAloneForZeroAndWritesNothingPast128) {
    std::string t(130, '#');
    EXPECT_EQ(::gcget_error_text(0, t.data()), 0);
    EXPECT_EQ(t, std::string(130, '#'));
    EXPECT_EQ(::gcget_error_text(GCERR(14), t.data()), 0);
    EXPECT_EQ(t.substr(128), "##");
    EXPECT_EQ(::gcget_error_text(GCERR(14), nullptr), 0);  // tolerated
}

TEST_F(ErrorsTest, EveryTableEntryIs64CharactersWithItsText) {
    for (int32_t code = 1; code <= 36; ++code) {
        const char *e = message_text(code);
        ASSERT_NE(e, nullptr);
        const std::string entry(e, 64);
        EXPECT_NE(entry[0], ' ') << code;
        EXPECT_EQ(text_of(GCERR(code)), entry + std::string(64, ' ')) << code;
    }
    EXPECT_EQ(message_text(0), nullptr);
    EXPECT_EQ(message_text(37), nullptr);
}

TEST_F(ErrorsTest, StatusWordsDecodeToReturnedOrReportedFaults) {
    ::gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   capture_trace);
    struct Case {
        int32_t word1, word2;
        int32_t result;
        int32_t reported_code;  // 0: nothing handed to trace_cb
    } cases[] = {
        {1, 0, GCERR(8), 0},    {1, 255, GCERR(8), 0},  // word 2 not examined
        {0, 1, 0, 18},          {0, 2, 0, 19},         {0, 4, 0, 17},
        {0, 8, 0, 16},          {0, 24, 0, 16},  // 8 comes before 16: reported, 20 not returned
        {0, 16, GCERR(20), 0},  {0, 32, 0, 21},        {0, 64, 0, 22},
        {0, 128, GCERR(23), 0}, {0, 160, 0, 21},       {0, 256, 0, 0},  // higher bits ignored
        {6, 0, 0, 0},  // word-1 bits other than bit 0 ignored
        {0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        g_traced.clear();
        EXPECT_EQ(GCSTATERR(c.word1, c.word2), c.result) << c.word1 << ',' << c.word2;
        if (c.reported_code == 0) {
            EXPECT_TRUE(g_traced.empty()) << c.word1 << ',' << c.word2;
        } else {
            ASSERT_EQ(g_traced.size(), 1u) << c.word2;
            EXPECT_EQ(g_traced[0].size(), 128u);
            EXPECT_EQ(g_traced[0], text_of(GCERR(c.reported_code)));
        }
    }
}

TEST_F(ErrorsTest, ReportedFaultWithoutTraceCallbackIsStillZero) {
    EXPECT_EQ(GCSTATERR(0, 1), 0);
}
