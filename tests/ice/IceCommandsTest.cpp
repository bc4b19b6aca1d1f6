#include <gtest/gtest.h>

#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"

namespace keyscope {
namespace {

using test::FakeScsiAccess;
using test::NoAspiLoader;
using test::RecordingMessages;
using test::RecordingPauser;
using test::SgCall;

constexpr std::uint8_t kReadPc = 0x01;
constexpr std::uint8_t kEnter = 0x02;
constexpr std::uint8_t kStatus = 0x03;
constexpr std::uint8_t kReset = 0x05;
constexpr std::uint8_t kBreak = 0x07;
constexpr std::uint8_t kRead = 0x09;
constexpr std::uint8_t kReturn = 0x15;

// r_i = 0x40 + i: every answer byte tells where it came from.
IceBlock patternedAnswer() {
    IceBlock answer;
    for (int i = 0; i < kBlockSize; ++i) {
        answer[i] = static_cast<std::uint8_t>(0x40 + i);
    }
    return answer;
}

class IceCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        access.addBoard("ICEBRD-D");
        ASSERT_EQ(link.openIceLink(3), 1);
        access.calls.clear();
    }

    int read(std::uint16_t address, std::uint32_t iram = 0) {
        out.fill(0);
        return link.readIceBlock(out.data(), address, 32, iram);
    }

    // Skips the once-per-run start-up so a test sees one memory read only.
    void startUp() {
        ASSERT_EQ(read(0x100), 1);
        access.calls.clear();
        messages.shown.clear();
    }

    FakeScsiAccess access;
    NoAspiLoader loader;
    RecordingPauser pauser;
    RecordingMessages messages;
    IceContext context{access, loader, pauser};
    ScsiIceLink link{context, messages};
    std::array<std::uint8_t, 65> out{};
};

TEST_F(IceCommandsTest, FirstReadRunsTheStartUpSequenceAndLaterReadsDoNot) {
    ASSERT_EQ(read(0x100), 1);
    EXPECT_EQ(access.subs(), (std::vector<std::uint8_t>{kEnter, kReset, kBreak, kReadPc, kReturn,
                                                        kRead, kReturn}));
    std::vector<std::uint8_t> opcodes;
    for (const SgCall& c : access.calls) {
        opcodes.push_back(c.cdb[0]);
    }
    EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{0xD2, 0xD2, 0xD2, 0xD3, 0xD2, 0xD3, 0xD2}));

    access.calls.clear();
    ASSERT_EQ(read(0x100), 1);
    EXPECT_EQ(access.subs(), (std::vector<std::uint8_t>{kRead, kReturn}));
}

TEST_F(IceCommandsTest, ReadReserveDataBlockForInternalRamAddress0120) {
    startUp();
    ASSERT_EQ(read(0x0120, 1), 1);
    const auto reads = access.callsWithSub(kRead);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].cdb, (std::vector<std::uint8_t>{0xD3, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x09,
                                                       0x01, 0x20, 0x00, 0x01, 0x20}));
    EXPECT_EQ(reads[0].direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(reads[0].dxferLen, 64u);
}

struct IramCase {
    std::uint16_t address;
    std::uint32_t iram;
    // out index -> answer index of the replaced bytes
    std::vector<std::pair<int, int>> replaced;
};

class IceIramReplacement : public IceCommandsTest,
                           public ::testing::WithParamInterface<IramCase> {};

