// The ICE link over a scripted device below the ioctl: discovery, the debug
// commands, and the board connection in its ICE link mode, also over the
// simulated ICE board.
#include <gtest/gtest.h>

#include <numeric>

#include "device/BoardConnection.h"
#include "fakes/DeviceFakes.h"
#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"
#include "ice/SystemIceLink.h"
#include "ice/sim/SimIceDevice.h"

namespace keyscope {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kReadPc = 0x01, kEnter = 0x02, kStatus = 0x03, kReset = 0x05, kBreak = 0x07,
                       kRead = 0x09, kSelect = 0x0F, kReturn = 0x15;

// r_i = 0x40 + i: every answer byte tells where it came from.
IceBlock patterned() {
    IceBlock answer;
    std::iota(answer.begin(), answer.end(), 0x40);
    return answer;
}

// A link and a board connection over one ICE context; the board's own link
// shares the device table with `link`.
template <typename Access = test::FakeScsiAccess>
struct Rig {
    template <typename... Args>
    explicit Rig(Args&&... args) : access(std::forward<Args>(args)...) {}
    // Opens one D board with selector 3 and forgets the calls that took.
    void openBoard() {
        access.addBoard("ICEBRD-D");
        ASSERT_EQ(link.openIceLink(3), 1);
        access.calls.clear();
    }
    int read(std::uint16_t address, std::uint32_t iram = 0) {
        out.fill(0);
        return link.readIceBlock(out.data(), address, 32, iram);
    }
    long invalidHandles() const {
        return std::count(link.deviceHandles().begin(), link.deviceHandles().end(), kInvalidDevice);
    }
    BoardCollaborators parts() {
        BoardCollaborators p;
        p.ice = std::make_unique<ScsiIceLink>(context, messages);
        p.pauser = &pauser;
        p.messages = &messages;
        p.notifier = &notifier;
        return p;
    }
    Access access;
    test::NoAspiLoader loader;
    test::RecordingPauser pauser;
    fakes::RecordingMessages messages;
    fakes::Journal journal;
    fakes::RecordingNotifier notifier{journal};
    IceContext context{access, loader, pauser};
    ScsiIceLink link{context, messages};
    BoardConnection board{parts()};
    std::array<std::uint8_t, 65> out{};
};

struct ScanCase {
    std::uint32_t selector;
    const char* signature;
    int opened, scans;
    std::uint8_t p7, p8;  // select-target bytes
};

TEST(IceDiscovery, SelectorPicksTheSignatureTheScansAndTheSelectTargetBytes) {
    for (const ScanCase& c :
         {ScanCase{4, "ICEBRD-A", 1, 1, 4, 4}, ScanCase{4, "ICEBRD-D", 1, 2, 4, 4},
          ScanCase{3, "ICEBRD-D", 1, 1, 3, 6}, ScanCase{0, "ICEBRD-C", 1, 1, 0, 0},
          ScanCase{1, "ICEBRD-B", 1, 1, 1, 0}, ScanCase{2, "ICEBRD-D", 1, 1, 2, 0},
          ScanCase{0x1234, "ICEBRD-D", 1, 1, 0x34, 0}, ScanCase{2, "ICEBRD-A", 0, 2, 0, 0}}) {
        SCOPED_TRACE(std::to_string(c.selector) + c.signature);
        Rig r;
        r.access.addNode({});  // fails its INQUIRY and must be closed
        r.access.addBoard(c.signature);
        EXPECT_EQ(r.link.openIceLink(c.selector), c.opened);
        EXPECT_EQ(r.access.calls.size() - r.access.subs().size(), 2u * c.scans) << "INQUIRYs";
        const auto selects = r.access.callsWithSub(kSelect);
        ASSERT_EQ(selects.size(), static_cast<std::size_t>(c.opened));
        if (c.opened) {
            EXPECT_EQ(selects[0].cdb,
                      (Bytes{0xD2, 0x11, 0x31, 0x0F, 0x30, 0, 0x0F, c.p7, c.p8, 0, 0, 0}));
            EXPECT_EQ(selects[0].hdr.dxfer_direction, SG_DXFER_NONE);
            EXPECT_EQ(r.link.deviceHandles()[0], static_cast<DeviceValue>(selects[0].fd));
            EXPECT_EQ(r.access.openFds, std::set<int>{selects[0].fd});
        }
    }
}

TEST(IceDiscovery, NoMatchInTheFirstThirtyNodesShowsOneFailMessageAndLeavesNothingOpen) {
    Rig r;
    r.access.addNode(test::inquiryAnswer("ICEBRD-D", 8));  // the vendor field does not count
    r.access.addBoard("ICEBRD-B");
    r.access.addNode({}, /*opens=*/false);
    for (int i = 0; i < 30; ++i)
        r.access.addNode({});
    r.access.addBoard("ICEBRD-A");  // /dev/sg33 is never reached
    EXPECT_EQ(r.link.openIceLink(4), 0);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "Can not found any Vorn ICE board device. ");
    EXPECT_EQ(r.messages.shown[0].caption, "fail");
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(r.access.openedPaths.size(), 60u) << "two scans of thirty";
    EXPECT_EQ(r.access.openedPaths.back(), "/dev/sg29");
    EXPECT_TRUE(r.access.openFds.empty());
    EXPECT_TRUE(r.access.subs().empty());
    EXPECT_EQ(r.invalidHandles(), 4);
}

