// keyscope-record's valid command lines leave standard error empty: newer Qt
// parsers warn there when asked the value of an on/off switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/record/RecorderOptions.h"

namespace keyscope {
namespace {

TEST(RecorderOptions, AValidCommandLinePrintsNothingOnStandardError) {
    const std::vector<std::vector<std::string>> commandLines = {
        {"--hid", "--diff", "--utc", "--samples", "1"},
        {"--ice", "6620", "0x30", "16", "IRAM", "2", "--seconds", "1", "--utc"},
        {"--serial", "COM1", "--baud", "4800", "-o", "rows.csv", "--stats", "stats.csv",
         "--touch-threshold", "40", "--diff"},
    };
    for (const auto& args : commandLines) {
        SCOPED_TRACE(args.front());
        ::testing::internal::CaptureStderr();
        const ParsedOptions parsed = parseRecorderOptions(args);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(parsed.options.has_value()) << parsed.error;
    }
}

}  // namespace
}  // namespace keyscope
