// X-ray generator: the set and read commands, the refusal codes, and the
// read-back parse, against scripted replies and the simulated generator.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

#include "gonioctl.h"
#include "support/sim_fixture.h"

namespace {

using GeneratorTest = SimTest;

// The library's own error value of a message code.
constexpr int32_t err(int32_t code) {
    return 1101 * 65536 + code;
}

std::string set_line(const char *what, const char *field) {
    return std::string("RC1G") + what + field + "RC0\r";
}

TEST_F(GeneratorTest, SetSendsVoltageThenCurrentToTheGenerator) {
    open_link();
    int32_t ier = -7;
    gcset_generator(40.0f, 30.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(), (Lines{set_line("V", "   40"), set_line("C", "   30")}));
    const goniosim::Generator g = model().generator;
    EXPECT_EQ(g.kv_set, 40);
    EXPECT_EQ(g.ma_set, 30);

    float kv = -1.0f, ma = -1.0f;
    ier = -7;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 40.0f);
    EXPECT_EQ(ma, 30.0f);
    EXPECT_EQ(sent_lines(), (Lines{set_line("V", "   40"), set_line("C", "   30"), "RC1GS2RC0\r",
                                   "RC1GS3RC0\r"}));
}

TEST_F(GeneratorTest, SetPointsAreRoundedHalvesAwayFromZeroInFiveCharacters) {
    open_link();
    struct Case {
        float value;
        const char *field;
    } const cases[] = {
        {39.5f, "   40"},     {0.49f, "    0"},    {-0.5f, "   -1"},    {-0.49f, "    0"},
        {2.5f, "    3"},      {99999.4f, "99999"}, {-9999.4f, "-9999"}, {99999.5f, "*****"},
        {-10000.0f, "*****"}, {1.0e30f, "*****"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        clear_sent();
        // Accept both set commands whatever their value.
        sim().queue_reply("V=    0\r");
        sim().queue_reply("I=    0\r");
        int32_t ier = -7;
        gcset_generator(c.value, c.value, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(sent_lines(), (Lines{set_line("V", c.field), set_line("C", c.field)})) << c.value;
    }
}

// A set-point that is not a number is refused before anything goes out:
// neither the voltage nor the current is changed.
TEST_F(GeneratorTest, NonFiniteSetPointsAreRefusedAndNothingIsSent) {
    open_link();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float pairs[][2] = {{nan, 30.0f}, {40.0f, nan}, {inf, 30.0f}, {40.0f, -inf}};
    for (const auto &p : pairs) {
        SCOPED_TRACE(testing::Message() << p[0] << " " << p[1]);
        clear_sent();
        int32_t ier = -7;
        gcset_generator(p[0], p[1], &ier);
        EXPECT_EQ(ier, 87);
        EXPECT_EQ(sent_bytes(), "");
        EXPECT_EQ(model().generator.kv_set, goniosim::Generator{}.kv_set);
        EXPECT_EQ(model().generator.ma_set, goniosim::Generator{}.ma_set);
    }
}

// A reply too long for the 16-character record fails with code 13; its tail
// must not be taken as the reply to the next command.
TEST_F(GeneratorTest, OverlongReplyFailsAndItsTailIsDropped) {
    open_link();
    set_model([](goniosim::Model &m) {
        m.generator.kv = 40;
        m.generator.ma = 30;
    });
    sim().queue_reply("V=" + std::string(20, ' ') + "99\r");
    float kv = -1.0f, ma = -1.0f;
    int32_t ier = 0;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, err(13));
    EXPECT_EQ(kv, 0.0f);

    ier = -7;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 40.0f);
    EXPECT_EQ(ma, 30.0f);

    // The same on a refused set command: the next call starts clean.
    sim().queue_reply("?04" + std::string(20, ' ') + "\r");
    ier = 0;
    gcset_generator(40.0f, 30.0f, &ier);
    EXPECT_EQ(ier, err(13));
    ier = -7;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 40.0f);
    EXPECT_EQ(ma, 30.0f);
}

TEST_F(GeneratorTest, RefusalCodesMapToErrorValues) {
    open_link();
    struct Case {
        const char *reply;
        int32_t ier;
    } const cases[] = {
        {"?01\r", err(28)}, {"?02\r", err(28)}, {"?03\r", err(28)},
        {"?04\r", err(29)}, {"?13\r", err(30)}, {"?14\r", err(31)},
        {"?07\r", -1},      {"?00\r", -1},      {"? 4\r", err(29)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.reply));
        // Refused voltage: the current is not sent.
        clear_sent();
        sim().queue_reply(c.reply);
        int32_t ier = -7;
        gcset_generator(40.0f, 30.0f, &ier);
        EXPECT_EQ(ier, c.ier);
        EXPECT_EQ(sent_lines(), (Lines{set_line("V", "   40")}));

        // Refused current after an accepted voltage.
        clear_sent();
        sim().queue_reply("ok\r");
        sim().queue_reply(c.reply);
        ier = -7;
        gcset_generator(40.0f, 30.0f, &ier);
        EXPECT_EQ(ier, c.ier);
        EXPECT_EQ(sent_lines(), (Lines{set_line("V", "   40"), set_line("C", "   30")}));
    }
}

