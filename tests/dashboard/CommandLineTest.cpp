// The dashboard's target command line: every field, and what it leaves out.
#include <gtest/gtest.h>

#include <tuple>

#include "dashboard/CommandLine.h"

namespace keyscope {
namespace {

auto fields(const TargetCommandLine& t) {
    return std::tuple(t.fieldCount, t.selector, t.address, t.channelCount, t.iramSpace,
                      t.valueWidth, t.notifyWindow, t.notifyMessage, t.notifyParam, t.icePercent);
}

TEST(CommandLine, EveryFieldOfTheTargetLine) {
    const std::pair<const char*, TargetCommandLine> cases[] = {
        {"6620 0x30 16 IRAM 2", {5, 0, 0x30, 16, 1, 2}},
        // The chip limits the count; four fields mean width 1.
        {"5138 48 16 XRAM", {4, 3, 48, 12, 0, 1}},
        {"5190 48 20 IRAM", {4, 19, 48, 15, 1, 1}},
        {"5211 48 99 IRAM", {4, 2, 48, 16, 1, 1}},
        {"unknown 48 9 IRAM", {4, 0, 48, 9, 1, 1}},
        {"6620 48 -4 IRAM", {4, 0, 48, 0, 1, 1}},
        // Numbers stop at the first foreign character; "IRAM" is case-sensitive.
        {"5149 0X1Fzz 7keys iram 2 1a00004 8001 FF 35%",
         {9, 4, 0x1F, 7, 0, 2, 0x1a00004, 0x8001, 0xFF, 35}},
        // A double space makes an empty field.
        {"6620  16 IRAM", {4, 0, 0, 16, 1, 1}},
        // The notification needs all three of its fields.
        {"6620 1 2 IRAM 2 ab cd", {7, 0, 1, 2, 1, 2}},
    };
    // Shorter lines name no target: the dashboard's start-up test shows it.
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(fields(parseTargetCommandLine(line)), fields(expected)) << line;
        EXPECT_TRUE(parseTargetCommandLine(line).namesTarget()) << line;
    }
}

}  // namespace
}  // namespace keyscope
