// Opening, closing and the HID and ICE read sequences, over scripted fakes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard, fakes::iceWords, fakes::plainReport, fakes::typedReport;
using ::testing::ElementsAre;

// A typed (292) board answering 0x55 reports to the three start-up reads.
void openTyped(FakeBoard& f) {
    f.hid->answeringIds = {kHidDeviceTyped};
    f.hid->max.push_back({true, typedReport(0x55, {200, 200})});
    f.hid->key.push_back({true, typedReport(0x55, {10, 11})});
    f.hid->data.push_back({true, typedReport(0x55, {150, 160})});
    ASSERT_EQ(f.board->open(kSelectorHid), 1);
    f.journal.clear();
    f.pauser.pauses.clear();
}

struct OpenCase {
    std::vector<int> answeringIds;
    int goodReads;  // start-up reads that succeed, in order
    int result;
    std::int32_t linkMode;
    fakes::Journal journal;
    std::vector<std::string> said;       // standard error over two opens: the failed calls' reasons
    const char* plainRefusal = nullptr;  // the plain board's reason; unset: "failed"
};

// clang-format off
const OpenCase kOpenCases[] = {
    {{292, 296}, 3, 1, kLinkHidTyped, {"open 292", "readMax", "pause 50", "readKey", "pause 50", "readData"}, {}},
    {{296}, 3, 1, kLinkHidPlain, {"open 292", "open 296", "read 64", "pause 50", "read 64", "pause 50", "read 64"}, {}},
    {{}, 3, 0, kLinkHidTyped, {"open 292", "open 296"}, {"open 0x0124 or 0x0128 failed"}},  // both, one line
    {{292}, 0, 0, kLinkHidTyped, {"open 292", "readMax", "pause 100", "readMax"}, {"readMax failed"}},  // no key read
    {{292}, 1, 0, kLinkHidTyped, {"open 292", "readMax", "pause 50", "readKey", "pause 100", "readKey"}, {"readKey failed", "readMax failed"}},
    {{296}, 0, 0, kLinkHidPlain, {"open 292", "open 296", "read 64"}, {"read 64 failed"}},  // no retry
    // Failures that differ by more than the id are said one after the other.
    {{}, 3, 0, kLinkHidTyped, {"open 292", "open 296"}, {"open 0x0124 failed; open 0x0128 refused"}, "refused"},
};
// clang-format on

// A failed open says its reason; the same failure at the next try stays quiet, another is said.
TEST(BoardOpen, TriesTheTypedBoardFirstAndRunsTheStartUpReadsInOrder) {
    for (const OpenCase& c : kOpenCases) {
        SCOPED_TRACE(c.journal.back());
        FakeBoard f;
        f.hid->answeringIds = c.answeringIds;
        if (c.plainRefusal)
            f.hid->openReasons[kHidDevicePlain] = c.plainRefusal;
        const fakes::ScriptedHid::Answer good{true, typedReport(0x55, {1})};
        f.hid->plain.assign(c.goodReads, good);
        f.hid->max.assign(c.goodReads > 0 ? 1 : 0, good);
        f.hid->key.assign(c.goodReads > 1 ? 1 : 0, good);
        f.hid->data.assign(c.goodReads > 2 ? 1 : 0, good);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(f.board->open(kSelectorHid), c.result);
        EXPECT_EQ(f.journal, c.journal);
        EXPECT_EQ(std::tuple(f.board->isOpen(), f.board->linkMode(), f.board->appendedSamples()),
                  std::tuple(c.result, c.linkMode, c.result == 1 ? 16u : 0u));
        f.journal.clear();
        EXPECT_EQ(f.board->open(kSelectorHid) == 1 && f.journal.empty(), c.result == 1);
        std::string said;
        for (const std::string& line : c.said)
            said += "device_tests: " + line + "\n";
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), said);
    }
}