TEST(IceDiscovery, AFifthMatchIsClosedAtOnceAndReleaseOrDestructionClosesTheRest) {
    Rig r;
    for (int i = 0; i < 6; ++i)
        r.access.addBoard("ICEBRD-D");
    r.access.failSubs.insert(kSelect);  // does not fail the open
    {
        ScsiIceLink other{r.context, r.messages};
        ASSERT_EQ(other.openIceLink(3), 1);
        EXPECT_EQ(r.access.openFds.size(), 4u);
    }
    EXPECT_TRUE(r.access.openFds.empty());
    ASSERT_EQ(r.link.openIceLink(3), 1);
    EXPECT_EQ(r.access.callsWithSub(kSelect).size(), 8u) << "each registered device is selected";
    EXPECT_EQ(r.invalidHandles(), 0);
    EXPECT_EQ(r.link.releaseIceLink(), 1);
    EXPECT_TRUE(r.access.openFds.empty());
    EXPECT_EQ(r.invalidHandles(), 4);
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(IceCommands, FirstReadStartsTheBoardUpLaterReadsOnlyReadAndReturn) {
    Rig r;
    r.openBoard();
    r.access.iceAnswers[kReadPc] = patterned();
    ASSERT_EQ(r.read(0x100), 1);
    EXPECT_EQ(r.access.subs(), (Bytes{kEnter, kReset, kBreak, kReadPc, kReturn, kRead, kReturn}));
    Bytes opcodes;
    for (const test::SgCall& c : r.access.calls)
        opcodes.push_back(c.cdb[0]);
    EXPECT_EQ(opcodes, (Bytes{0xD2, 0xD2, 0xD2, 0xD3, 0xD2, 0xD3, 0xD2}));
    // The start-up return sends the context derived before reading the PC, to the PC's r10 r9.
    const test::SgCall startReturn = r.access.calls[4];
    Bytes context(64, 0);
    context[6] = 0xFE;
    EXPECT_EQ(startReturn.dataOut, context);
    EXPECT_EQ(startReturn.cdb[7], 0x4A);
    EXPECT_EQ(startReturn.cdb[8], 0x49);

    r.access.calls.clear();
    ASSERT_EQ(r.read(0x0120, 1), 1);
    EXPECT_EQ(r.access.subs(), (Bytes{kRead, kReturn}));
    const test::SgCall read = r.access.calls[0];
    EXPECT_EQ(read.cdb, (Bytes{0xD3, 0x11, 0x31, 0x0F, 0x30, 0, 0x09, 0x01, 0x20, 0, 0x01, 0x20}));
    EXPECT_EQ(read.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(read.hdr.dxfer_len, 64u);
}

TEST(IceCommands, InternalRamLocations11To14ComeFromTheRegisterBytes) {
    Rig r;
    r.openBoard();
    r.access.iceAnswers[kRead] = patterned();
    // address, space, the first out byte replaced, how many (from answer byte 2 on)
    for (const auto& [address, iram, first, count] :
         {std::tuple{0x10, 1, 1, 4}, std::tuple{0x00, 1, 17, 4}, std::tuple{0x13, 1, 0, 2},
          std::tuple{0x14, 1, 0, 1}, std::tuple{0x15, 1, 0, 0}, std::tuple{0x10, 0, 0, 0}}) {
        SCOPED_TRACE(address + 0x100 * iram);
        ASSERT_EQ(r.read(address, iram), 1);
        std::array<std::uint8_t, 33> expected;
        std::iota(expected.begin(), expected.end(), 0x40 + kMemoryOffset);
        std::iota(expected.begin() + first, expected.begin() + first + count, 0x46 - count);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), r.out.begin()));
    }
}

