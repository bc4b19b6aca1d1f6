// The channel model and the three decoders, fed bytes directly.
#include <gtest/gtest.h>

#include "device/HidReportDecoder.h"
#include "device/IceImageDecoder.h"
#include "device/SerialFrameDecoder.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::iceWords, fakes::plainReport, fakes::typedReport;

using Taken = std::tuple<int, int, int, int>;  // key, value, diff, key code

std::vector<Taken> samplesOf(const ChannelModel& model) {
    std::vector<Taken> taken;
    for (int k = 0; k < kChannelCount; ++k)
        for (const KeySample& s : model[k].samples)
            taken.emplace_back(k, s.value, s.diff, s.keyCode);
    return taken;
}

Taken lastOf(const ChannelModel& model, int k) {
    const KeySample& s = model[k].samples.back();
    return {k, s.value, s.diff, s.keyCode};
}

TEST(ChannelModel, MaxRuleComesBeforeTheDiffHistoryStopsAt300AndClearSparesUnusedKeys) {
    ChannelModel model;
    const std::pair<int, MaxRule> steps[] = {
        {100, MaxRule::Raise}, {90, MaxRule::Raise}, {80, MaxRule::Set}, {95, MaxRule::Leave}};
    for (const auto& [value, rule] : steps)
        model.appendSample(0, value, rule);
    EXPECT_EQ(samplesOf(model),
              (std::vector<Taken>{{0, 100, 0, 0}, {0, 90, 10, 0}, {0, 80, 0, 0}, {0, 95, -15, 0}}));
    const ChannelRecord& c0 = model[0];
    EXPECT_EQ(c0.maxValue, 80);
    for (int i = 0; i < 300; ++i)
        model.appendSample(0, i, MaxRule::Leave);
    ASSERT_EQ(c0.samples.size(), kMaxSamples);
    EXPECT_EQ(c0.samples.front().value, 0);
    model[2].keyValue = 9;
    model.clearSamples();
    EXPECT_EQ(std::tuple(c0.samples.size(), c0.value, c0.maxValue, model[2].keyValue),
              std::tuple(0u, 0, 0, 9));
    // The count of appended samples outlives the history, so readers still see what is new.
    EXPECT_EQ(std::pair(model.appendedSamples(0), model.appendedSamples(1)), std::pair(304ul, 0ul));
    EXPECT_EQ(model[15].name, "TK15");
}

// One read's worth of bytes, every key's samples, key by key, and which of them hold a
// reference frame's count.
struct FrameCase {
    std::vector<std::uint8_t> bytes;
    std::vector<Taken> samples;
    std::vector<bool> references;
};

const FrameCase kFrameCases[] = {
    // F0 sets the max value (diff 0 even below the last), F1 leaves it.
    {{0xF0, 3, 0x30, 16, 0, 0, 0xF0, 3, 0x30, 8, 0, 0, 0xF1, 6, 0x30, 10, 0, 0x31, 0x34, 0x12, 0},
     {{0, 16, 0, 0}, {0, 8, 0, 0}, {0, 10, -2, 0}, {1, 0x1234, -0x1234, 0}},
     {true, true, false, false}},
    // F2 sets the key code for the samples after it, until the next frame.
    {{0xF1, 9, 0x30, 1, 0, 0xF2, 5, 0, 0x31, 2, 0, 0, 0xF1, 6, 0xF2, 0, 9, 0x32, 3, 0, 0},
     {{0, 1, -1, 0}, {1, 2, -2, 1}, {2, 3, -3, 0}},
     {false, false, false}},
    // Garbage between frames is skipped; unknown triplet codes are ignored.
    {{0x00, 0x55, 0xF3, 0xF0, 6, 0x40, 9, 9, 0x3F, 7, 0, 0, 0x12, 0xF1, 3, 0x30, 4, 0, 0},
     {{0, 4, -4, 0}, {15, 7, 0, 0}},
     {false, true}},
    {{0xF1, 6, 0x30, 1, 0, 0x31, 2}, {{0, 1, -1, 0}}, {false}},  // a cut-off triplet is not taken
    {{0xF1, 4, 0x30, 1, 0, 0x31, 2, 0, 0}, {{0, 1, -1, 0}, {1, 2, -2, 0}}, {false, false}},
    {{0x11, 0xF0}, {}, {}},
};

class SerialFrame : public testing::TestWithParam<FrameCase> {};

