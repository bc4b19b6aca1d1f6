// The board connection in its ICE link mode, talking through the real ICE link
// and transport to a device below the ioctl: a scripted one, then the
// simulated ICE board.
#include <gtest/gtest.h>

#include "device/BoardConnection.h"
#include "fakes/DeviceFakes.h"
#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"
#include "ice/SystemIceLink.h"
#include "ice/sim/SimIceDevice.h"

namespace keyscope {
namespace {

constexpr std::uint8_t kRead = 0x09;

// Owns the ICE state first so that it outlives the connection that owns the link.
template <typename Access>
struct IceBoard {
    template <typename... Args>
    explicit IceBoard(Args&&... args) : access(std::forward<Args>(args)...) {
        BoardCollaborators parts;
        parts.hid = std::make_unique<fakes::ScriptedHid>(journal);
        parts.serial = std::make_unique<fakes::ScriptedSerial>(journal);
        parts.ice = std::make_unique<ScsiIceLink>(context, messages);
        parts.pauser = &pauser;
        parts.messages = &messages;
        parts.notifier = &notifier;
        board = std::make_unique<BoardConnection>(std::move(parts));
    }

    Access access;
    test::NoAspiLoader loader;
    fakes::Journal journal;
    fakes::RecordingPauser pauser{journal};
    fakes::RecordingMessages messages;
    fakes::RecordingNotifier notifier{journal};
    IceContext context{access, loader, pauser};
    std::unique_ptr<BoardConnection> board;
};

// A memory answer whose first sixteen 16-bit keys (high byte first, from memory
// address + 1) hold the given values.
IceBlock memoryAnswer(const std::array<int, 16>& values) {
    IceBlock answer{};
    for (int k = 0; k < 16; ++k) {
        answer[kMemoryOffset + 1 + 2 * k] = static_cast<std::uint8_t>(values[k] >> 8);
        answer[kMemoryOffset + 2 + 2 * k] = static_cast<std::uint8_t>(values[k]);
    }
    return answer;
}

class IceBoardLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ice.access.addBoard("ICEBRD-D");
        values.fill(0);
        for (int k = 0; k < 16; ++k) {
            values[k] = 100 + k;
        }
        ice.access.iceAnswers[kRead] = memoryAnswer(values);
        ice.board->setTarget(3, 0x0200, 4, 0, 2, 0, 0, 0);
        ASSERT_EQ(ice.board->open(3), 1);
        ASSERT_EQ(ice.board->linkMode(), kLinkIce);
    }

    IceBoard<test::FakeScsiAccess> ice;
    std::array<int, 16> values{};
};

TEST_F(IceBoardLinkTest, OpenReadsTheCountsHighByteFirst) {
    EXPECT_EQ(ice.board->getChannel(0)->value, 100);
    EXPECT_EQ(ice.board->getChannel(15)->value, 115);
    EXPECT_EQ(ice.board->getChannel(15)->keyValue, 115);
    const auto reads = ice.access.callsWithSub(kRead);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads[0].cdb[7], 0x02);
    EXPECT_EQ(reads[0].cdb[8], 0x00);
    EXPECT_EQ(reads[0].cdb[10], 0x00);
}

TEST_F(IceBoardLinkTest, ReadCycleZeroesAnInvalidCountOnlyInsideTheChannelCount) {
    values[2] = 2048;
    values[6] = 2048;
    ice.access.iceAnswers[kRead] = memoryAnswer(values);

    ASSERT_EQ(ice.board->readCycle(), 1);
    EXPECT_EQ(ice.board->getChannel(2)->value, 0);
    EXPECT_EQ(ice.board->getChannel(6)->value, 2048);
    EXPECT_EQ(ice.board->getChannel(3)->value, 103);
}

TEST_F(IceBoardLinkTest, KeyValueReadTakesNothingFromAnInvalidImageAndLeavesSettingsAtZero) {
    ice.board->setTriggerLevel(9);
    ice.board->setPreScale(9);
    ice.board->setTktmr(9);
    values[1] = 4000;
    values[0] = 7;
    ice.access.iceAnswers[kRead] = memoryAnswer(values);

    ASSERT_EQ(ice.board->readKeyValues(), 1);
    EXPECT_EQ(ice.board->getChannel(0)->keyValue, 100) << "unchanged since the open";
    EXPECT_EQ(ice.board->getTriggerLevel(), 0);
    EXPECT_EQ(ice.board->getPreScale(), 0);
    EXPECT_EQ(ice.board->getTktmr(), 0);
}

