#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;
using fakes::plainReport;
using fakes::typedReport;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Opens a typed (292) board answering max, key and one data report.
void openTyped(FakeBoard& f) {
    f.hid->answeringIds = {kHidDeviceTyped, kHidDevicePlain};
    f.hid->max.push_back({true, typedReport(0x55, {200, 200})});
    f.hid->key.push_back({true, typedReport(0x55, {10, 11})});
    f.hid->data.push_back({true, typedReport(0x55, {150, 160})});
    ASSERT_EQ(f.board->open(kSelectorHid), 1);
    f.journal.clear();
    f.pauser.pauses.clear();
}

TEST(BoardOpen, HidTriesTypedBoardFirstThenRunsTheStartUpReadsInOrder) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDeviceTyped, kHidDevicePlain};
    f.hid->max.push_back({true, typedReport(0x55, {200})});
    f.hid->key.push_back({true, typedReport(0x55, {10})});
    f.hid->data.push_back({true, typedReport(0x55, {150})});
    EXPECT_EQ(f.board->open(kSelectorHid), 1);
    EXPECT_EQ(f.board->linkMode(), kLinkHidTyped);
    EXPECT_THAT(f.journal,
                ElementsAre("open 292", "readMax", "pause 50", "readKey", "pause 50", "readData"));
    EXPECT_EQ(f.board->isOpen(), 1);
    EXPECT_EQ(f.board->getChannel(0)->samples.size(), 1u);
}

TEST(BoardOpen, FallsBackToPlainBoardOnlyWhenTypedFails) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDevicePlain};
    for (int i = 0; i < 3; ++i)
        f.hid->plain.push_back({true, plainReport({1})});
    EXPECT_EQ(f.board->open(kSelectorHid), 1);
    EXPECT_EQ(f.board->linkMode(), kLinkHidPlain);
    EXPECT_THAT(f.journal, ElementsAre("open 292", "open 296", "read 64", "pause 50", "read 64",
                                       "pause 50", "read 64"));
}

TEST(BoardOpen, NoBoardAnsweringFailsWithoutReads) {
    FakeBoard f;
    EXPECT_EQ(f.board->open(kSelectorHid), 0);
    EXPECT_THAT(f.journal, ElementsAre("open 292", "open 296"));
    EXPECT_EQ(f.board->isOpen(), 0);
}

TEST(BoardOpen, FailedMaxReadMeansNoKeyReadAndStaysClosed) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDeviceTyped};
    f.hid->max = {{false, {}}, {false, {}}};
    EXPECT_EQ(f.board->open(kSelectorHid), 0);
    EXPECT_THAT(f.journal, ElementsAre("open 292", "readMax", "pause 100", "readMax"));
    EXPECT_EQ(f.board->isOpen(), 0);
    EXPECT_EQ(f.board->linkMode(), kLinkHidTyped);
}

TEST(BoardOpen, OpenWhenOpenSucceedsWithoutTraffic) {
    FakeBoard f;
    openTyped(f);
    EXPECT_EQ(f.board->open(kSelectorHid), 1);
    EXPECT_THAT(f.journal, IsEmpty());
}

TEST(BoardOpen, IceFailureAndSuccessFollowTheLink) {
    FakeBoard f;
    f.ice->openResult = 0;
    EXPECT_EQ(f.board->open(4), 0);
    f.ice->openResult = 1;
    f.board->setTarget(4, 0x1230, 4, 1, 2, 0, 0, 0);
    EXPECT_EQ(f.board->open(4), 1);
    EXPECT_EQ(f.board->linkMode(), kLinkIce);
    ASSERT_FALSE(f.ice->requests.empty());
    EXPECT_EQ(f.ice->requests[0].address, 0x1230);
    EXPECT_EQ(f.ice->requests[0].length, 8);
    EXPECT_EQ(f.ice->requests[0].iram, 1u);
}

TEST(BoardClose, NotifiesBeforeClearingThenReportsClosed) {
    FakeBoard f;
    openTyped(f);
    f.board->setTarget(0, 0, 0, 0, 1, 0x2a00001, 0x8001, 7);
    std::size_t samplesAtNotify = 0;
    f.notifier.onNotify = [&] { samplesAtNotify = f.board->getChannel(0)->samples.size(); };
    EXPECT_EQ(f.board->close(), 1);
    EXPECT_EQ(samplesAtNotify, 1u);
    EXPECT_THAT(f.journal, ElementsAre("ice release", "notify 44040193 32769 7"));
    EXPECT_TRUE(f.board->getChannel(0)->samples.empty());
    EXPECT_EQ(f.board->isOpen(), 0);
    EXPECT_EQ(f.board->linkMode(), kLinkIce);
}

