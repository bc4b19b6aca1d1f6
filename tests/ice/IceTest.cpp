// The SCSI transport and the ICE link over a scripted device below the ioctl. The board
// connection in its ICE link mode runs over the simulated ICE board in the recorder's tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cstring>
#include <numeric>

#include "fakes/DeviceFakes.h"
#include "ice/IceFakes.h"
#include "ice/LinuxScsiAccess.h"
#include "ice/ScsiIceLink.h"

namespace keyscope {
namespace {

using test::SgAnswer, test::SgCall;
using Bytes = std::vector<std::uint8_t>;
using Commands = std::vector<std::uint16_t>;
// ICE opcode and sub-command, as FakeScsiAccess::commands() lists them.
constexpr std::uint16_t kReadPc = 0xD301, kEnter = 0xD202, kStatus = 0xD303, kReset = 0xD205,
                        kBreak = 0xD207, kRead = 0xD309, kSelect = 0xD20F, kReturn = 0xD215;

const Cdb kCdb{0xD3, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x09, 0x01,
               0x20, 0x00, 0x01, 0x20, 0xAA, 0xBB, 0xCC, 0xDD};

struct ScsiTransportTest : ::testing::Test {
    test::FakeScsiAccess access;
    test::NoAspiLoader noAspi;
    test::RecordingPauser pauser;
    ScsiTransport transport{access, noAspi, pauser};
    std::array<std::uint8_t, 64> data{};
};

TEST_F(ScsiTransportTest, NoDataBlockInAndBlockOutCarryTheirDirectionSizeCdbAndTimeout) {
    access.responder = [](const SgCall&) { return SgAnswer{.dataIn = Bytes(64, 0x5A)}; };
    // data in, blocks, direction code, length
    for (const auto& [in, blocks, direction, length] :
         {std::tuple{false, 0, SG_DXFER_NONE, 0u}, std::tuple{true, 1, SG_DXFER_FROM_DEV, 64u},
          std::tuple{false, 1, SG_DXFER_TO_DEV, 64u}}) {
        access.calls.clear();
        std::iota(data.begin(), data.end(), 1);
        EXPECT_EQ(in ? transport.sendCommandIn(7, kCdb, 1, data.data())
                     : transport.sendCommandOut(7, kCdb, blocks, blocks ? data.data() : nullptr),
                  1);
        ASSERT_EQ(access.calls.size(), 1u);
        const sg_io_hdr_t& hdr = access.calls[0].hdr;
        EXPECT_EQ(std::tuple(hdr.dxfer_direction, hdr.dxfer_len, hdr.interface_id, hdr.timeout),
                  std::tuple(direction, length, int{'S'}, 90000u));
        EXPECT_EQ(access.calls[0].cdb, Bytes(kCdb.begin(), kCdb.begin() + 12));
        EXPECT_EQ(data[63], in ? 0x5A : 64);
    }
    EXPECT_EQ(access.calls[0].dataOut, Bytes(data.begin(), data.end()));
}

TEST_F(ScsiTransportTest, AnyBadStatusFailsWithTheBufferUntouchedAndNoDeviceMakesNoCall) {
    for (SgAnswer bad : {SgAnswer{false, 0, 0, 0, {}}, SgAnswer{true, 2, 0, 0, {}},
                         SgAnswer{true, 0, 1, 0, {}}, SgAnswer{true, 0, 0, 8, {}}}) {
        bad.dataIn.assign(64, 0x5A);
        access.responder = [bad](const SgCall&) { return bad; };
        EXPECT_EQ(transport.sendCommandIn(7, kCdb, 1, data.data()), 0);
        EXPECT_EQ(std::count(data.begin(), data.end(), 0), 64);
    }
    access.calls.clear();
    EXPECT_EQ(transport.sendCommandIn(kInvalidDevice, kCdb, 1, data.data()), 0);
    EXPECT_EQ(transport.sendCommandOut(kInvalidDevice, kCdb, 0, nullptr), 0);
    EXPECT_TRUE(access.calls.empty());
}

std::uint32_t le32(const std::uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

TEST(PassThroughRequest, DirectionLengthCdbAndDataSitAtTheirOffsetsAndStatusDecides) {
    const std::array<std::uint8_t, 64> data{0x77, 0x77};
    // direction, length, input size, output size
    for (const auto& [direction, length, input, output] :
         {std::tuple{ScsiDirection::In, 0u, 44u, 44u},
          std::tuple{ScsiDirection::In, 64u, 44u, 144u},
          std::tuple{ScsiDirection::Out, 64u, 144u, 44u}}) {
        auto request = buildPassThroughRequest(kCdb, data.data(), length, direction);
        ASSERT_TRUE(request.has_value());
        const std::uint8_t* b = request->buffer.data();
        // Length, CdbLength, DataIn, DataTransferLength, TimeOutValue, DataBufferOffset
        EXPECT_EQ(std::tuple(le32(b), b[6], b[8], le32(b + 12), le32(b + 16), le32(b + 20)),
                  std::tuple(44u, 12, output == 144u ? 1 : 0, length, 90u, 80u));
        EXPECT_EQ(std::memcmp(b + 28, kCdb.data(), 12), 0);
        EXPECT_EQ(b[81], input == 144u ? 0x77 : 0) << "data at offset 80";
        EXPECT_EQ(std::pair(request->inputSize, request->outputSize), std::pair(input, output));
        EXPECT_TRUE(passThroughSucceeded(true, *request));
        request->buffer[2] = 0x02;  // ScsiStatus
        EXPECT_FALSE(passThroughSucceeded(true, *request));
    }
}

TEST(AspiRequests, ExecHaInquiryAndGetTimeoutsBlocksCarryTheirFields) {
    const auto exec = buildAspiExecRequest(0x00030201, kCdb, 0x12345678, 64, ScsiDirection::In);
    // command, status, host adapter, flags, target, logical unit, CDB length
    EXPECT_EQ((Bytes{exec[0], exec[1], exec[2], exec[3], exec[8], exec[9], exec[21]}),
              (Bytes{kScExecScsiCmd, 0, 0x02, kSrbDirIn, 0x01, 0x03, 12}));
    EXPECT_EQ(std::pair(le32(&exec[12]), le32(&exec[16])), std::pair(64u, 0x12345678u));
    EXPECT_EQ(std::memcmp(&exec[48], kCdb.data(), 12), 0);
    EXPECT_EQ(exec[60], 0);  // the CDB's last four bytes are not sent
    EXPECT_EQ(buildAspiExecRequest(0, kCdb, 0, 0, ScsiDirection::Out)[3], kSrbDirOut);
    const auto inquiry = buildAspiHaInquiry();
    EXPECT_EQ(std::count(inquiry.begin(), inquiry.end(), 0), 60)
        << "SC_HA_INQUIRY to adapter 0: all zero";
    EXPECT_EQ(buildAspiGetTimeouts(),
              (std::array<std::uint8_t, 14>{8, 0, 0xFF, 0x08, 0, 0, 0, 0, 0xFF, 0xFF}));
}

// Exec requests end with execStatus; kSsPending ones wait for the test to complete pendingSrb.
struct FakeAspi final : AspiLoader {
    struct Library final : AspiLibrary {
        explicit Library(FakeAspi& aspi) : s(aspi) {}
        bool hasEntry(std::string_view) const override { return true; }
        std::uint32_t getSupportInfo() override { return s.supportInfo; }
        std::uint32_t sendCommand(std::uint8_t* srb, std::uint8_t* data) override {
            s.pendingSrb = srb;
            if (srb[0] != kScExecScsiCmd)
                return srb[1] = kSsComp;
            s.lastExec.assign(srb, srb + kAspiExecSize);
            if (data != nullptr)
                data[0] = 0x42;
            return srb[1] = s.execStatus;
        }
        FakeAspi& s;
    };
    std::unique_ptr<AspiLibrary> load(const char*) override {
        return std::make_unique<Library>(*this);
    }
    std::uint32_t supportInfo = 0x0401;  // status 4: the layer is not used
    std::uint8_t execStatus = kSsComp;
    Bytes lastExec;
    std::uint8_t* pendingSrb = nullptr;
};

TEST_F(ScsiTransportTest, AspiIsUsedOnlyOnceSetUpAndPollsInOneMsPausesUpTo90000) {
    FakeAspi aspi;
    ScsiTransport aspiTransport{access, aspi, pauser};
    aspiTransport.initializeAspi();
    EXPECT_FALSE(aspiTransport.aspiLoaded());
    aspi.supportInfo = 0x0101;  // SS_COMP, one adapter
    aspiTransport.initializeAspi();
    ASSERT_TRUE(aspiTransport.aspiLoaded());
    EXPECT_EQ(aspiTransport.sendCommandIn(0x00030201, kCdb, 1, data.data()), 1);
    EXPECT_EQ(data[0], 0x42);
    EXPECT_TRUE(access.calls.empty());
    EXPECT_EQ((Bytes{aspi.lastExec[3], aspi.lastExec[2], aspi.lastExec[8]}),
              (Bytes{kSrbDirIn, 0x02, 0x01}))
        << "direction, the device's adapter and target";

    aspi.execStatus = 0x04;  // SS_ERR: no polling
    EXPECT_EQ(aspiTransport.sendCommandOut(0, kCdb, 0, nullptr), 0);
    aspi.execStatus = kSsPending;
    pauser.onPause = [&] { aspi.pendingSrb[1] = pauser.pauses.size() == 3 ? kSsComp : kSsPending; };
    EXPECT_EQ(aspiTransport.sendCommandOut(0, kCdb, 0, nullptr), 1);
    EXPECT_EQ(pauser.pauses, std::vector<int>(3, 1));
    pauser.pauses.clear();
    pauser.onPause = nullptr;
    EXPECT_EQ(aspiTransport.sendCommandOut(0, kCdb, 0, nullptr), 0);
    EXPECT_EQ(pauser.pauses, std::vector<int>(90000, 1));
}

TEST(LinuxScsiAccess, OpensSgNodesInNumericOrderWithoutBlockingAndKeepsTheLastFailure) {
    EXPECT_EQ(sortScsiGenericNames({"sg10", "sda", "sg2", "sg", "sgx", "sg0", "tty1", "sg1a"}),
              (std::vector<std::string>{"sg0", "sg2", "sg10"}));
    int error = 0, flags = 0;
    LinuxScsiAccess access([&](const char*, int f) {
        flags = f;
        errno = error;
        return error == 0 ? 7 : -1;
    });
    const std::pair<int, const char*> cases[] = {
        {ENOENT, "open /dev/sg3: No such file or directory"},
        {EBUSY, "open /dev/sg3: Device or resource busy"},
        {EACCES, "open /dev/sg3: permission denied (EACCES)"},  // with the udev fix
    };
    for (const auto& [code, expected] : cases) {
        error = code;
        EXPECT_EQ(access.openDevice("/dev/sg3"), -1);
        EXPECT_EQ(access.lastError().rfind(expected, 0), 0u) << access.lastError();
    }
    EXPECT_NE(access.lastError().find("71-keyscope-ice.rules"), std::string::npos);
    error = 0;
    EXPECT_EQ(access.openDevice("/dev/sg3"), 7);
    EXPECT_EQ(flags, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(access.lastError(), "");
    sg_io_hdr_t hdr{};
    EXPECT_FALSE(access.sgIo(-1, hdr));
    EXPECT_EQ(access.lastError(), "SG_IO on descriptor -1: Bad file descriptor");
}

// r_i = 0x40 + i: every answer byte tells where it came from.
IceBlock patterned() {
    IceBlock answer;
    std::iota(answer.begin(), answer.end(), 0x40);
    return answer;
}

// An ICE link over a scripted device, its pauses and messages recorded.
struct Rig : fakes::FakeLinks {
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
    test::FakeScsiAccess access;
    test::NoAspiLoader loader;
    IceContext context{access, loader, pauser};
    ScsiIceLink link{context, messages};
    std::array<std::uint8_t, 65> out{};
};

TEST(IceDiscovery, SelectorPicksTheSignatureTheScansAndTheSelectTargetBytes) {
    // selector, the board's signature, opened, scans, select-target bytes 7 and 8
    using Case = std::tuple<std::uint32_t, const char*, int, unsigned, std::uint8_t, std::uint8_t>;
    for (const auto& [selector, signature, opened, scans, p7, p8] :
         {Case{4, "ICEBRD-A", 1, 1, 4, 4}, Case{4, "ICEBRD-D", 1, 2, 4, 4},
          Case{3, "ICEBRD-D", 1, 1, 3, 6}, Case{0, "ICEBRD-C", 1, 1, 0, 0},
          Case{1, "ICEBRD-B", 1, 1, 1, 0}, Case{0x1234, "ICEBRD-D", 1, 1, 0x34, 0},
          Case{2, "ICEBRD-A", 0, 2, 0, 0}}) {
        SCOPED_TRACE(std::to_string(selector) + signature);
        Rig r;
        r.access.nodes.push_back({});  // fails its INQUIRY and must be closed
        r.access.addBoard(signature);
        EXPECT_EQ(r.link.openIceLink(selector), opened);
        EXPECT_EQ(r.access.calls.size() - opened, 2 * scans) << "INQUIRYs";
        ASSERT_EQ(r.access.commands(), Commands(opened, kSelect));
        if (opened) {
            const SgCall& select = r.access.calls.back();
            EXPECT_EQ(select.cdb, (Bytes{0xD2, 0x11, 0x31, 0x0F, 0x30, 0, 0x0F, p7, p8, 0, 0, 0}));
            EXPECT_EQ(r.link.deviceHandles()[0], static_cast<DeviceValue>(select.fd));
            EXPECT_EQ(r.access.openFds, std::set<int>{select.fd});
            EXPECT_EQ(r.link.releaseIceLink(), 1);
            EXPECT_TRUE(r.access.openFds.empty());
        }
    }
}

TEST(IceDiscovery, NoMatchInTheFirstThirtyNodesShowsOneFailMessageAndLeavesNothingOpen) {
    Rig r;
    // The signature in the vendor field does not count; /dev/sg2 does not open.
    r.access.nodes = {
        {test::inquiryAnswer("ICEBRD-D", 8)}, {test::inquiryAnswer("ICEBRD-B")}, {{}, false}};
    r.access.nodes.resize(33);
    r.access.addBoard("ICEBRD-A");  // /dev/sg33 is never reached
    EXPECT_EQ(r.link.openIceLink(4), 0);
    EXPECT_EQ(r.messages.shown,
              (std::vector<fakes::ShownMessage>{{"Can not found any Vorn ICE board device. ",
                                                 "fail", MessageIcon::Information}}));
    EXPECT_EQ(r.access.calls.size(), 58u) << "INQUIRYs: two scans of thirty, one node not open";
    EXPECT_TRUE(r.access.openFds.empty());
    EXPECT_EQ(r.link.deviceHandles()[0], kInvalidDevice);
}

TEST(IceCommands, ReadsStartUpOnceMapInternalRam11To14AndReturnWithTheContextDerivedFromThem) {
    Rig r;
    r.openBoard();
    r.access.iceAnswers[kReadPc] = patterned();  // the PC is its r10 r9
    ASSERT_EQ(r.read(0x100), 1);  // the steps and their order: the failed-step test below
    // The start-up return goes to the PC with the context derived before the PC was read.
    Bytes context(64, 0);
    context[6] = 0xFE;
    EXPECT_EQ(r.access.calls[4].dataOut, context);
    EXPECT_EQ(r.access.calls[4].cdb[7] * 256 + r.access.calls[4].cdb[8], 0x4A49);

    // Internal RAM locations 0x11 to 0x14 come from the register bytes.
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

    r.access.calls.clear();
    r.access.iceAnswers[kRead][7] = 0x01;  // r7 = 1 makes context byte 6 0xFF
    r.access.iceAnswers[kRead][9] = 0x34;  // the return address is r10 r9
    ASSERT_EQ(r.read(0x0120, 1), 1);
    EXPECT_EQ(r.access.calls[0].cdb,
              (Bytes{0xD3, 0x11, 0x31, 0x0F, 0x30, 0, 0x09, 0x01, 0x20, 0, 0x01, 0x20}));
    EXPECT_EQ(r.access.calls[1].cdb[7] * 256 + r.access.calls[1].cdb[8], 0x4A34);
    context = r.access.calls[1].dataOut;  // only bytes 0 to 11 are derived
    EXPECT_EQ(Bytes(context.begin(), context.begin() + 12),
              (Bytes{0x4F, 0x50, 0x4D, 0x4E, 0x42, 0x43, 0xFF, 0x4C, 0x48, 0x41, 0x40, 0x4B}));

    r.access.failing = {kReturn};  // the data is in hand when the closing return fails
    EXPECT_EQ(r.read(0x200), 1);
    EXPECT_EQ(r.out[0], 0x50);
    EXPECT_EQ(r.messages.texts(), std::vector<std::string>{"Set HW Return FAIL!"});
}

TEST(IceCommands, AFailedStepShowsItsMessageOnceAndStartUpIsNeverResent) {
    const std::pair<std::uint16_t, const char*> steps[] = {
        {kEnter, "Enter ICE mode FAIL!"}, {kReset, "Chip Reset FAIL!"},
        {kBreak, "Set HW break FAIL!"},   {kReadPc, "Read PC Fail!"},
        {kReturn, "Set HW Return FAIL!"}, {kRead, "Read Reserve Data Fail!"}};
    Commands sent;
    for (const auto& [command, message] : steps) {
        SCOPED_TRACE(message);
        Rig r;
        r.openBoard();
        r.access.failing.insert(command);
        EXPECT_EQ(r.read(0x100), 0);
        sent.push_back(command);
        if (command == kRead)
            sent.push_back(kStatus);  // a failed memory read fetches the status
        EXPECT_EQ(r.access.commands(), sent);
        EXPECT_EQ(r.messages.shown,
                  (std::vector<fakes::ShownMessage>{{message, "", MessageIcon::None}}));
        r.access.failing.clear();
        r.access.calls.clear();
        EXPECT_EQ(r.read(0x100), 1);
        EXPECT_EQ(r.access.commands(), (Commands{kRead, kReturn}));
        EXPECT_EQ(r.messages.shown.size(), 1u);
    }
}

}  // namespace
}  // namespace keyscope
