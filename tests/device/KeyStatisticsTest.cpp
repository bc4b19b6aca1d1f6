// Noise, signal and SNR of one key on short sequences computed by hand.
#include <gtest/gtest.h>

#include "device/BoardConnection.h"
#include "device/KeyStatistics.h"

namespace keyscope {
namespace {

// Ten resting counts around 100 (mean 100, spread 97..103, squares of the
// deviations 28, so rms sqrt(2.8) = 1.7) and five pressed counts of mean 80.
const std::vector<int> kResting{100, 102, 98, 101, 99, 100, 103, 97, 100, 100};
const std::vector<int> kPressed{80, 82, 78, 80, 80};

struct FiguresCase {
    const char* name;
    std::vector<int> resting, pressed;
    const char* line;   // as the statistics CSV writes it for TK3, less its span
    bool weak = false;  // known and below 5
};

// The history's one pass and a session's grouped readings give the same figures and line;
// the session takes the same readings from a reference sample and a second history.
TEST(KeyStatistics_Figures, HandComputedSequencesAsTheirCsvLineFromAHistoryAndASession) {
    const std::vector<int> nineResting(kResting.begin(), kResting.end() - 1);
    const std::vector<int> fourPressed(kPressed.begin(), kPressed.end() - 1);
    const FiguresCase cases[] = {
        {"weak key", kResting, kPressed, "TK3,15,5,78,103,93.3,9.55,6.0,1.7,20.0,3.3", true},
        {"no noise", std::vector(10, 100), std::vector(5, 90),
         "TK3,15,5,90,100,96.7,4.71,0.0,0.0,10.0,inf"},
        {"no noise, touch raises", std::vector(10, 100), std::vector(5, 101),
         "TK3,15,5,100,101,100.3,0.47,0.0,0.0,-1.0,-inf", true},
        {"nine resting", nineResting, kPressed, "TK3,14,5,78,103,92.9,9.72,6.0,1.8,20.0,"},
        {"four pressed", kResting, fourPressed, "TK3,14,4,78,103,94.3,9.18,6.0,1.7,20.0,"},
        {"never pressed", kResting, {}, "TK3,10,0,97,103,100.0,1.67,6.0,1.7,,"},
        {"no readings", {}, {}, "TK3,0,0,,,,,,,,"},
    };
    const StatisticsSpan span{21, 1'796'504'645'123, 72.04};
    const std::string spanText = ",21,2026-12-05T21:04:05.123Z,72.0\n";
    for (const auto& [name, resting, pressed, line, weak] : cases) {
        // Resting readings while another key is pressed, pressed ones with key 3's code; a
        // difference of 0 resting and 50 pressed. A reference frame's sample (a count far
        // above the others) is no reading.
        std::deque<KeySample> samples{{0, 400, 0, true}};
        for (int v : resting)
            samples.push_back({0x34, v, 0});
        for (int v : pressed)
            samples.push_back({0x33, v, 50});
        SessionKeyStats session;
        for (const KeySample& s : samples)
            session.add(s, 3);
        // Touched by the key code, and the same readings by a difference threshold of 21.
        for (const TouchRule rule : {touchRuleFor(kLinkHidTyped, 0), touchRuleFor(kLinkIce, 21)}) {
            SCOPED_TRACE(std::string(name) + (rule.byKeyCode ? " by key code" : " by threshold"));
            for (const TouchStats& stats :
                 {touchStats(samples, 3, rule), session.touchStats(rule)}) {
                const KeyFigures f = stats.figures();
                const std::pair<long, long> counts(resting.size(), pressed.size());
                EXPECT_EQ(std::pair(f.untouched, f.touched), counts);
                EXPECT_EQ(statisticsCsvLine(3, stats.all(), f, span), line + spanText);
                EXPECT_EQ(f.weak(), weak);
            }
        }
    }
}

// HID boards name the pressed key by its code; serial (whose 1 names no key) and ICE boards
// are judged by the difference reaching the threshold.
TEST(KeyStatistics_Rule, KeyCodeNamesTheKeyOnHidAndTheThresholdDecidesElsewhere) {
    // link, threshold, key code and difference of a sample, touched for key 2
    const std::tuple<std::int32_t, int, int, int, bool> cases[] = {
        {kLinkHidTyped, 0, 0x32, 0, true}, {kLinkHidTyped, 0, 0x31, 99, false},
        {kLinkHidPlain, 5, 0x32, 0, true}, {kLinkHidPlain, 5, 1, 99, false},
        {kLinkSerial, 30, 0, 30, true},    {kLinkSerial, 30, 0x32, 29, false},
        {kLinkIce, 5, 0, 5, true},         {kLinkIce, 5, 0x32, 4, false},
    };
    for (const auto& [link, threshold, keyCode, diff, touched] : cases)
        EXPECT_EQ(touchRuleFor(link, threshold).touched({keyCode, 0, diff}, 2), touched)
            << link << " " << keyCode << " " << diff;
}

}  // namespace
}  // namespace keyscope
