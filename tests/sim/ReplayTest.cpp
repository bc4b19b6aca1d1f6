// Recordings read back and played as a board's signal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/Recording.h"
#include "sim/ReplaySignal.h"

namespace keyscope::sim {
namespace {

using ::testing::HasSubstr;

constexpr const char* kHeader = "elapsed_ms,TK0,key_code\n";

TEST(Recording, RefusesEachFaultWithItsLineAndReason) {
    const std::string seventeen =
        "elapsed_ms,TK0,TK1,TK2,TK3,TK4,TK5,TK6,TK7,TK8,TK9,TK10,TK11,"
        "TK12,TK13,TK14,TK15,TK16,key_code\n";
    const std::pair<std::string, const char*> cases[] = {
        {"", "rec.csv:1: empty"},
        {"elapsed_ms,dTK0,key_code\n0,1,0\n", "rec.csv:1: a --diff recording"},
        {"time,TK0,key_code\n0,1,0\n", "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0,TK2,key_code\n0,1,2,0\n", "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0\n0,1\n", "rec.csv:1: not a recording's header"},
        {seventeen, "rec.csv:1: 17 keys"},
        {kHeader, "rec.csv:2: no rows"},
        {std::string(kHeader) + "0,1\n", "rec.csv:2: 2 fields where the header has 3"},
        {std::string(kHeader) + "0,1,0\n\n50,-1,0\n", "rec.csv:4: TK0 '-1' is not a count"},
        {std::string(kHeader) + "0,70000,0\n", "rec.csv:2: TK0 '70000' is not a count"},
        {std::string(kHeader) + "10,1,0\n5,1,0\n", "rec.csv:3: elapsed_ms goes back from 10 to 5"},
        {std::string(kHeader) + "0,1,256\n", "rec.csv:2: key_code '256' is not a key code"},
        {std::string(kHeader) + "1e3,1,0\n", "rec.csv:2: elapsed_ms '1e3'"},
    };
    for (const auto& [text, message] : cases) {
        const RecordingLoad load = parseRecording(text, "rec.csv");
        EXPECT_FALSE(load.recording) << message;
        EXPECT_THAT(load.error, HasSubstr(message));
        EXPECT_EQ(load.error.find('\n'), std::string::npos) << load.error;
    }
    EXPECT_THAT(loadRecording("/nonexistent/rec.csv").error,
                HasSubstr("/nonexistent/rec.csv: cannot open"));
}

TEST(Recording, ReadsUtcColumnCrLfAndFillsCellsBeforeAKeysFirstCount) {
    const RecordingLoad load = parseRecording(
        "utc,elapsed_ms,TK0,TK1,key_code\r\nT1,0,,5,49\r\nT2,50,3,9,0\r\n", "rec.csv");
    ASSERT_TRUE(load.recording) << load.error;
    const Recording& r = *load.recording;
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.keyCount, 2);
    EXPECT_EQ(r.rows[0].counts[0], 3);
    EXPECT_EQ(r.rows[0].keyCode, 49);
    EXPECT_EQ(r.rows[1].elapsedMs, 50);
    EXPECT_TRUE(r.reported[0] && r.reported[1] && !r.reported[2]);
    EXPECT_EQ(r.largest[1], 9);
    EXPECT_EQ(checkRecordingFits(r, 9, "x"), "");
    EXPECT_EQ(checkRecordingFits(r, 8, "8-bit reports"),
              "rec.csv:3: TK1 count 9 is more than 8-bit reports carry (at most 8)");
}

// Rows at 50, 100, 150, 260 and 310 ms: one step is 50 ms, the row at 150
// holds two steps, and the first row is shown for one step before it starts.
TEST(ReplaySignal, MovesOnInTheRecordingsPollStepsAtItsSpeed) {
    const std::string text = std::string(kHeader) + "50,0,0\n100,1,0\n150,2,0\n260,3,0\n310,4,49\n";
    struct Case {
        double speed;
        bool loop;
        std::vector<int> rows;      // after each advance
        std::vector<bool> reached;  // a row started (or the end repeated)
    };
    const Case cases[] = {
        {1, false, {0, 1, 2, 2, 3, 4, 4, 4}, {true, true, true, false, true, true, true, true}},
        {1, true, {0, 1, 2, 2, 3, 4, 0, 0}, {true, true, true, false, true, true, false, true}},
        {2, false, {1, 2, 4, 4}, {true, true, true, true}},
        {0.5, false, {0, 0, 0, 1}, {false, true, false, true}},
    };
    for (const Case& c : cases) {
        ReplaySignal replay(*parseRecording(text, "rec.csv").recording, c.speed, c.loop);
        EXPECT_EQ(replay.rowIndex(), 0);
        EXPECT_FALSE(replay.reachedRow()) << "the lead-in step starts no row";
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            replay.advance();
            EXPECT_EQ(replay.rowIndex(), c.rows[i]) << c.speed << " advance " << i;
            EXPECT_EQ(replay.reachedRow(), c.reached[i]) << c.speed << " advance " << i;
        }
        EXPECT_EQ(replay.referenceCounts()[0], 4);
    }
}

}  // namespace
}  // namespace keyscope::sim