TEST(IceCommands, ClosingReturnCarriesTheContextDerivedFromTheMemoryAnswer) {
    Rig r;
    r.openBoard();
    ASSERT_EQ(r.read(0x100), 1);
    r.access.calls.clear();
    r.access.iceAnswers[kRead] = patterned();
    r.access.iceAnswers[kRead][7] = 0x01;  // r7 = 1 makes context byte 6 0xFF
    ASSERT_EQ(r.read(0x0200), 1);
    const test::SgCall ret = r.access.calls[1];
    EXPECT_EQ(ret.sub(), kReturn);
    EXPECT_EQ(ret.cdb[7], 0x4A) << "address high byte is r10";
    EXPECT_EQ(ret.cdb[8], 0x49) << "address low byte is r9";
    EXPECT_EQ(ret.hdr.dxfer_direction, SG_DXFER_TO_DEV);
    Bytes context{0x4F, 0x50, 0x4D, 0x4E, 0x42, 0x43, 0xFF, 0x4C, 0x48, 0x41, 0x40, 0x4B};
    context.resize(64);
    EXPECT_EQ(ret.dataOut, context);

    IceBlock before{}, after{};  // before a read, bytes 4 and 5 come from r3 and r4
    deriveContext(patterned(), before, ContextDerivation::BeforeRead);
    deriveContext(patterned(), after, ContextDerivation::AfterRead);
    EXPECT_EQ(before[4] * 256 + before[5], 0x4344);
    std::copy_n(after.begin() + 4, 2, before.begin() + 4);
    EXPECT_EQ(before, after);
}

TEST(IceCommands, AFailedStartUpStepShowsItsMessageOnceAndIsNeverResent) {
    const Bytes steps{kEnter, kReset, kBreak, kReadPc, kReturn};
    const char* messages[] = {"Enter ICE mode FAIL!", "Chip Reset FAIL!", "Set HW break FAIL!",
                              "Read PC Fail!", "Set HW Return FAIL!"};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(messages[i]);
        Rig r;
        r.openBoard();
        r.access.failSubs.insert(steps[i]);
        EXPECT_EQ(r.read(0x100), 0);
        EXPECT_EQ(r.access.subs(), Bytes(steps.begin(), steps.begin() + i + 1));
        ASSERT_EQ(r.messages.shown.size(), 1u);
        EXPECT_EQ(r.messages.shown[0].text, messages[i]);
        EXPECT_EQ(r.messages.shown[0].caption, "");
        EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::None);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), 0), 65);
        r.access.failSubs.clear();
        r.access.calls.clear();
        EXPECT_EQ(r.read(0x100), 1);
        EXPECT_EQ(r.access.subs(), (Bytes{kRead, kReturn}));
        EXPECT_EQ(r.messages.shown.size(), 1u);
    }
}

TEST(IceCommands, AFailedMemoryReadAsksTheStatusAndAFailedReturnStillDelivers) {
    Rig r;
    r.openBoard();
    ASSERT_EQ(r.read(0x100), 1);
    r.access.calls.clear();
    r.access.failSubs.insert(kRead);
    EXPECT_EQ(r.read(0x100), 0);
    EXPECT_EQ(r.access.subs(), (Bytes{kRead, kStatus}));
    EXPECT_EQ(r.access.calls[1].cdb[0], 0xD3);
    EXPECT_EQ(r.access.calls[1].hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), 0), 65);

    r.access.failSubs = {kReturn};
    r.access.iceAnswers[kRead] = patterned();
    EXPECT_EQ(r.read(0x200), 1);
    EXPECT_EQ(r.out[0], 0x50);
    EXPECT_EQ(r.messages.texts(),
              (std::vector<std::string>{"Read Reserve Data Fail!", "Set HW Return FAIL!"}));
}

// Sixteen 16-bit counts, high byte first, from memory address + 1.
IceBlock memoryAnswer(std::array<int, 16> values) {
    IceBlock answer{};
    for (int k = 0; k < 16; ++k) {
        answer[kMemoryOffset + 1 + 2 * k] = static_cast<std::uint8_t>(values[k] >> 8);
        answer[kMemoryOffset + 2 + 2 * k] = static_cast<std::uint8_t>(values[k]);
    }
    return answer;
}

