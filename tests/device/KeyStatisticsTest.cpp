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

std::deque<KeySample> samplesOf(const std::vector<int>& resting, const std::vector<int>& pressed,
                                int key) {
    std::deque<KeySample> out;
    // Resting readings while another key is pressed, pressed ones with this key's code;
    // a difference of 0 resting and 50 pressed.
    for (int v : resting)
        out.push_back({0x30 + key + 1, v, 0});
    for (int v : pressed)
        out.push_back({0x30 + key, v, 50});
    return out;
}

std::string figuresText(const KeyFigures& f) {
    return formatFigure(f.noisePp, "") + "," + formatFigure(f.noiseRms, "") + "," +
           formatFigure(f.signal, "") + "," + formatFigure(f.snr, "");
}

struct FiguresCase {
    const char* name;
    std::vector<int> resting, pressed;
    const char* expected;  // noise_pp,noise_rms,signal,snr as the CSV writes them
    bool weak = false;     // known and below 5
};

TEST(KeyStatistics_Figures, HandComputedSequences) {
    const FiguresCase cases[] = {
        {"weak key", kResting, kPressed, "6.0,1.7,20.0,3.3", true},
        {"no noise", std::vector<int>(10, 100), {90, 90, 90, 90, 90}, "0.0,0.0,10.0,inf"},
        {"no noise, touch raises", std::vector<int>(10, 100), std::vector<int>(5, 101),
         "0.0,0.0,-1.0,-inf", true},
        {"nine resting", {100, 102, 98, 101, 99, 100, 103, 97, 100}, kPressed, "6.0,1.8,20.0,"},
        {"four pressed", kResting, {80, 82, 78, 80}, "6.0,1.7,20.0,"},
        {"never pressed", kResting, {}, "6.0,1.7,,"},
        {"no readings", {}, {}, ",,,"},
    };
    for (const FiguresCase& c : cases) {
        // Key 3 by its key code, and the same readings by a difference threshold of 21.
        for (const TouchRule rule : {touchRuleFor(kLinkHidTyped, 0), touchRuleFor(kLinkIce, 21)}) {
            const KeyFigures f = touchStats(samplesOf(c.resting, c.pressed, 3), 3, rule).figures();
            const std::pair<long, long> counts(c.resting.size(), c.pressed.size());
            EXPECT_EQ(std::pair(f.untouched, f.touched), counts) << c.name;
            EXPECT_EQ(figuresText(f), c.expected)
                << c.name << " by " << (rule.byKeyCode ? "key code" : "threshold");
            EXPECT_EQ(f.weak(), c.weak) << c.name;
        }
    }
}

TEST(KeyStatistics_Rule, KeyCodeNamesTheKeyOnHidAndTheThresholdDecidesElsewhere) {
    for (const std::int32_t mode : {kLinkHidPlain, kLinkHidTyped})
        EXPECT_TRUE(touchRuleFor(mode, 5).byKeyCode);
    for (const std::int32_t mode : {kLinkSerial, kLinkIce})
        EXPECT_EQ(touchRuleFor(mode, 5).byKeyCode, false);
    const TouchRule byCode = touchRuleFor(kLinkHidTyped, 0);
    const TouchRule byDiff = touchRuleFor(kLinkSerial, 30);
    // (key code, diff) -> touched for key 2, by code and by threshold
    EXPECT_TRUE(byCode.touched({0x32, 0, 0}, 2));
    EXPECT_FALSE(byCode.touched({0x31, 0, 99}, 2));
    EXPECT_FALSE(byCode.touched({1, 0, 99}, 2)) << "serial's 1 names no key";
    EXPECT_TRUE(byDiff.touched({0, 0, 30}, 2));
    EXPECT_FALSE(byDiff.touched({0x32, 0, 29}, 2));
}

TEST(KeyStatistics_Csv, LineCarriesTheValuesAndFiguresAndLeavesAnEmptyKeyBlank) {
    const TouchStats stats = touchStats(samplesOf(kResting, kPressed, 7), 7, TouchRule{true, 0});
    EXPECT_EQ(statisticsCsvLine(7, stats.all(), stats.figures()),
              "TK7,15,78,103,93.3,9.55,6.0,1.7,20.0,3.3\n");
    EXPECT_EQ(statisticsCsvLine(15, KeyStats{}, KeyFigures{}), "TK15,0,,,,,,,,\n");
}

}  // namespace
}  // namespace keyscope