TEST_P(SerialFrame, WalkTakesWholeTripletsWithTheFramesRuleAndMarksReferences) {
    ChannelModel model;
    model.setKeyCode(7);
    takeSerialFrames(model, GetParam().bytes);
    EXPECT_EQ(samplesOf(model), GetParam().samples);
    std::vector<bool> references;
    for (int k = 0; k < kChannelCount; ++k)
        for (const KeySample& s : model[k].samples)
            references.push_back(s.reference);
    EXPECT_EQ(references, GetParam().references);
    EXPECT_NE(model.keyCode(), 7);  // every frame starts with key code 0
}

INSTANTIATE_TEST_SUITE_P(Frames, SerialFrame, testing::ValuesIn(kFrameCases));

TEST(HidCounts, HalvesLeaveMaxByteReportsRaiseItAndEachReportCarriesItsKeyCode) {
    ChannelModel model;
    model[0].maxValue = model[1].maxValue = model[15].maxValue = 200;
    EXPECT_EQ(takeTypedCounts(model, typedReport(0x85, {0x1234}, 0x3A)), TypedReport::FirstHalf);
    EXPECT_EQ(takeTypedCounts(model, typedReport(0xC5, {0, 0, 0, 0, 0, 0, 0, 300}, 0x3B)),
              TypedReport::SecondHalf);
    EXPECT_EQ(takeTypedCounts(model, typedReport(0x99, {1}, 0x31)), TypedReport::Unknown);
    EXPECT_EQ(lastOf(model, 0), Taken(0, 0x1234, 200 - 0x1234, 0x3A));
    EXPECT_EQ(lastOf(model, 15), Taken(15, 300, -100, 0x3B));
    EXPECT_EQ(model.appendedSamples(), 16u);
    EXPECT_EQ(model.keyCode(), 0x31);
    EXPECT_EQ(takeTypedCounts(model, typedReport(0x55, {250, 100})), TypedReport::Bytes);
    EXPECT_EQ(std::tuple(model[0].maxValue, model[1].maxValue, model.appendedSamples()),
              std::tuple(250, 200, 32u));
    // A plain report without a first count takes only the key code.
    takePlainCounts(model, plainReport({0, 99}, 0x33));
    EXPECT_EQ(std::tuple(model.keyCode(), model.appendedSamples()), std::tuple(0x33, 32u));
    takePlainCounts(model, plainReport({70, 40}, 0x31));
    EXPECT_EQ(model[0].maxValue, 250);
    EXPECT_EQ(lastOf(model, 1), Taken(1, 40, 160, 0x31));
}

TEST(HidValues, EachFormFillsItsKeysOfTheFieldAndNoSamples) {
    ChannelModel model;
    const auto key = &ChannelRecord::keyValue, max = &ChannelRecord::maxValue;
    const std::tuple<fakes::Report, decltype(key), TypedReport> reads[] = {
        {typedReport(0x85, {0x1234}), key, TypedReport::FirstHalf},
        {typedReport(0xC5, {0, 0, 0, 0, 0, 0, 0, 258}), key, TypedReport::SecondHalf},
        {typedReport(0x55, {100, 101}), max, TypedReport::Bytes},
        {typedReport(0x12, {7}), max, TypedReport::Unknown}};
    for (const auto& [report, field, form] : reads)
        EXPECT_EQ(takeTypedValues(model, report, field), form);
    EXPECT_EQ(std::tuple(model[0].keyValue, model[15].keyValue, model[1].maxValue),
              std::tuple(0x1234, 258, 101));
    EXPECT_EQ(model.appendedSamples(), 0u);
}

TEST(IceImage, InvalidCountsCountOnlyWithinTheKeyCount) {
    const IceLayout words{4, 2};
    ChannelModel model;
    model[0].keyValue = 7;
    const auto invalid = iceWords({0x7FF, 5, 2048, 7, 8, 9, 2048});
    takeIceCounts(model, invalid, words);
    EXPECT_EQ(std::tuple(model[0].value, model[2].value, model[6].value),
              std::tuple(0x7FF, 0, 2048));
    takeIceKeyValues(model, invalid, words);  // an invalid image takes nothing
    EXPECT_EQ(model[0].keyValue, 7);
    // The 16-bit max-value read: 2048 in key 3 takes nothing; in key 6 it is only a count.
    takeIceMaxValues(model, iceWords({1, 2, 3, 2048}), words, false);
    EXPECT_EQ(model.appendedSamples(), 16u);
    takeIceMaxValues(model, iceWords({1, 2, 3, 4, 5, 6, 2048}), words, false);
    EXPECT_EQ(model[6].maxValue, 2048);
    EXPECT_EQ(lastOf(model, 1), Taken(1, 2, 0, 0));
    takeIceKeyValues(model, iceWords({0x0102}), words);
    EXPECT_EQ(model[0].keyValue, 0x0102);
}

}  // namespace
}  // namespace keyscope
