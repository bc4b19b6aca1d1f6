#include <gtest/gtest.h>

#include "dashboard/CommandLine.h"

namespace keyscope {
namespace {

TEST(CommandLine_Target, FiveFieldIceLine) {
    const auto t = parseTargetCommandLine("6620 0x30 16 IRAM 2");
    EXPECT_TRUE(t.namesTarget());
    EXPECT_EQ(t.selector, 0u);
    EXPECT_EQ(t.address, 0x30u);
    EXPECT_EQ(t.channelCount, 16u);
    EXPECT_EQ(t.iramSpace, 1u);
    EXPECT_EQ(t.valueWidth, 2u);
    EXPECT_EQ(t.notifyWindow, 0u);
    EXPECT_EQ(t.icePercent, 0);
}

TEST(CommandLine_Target, CountIsLimitedByTheChip) {
    struct Case {
        const char* line;
        std::uint32_t selector, count;
    };
    const Case cases[] = {
        {"5138 48 16 XRAM", 3, 12},  {"5190 48 20 IRAM", 19, 15}, {"5211 48 99 IRAM", 2, 16},
        {"unknown 48 9 IRAM", 0, 9}, {"6620 48 -4 IRAM", 0, 0},
    };
    for (const Case& c : cases) {
        const auto t = parseTargetCommandLine(c.line);
        EXPECT_EQ(t.selector, c.selector) << c.line;
        EXPECT_EQ(t.channelCount, c.count) << c.line;
        EXPECT_EQ(t.valueWidth, 1u) << c.line;  // four fields: width 1
    }
}

TEST(CommandLine_Target, NumbersStopAtTheFirstForeignCharacter) {
    const auto t = parseTargetCommandLine("5149 0X1Fzz 7keys iram 2 1a00004 8001 FF 35%");
    EXPECT_EQ(t.selector, 4u);
    EXPECT_EQ(t.address, 0x1Fu);
    EXPECT_EQ(t.channelCount, 7u);
    EXPECT_EQ(t.iramSpace, 0u);  // "IRAM" is case-sensitive
    EXPECT_EQ(t.notifyWindow, 0x1a00004u);
    EXPECT_EQ(t.notifyMessage, 0x8001u);
    EXPECT_EQ(t.notifyParam, 0xFFu);
    EXPECT_EQ(t.icePercent, 35);
}

TEST(CommandLine_Target, DoubleSpaceMakesAnEmptyFieldAndShortLinesNameNothing) {
    const auto t = parseTargetCommandLine("6620  16 IRAM");
    EXPECT_EQ(t.fieldCount, 4);
    EXPECT_EQ(t.address, 0u);
    EXPECT_EQ(t.channelCount, 16u);
    EXPECT_FALSE(parseTargetCommandLine("6620 0x30 16").namesTarget());
    EXPECT_FALSE(parseTargetCommandLine("").namesTarget());
    // Seven fields: the notification needs all three of its fields.
    EXPECT_EQ(parseTargetCommandLine("6620 1 2 IRAM 2 ab cd").notifyWindow, 0u);
}

}  // namespace
}  // namespace keyscope