TEST_F(IceBoardLinkTest, AFailedMemoryReadLosesTheLinkWithItsMessage) {
    ice.access.failSubs.insert(kRead);
    EXPECT_EQ(ice.board->readCycle(), 0);
    ASSERT_FALSE(ice.messages.shown.empty());
    EXPECT_EQ(ice.messages.shown.back().text, "Read Reserve Data Fail!");
}

TEST_F(IceBoardLinkTest, CloseReleasesTheDevice) {
    EXPECT_EQ(ice.access.openFds.size(), 1u);
    EXPECT_EQ(ice.board->close(), 1);
    EXPECT_TRUE(ice.access.openFds.empty());
}

// ---- the simulated ICE board ----

class SimulatedIceBoardTest : public ::testing::Test {
  protected:
    IceBoard<sim::SimIceDevice> ice{42u};
};

TEST_F(SimulatedIceBoardTest, ConnectsAndReadsTheModelsCountsEachPoll) {
    ice.board->setTarget(3, 0x0040, 16, 0, 2, 0, 0, 0);
    ASSERT_EQ(ice.board->open(3), 1);
    EXPECT_TRUE(ice.messages.shown.empty());
    ASSERT_TRUE(ice.access.anchor().has_value());
    EXPECT_EQ(ice.access.anchor()->address, 0x0040);

    for (int poll = 0; poll < 40; ++poll) {
        const std::int64_t at = ice.access.clockMs();
        ASSERT_EQ(ice.board->readCycle(), 1);
        const auto counts = ice.access.model().counts(at);
        for (int k = 0; k < 16; ++k) {
            ASSERT_EQ(ice.board->getChannel(k)->value, counts[k])
                << "poll " << poll << " key " << k;
        }
    }
    EXPECT_EQ(ice.access.lastReturnAddress(), sim::SimIceDevice::kProgramCounter);
    EXPECT_EQ(ice.board->close(), 1);
    EXPECT_EQ(ice.access.openHandles(), 0);
}

TEST_F(SimulatedIceBoardTest, AKeyTableInInternalRamReadsThroughTheHiddenLocations) {
    // Keys from 0x11: the first two keys' bytes sit where the board clobbers memory.
    ice.board->setTarget(4, 0x0010, 16, 1, 2, 0, 0, 0);
    ASSERT_EQ(ice.board->open(4), 1);
    const std::int64_t at = ice.access.clockMs();
    ASSERT_EQ(ice.board->readCycle(), 1);
    const auto counts = ice.access.model().counts(at);
    EXPECT_EQ(ice.board->getChannel(0)->value, counts[0]);
    EXPECT_EQ(ice.board->getChannel(1)->value, counts[1]);
    EXPECT_EQ(ice.board->getChannel(2)->value, counts[2]);
}

TEST(SimulatedIceBoardGone, AnUnpluggedBoardLosesTheLinkAndIsNotFoundAgain) {
    IceBoard<sim::SimIceDevice> ice{42u, 5};  // gone after five memory reads
    ice.board->setTarget(3, 0x0040, 16, 0, 2, 0, 0, 0);
    ASSERT_EQ(ice.board->open(3), 1);  // three reads
    EXPECT_EQ(ice.board->readCycle(), 1);
    EXPECT_EQ(ice.board->readCycle(), 1);
    EXPECT_EQ(ice.board->readCycle(), 0);
    EXPECT_EQ(ice.board->close(), 1);
    EXPECT_EQ(ice.board->open(3), 0);
    ASSERT_FALSE(ice.messages.shown.empty());
    EXPECT_EQ(ice.messages.shown.back().caption, "fail");
    EXPECT_EQ(ice.access.openHandles(), 0);
}

TEST(SystemIceLink, SimulationSwitchesTheScanToTheSimulatedBoard) {
    fakes::Journal journal;
    fakes::RecordingPauser pauser{journal};
    fakes::RecordingMessages messages;
    ::setenv("KEYSCOPE_SIMULATE", "1", 1);
    auto link = makeSystemIceLink(messages, pauser);
    ::unsetenv("KEYSCOPE_SIMULATE");
    ASSERT_EQ(link->openIceLink(3), 1);
    std::array<std::uint8_t, 65> out{};
    EXPECT_EQ(link->readIceBlock(out.data(), 0x40, 32, 0), 1);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace keyscope