TEST(BoardClose, NoWindowNoNotificationAndFailedReleaseKeepsOpen) {
    FakeBoard f;
    openTyped(f);
    f.ice->releaseResult = 0;
    EXPECT_EQ(f.board->close(), 0);
    EXPECT_EQ(f.board->isOpen(), 1);
    f.ice->releaseResult = 1;
    EXPECT_EQ(f.board->close(), 1);
    EXPECT_THAT(f.journal, ElementsAre("ice release", "ice release"));
}

TEST(ReadCycle_Hid, PlainReportWithZeroFirstByteTakesOnlyTheKeyCode) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDevicePlain};
    for (int i = 0; i < 3; ++i)
        f.hid->plain.push_back({true, plainReport({0, 0})});
    ASSERT_EQ(f.board->open(kSelectorHid), 1);
    f.hid->plain.push_back({true, plainReport({0, 99}, 0x33)});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->keyCode(), 0x33);
    EXPECT_TRUE(f.board->getChannel(1)->samples.empty());
}

TEST(ReadCycle_Hid, PlainReportRaisesMaxAndCarriesTheCode) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDevicePlain};
    f.hid->plain = {{true, plainReport({50, 60})}, {true, plainReport({})}};
    f.hid->plain.push_back({true, plainReport({70, 40}, 0x31)});
    ASSERT_EQ(f.board->open(kSelectorHid), 1);
    const ChannelRecord* c0 = f.board->getChannel(0);
    const ChannelRecord* c1 = f.board->getChannel(1);
    EXPECT_EQ(c0->maxValue, 70);
    EXPECT_EQ(c1->maxValue, 60);
    EXPECT_EQ(c1->samples.back().diff, 20);
    EXPECT_EQ(c1->samples.back().keyCode, 0x31);
}

TEST(ReadCycle_Hid, FirstAndSecondHalfAppendOnceToEveryKeyLeavingMax) {
    FakeBoard f;
    openTyped(f);
    f.hid->data.push_back({true, typedReport(0x85, {0x1234, 1, 2, 3, 4, 5, 6, 7}, 0x3A)});
    f.hid->data.push_back({true, typedReport(0xC5, {8, 9, 10, 11, 12, 13, 14, 300}, 0x3B)});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->isByteValues(), 0);
    EXPECT_THAT(f.journal, ElementsAre("readData", "pause 10", "readData"));
    for (int k = 0; k < kChannelCount; ++k) {
        EXPECT_EQ(f.board->getChannel(k)->samples.size(), 2u) << k;
    }
    EXPECT_EQ(f.board->getChannel(0)->value, 0x1234);
    EXPECT_EQ(f.board->getChannel(0)->maxValue, 200);  // left alone
    EXPECT_EQ(f.board->getChannel(15)->value, 300);
    EXPECT_EQ(f.board->getChannel(0)->samples.back().keyCode, 0x3A);
    EXPECT_EQ(f.board->getChannel(8)->samples.back().keyCode, 0x3B);
}

TEST(ReadCycle_Hid, FirstHalfSucceedsEvenWhenTheSecondReadFails) {
    FakeBoard f;
    openTyped(f);
    f.hid->data.push_back({true, typedReport(0x85, {1})});
    f.hid->data.push_back({false, {}});
    EXPECT_EQ(f.board->readCycle(), 1);
}

TEST(ReadCycle_Hid, EndlessFirstHalvesEndAtTheBoundAsALostLink) {
    FakeBoard f;
    openTyped(f);
    for (int i = 0; i < 100; ++i)
        f.hid->data.push_back({true, typedReport(0x85, {1})});
    EXPECT_EQ(f.board->readCycle(), 0);
    EXPECT_EQ(f.board->getChannel(0)->samples.size(), 1u + kMaxChainedFirstHalves);
    EXPECT_EQ(f.hid->data.size(), 100u - kMaxChainedFirstHalves);
}

TEST(ReadKeyAndMaxValues_Hid, EndlessFirstHalvesFailTheUpdateAtTheBound) {
    FakeBoard f;
    openTyped(f);
    for (int i = 0; i < 40; ++i) {
        f.hid->key.push_back({true, typedReport(0x85, {1})});
        f.hid->max.push_back({true, typedReport(0x85, {1})});
    }
    EXPECT_EQ(f.board->readKeyValues(), 0);
    EXPECT_EQ(f.board->readMaxValues(), 0);
    EXPECT_EQ(f.hid->key.size(), 40u - kMaxChainedFirstHalves);
    EXPECT_EQ(f.hid->max.size(), 40u - kMaxChainedFirstHalves);
}