TEST_F(GeneratorTest, UnreadableRefusalCodeGivesMinusOneNotAnEarlierCode) {
    open_link();
    int32_t ier = 0;
    sim().queue_reply("?14\r");
    gcset_generator(40.0f, 30.0f, &ier);
    ASSERT_EQ(ier, err(31));
    for (const char *reply : {"?\r", "?x9\r", "?4\r", "?1-\r"}) {
        SCOPED_TRACE(show(reply));
        clear_sent();
        sim().queue_reply(reply);
        ier = 0;
        gcset_generator(40.0f, 30.0f, &ier);
        EXPECT_EQ(ier, -1);
        EXPECT_EQ(sent_lines().size(), 1u);
    }
}

TEST_F(GeneratorTest, AnyReplyNotStartingWithQuestionMarkIsAcceptance) {
    open_link();
    sim().queue_reply("\r");
    sim().queue_reply("!99 anything\r");
    int32_t ier = -7;
    gcset_generator(40.0f, 30.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines().size(), 2u);
}

TEST_F(GeneratorTest, FailedVoltageExchangeStopsBeforeTheCurrent) {
    open_link();
    // A reset character in place of the reply ends the reception with code 14.
    sim().queue_reply("\a");
    int32_t ier = 0;
    gcset_generator(40.0f, 30.0f, &ier);
    EXPECT_EQ(ier, err(14));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sent_lines(), (Lines{set_line("V", "   40")}));
}

TEST_F(GeneratorTest, ReadBackTakesUpToNineCharactersAfterTheFirstTwo) {
    open_link();
    struct Case {
        const char *reply;
        float value;
    } const cases[] = {
        {"xy  45\r", 45.0f},
        {"\r", 0.0f},
        {"?\r", 0.0f},
        {"ab\r", 0.0f},
        {"?1   7\r", 7.0f},
        {"V= 4 5\r", 45.0f},
        {"V=-12\r", -12.0f},
        {"V=     \r", 0.0f},
        // Characters after the ninth are not read.
        {"AB1234567890123\r", 123456789.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.reply));
        clear_sent();
        sim().queue_reply(c.reply);
        sim().queue_reply("I=   12\r");
        float kv = -1.0f, ma = -1.0f;
        int32_t ier = -7;
        gcget_generator(&kv, &ma, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(kv, c.value);
        EXPECT_EQ(ma, 12.0f);
        EXPECT_EQ(sent_lines(), (Lines{"RC1GS2RC0\r", "RC1GS3RC0\r"}));
    }
}

TEST_F(GeneratorTest, ReadBackWithoutANumberIsReportedNotHidden) {
    open_link();
    // Voltage reply without a number: the read status comes back, the voltage
    // is not set from an earlier value, and the current is not asked for.
    sim().queue_reply("V=  4x\r");
    float kv = -1.0f, ma = -1.0f;
    int32_t ier = 0;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 64);
    EXPECT_EQ(kv, 0.0f);
    EXPECT_EQ(ma, 0.0f);
    EXPECT_EQ(sent_lines(), (Lines{"RC1GS2RC0\r"}));

    // Current reply without a number: the voltage read stays, the current is 0.
    clear_sent();
    sim().queue_reply("V=   40\r");
    sim().queue_reply("I= abc\r");
    ier = 0;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 64);
    EXPECT_EQ(kv, 40.0f);
    EXPECT_EQ(ma, 0.0f);
}

TEST_F(GeneratorTest, LinkClosedSendsNothingAndReadsZero) {
    open_link();
    int32_t ier = 0;
    gcclose(&ier);
    clear_sent();
    float kv = -1.0f, ma = -1.0f;
    ier = -7;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 0.0f);
    EXPECT_EQ(ma, 0.0f);
    ier = -7;
    gcset_generator(40.0f, 30.0f, &ier);
    EXPECT_EQ(ier, 0);
    gcget_generator(nullptr, nullptr, nullptr);
    gcset_generator(40.0f, 30.0f, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sim().received(), "");
}

// The simulated generator refuses what a real one would.
TEST_F(GeneratorTest, SimulatedGeneratorRefusals) {
    open_link();
    struct Case {
        const char *name;
        void (*setup)(goniosim::Generator &);
        float kv, ma;
        int32_t ier;
        size_t lines;  // lines sent
    } const cases[] = {
        {"local mode", [](goniosim::Generator &g) { g.computer_mode = false; }, 40, 30, err(29), 1},
        {"switched off", [](goniosim::Generator &g) { g.switched_on = false; }, 40, 30, err(30), 1},
        {"power limit on the current", [](goniosim::Generator &g) { g.power_limit_w = 1000; }, 40,
         30, err(31), 2},
        {"value out of range", [](goniosim::Generator &) {}, -5, 30, err(28), 1},
        {"value not a number", [](goniosim::Generator &) {}, 1.0e6f, 30, err(28), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        set_model([&](goniosim::Model &m) {
            m.generator = goniosim::Generator{};
            c.setup(m.generator);
        });
        clear_sent();
        int32_t ier = 0;
        gcset_generator(c.kv, c.ma, &ier);
        EXPECT_EQ(ier, c.ier);
        EXPECT_EQ(sent_lines().size(), c.lines);
    }

    // Switched off, the generator reads back nothing at its tube.
    set_model([](goniosim::Model &m) {
        m.generator = goniosim::Generator{};
        m.generator.kv = 50;
        m.generator.ma = 20;
    });
    float kv = -1, ma = -1;
    int32_t ier = -7;
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 50.0f);
    EXPECT_EQ(ma, 20.0f);
    set_model([](goniosim::Model &m) { m.generator.switched_on = false; });
    gcget_generator(&kv, &ma, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(kv, 0.0f);
    EXPECT_EQ(ma, 0.0f);
}

}  // namespace
