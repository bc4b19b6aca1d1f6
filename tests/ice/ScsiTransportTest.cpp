#include "ice/ScsiTransport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "ice/IceFakes.h"
#include "ice/LinuxScsiAccess.h"

namespace keyscope {
namespace {

using test::SgAnswer;
using test::SgCall;

const Cdb kCdb{0xD3, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x09, 0x01,
               0x20, 0x00, 0x01, 0x20, 0xAA, 0xBB, 0xCC, 0xDD};

std::uint32_t le32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

class ScsiTransportTest : public ::testing::Test {
  protected:
    test::FakeScsiAccess access;
    test::NoAspiLoader noAspi;
    test::RecordingPauser pauser;
    ScsiTransport transport{access, noAspi, pauser};
    std::array<std::uint8_t, 64> data{};
};

struct Transfer {
    bool in;
    int blocks, direction;
    unsigned length;
};

TEST_F(ScsiTransportTest, NoDataBlockInAndBlockOutCarryTheirDirectionSizeCdbAndTimeout) {
    access.responder = [](const SgCall&) {
        return SgAnswer{.dataIn = std::vector<std::uint8_t>(64, 0x5A)};
    };
    for (const Transfer& t :
         {Transfer{false, 0, SG_DXFER_NONE, 0}, Transfer{true, 1, SG_DXFER_FROM_DEV, 64},
          Transfer{false, 1, SG_DXFER_TO_DEV, 64}}) {
        SCOPED_TRACE(t.direction);
        access.calls.clear();
        std::iota(data.begin(), data.end(), 1);
        EXPECT_EQ(
            t.in ? transport.sendCommandIn(7, kCdb, 1, data.data())
                 : transport.sendCommandOut(7, kCdb, t.blocks, t.blocks ? data.data() : nullptr),
            1);
        ASSERT_EQ(access.calls.size(), 1u);
        const SgCall& call = access.calls[0];
        EXPECT_EQ(call.fd, 7);
        EXPECT_EQ(call.hdr.interface_id, 'S');
        EXPECT_EQ(call.hdr.dxfer_direction, t.direction);
        EXPECT_EQ(call.hdr.dxfer_len, t.length);
        EXPECT_EQ(call.hdr.timeout, 90000u);
        EXPECT_EQ(call.cdb, std::vector<std::uint8_t>(kCdb.begin(), kCdb.begin() + 12));
        EXPECT_EQ(call.dataOut.size(), t.direction == SG_DXFER_TO_DEV ? 64u : 0u);
        EXPECT_EQ(data[63], t.in ? 0x5A : 64);
    }
    EXPECT_EQ(access.calls[0].dataOut, std::vector<std::uint8_t>(data.begin(), data.end()));
}

TEST_F(ScsiTransportTest, AnyBadStatusFailsWithTheBufferUntouchedAndNoDeviceMakesNoCall) {
    for (const SgAnswer& bad : {SgAnswer{-1, 0, 0, 0, {}}, SgAnswer{0, 0x02, 0, 0, {}},
                                SgAnswer{0, 0, 0x01, 0, {}}, SgAnswer{0, 0, 0, 0x08, {}}}) {
        access.responder = [bad](const SgCall&) {
            SgAnswer answer = bad;
            answer.dataIn.assign(64, 0x5A);
            return answer;
        };
        EXPECT_EQ(transport.sendCommandIn(7, kCdb, 1, data.data()), 0);
        EXPECT_EQ(std::count(data.begin(), data.end(), 0), 64);
    }
    access.calls.clear();
    EXPECT_EQ(transport.sendCommandIn(kInvalidDevice, kCdb, 1, data.data()), 0);
    EXPECT_EQ(transport.sendCommandOut(kInvalidDevice, kCdb, 0, nullptr), 0);
    EXPECT_TRUE(access.calls.empty());
}

TEST(PassThroughRequest, HeaderAtItsOffsetsBufferSizesAndStatus) {
    const std::array<std::uint8_t, 64> data{0x77, 0x77};
    // direction, length, input size, output size
    for (const auto& [direction, length, input, output] :
         {std::tuple{ScsiDirection::Out, 0u, 44u, 44u}, std::tuple{ScsiDirection::In, 0u, 44u, 44u},
          std::tuple{ScsiDirection::In, 64u, 44u, 144u},
          std::tuple{ScsiDirection::Out, 64u, 144u, 44u}}) {
        SCOPED_TRACE(std::to_string(length) + (direction == ScsiDirection::In ? " in" : " out"));
        auto request = buildPassThroughRequest(kCdb, data.data(), length, direction);
        ASSERT_TRUE(request.has_value());
        const std::uint8_t* b = request->buffer.data();
        EXPECT_EQ(request->buffer.size(), 66128u);
        EXPECT_EQ(b[0] | (b[1] << 8), 44);        // Length
        EXPECT_EQ(b[6], 12);                      // CdbLength
        EXPECT_EQ(b[8], output == 144u ? 1 : 0);  // DataIn
        EXPECT_EQ(le32(b + 12), length);
        EXPECT_EQ(le32(b + 16), 90u);  // TimeOutValue, seconds
        EXPECT_EQ(le32(b + 20), 80u);  // DataBufferOffset
        EXPECT_EQ(std::memcmp(b + 28, kCdb.data(), 12), 0);
        EXPECT_EQ(b[81], input == 144u ? 0x77 : 0);
        EXPECT_EQ(std::count(b + 40, b + 80, 0), 40);
        EXPECT_EQ(request->inputSize, input);
        EXPECT_EQ(request->outputSize, output);
        EXPECT_TRUE(passThroughSucceeded(true, *request));
        EXPECT_FALSE(passThroughSucceeded(false, *request));
        request->buffer[2] = 0x02;  // ScsiStatus
        EXPECT_FALSE(passThroughSucceeded(true, *request));
    }
}

// The ASPI layer: exec requests end with execStatus; kSsPending leaves them
// pending until the test completes pendingSrb.
struct FakeAspi final : AspiLoader {
    struct Library final : AspiLibrary {
        explicit Library(FakeAspi& aspi) : s(aspi) {}
        bool hasEntry(std::string_view name) const override { return name != s.missingEntry; }
        std::uint32_t getSupportInfo() override { return s.supportInfo; }
        std::uint32_t sendCommand(std::uint8_t* srb, std::uint8_t* data) override {
            const bool exec = srb[0] == kScExecScsiCmd;
            s.requests.emplace_back(srb, srb + (exec ? kAspiExecSize : 1));
            srb[1] = exec ? s.execStatus : srb[0] == kScHaInquiry ? s.haStatus : kSsComp;
            s.pendingSrb = srb;
            if (exec && data != nullptr)
                data[0] = 0x42;
            return srb[1];
        }
        FakeAspi& s;
    };
    std::unique_ptr<AspiLibrary> load(const char* name) override {
        loadedName = name;
        return loads ? std::make_unique<Library>(*this) : nullptr;
    }
    bool loads = true;
    std::string missingEntry, loadedName;
    std::uint32_t supportInfo = 0x0101;  // SS_COMP, one adapter
    std::uint8_t haStatus = kSsComp, execStatus = kSsComp;
    std::vector<std::vector<std::uint8_t>> requests;
    std::uint8_t* pendingSrb = nullptr;
};

TEST(AspiTransport, EveryFailedSetUpStepLeavesPassThroughInUse) {
    test::FakeScsiAccess access;
    test::RecordingPauser pauser;
    for (int step = 0; step < 5; ++step) {
        FakeAspi aspi;
        aspi.loads = step != 0;
        aspi.missingEntry = step == 1   ? "GetASPI32SupportInfo"
                            : step == 2 ? "SendASPI32Command"
                                        : "";
        aspi.supportInfo = step == 3 ? 0x0401 : 0x0101;
        aspi.haStatus = step == 4 ? 0x04 : kSsComp;
        ScsiTransport transport{access, aspi, pauser};
        transport.initializeAspi();
        EXPECT_FALSE(transport.aspiLoaded()) << step;
        EXPECT_EQ(transport.sendCommandOut(7, kCdb, 0, nullptr), 1);
    }
    EXPECT_EQ(access.calls.size(), 5u);
}

TEST(AspiTransport, ExecRequestsGoThroughTheLayerAndPollInOneMsPausesUpTo90000) {
    test::FakeScsiAccess access;
    FakeAspi aspi;
    test::RecordingPauser pauser;
    ScsiTransport transport{access, aspi, pauser};
    transport.initializeAspi();
    ASSERT_TRUE(transport.aspiLoaded());
    EXPECT_EQ(aspi.loadedName, "WNASPI32.dll");
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(transport.sendCommandIn(0x00030201, kCdb, 1, buffer.data()), 1);
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_TRUE(access.calls.empty());
    ASSERT_EQ(aspi.requests.size(), 3u);
    EXPECT_EQ(aspi.requests[0][0], kScHaInquiry);
    EXPECT_EQ(aspi.requests[1][0], kScGetSetTimeouts);
    const std::vector<std::uint8_t>& srb = aspi.requests[2];
    EXPECT_EQ(srb[2], 0x02);  // host adapter
    EXPECT_EQ(srb[3], kSrbDirIn);
    EXPECT_EQ(srb[8], 0x01);  // target
    EXPECT_EQ(srb[9], 0x03);  // lun
    EXPECT_EQ(le32(&srb[12]), 64u);
    EXPECT_EQ(srb[21], 12);
    EXPECT_EQ(le32(&srb[24]), 0u);  // no post routine: completion is polled
    EXPECT_EQ(std::memcmp(&srb[48], kCdb.data(), 12), 0);
    EXPECT_EQ(std::count(srb.begin() + 60, srb.end(), 0), 256 - 60);
    EXPECT_EQ(buildAspiExecRequest(0, kCdb, 0, 0, ScsiDirection::Out)[3], kSrbDirOut);

    aspi.execStatus = 0x04;  // SS_ERR
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 0);
    EXPECT_TRUE(pauser.pauses.empty());
    aspi.execStatus = kSsPending;
    pauser.onPause = [&] { aspi.pendingSrb[1] = pauser.pauses.size() == 3 ? kSsComp : kSsPending; };
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 1);
    EXPECT_EQ(pauser.pauses, std::vector<int>(3, 1));
    pauser.pauses.clear();
    pauser.onPause = nullptr;
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 0);
    EXPECT_EQ(pauser.pauses, std::vector<int>(90000, 1));
}

TEST(LinuxScsiAccess, CandidatesAreScsiGenericNodesInNumericOrder) {
    EXPECT_EQ(sortScsiGenericNames({"sg10", "sda", "sg2", "sg", "sgx", "sg0", "tty1", "sg1a"}),
              (std::vector<std::string>{"sg0", "sg2", "sg10"}));
}

}  // namespace
}  // namespace keyscope
