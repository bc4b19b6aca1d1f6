#include <gtest/gtest.h>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;

TEST(ChannelModel_Construction, NamesEveryKeyAndStartsEmpty) {
    FakeBoard f;
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelRecord* c = f.board->getChannel(k);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->name, "TK" + std::to_string(k));
        EXPECT_EQ(c->percentRef, nullptr);
        EXPECT_EQ(c->value + c->keyValue + c->maxValue, 0);
        EXPECT_TRUE(c->samples.empty());
    }
    EXPECT_EQ(f.board->getChannel(16), nullptr);
    EXPECT_EQ(f.board->getChannel(-1), nullptr);
    EXPECT_EQ(f.board->isOpen(), 0);
    EXPECT_EQ(f.board->linkMode(), kLinkHidTyped);
}

TEST(ChannelModel_AppendSample, AppliesTheThreeMaxRulesAndDiffAfterUpdate) {
    FakeBoard f;
    BoardConnection& b = *f.board;
    b.appendSample(0, 100, MaxRule::Raise);  // raises 0 -> 100, diff 0
    b.appendSample(0, 90, MaxRule::Raise);   // keeps 100, diff 10
    b.appendSample(0, 80, MaxRule::Set);     // 80, diff 0
    b.appendSample(0, 95, MaxRule::Leave);   // 80 stays, diff -15
    const auto& s = b.getChannel(0)->samples;
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].diff, 0);
    EXPECT_EQ(s[1].diff, 10);
    EXPECT_EQ(s[2].diff, 0);
    EXPECT_EQ(s[3].diff, -15);
    EXPECT_EQ(b.getChannel(0)->maxValue, 80);
    EXPECT_EQ(b.getChannel(0)->value, 95);
}

TEST(ChannelModel_AppendSample, HistoryStaysAtThreeHundredDroppingTheOldest) {
    FakeBoard f;
    for (int i = 0; i < 301; ++i)
        f.board->appendSample(5, i, MaxRule::Leave);
    const auto& s = f.board->getChannel(5)->samples;
    ASSERT_EQ(s.size(), kMaxSamples);
    EXPECT_EQ(s.front().value, 1);
    EXPECT_EQ(s.back().value, 300);
}

TEST(ChannelModel_ClearSamples, ZeroesOnlyChannelsThatHadSamples) {
    FakeBoard f;
    f.board->appendSample(1, 50, MaxRule::Raise);
    f.board->getChannel(1)->keyValue = 7;
    f.board->getChannel(2)->keyValue = 9;  // no samples: keeps its values
    f.board->clearSamples();
    EXPECT_TRUE(f.board->getChannel(1)->samples.empty());
    EXPECT_EQ(f.board->getChannel(1)->value, 0);
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 0);
    EXPECT_EQ(f.board->getChannel(1)->keyValue, 0);
    EXPECT_EQ(f.board->getChannel(2)->keyValue, 9);
}

TEST(ChannelModel_Settings, SettersStoreWhatTheyAreGiven) {
    FakeBoard f;
    f.board->setTktmr(0x85);
    f.board->setTriggerLevel(200);
    f.board->setPreScale(3);
    EXPECT_EQ(f.board->getTktmr(), 0x85);
    EXPECT_EQ(f.board->getTriggerLevel(), 200);
    EXPECT_EQ(f.board->getPreScale(), 3);
}

TEST(ChannelModel_SetTarget, WidthTwoMeansSixteenBitValues) {
    FakeBoard f;
    f.board->setTarget(0, 0x30, 16, 1, 2, 0, 0, 0);
    EXPECT_EQ(f.board->isByteValues(), 0);
    f.board->setTarget(0, 0x30, 16, 1, 1, 0, 0, 0);
    EXPECT_EQ(f.board->isByteValues(), 1);
}

}  // namespace
}  // namespace keyscope
