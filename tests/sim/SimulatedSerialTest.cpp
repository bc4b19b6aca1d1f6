// The simulated streaming board through a real pseudo-terminal and the real
// termios device, as the program's serial link reaches it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "QuietCollaborators.h"
#include "device/BoardConnection.h"
#include "device/TermiosSerialDevice.h"
#include "sim/SerialFrames.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope::sim {
namespace {

using Clock = std::chrono::steady_clock;

int tripletValue(const std::vector<std::uint8_t>& frame, int triplet) {
    return frame[2 + 3 * triplet + 1] | (frame[2 + 3 * triplet + 2] << 8);
}

TEST(SerialFrames, DataFrameCarriesTheKeyCodeFirstThenEveryKey) {
    const SignalModel model(3, CountWidth::Word);
    std::int64_t touched = 0;
    while (model.keyCode(touched) == 0) {
        touched += 10;
    }
    for (const std::int64_t t : {std::int64_t{0}, touched}) {
        const std::vector<std::uint8_t> frame = dataFrame(model, t);
        ASSERT_EQ(frame.size(), 2u + 17 * 3 + 1);
        EXPECT_EQ(frame[0], kDataFrame);
        EXPECT_EQ(frame[1], 17 * 3);
        EXPECT_EQ(frame[2], kKeyCodeTriplet);
        EXPECT_EQ(frame[3], model.keyCode(t));
        for (int k = 0; k < kSimKeyCount; ++k) {
            EXPECT_EQ(frame[2 + 3 * (k + 1)], 0x30 + k);
            EXPECT_EQ(tripletValue(frame, k + 1), model.count(k, t)) << "key " << k;
        }
    }
}

TEST(SerialFrames, ReferenceFrameCarriesEveryReferenceCount) {
    const SignalModel model(3, CountWidth::Word);
    const std::vector<std::uint8_t> frame = referenceFrame(model);
    ASSERT_EQ(frame.size(), 2u + 16 * 3 + 1);
    EXPECT_EQ(frame[0], kReferenceFrame);
    EXPECT_EQ(frame[1], 16 * 3);
    for (int k = 0; k < kSimKeyCount; ++k) {
        EXPECT_EQ(frame[2 + 3 * k], 0x30 + k);
        EXPECT_EQ(tripletValue(frame, k), model.referenceCount(k)) << "key " << k;
    }
}

std::unique_ptr<SimulatedSerialDevice> simulatedTermios(std::uint64_t seed) {
    return std::make_unique<SimulatedSerialDevice>(std::make_unique<TermiosSerialDevice>(), seed);
}

// Not a speed test: pacing is part of the protocol (a board can send no
// faster than its line), checked over a short bounded window.
TEST(SimulatedSerial, At1200BaudDeliversNoMoreThan120BytesPerSecond) {
    auto device = simulatedTermios(11);
    ASSERT_TRUE(device->open("COM1"));
    ASSERT_TRUE(device->readConfig());
    const Clock::time_point begin = Clock::now();
    ASSERT_TRUE(device->writeConfig(1200));
    ASSERT_TRUE(device->setNonBlockingReads());

    std::vector<std::uint8_t> received;
    std::array<std::uint8_t, 600> buffer{};
    while (Clock::now() - begin < std::chrono::milliseconds(1500)) {
        const long n = device->read(buffer.data(), buffer.size());
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    EXPECT_LE(static_cast<double>(received.size()), 120.0 * seconds);
    ASSERT_FALSE(received.empty()) << "one 51-byte frame fits in well under 1.5 s";
    EXPECT_EQ(received[0], kReferenceFrame) << "a board starts with its references";
    EXPECT_TRUE(device->close());
}

TEST(SimulatedSerialDevice, CloseRemovesTheTerminalAndAReopenGetsANewOne) {
    auto device = simulatedTermios(1);
    ASSERT_TRUE(device->open("COM3"));
    const std::string first = device->terminalPath();
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_TRUE(device->close());
    EXPECT_TRUE(device->terminalPath().empty());
    EXPECT_FALSE(std::filesystem::exists(first));
    ASSERT_TRUE(device->open("COM3"));
    EXPECT_TRUE(std::filesystem::exists(device->terminalPath()));
}

class RefusingDevice final : public SerialDevice {
  public:
    bool open(const std::string&) override { return false; }
    bool readConfig() override { return false; }
    bool writeConfig(int) override { return false; }
    bool setNonBlockingReads() override { return false; }
    long read(std::uint8_t*, std::size_t) override { return -1; }
    bool close() override { return true; }
};

TEST(SimulatedSerialDevice, FailsCleanlyWhenTheRealDeviceRefusesOrIsMissing) {
    SimulatedSerialDevice refused(std::make_unique<RefusingDevice>(), 1);
    EXPECT_FALSE(refused.open("COM1"));
    EXPECT_TRUE(refused.terminalPath().empty());
    EXPECT_FALSE(refused.writeConfig(9600));

    SimulatedSerialDevice missing(nullptr, 1);
    std::uint8_t byte = 0;
    EXPECT_FALSE(missing.open("COM1"));
    EXPECT_FALSE(missing.readConfig());
    EXPECT_EQ(missing.read(&byte, 1), -1);
    EXPECT_TRUE(missing.close());
}

TEST(SimulatedSerial, BoardConnectionTakesReferencesAndCountsFromTheStream) {
    ::setenv("KEYSCOPE_SIM_SEED", "21", 1);
    QuietCollaborators quiet;
    BoardCollaborators parts = quiet.parts();
    parts.serial = makeSimulatedSerialDevice(std::make_unique<TermiosSerialDevice>());
    parts.comPorts = [](std::int32_t) { return std::optional<std::string>("simulated"); };
    BoardConnection board(std::move(parts));
    ::unsetenv("KEYSCOPE_SIM_SEED");
    const SerialSettings settings{0, 3};  // COM1, 9600 baud
    board.setSerialSettings(&settings);
    ASSERT_EQ(board.open(kSelectorSerial), 1);
    ASSERT_EQ(board.linkMode(), kLinkSerial);

    // The first frame holds the references, then data frames follow about every 56 ms.
    const SignalModel model(21, CountWidth::Word);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(3);
    while (board.getChannel(15)->samples.size() < 5 && Clock::now() < deadline) {
        ASSERT_EQ(board.readCycle(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(board.getChannel(15)->samples.size(), 5u);
    for (int k = 0; k < kSimKeyCount; ++k) {
        const ChannelRecord& record = *board.getChannel(k);
        EXPECT_EQ(record.maxValue, model.referenceCount(k)) << "key " << k;
        for (const KeySample& sample : record.samples) {
            EXPECT_GE(sample.value, model.minCount());
            EXPECT_LE(sample.value, model.maxCount());
        }
    }
    EXPECT_TRUE(quiet.messages.shown.empty());
}

}  // namespace
}  // namespace keyscope::sim