TEST(ReadCycle_Hid, ByteReportSetsByteValuesAndRaisesMax) {
    FakeBoard f;
    openTyped(f);
    f.board->setTarget(0, 0, 0, 0, 2, 0, 0, 0);
    f.hid->data.push_back({true, typedReport(0x55, {250, 100})});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->isByteValues(), 1);
    EXPECT_EQ(f.board->getChannel(0)->maxValue, 250);
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 200);
}

TEST(ReadCycle_Hid, UnknownTypeTakesNothingButSucceedsAndFailedReadFails) {
    FakeBoard f;
    openTyped(f);
    f.hid->data.push_back({true, typedReport(0x99, {5})});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->getChannel(0)->samples.size(), 1u);
    f.hid->data.push_back({false, {}});
    EXPECT_EQ(f.board->readCycle(), 0);
}

TEST(ReadCycle, ClosedConnectionFailsAndClearsTheKeyCode) {
    FakeBoard f;
    EXPECT_EQ(f.board->readCycle(), 0);
    EXPECT_EQ(f.board->keyCode(), 0);
}

TEST(ReadKeyValues_Hid, RetriesOnceAfterAHundredMillisecondsAndTakesSettings) {
    FakeBoard f;
    openTyped(f);
    auto report = typedReport(0x55, {0x21, 0x22});
    report[17] = 40;
    report[19] = 2;
    report[20] = 0x85;
    f.hid->key = {{false, {}}, {true, report}};
    EXPECT_EQ(f.board->readKeyValues(), 1);
    EXPECT_THAT(f.pauser.pauses, ElementsAre(100));
    EXPECT_EQ(f.board->getChannel(1)->keyValue, 0x22);
    EXPECT_EQ(f.board->getTriggerLevel(), 40);
    EXPECT_EQ(f.board->getPreScale(), 2);
    EXPECT_EQ(f.board->getTktmr(), 0x85);
    f.hid->key = {{false, {}}, {false, {}}};
    EXPECT_EQ(f.board->readKeyValues(), 0);
}

TEST(ReadKeyValues_Hid, HalvesLowByteFirstAndOuterSettingsStand) {
    FakeBoard f;
    openTyped(f);
    auto first = typedReport(0x85, {0x1234});
    first[17] = 11;
    auto second = typedReport(0xC5, {0, 0, 0, 0, 0, 0, 0, 0x0102});
    second[17] = 22;
    f.hid->key = {{true, first}, {true, second}};
    EXPECT_EQ(f.board->readKeyValues(), 1);
    EXPECT_EQ(f.board->getChannel(0)->keyValue, 0x1234);
    EXPECT_EQ(f.board->getChannel(15)->keyValue, 0x0102);
    EXPECT_EQ(f.board->getTriggerLevel(), 11);
}

TEST(ReadMaxValues_Hid, PlainBoardDoesNotRetry) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDevicePlain};
    f.hid->plain = {{false, {}}};
    EXPECT_EQ(f.board->open(kSelectorHid), 0);
    EXPECT_THAT(f.pauser.pauses, IsEmpty());
}

TEST(ReadMaxValues_Hid, HalvesFillAllSixteen) {
    FakeBoard f;
    openTyped(f);
    f.hid->max = {{true, typedReport(0x85, {1000, 1001})}, {true, typedReport(0xC5, {1008})}};
    EXPECT_EQ(f.board->readMaxValues(), 1);
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 1001);
    EXPECT_EQ(f.board->getChannel(8)->maxValue, 1008);
    EXPECT_THAT(f.pauser.pauses, ElementsAre(10));
}

TEST(WriteKeyValues, SendsLowBytesAndSettingsRetryingOnceAtOnce) {
    FakeBoard f;
    openTyped(f);
    f.board->getChannel(0)->keyValue = 0x1FF;
    f.board->getChannel(1)->keyValue = 0x10;
    f.board->setTriggerLevel(30);
    f.board->setPreScale(3);
    f.board->setTktmr(0x85);
    f.hid->writes = {false, true};
    EXPECT_EQ(f.board->writeKeyValues(), 1);
    ASSERT_EQ(f.hid->written.size(), 2u);
    const auto& r = f.hid->written[1];
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 0xFF);
    EXPECT_EQ(r[2], 0x10);
    EXPECT_EQ(r[17], 30);
    EXPECT_EQ(r[18], 0);
    EXPECT_EQ(r[19], 3);
    EXPECT_EQ(r[20], 0x85);
    EXPECT_THAT(f.pauser.pauses, IsEmpty());
    f.hid->writes = {false, false};
    EXPECT_EQ(f.board->writeKeyValues(), 0);
}