TEST(IceBoardLink, CountsAreHighByteFirstAndOver2047ReadsAs0InsideTheChannelCount) {
    Rig r;
    r.access.addBoard("ICEBRD-D");
    std::array<int, 16> values;
    std::iota(values.begin(), values.end(), 100);
    r.access.iceAnswers[kRead] = memoryAnswer(values);
    r.board.setTarget(3, 0x0200, 4, 0, 2, 0, 0, 0);
    ASSERT_EQ(r.board.open(3), 1);
    ASSERT_EQ(r.board.linkMode(), kLinkIce);
    EXPECT_EQ(r.board.getChannel(15)->value, 115);
    EXPECT_EQ(r.board.getChannel(15)->keyValue, 115);
    const Bytes cdb = r.access.callsWithSub(kRead)[0].cdb;
    EXPECT_EQ(Bytes(cdb.begin() + 7, cdb.begin() + 11), (Bytes{0x02, 0x00, 0x00, 0x00}));

    values[2] = values[6] = 2048;
    values[3] = 2047;
    r.access.iceAnswers[kRead] = memoryAnswer(values);
    ASSERT_EQ(r.board.readCycle(), 1);
    EXPECT_EQ(r.board.getChannel(2)->value, 0) << "key 2 is inside the four channels";
    EXPECT_EQ(r.board.getChannel(3)->value, 2047);
    EXPECT_EQ(r.board.getChannel(6)->value, 2048);

    // Key values come from no ICE image, and the settings read as 0.
    r.board.setTriggerLevel(9);
    r.board.setPreScale(9);
    r.board.setTktmr(9);
    values[0] = 7;
    r.access.iceAnswers[kRead] = memoryAnswer(values);
    ASSERT_EQ(r.board.readKeyValues(), 1);
    EXPECT_EQ(r.board.getChannel(0)->keyValue, 100);
    EXPECT_EQ(r.board.getTriggerLevel() + r.board.getPreScale() + r.board.getTktmr(), 0);

    r.access.failSubs.insert(kRead);
    EXPECT_EQ(r.board.readCycle(), 0);
    EXPECT_EQ(r.messages.shown.back().text, "Read Reserve Data Fail!");
    EXPECT_EQ(r.board.close(), 1);
    EXPECT_TRUE(r.access.openFds.empty());
}

TEST(SimulatedIceBoard, ReadsTheModelsCountsEachPollAndIsGoneOnceUnplugged) {
    for (const std::uint32_t iram : {0u, 1u}) {
        // In internal RAM the first keys sit where the board hides locations 0x11 to 0x14.
        Rig<sim::SimIceDevice> r{42u, 10};  // unplugged after 3 reads to open and 7 polls
        r.board.setTarget(3, iram ? 0x0010 : 0x0040, 16, iram, 2, 0, 0, 0);
        ASSERT_EQ(r.board.open(3), 1);
        for (int poll = 0; poll < 7; ++poll) {
            const auto counts = r.access.model().counts(r.access.clockMs());
            ASSERT_EQ(r.board.readCycle(), 1);
            for (int k = 0; k < 16; ++k)
                ASSERT_EQ(r.board.getChannel(k)->value, counts[k]) << "key " << k;
        }
        EXPECT_EQ(r.access.lastReturnAddress(), sim::SimIceDevice::kProgramCounter);
        EXPECT_EQ(r.board.readCycle(), 0);
        EXPECT_EQ(r.board.close(), 1);
        EXPECT_EQ(r.board.open(3), 0);
        EXPECT_EQ(r.messages.shown.back().caption, "fail");
        EXPECT_EQ(r.access.openHandles(), 0);
    }
}

TEST(SystemIceLink, SimulationSwitchesTheScanToTheSimulatedBoard) {
    Rig r;
    ::setenv("KEYSCOPE_SIMULATE", "1", 1);
    auto link = makeSystemIceLink(r.messages, r.pauser);
    ::unsetenv("KEYSCOPE_SIMULATE");
    ASSERT_EQ(link->openIceLink(3), 1);
    EXPECT_EQ(link->readIceBlock(r.out.data(), 0x40, 32, 0), 1);
    EXPECT_TRUE(r.messages.shown.empty());
}

}  // namespace
}  // namespace keyscope