TEST(BoardClose, NotifiesBeforeClearingAndAFailedReleaseKeepsItOpen) {
    FakeBoard f;
    openTyped(f);
    f.ice->releaseResult = 0;
    EXPECT_EQ(f.board->close(), 0);
    EXPECT_EQ(f.board->isOpen(), 1);
    f.ice->releaseResult = 1;
    EXPECT_EQ(f.board->close(), 1);  // no window named: no notification
    EXPECT_EQ(f.board->isOpen(), 0);
    f.notifier.setTarget({0x2a00001, 0x8001, 7});
    f.board->appendSample(0, 5, MaxRule::Leave);
    std::size_t samplesAtNotify = 0;
    f.notifier.onNotify = [&] { samplesAtNotify = f.board->getChannel(0)->samples.size(); };
    EXPECT_EQ(f.board->close(), 1);
    EXPECT_EQ(samplesAtNotify, 1u);
    EXPECT_TRUE(f.board->getChannel(0)->samples.empty());
    EXPECT_THAT(f.journal, ElementsAre("ice release", "ice release", "ice release",
                                       "notify 44040193 32769 7"));
    EXPECT_EQ(f.board->readCycle(), 0);  // closed
    EXPECT_TRUE(f.board->getChannel(16) == nullptr && f.board->getChannel(-1) == nullptr);
}

TEST(ReadCycle_Hid, PlainBoardTakesEveryReadFromItsOneReportForm) {
    FakeBoard f;
    f.hid->answeringIds = {kHidDevicePlain};
    f.hid->plain = {{true, plainReport({50, 60})},
                    {true, plainReport({})},
                    {true, plainReport({70, 40}, 0x31)},
                    {true, plainReport({0, 99}, 0x33)}};
    ASSERT_EQ(f.board->open(kSelectorHid), 1);
    EXPECT_EQ(std::tuple(f.board->getChannel(0)->maxValue,
                         f.board->getChannel(1)->samples.back().diff, f.board->keyCode()),
              std::tuple(70, 20, 0x31));
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->keyCode(), 0x33);
}

TEST(ReadCycle_Hid, AFirstHalfIsFollowedAt10MsAndTheReportFormSetsTheValueWidth) {
    FakeBoard f;
    openTyped(f);
    f.hid->data.push_back({true, typedReport(0x85, {1})});
    f.hid->data.push_back({true, typedReport(0xC5, {2})});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_THAT(f.journal, ElementsAre("readData", "pause 10", "readData"));
    // Both halves taken, a sample for each key; what each half holds is DecoderTest's.
    EXPECT_EQ(std::pair(f.board->isByteValues(), f.board->appendedSamples()), std::pair(0, 32ul));
    f.hid->data.push_back({true, typedReport(0x55, {250, 100})});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->isByteValues(), 1);
}

TEST(ReadCycle_Hid, TheResultFollowsTheFirstReadOfTheCycle) {
    // Plain fields, each built in place: copying a one- or two-byte vector into a
    // tuple trips GCC 14's bounds check on the inlined copy.
    const struct {
        std::vector<std::uint8_t> types;  // report types in read order (0: a failed read)
        int result;
        std::uint64_t appended;  // samples
        const char* said;
    } cases[] = {
        {{0x85, 0}, 1, 8, ""},  // a first half stands even when the second read fails
        {{0x99}, 1, 0, ""},
        {{0}, 0, 0, "device_tests: readData failed\n"},
        {std::vector<std::uint8_t>(40, 0x85), 0, std::uint64_t{8} * kMaxChainedFirstHalves,
         ""},  // a lost link
    };
    for (const auto& [types, result, appended, said] : cases) {
        SCOPED_TRACE(types.size());
        FakeBoard f;
        openTyped(f);
        for (std::uint8_t type : types)
            f.hid->data.push_back({type != 0, typedReport(type, {1})});
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(f.board->readCycle(), result);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), said);
        EXPECT_EQ(f.board->appendedSamples() - 16, appended);
    }
}

TEST(ReadKeyAndMaxValues_Hid, RetryOnceAfter100MsAndFollowFirstHalvesUpToTheBound) {
    FakeBoard f;
    openTyped(f);
    auto first = typedReport(0x85, {0x1234});
    first[17] = 11;  // the first half's settings stand
    first[19] = 2;
    first[20] = 0x85;
    f.hid->key = {{false, typedReport(0x85, {7, 7, 7})},  // a failed read that wrote
                  {true, first},
                  {true, typedReport(0xC5, {0, 0, 0, 0, 0, 0, 0, 258})}};
    f.hid->max = {{true, typedReport(0x55, {100, 101})}};
    EXPECT_EQ(f.board->readKeyValues(), 1);
    EXPECT_EQ(f.board->readMaxValues(), 1);
    EXPECT_THAT(f.pauser.pauses, ElementsAre(100, 10));
    EXPECT_EQ(f.board->getChannel(15)->keyValue, 258);  // from the second half
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 101);
    EXPECT_EQ(std::tuple(f.board->getTriggerLevel(), f.board->getPreScale(), f.board->getTktmr()),
              std::tuple(11, 2, 0x85));
    EXPECT_EQ(f.hid->unzeroedCalls, 0);  // the retry starts from a zeroed report
    f.hid->max.assign(40, {true, typedReport(0x85, {1})});
    EXPECT_EQ(f.board->readMaxValues(), 0);
    EXPECT_EQ(f.hid->max.size(), 40u - kMaxChainedFirstHalves);
}