TEST(WriteKeyValues, IceSendsNothingAndSucceedsSerialFails) {
    FakeBoard f;
    f.board->setTarget(0, 0x30, 16, 1, 2, 0, 0, 0);
    ASSERT_EQ(f.board->open(0), 1);
    EXPECT_EQ(f.board->writeKeyValues(), 1);
    f.board->close();
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(f.board->writeKeyValues(), 0);
    EXPECT_TRUE(f.hid->written.empty());
}

// ICE images: 65 bytes, values from byte 1.
std::array<std::uint8_t, 65> iceImage(std::initializer_list<int> values, int width) {
    std::array<std::uint8_t, 65> image{};
    int k = 0;
    for (int v : values) {
        if (width == 2) {
            image[2 * k + 1] = static_cast<std::uint8_t>(v >> 8);
            image[2 * k + 2] = static_cast<std::uint8_t>(v & 0xFF);
        } else {
            image[k + 1] = static_cast<std::uint8_t>(v);
        }
        ++k;
    }
    return image;
}

TEST(ReadCycle_Ice, HighByteFirstAndOutOfRangeZeroedOnlyWithinTheCount) {
    FakeBoard f;
    f.board->setTarget(0, 0x30, 4, 1, 2, 0, 0, 0);
    ASSERT_EQ(f.board->open(0), 1);
    f.ice->images.push_back(iceImage({0x1234 & 0x7FF, 5, 2048, 7, 8, 9, 2048}, 2));
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->getChannel(0)->value, 0x1234 & 0x7FF);
    EXPECT_EQ(f.board->getChannel(2)->value, 0);     // inside the count: invalid
    EXPECT_EQ(f.board->getChannel(6)->value, 2048);  // outside: taken as it is
    EXPECT_EQ(f.board->keyCode(), 0);
    f.ice->images.push_back(std::nullopt);
    EXPECT_EQ(f.board->readCycle(), 0);
}

TEST(ReadKeyValues_Ice, InvalidValueTakesNothingAndSettingsBecomeZero) {
    FakeBoard f;
    f.board->setTriggerLevel(9);
    f.board->setTarget(0, 0x30, 4, 1, 2, 0, 0, 0);
    ASSERT_EQ(f.board->open(0), 1);
    EXPECT_EQ(f.board->getTriggerLevel(), 0);
    f.ice->images.push_back(iceImage({0x0102, 3000}, 2));
    EXPECT_EQ(f.board->readKeyValues(), 1);
    EXPECT_EQ(f.board->getChannel(0)->keyValue, 0);
    f.ice->images.push_back(iceImage({0x0102, 300}, 2));
    EXPECT_EQ(f.board->readKeyValues(), 1);
    EXPECT_EQ(f.board->getChannel(0)->keyValue, 0x0102);
    EXPECT_EQ(f.board->getTktmr(), 0);
}

TEST(ReadMaxValues_Ice, SixteenBitSetsValueAndMaxWithZeroDiffEightBitOnlyMax) {
    FakeBoard f;
    f.board->setTarget(0, 0x30, 2, 1, 2, 0, 0, 0);
    f.ice->images.push_back(iceImage({700, 800}, 2));
    ASSERT_EQ(f.board->open(0), 1);
    const ChannelRecord* c1 = f.board->getChannel(1);
    EXPECT_EQ(c1->maxValue, 800);
    ASSERT_FALSE(c1->samples.empty());
    EXPECT_EQ(c1->samples.front().diff, 0);
    f.board->setTarget(0, 0x30, 2, 1, 1, 0, 0, 0);
    f.ice->images.push_back(iceImage({70, 80}, 1));
    const std::size_t before = c1->samples.size();
    EXPECT_EQ(f.board->readMaxValues(), 1);
    EXPECT_EQ(c1->maxValue, 80);
    EXPECT_EQ(c1->samples.size(), before);
    f.ice->images.push_back(std::nullopt);
    EXPECT_EQ(f.board->readMaxValues(), 1);  // a failed memory read is not a failure here
}

}  // namespace
}  // namespace keyscope
