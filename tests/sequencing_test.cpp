// Splitting multi-command texts into command lines.
#include "link/sequencing.h"

#include <gtest/gtest.h>

#include <string>

#include "support/link_fixture.h"

using namespace gonioctl;

using Sequencing = testsupport::RawLink;

TEST_F(Sequencing, SplitsTextsIntoOneLinePerCommand) {
    struct Case {
        std::string text;
        std::string lines;
    } cases[] = {
        {"W+4\r", "W+4\r"},
        {"W0\r", "W0\r"},
        {"U0,0.0\r ", "U0,0.0\r"},
        {"\a", "\a\r"},
        {"W-1,WA 10,W-3\r", "W-1,\rWA 10,\rW-3\r"},
        {" S2 10 A2 1.234 D W+7 WA 10 W+3,W+1 U0,0.\r",
         "S2 10\rA2 1.234\rD\rW+7\rWA 10\rW+3,\rW+1\rU0,0.\r"},
        // The first piece starts at the first non-blank, command letter or not.
        {",W+1\r", ",\rW+1\r"},
        {"\t  W+1", "W+1\r"},
        // Mnemonics ignore case; lower-case letters never start a command.
        {"wa 5 U0,0.0\r", "wa 5\rU0,0.0\r"},
        {"gs1 w+1 s2\r", "gs1 w+1 s2\r"},
        {"RC1GV", "RC1GV\r"},
        // A single letter left at the end is a command of its own.
        {"WU", "W\rU\r"},
        // A CR already present ends the line; none is added.
        {"W+7\rW+4\r", "W+7\rW+4\r"},
        // Pieces are cut at 32 characters.
        {"W1234567890123456789012345678901234567890", "W1234567890123456789012345678901\r"},
        {"W 1234567890123456789012345678901234567890 W+1",
         "W 123456789012345678901234567890\rW+1\r"},
        {"   \t ", ""},
    };
    for (const auto &c : cases) {
        int32_t st = 99;
        GCPUTS(c.text.data(), static_cast<int32_t>(c.text.size()), st);
        EXPECT_EQ(st, 0);
        EXPECT_EQ(sent_before_marker(), c.lines) << "text: [" << c.text << "]";
    }
}