TEST(WriteKeyValues, SendsLowBytesAndSettingsRetryingOnceAtOnce) {
    FakeBoard f;
    openTyped(f);
    f.board->getChannel(0)->keyValue = 0x1FF;
    f.board->setTriggerLevel(30);
    f.board->setPreScale(3);
    f.board->setTktmr(0x85);
    f.hid->writes = {false, true};
    EXPECT_EQ(f.board->writeKeyValues(), 1);
    ASSERT_EQ(f.hid->written.size(), 2u);
    const auto& r = f.hid->written[1];
    EXPECT_THAT(std::vector(r.begin(), r.begin() + 21),
                ElementsAre(0, 0xFF, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 0, 3, 0x85));
    EXPECT_TRUE(f.pauser.pauses.empty());
    f.hid->writes = {false, false};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(f.board->writeKeyValues(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "device_tests: write failed\n");
}

TEST(ReadCycle_Serial, AReadThatFillsTheWholeBufferTakesItsLastFrame) {
    // 100 six-byte frames fill the 600 bytes a read asks for; the last one ends at the edge.
    std::vector<std::uint8_t> full;
    for (int i = 0; i < 100; ++i) {
        full.insert(full.end(), {0xF1, 3, static_cast<std::uint8_t>(0x30 + i % 16),
                                 static_cast<std::uint8_t>(i), 0, 0});
    }
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    f.serial->chunks.push_back(full);
    ASSERT_EQ(f.board->readCycle(), 1);
    const ChannelRecord& last = *f.board->getChannel(3);
    ASSERT_EQ(last.samples.size(), 7u);
    EXPECT_EQ(last.samples.back().value, 99);
}

TEST(Ice, ReadsTheTargetBlockForEveryReadAndAFailedCycleIsALostLink) {
    FakeBoard f;
    f.board->setTriggerLevel(9);
    f.board->setTarget({0x1230, 4, 1, 2});
    f.ice->images = {iceWords({700, 800}), std::nullopt, std::nullopt};  // max, key, data
    ASSERT_EQ(f.board->open(4), 1);
    const auto& [address, length, iram] = f.ice->requests[0];
    EXPECT_EQ(std::tuple(address, length, iram), std::tuple(0x1230, 8, 1u));
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 800);
    EXPECT_EQ(f.board->getChannel(1)->samples.front().diff, 0);
    EXPECT_EQ(f.board->getTriggerLevel(), 0);  // no settings over ICE
    f.ice->images = {iceWords({0x7FF, 2048}), std::nullopt};
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->getChannel(1)->value, 0);  // invalid within the key count
    EXPECT_EQ(f.board->readCycle(), 0);
    EXPECT_EQ(f.board->writeKeyValues(), 1);
    EXPECT_TRUE(f.hid->written.empty());
}

TEST(Ice, WidthOneMakesAByteBoardWhoseOpenFillsEachField) {
    FakeBoard f;
    f.board->setTarget({0x40, 16, 0, 1});
    const auto bytes = [](int first) {
        std::array<std::uint8_t, 65> image{};
        std::iota(image.begin() + 1, image.begin() + 1 + kChannelCount, first);
        return std::optional(image);
    };
    f.ice->images = {bytes(200), bytes(10), bytes(100)};  // max, key, data
    ASSERT_EQ(f.board->open(4), 1);
    EXPECT_EQ(f.ice->requests[0].length, 16);
    EXPECT_EQ(f.board->isByteValues(), 1);
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelRecord& c = *f.board->getChannel(k);
        EXPECT_EQ(std::tuple(c.maxValue, c.keyValue, c.value, c.samples.size()),
                  std::tuple(200 + k, 10 + k, 100 + k, 1u))
            << k;
    }
}

}  // namespace
}  // namespace keyscope
