#include "ice/sim/SimIceDevice.h"

#include <gtest/gtest.h>

#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"

namespace keyscope::sim {
namespace {

class SimIceDeviceTest : public ::testing::Test {
  protected:
    int readMemory(int fd, std::uint16_t address, std::uint8_t space, IceBlock& answer) {
        return transport.sendCommandIn(static_cast<DeviceValue>(fd),
                                       readReserveDataCdb(address, space, 32), 1, answer.data());
    }
    int enterIceMode(int fd) {
        return transport.sendCommandOut(static_cast<DeviceValue>(fd),
                                        iceCdb(kIceOpNoDataOrOut, IceSubCommand::EnterIceMode), 0,
                                        nullptr);
    }

    SimIceDevice device{7u};
    test::NoAspiLoader loader;
    test::RecordingPauser pauser;
    ScsiTransport transport{device, loader, pauser};
};

TEST_F(SimIceDeviceTest, ScanFindsExactlyOneDBoard) {
    test::RecordingMessages messages;
    IceContext context{device, loader, pauser};
    ScsiIceLink link{context, messages};
    EXPECT_EQ(link.openIceLink(4), 1) << "found by the second scan";
    EXPECT_EQ(context.table.count, 1);
    EXPECT_EQ(device.openHandles(), 1);
}

TEST_F(SimIceDeviceTest, MemoryReadsNeedIceModeFirst) {
    const int fd = device.openDevice(SimIceDevice::kNodePath);
    IceBlock answer{};
    EXPECT_EQ(readMemory(fd, 0x40, 0, answer), 0);
    ASSERT_EQ(enterIceMode(fd), 1);
    EXPECT_EQ(readMemory(fd, 0x40, 0, answer), 1);
}

TEST_F(SimIceDeviceTest, InternalRamLocationsElevenToFourteenComeBackInTheRegisterBytes) {
    const int fd = device.openDevice(SimIceDevice::kNodePath);
    ASSERT_EQ(enterIceMode(fd), 1);
    IceBlock answer{};
    ASSERT_EQ(readMemory(fd, 0x0F, 1, answer), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(answer[kMemoryOffset + 2 + i], SimIceDevice::kClobbered);
    }
    std::array<std::uint8_t, 33> out{};
    std::copy_n(answer.begin() + kMemoryOffset, out.size(), out.begin());
    restoreIramBytes(out.data(), 0x0F, 1, answer);
    // The key table anchored at 0x0F: key code at 0x0F, key 0 at 0x10-0x11, key 1 at 0x12-0x13.
    const auto counts = device.model().counts(0);
    EXPECT_EQ((out[1] << 8) | out[2], counts[0]);
    EXPECT_EQ((out[3] << 8) | out[4], counts[1]);
}

TEST_F(SimIceDeviceTest, EachMemoryReadIsOnePoll) {
    const int fd = device.openDevice(SimIceDevice::kNodePath);
    ASSERT_EQ(enterIceMode(fd), 1);
    IceBlock answer{};
    ASSERT_EQ(readMemory(fd, 0x100, 0, answer), 1);
    ASSERT_EQ(readMemory(fd, 0x100, 0, answer), 1);
    EXPECT_EQ(device.clockMs(), 2 * SimIceDevice::kPollMs);
}

TEST_F(SimIceDeviceTest, UnknownCommandsAndHandlesFail) {
    const int fd = device.openDevice(SimIceDevice::kNodePath);
    IceBlock data{};
    Cdb unknown{0xD3, 0x11, 0x31, 0x0F, 0x30, 0x00, 0x7E};
    EXPECT_EQ(transport.sendCommandIn(static_cast<DeviceValue>(fd), unknown, 1, data.data()), 0);
    Cdb foreign{0x28};
    EXPECT_EQ(transport.sendCommandIn(static_cast<DeviceValue>(fd), foreign, 1, data.data()), 0);
    EXPECT_EQ(enterIceMode(fd + 1), 0);
    EXPECT_EQ(device.openDevice("/dev/sg0"), -1);
}

TEST(SimIceDeviceGone, AfterItsLastReadTheBoardIsGone) {
    SimIceDevice device{7u, 1};
    test::NoAspiLoader loader;
    test::RecordingPauser pauser;
    ScsiTransport transport{device, loader, pauser};
    const int fd = device.openDevice(SimIceDevice::kNodePath);
    const auto fdValue = static_cast<DeviceValue>(fd);
    ASSERT_EQ(transport.sendCommandOut(
                  fdValue, iceCdb(kIceOpNoDataOrOut, IceSubCommand::EnterIceMode), 0, nullptr),
              1);
    IceBlock answer{};
    EXPECT_EQ(transport.sendCommandIn(fdValue, readReserveDataCdb(0, 0, 32), 1, answer.data()), 1);
    EXPECT_EQ(transport.sendCommandIn(fdValue, readReserveDataCdb(0, 0, 32), 1, answer.data()), 0);
    EXPECT_EQ(device.openDevice(SimIceDevice::kNodePath), -1);
}

}  // namespace
}  // namespace keyscope::sim
