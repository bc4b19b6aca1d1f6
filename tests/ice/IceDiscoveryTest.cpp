#include <gtest/gtest.h>

#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"

namespace keyscope {
namespace {

using test::FakeScsiAccess;
using test::inquiryAnswer;
using test::NoAspiLoader;
using test::RecordingMessages;
using test::RecordingPauser;
using test::SgCall;

class IceDiscoveryTest : public ::testing::Test {
  protected:
    std::vector<SgCall> selectTargets() const {
        return access.callsWithSub(static_cast<std::uint8_t>(IceSubCommand::SelectTarget));
    }

    FakeScsiAccess access;
    NoAspiLoader loader;
    RecordingPauser pauser;
    RecordingMessages messages;
    IceContext context{access, loader, pauser};
    ScsiIceLink link{context, messages};
};

TEST_F(IceDiscoveryTest, SelectorFourFindsAnABoardInOneScan) {
    access.addNode({});  // a node that fails its INQUIRY
    access.addBoard("ICEBRD-A");

    EXPECT_EQ(link.openIceLink(4), 1);

    EXPECT_EQ(access.inquiries(), 2) << "one scan over two nodes";
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(selectTargets().size(), 1u);
    const SgCall select = selectTargets()[0];
    EXPECT_EQ(select.cdb, (std::vector<std::uint8_t>{0xD2, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x0F, 0x04,
                                                     0x04, 0x00, 0x00, 0x00}));
    EXPECT_EQ(select.direction, SG_DXFER_NONE);
    EXPECT_EQ(link.deviceHandles()[0], static_cast<DeviceValue>(select.fd));
    EXPECT_EQ(access.openFds, std::set<int>{select.fd}) << "the failing node was closed";
}

TEST_F(IceDiscoveryTest, SelectorFourFallsBackToADBoardOnASecondScan) {
    access.addBoard("ICEBRD-D");

    EXPECT_EQ(link.openIceLink(4), 1);

    EXPECT_EQ(access.inquiries(), 2) << "the node is asked once per scan";
    ASSERT_EQ(selectTargets().size(), 1u);
    EXPECT_EQ(selectTargets()[0].cdb[7], 0x04);
    EXPECT_EQ(selectTargets()[0].cdb[8], 0x04);
    EXPECT_EQ(std::string(context.table.iceSignature.data()), "ICEBRD-D");
}

struct SelectorCase {
    std::uint32_t selector;
    const char* firstSignature;
    std::uint8_t targetByte;
};

class IceSelectorTable : public IceDiscoveryTest,
                         public ::testing::WithParamInterface<SelectorCase> {};

TEST_P(IceSelectorTable, FirstScanSignatureAndSelectTargetBytes) {
    const SelectorCase& c = GetParam();
    access.addBoard(c.firstSignature);

    EXPECT_EQ(link.openIceLink(c.selector), 1);

    EXPECT_EQ(access.inquiries(), 1) << "found by the first scan";
    ASSERT_EQ(selectTargets().size(), 1u);
    EXPECT_EQ(selectTargets()[0].cdb[7], static_cast<std::uint8_t>(c.selector));
    EXPECT_EQ(selectTargets()[0].cdb[8], c.targetByte);
}

INSTANTIATE_TEST_SUITE_P(
    Selectors, IceSelectorTable,
    ::testing::Values(SelectorCase{0, "ICEBRD-C", 0}, SelectorCase{1, "ICEBRD-B", 0},
                      SelectorCase{2, "ICEBRD-D", 0}, SelectorCase{3, "ICEBRD-D", 6},
                      SelectorCase{4, "ICEBRD-A", 4}, SelectorCase{0x1234, "ICEBRD-D", 0}));

TEST_F(IceDiscoveryTest, SelectorTwoScansForDTwiceWhenNothingAnswers) {
    access.addBoard("ICEBRD-A");
    EXPECT_EQ(link.openIceLink(2), 0);
    EXPECT_EQ(access.inquiries(), 2);
}

TEST_F(IceDiscoveryTest, SignatureInTheVendorFieldDoesNotMatch) {
    access.addNode(inquiryAnswer("ICEBRD-D", 8));
    EXPECT_EQ(link.openIceLink(3), 0);
}

TEST_F(IceDiscoveryTest, NoMatchShowsOneFailMessageAndLeavesNoHandleOpen) {
    access.addBoard("ICEBRD-B");
    access.addNode({}, /*opens=*/false);
    access.addNode({});

    EXPECT_EQ(link.openIceLink(4), 0);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Can not found any Vorn ICE board device. ");
    EXPECT_EQ(messages.shown[0].caption, "fail");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(access.openFds.empty());
    EXPECT_TRUE(selectTargets().empty());
    for (DeviceValue d : link.deviceHandles()) {
        EXPECT_EQ(d, kInvalidDevice);
    }
}

TEST_F(IceDiscoveryTest, AFifthMatchingDeviceIsClosedAtOnce) {
    for (int i = 0; i < 6; ++i) {
        access.addBoard("ICEBRD-D");
    }
    EXPECT_EQ(link.openIceLink(3), 1);

    EXPECT_EQ(context.table.count, 4);
    EXPECT_EQ(access.openFds.size(), 4u);
    EXPECT_EQ(selectTargets().size(), 4u) << "every registered device gets the select-target";
    for (DeviceValue d : link.deviceHandles()) {
        EXPECT_NE(d, kInvalidDevice);
    }

    EXPECT_EQ(link.releaseIceLink(), 1);
    EXPECT_TRUE(access.openFds.empty());
}

TEST_F(IceDiscoveryTest, ScanLooksAtNoMoreThanThirtyNodes) {
    for (int i = 0; i < 33; ++i) {
        access.addNode({});
    }
    access.addBoard("ICEBRD-D");  // the 34th node is never reached
    EXPECT_EQ(link.scanDevices("ICEBRD-D"), 0);
    EXPECT_EQ(access.openedPaths.size(), 30u);
    EXPECT_EQ(access.openedPaths.back(), "/dev/sg29");
}

TEST_F(IceDiscoveryTest, ReleaseClosesTheDevicesAndInvalidatesTheHandles) {
    access.addBoard("ICEBRD-D");
    access.addBoard("ICEBRD-D");
    ASSERT_EQ(link.openIceLink(3), 1);
    ASSERT_EQ(access.openFds.size(), 2u);

    EXPECT_EQ(link.releaseIceLink(), 1);
    EXPECT_TRUE(access.openFds.empty());
    for (DeviceValue d : link.deviceHandles()) {
        EXPECT_EQ(d, kInvalidDevice);
    }
    EXPECT_EQ(link.releaseIceLink(), 1) << "a second release is harmless";
}

TEST_F(IceDiscoveryTest, DestroyingTheLinkReleasesIt) {
    access.addBoard("ICEBRD-D");
    {
        ScsiIceLink other{context, messages};
        ASSERT_EQ(other.openIceLink(3), 1);
        ASSERT_EQ(access.openFds.size(), 1u);
    }
    EXPECT_TRUE(access.openFds.empty());
}

TEST_F(IceDiscoveryTest, AFailedSelectTargetDoesNotFailTheOpen) {
    access.addBoard("ICEBRD-D");
    access.failSubs.insert(static_cast<std::uint8_t>(IceSubCommand::SelectTarget));
    EXPECT_EQ(link.openIceLink(3), 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(IceDiscoveryAspi, TheAspiFamilyOnlyBringsTheLayerUpAndFindsNothing) {
    FakeScsiAccess access;
    access.addBoard("ICEBRD-D");
    NoAspiLoader loader;
    RecordingPauser pauser;
    RecordingMessages messages;
    IceContext context{access, loader, pauser, ScsiBackendFamily::Aspi};
    ScsiIceLink link{context, messages};

    EXPECT_EQ(link.openIceLink(3), 0);
    EXPECT_TRUE(access.openedPaths.empty());
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(context.table.usePassThroughFiles, 0u);
}

}  // namespace
}  // namespace keyscope