TEST_P(IceIramReplacement, LocationsElevenToFourteenComeFromTheRegisterBytes) {
    startUp();
    access.iceAnswers[kRead] = patternedAnswer();
    const IramCase& c = GetParam();
    ASSERT_EQ(read(c.address, c.iram), 1);

    std::array<int, 33> expected;
    for (int i = 0; i < 33; ++i) {
        expected[i] = 0x40 + 16 + i;
    }
    for (const auto& [outIndex, answerIndex] : c.replaced) {
        expected[outIndex] = 0x40 + answerIndex;
    }
    for (int i = 0; i < 33; ++i) {
        EXPECT_EQ(out[i], expected[i]) << "out byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, IceIramReplacement,
                         ::testing::Values(IramCase{0x10, 1, {{1, 2}, {2, 3}, {3, 4}, {4, 5}}},
                                           IramCase{0x00, 1, {{17, 2}, {18, 3}, {19, 4}, {20, 5}}},
                                           IramCase{0x13, 1, {{0, 4}, {1, 5}}},
                                           IramCase{0x14, 1, {{0, 5}}}, IramCase{0x15, 1, {}},
                                           IramCase{0x10, 0, {}}));

TEST_F(IceCommandsTest, ClosingReturnCarriesTheContextDerivedFromTheMemoryAnswer) {
    startUp();
    IceBlock answer = patternedAnswer();
    answer[7] = 0x01;
    access.iceAnswers[kRead] = answer;
    ASSERT_EQ(read(0x0200), 1);

    const auto returns = access.callsWithSub(kReturn);
    ASSERT_EQ(returns.size(), 1u);
    EXPECT_EQ(returns[0].cdb[7], 0x4A) << "address high byte is r10";
    EXPECT_EQ(returns[0].cdb[8], 0x49) << "address low byte is r9";
    EXPECT_EQ(returns[0].direction, SG_DXFER_TO_DEV);
    ASSERT_EQ(returns[0].dataOut.size(), 64u);
    const std::vector<std::uint8_t> context(returns[0].dataOut.begin(),
                                            returns[0].dataOut.begin() + 12);
    EXPECT_EQ(context, (std::vector<std::uint8_t>{0x4F, 0x50, 0x4D, 0x4E, 0x42, 0x43, 0xFF, 0x4C,
                                                  0x48, 0x41, 0x40, 0x4B}));
    for (int i = 12; i < 64; ++i) {
        ASSERT_EQ(returns[0].dataOut[i], 0) << "context byte " << i;
    }
}

TEST_F(IceCommandsTest, StartUpReturnCarriesTheBlockDerivedBeforeReadPc) {
    access.iceAnswers[kReadPc] = patternedAnswer();
    ASSERT_EQ(read(0x100), 1);
    const auto returns = access.callsWithSub(kReturn);
    ASSERT_EQ(returns.size(), 2u);
    IceBlock expected{};
    expected[6] = 0xFE;
    EXPECT_EQ(returns[0].dataOut, std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(returns[0].cdb[7], 0x4A) << "but the address is the read-PC answer's r10";
    EXPECT_EQ(returns[0].cdb[8], 0x49);
}

TEST(IceContext, DerivationBeforeAReadTakesR3AndR4ForBytesFourAndFive) {
    const IceBlock answer = patternedAnswer();
    IceBlock before{};
    IceBlock after{};
    deriveContext(answer, before, ContextDerivation::BeforeRead);
    deriveContext(answer, after, ContextDerivation::AfterRead);
    EXPECT_EQ(before[4], 0x43);
    EXPECT_EQ(before[5], 0x44);
    EXPECT_EQ(after[4], 0x42);
    EXPECT_EQ(after[5], 0x43);
    before[4] = after[4];
    before[5] = after[5];
    EXPECT_EQ(before, after) << "every other byte is the same";
}

struct StartUpFailure {
    std::uint8_t failing;
    const char* message;
    std::vector<std::uint8_t> sent;
};

class IceStartUpFailure : public IceCommandsTest,
                          public ::testing::WithParamInterface<StartUpFailure> {};

TEST_P(IceStartUpFailure, ShowsItsMessageOnceAndIsNeverRetried) {
    const StartUpFailure& c = GetParam();
    access.failSubs.insert(c.failing);

    EXPECT_EQ(read(0x100), 0);
    EXPECT_EQ(access.subs(), c.sent);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, c.message);
    EXPECT_EQ(messages.shown[0].caption, "");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::None);
    for (std::uint8_t b : out) {
        ASSERT_EQ(b, 0);
    }

    access.failSubs.clear();
    access.calls.clear();
    EXPECT_EQ(read(0x100), 1);
    EXPECT_EQ(access.subs(), (std::vector<std::uint8_t>{kRead, kReturn}));
    EXPECT_EQ(messages.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, IceStartUpFailure,
    ::testing::Values(StartUpFailure{kEnter, "Enter ICE mode FAIL!", {kEnter}},
                      StartUpFailure{kReset, "Chip Reset FAIL!", {kEnter, kReset}},
                      StartUpFailure{kBreak, "Set HW break FAIL!", {kEnter, kReset, kBreak}},
                      StartUpFailure{kReadPc, "Read PC Fail!", {kEnter, kReset, kBreak, kReadPc}},
                      StartUpFailure{kReturn,
                                     "Set HW Return FAIL!",
                                     {kEnter, kReset, kBreak, kReadPc, kReturn}}));

TEST_F(IceCommandsTest, AFailedMemoryReadFetchesTheStatusOnceAndLeavesOutZeroed) {
    startUp();
    access.failSubs.insert(kRead);
    EXPECT_EQ(read(0x100), 0);
    EXPECT_EQ(access.subs(), (std::vector<std::uint8_t>{kRead, kStatus}));
    const auto status = access.callsWithSub(kStatus);
    EXPECT_EQ(status[0].cdb[0], 0xD3);
    EXPECT_EQ(status[0].direction, SG_DXFER_FROM_DEV);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Read Reserve Data Fail!");
    for (std::uint8_t b : out) {
        ASSERT_EQ(b, 0);
    }
}

TEST_F(IceCommandsTest, AFailedClosingReturnStillDeliversTheData) {
    startUp();
    access.iceAnswers[kRead] = patternedAnswer();
    access.failSubs.insert(kReturn);
    EXPECT_EQ(read(0x200), 1);
    EXPECT_EQ(out[0], 0x50);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Set HW Return FAIL!");
}

}  // namespace
}  // namespace keyscope
