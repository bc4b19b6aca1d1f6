#include "ice/ScsiTransport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ice/IceFakes.h"
#include "ice/LinuxScsiAccess.h"

namespace keyscope {
namespace {

using test::FakeScsiAccess;
using test::NoAspiLoader;
using test::RecordingPauser;
using test::SgAnswer;
using test::SgCall;

const Cdb kCdb{0xD3, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x09, 0x01,
               0x20, 0x00, 0x01, 0x20, 0xAA, 0xBB, 0xCC, 0xDD};

std::uint32_t le32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

class ScsiTransportTest : public ::testing::Test {
  protected:
    FakeScsiAccess access;
    NoAspiLoader loader;
    RecordingPauser pauser;
    ScsiTransport transport{access, loader, pauser};
};

TEST_F(ScsiTransportTest, NoDataCommandGoesOutWithoutDataPhase) {
    EXPECT_EQ(transport.sendCommandOut(7, kCdb, 0, nullptr), 1);

    ASSERT_EQ(access.calls.size(), 1u);
    const SgCall& call = access.calls[0];
    EXPECT_EQ(call.fd, 7);
    EXPECT_EQ(call.interfaceId, 'S');
    EXPECT_EQ(call.direction, SG_DXFER_NONE);
    EXPECT_EQ(call.dxferLen, 0u);
    EXPECT_EQ(call.cmdLen, 12u);
    EXPECT_EQ(call.mxSbLen, 0u);
    EXPECT_EQ(call.timeout, 90000u);
    EXPECT_EQ(call.cdb, std::vector<std::uint8_t>(kCdb.begin(), kCdb.begin() + 12));
}

TEST_F(ScsiTransportTest, OneBlockInReadsSixtyFourBytesFromTheDevice) {
    access.responder = [](const SgCall&) {
        SgAnswer a;
        a.dataIn.assign(64, 0x5A);
        return a;
    };
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(transport.sendCommandIn(7, kCdb, 1, buffer.data()), 1);

    ASSERT_EQ(access.calls.size(), 1u);
    EXPECT_EQ(access.calls[0].direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(access.calls[0].dxferLen, 64u);
    for (std::uint8_t b : buffer) {
        ASSERT_EQ(b, 0x5A);
    }
}

TEST_F(ScsiTransportTest, OneBlockOutCarriesTheCallersBytes) {
    std::array<std::uint8_t, 64> data{};
    for (int i = 0; i < 64; ++i) {
        data[i] = static_cast<std::uint8_t>(i + 1);
    }
    EXPECT_EQ(transport.sendCommandOut(7, kCdb, 1, data.data()), 1);

    ASSERT_EQ(access.calls.size(), 1u);
    EXPECT_EQ(access.calls[0].direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(access.calls[0].dxferLen, 64u);
    EXPECT_EQ(access.calls[0].dataOut, std::vector<std::uint8_t>(data.begin(), data.end()));
}

struct FailureCase {
    const char* name;
    SgAnswer answer;
};

class ScsiTransportFailure : public ScsiTransportTest,
                             public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ScsiTransportFailure, FailsAndLeavesTheBufferUntouched) {
    SgAnswer answer = GetParam().answer;
    answer.dataIn.assign(64, 0x5A);
    access.responder = [answer](const SgCall&) { return answer; };
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xC3);

    EXPECT_EQ(transport.sendCommandIn(7, kCdb, 1, buffer.data()), 0);
    for (std::uint8_t b : buffer) {
        ASSERT_EQ(b, 0xC3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ScsiTransportFailure,
    ::testing::Values(FailureCase{"IoctlFails", SgAnswer{-1, 0, 0, 0, {}}},
                      FailureCase{"CheckCondition", SgAnswer{0, 0x02, 0, 0, {}}},
                      FailureCase{"HostStatus", SgAnswer{0, 0, 0x01, 0, {}}},
                      FailureCase{"DriverStatus", SgAnswer{0, 0, 0, 0x08, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScsiTransportTest, InvalidDeviceFailsWithoutSystemCall) {
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(transport.sendCommandIn(kInvalidDevice, kCdb, 1, buffer.data()), 0);
    EXPECT_EQ(transport.sendCommandOut(kInvalidDevice, kCdb, 0, nullptr), 0);
    EXPECT_TRUE(access.calls.empty());
}

// ---- the pass-through request layout ----

struct PassThroughCase {
    const char* name;
    ScsiDirection direction;
    std::uint32_t length;
    std::uint8_t dataIn;
    std::uint32_t inputSize;
    std::uint32_t outputSize;
};

class PassThroughLayout : public ::testing::TestWithParam<PassThroughCase> {};

TEST_P(PassThroughLayout, HeaderFieldsAndBufferSizes) {
    const PassThroughCase& c = GetParam();
    std::array<std::uint8_t, 64> data;
    data.fill(0x77);
    const auto request = buildPassThroughRequest(kCdb, data.data(), c.length, c.direction);
    ASSERT_TRUE(request.has_value());
    const std::uint8_t* b = request->buffer.data();

    EXPECT_EQ(request->buffer.size(), 66128u);
    EXPECT_EQ(b[0] | (b[1] << 8), 44);  // Length
    EXPECT_EQ(b[2], 0);                 // ScsiStatus
    EXPECT_EQ(b[3] | b[4] | b[5], 0);   // PathId, TargetId, Lun
    EXPECT_EQ(b[6], 12);                // CdbLength
    EXPECT_EQ(b[7], 0);                 // SenseInfoLength
    EXPECT_EQ(b[8], c.dataIn);
    EXPECT_EQ(b[9] | b[10] | b[11], 0);
    EXPECT_EQ(le32(b + 12), c.length);
    EXPECT_EQ(le32(b + 16), 90u);
    EXPECT_EQ(le32(b + 20), 80u);
    EXPECT_EQ(le32(b + 24), 0u);
    EXPECT_EQ(std::memcmp(b + 28, kCdb.data(), 12), 0);
    for (int i = 40; i < 80; ++i) {
        ASSERT_EQ(b[i], 0) << "offset " << i;
    }
    const bool carriesData = c.direction == ScsiDirection::Out && c.length != 0;
    EXPECT_EQ(b[80], carriesData ? 0x77 : 0);
    EXPECT_EQ(b[80 + 63], carriesData ? 0x77 : 0);
    EXPECT_EQ(request->inputSize, c.inputSize);
    EXPECT_EQ(request->outputSize, c.outputSize);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PassThroughLayout,
    ::testing::Values(PassThroughCase{"NoData", ScsiDirection::Out, 0, 0, 44, 44},
                      PassThroughCase{"NoDataIn", ScsiDirection::In, 0, 0, 44, 44},
                      PassThroughCase{"OneBlockIn", ScsiDirection::In, 64, 1, 44, 144},
                      PassThroughCase{"OneBlockOut", ScsiDirection::Out, 64, 0, 144, 44}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PassThroughRequest, NonZeroScsiStatusFailsAfterASuccessfulCall) {
    auto request = buildPassThroughRequest(kCdb, nullptr, 0, ScsiDirection::Out);
    ASSERT_TRUE(request.has_value());
    EXPECT_TRUE(passThroughSucceeded(true, *request));
    request->buffer[2] = 0x02;
    EXPECT_FALSE(passThroughSucceeded(true, *request));
    request->buffer[2] = 0;
    EXPECT_FALSE(passThroughSucceeded(false, *request));
}

// ---- the ASPI request layouts ----

TEST(AspiRequest, ExecBlockFieldsAtTheirOffsets) {
    const auto srb = buildAspiExecRequest(0x00030201, kCdb, 0x12345678, 64, ScsiDirection::In);
    EXPECT_EQ(srb.size(), 256u);
    EXPECT_EQ(srb[0], 0x02);  // SC_EXEC_SCSI_CMD
    EXPECT_EQ(srb[1], 0x00);
    EXPECT_EQ(srb[2], 0x02);  // host adapter
    EXPECT_EQ(srb[3], 0x08);  // SRB_DIR_IN
    EXPECT_EQ(srb[8], 0x01);  // target
    EXPECT_EQ(srb[9], 0x03);  // lun
    EXPECT_EQ(le32(&srb[12]), 64u);
    EXPECT_EQ(le32(&srb[16]), 0x12345678u);
    EXPECT_EQ(srb[20], 0);
    EXPECT_EQ(srb[21], 12);
    EXPECT_EQ(le32(&srb[24]), 0u);  // no post routine: completion is polled
    EXPECT_EQ(std::memcmp(&srb[48], kCdb.data(), 12), 0);
    std::size_t nonZeroElsewhere = 0;
    for (std::size_t i = 60; i < srb.size(); ++i) {
        nonZeroElsewhere += srb[i] != 0;
    }
    EXPECT_EQ(nonZeroElsewhere, 0u);
}

TEST(AspiRequest, DirectionFlags) {
    EXPECT_EQ(buildAspiExecRequest(0, kCdb, 0, 64, ScsiDirection::Out)[3], 0x10);
    EXPECT_EQ(buildAspiExecRequest(0, kCdb, 0, 0, ScsiDirection::Out)[3], 0x10);
    EXPECT_EQ(buildAspiExecRequest(0, kCdb, 0, 64, ScsiDirection::In)[3], 0x08);
}

// ---- the ASPI backend through a fake layer ----

struct FakeAspiState {
    bool loads = true;
    std::set<std::string> missing;
    std::uint32_t supportInfo = 0x0101;  // SS_COMP, one adapter
    std::uint8_t haInquiryStatus = kSsComp;
    // Status an exec request ends with; SS_PENDING keeps it pending until
    // completeAfterPolls pauses have passed (never when negative).
    std::uint8_t execStatus = kSsComp;
    int completeAfterPolls = -1;
    std::vector<std::vector<std::uint8_t>> requests;  // first 10 bytes of each
    std::uint8_t* pendingSrb = nullptr;
    int freed = 0;
};

class FakeAspiLibrary final : public AspiLibrary {
  public:
    explicit FakeAspiLibrary(FakeAspiState& s) : s_(s) {}
    ~FakeAspiLibrary() override { ++s_.freed; }
    bool hasEntry(std::string_view name) const override {
        return s_.missing.count(std::string(name)) == 0;
    }
    std::uint32_t getSupportInfo() override { return s_.supportInfo; }
    std::uint32_t sendCommand(std::uint8_t* srb, std::uint8_t* data) override {
        s_.requests.emplace_back(srb, srb + 10);  // every block is at least this long
        if (srb[0] == kScHaInquiry) {
            srb[1] = s_.haInquiryStatus;
        } else if (srb[0] == kScGetSetTimeouts) {
            srb[1] = kSsComp;
        } else if (s_.completeAfterPolls < 0 && s_.execStatus != kSsPending) {
            if (data != nullptr) {
                data[0] = 0x42;
            }
            srb[1] = s_.execStatus;
        } else {
            s_.pendingSrb = srb;
        }
        return srb[1];
    }

  private:
    FakeAspiState& s_;
};

class FakeAspiLoader final : public AspiLoader {
  public:
    explicit FakeAspiLoader(FakeAspiState& s) : s_(s) {}
    std::unique_ptr<AspiLibrary> load(const char* name) override {
        loadedName = name;
        return s_.loads ? std::make_unique<FakeAspiLibrary>(s_) : nullptr;
    }
    std::string loadedName;

  private:
    FakeAspiState& s_;
};

class AspiTransportTest : public ::testing::Test {
  protected:
    FakeScsiAccess access;
    FakeAspiState state;
    FakeAspiLoader loader{state};
    RecordingPauser pauser;
    ScsiTransport transport{access, loader, pauser};
};

TEST_F(AspiTransportTest, InitialisationLoadsTheLayerAndAsksAdaptersThenTimeouts) {
    transport.initializeAspi();
    EXPECT_TRUE(transport.aspiLoaded());
    EXPECT_EQ(loader.loadedName, "WNASPI32.dll");
    ASSERT_EQ(state.requests.size(), 2u);
    EXPECT_EQ(state.requests[0][0], kScHaInquiry);
    EXPECT_EQ(state.requests[1][0], kScGetSetTimeouts);
}

TEST_F(AspiTransportTest, EveryFailedInitialisationStepLeavesTheLayerUnloaded) {
    const std::vector<std::function<void(FakeAspiState&)>> breakers = {
        [](FakeAspiState& s) { s.loads = false; },
        [](FakeAspiState& s) { s.missing.insert("GetASPI32SupportInfo"); },
        [](FakeAspiState& s) { s.missing.insert("SendASPI32Command"); },
        [](FakeAspiState& s) { s.supportInfo = 0x0401; },
        [](FakeAspiState& s) { s.haInquiryStatus = 0x04; },
    };
    for (std::size_t i = 0; i < breakers.size(); ++i) {
        state = FakeAspiState{};
        breakers[i](state);
        transport.initializeAspi();
        EXPECT_FALSE(transport.aspiLoaded()) << "step " << i;
    }
    EXPECT_EQ(transport.sendCommandOut(7, kCdb, 0, nullptr), 1);
    EXPECT_EQ(access.calls.size(), 1u) << "commands fall back to pass-through";
}

TEST_F(AspiTransportTest, CommandsGoThroughTheLoadedLayer) {
    transport.initializeAspi();
    state.requests.clear();
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(transport.sendCommandIn(0x00000105, kCdb, 1, buffer.data()), 1);
    EXPECT_TRUE(access.calls.empty());
    ASSERT_EQ(state.requests.size(), 1u);
    EXPECT_EQ(state.requests[0][0], kScExecScsiCmd);
    EXPECT_EQ(state.requests[0][2], 0x01);
    EXPECT_EQ(state.requests[0][8], 0x05);
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_EQ(pauser.count, 0);
}

TEST_F(AspiTransportTest, AStatusOtherThanCompleteFails) {
    transport.initializeAspi();
    state.execStatus = 0x04;  // SS_ERR
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 0);
}

TEST_F(AspiTransportTest, PollsInOneMillisecondPausesUntilTheLayerCompletes) {
    transport.initializeAspi();
    state.execStatus = kSsPending;
    state.completeAfterPolls = 3;
    pauser.onPause = [this] {
        if (--state.completeAfterPolls == 0) {
            state.pendingSrb[1] = kSsComp;
        }
    };
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 1);
    EXPECT_EQ(pauser.count, 3);
    EXPECT_EQ(pauser.notOneMs, 0);
}

TEST_F(AspiTransportTest, GivesUpAfterNinetyThousandPolls) {
    transport.initializeAspi();
    state.execStatus = kSsPending;
    EXPECT_EQ(transport.sendCommandOut(0, kCdb, 0, nullptr), 0);
    EXPECT_EQ(pauser.count, 90000);
    EXPECT_EQ(pauser.total, 90000);
}

// ---- Linux candidate nodes ----

TEST(LinuxScsiAccess, CandidatesAreScsiGenericNodesInNumericOrder) {
    const std::vector<std::string> names = {"sg10", "sda", "sg2",  "sg",
                                            "sgx",  "sg0", "tty1", "sg1a"};
    EXPECT_EQ(sortScsiGenericNames(names), (std::vector<std::string>{"sg0", "sg2", "sg10"}));
}

}  // namespace
}  // namespace keyscope
