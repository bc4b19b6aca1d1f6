// The serial frame walk and the serial port's states, over a scripted device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;

using Taken = std::tuple<int, int, int, int>;  // key, value, diff, key code

struct FrameCase {
    std::vector<std::uint8_t> bytes;  // one read's worth
    std::vector<Taken> samples;       // every key's samples, key by key
};

const FrameCase kFrameCases[] = {
    // F0 sets the max value (diff 0 even below the last), F1 leaves it.
    {{0xF0, 3, 0x30, 16, 0, 0, 0xF0, 3, 0x30, 8, 0, 0, 0xF1, 6, 0x30, 10, 0, 0x31, 0x34, 0x12, 0},
     {{0, 16, 0, 0}, {0, 8, 0, 0}, {0, 10, -2, 0}, {1, 0x1234, -0x1234, 0}}},
    // F2 sets the key code for the samples after it, until the next frame.
    {{0xF1, 9, 0x30, 1, 0, 0xF2, 5, 0, 0x31, 2, 0, 0, 0xF1, 6, 0xF2, 0, 9, 0x32, 3, 0, 0},
     {{0, 1, -1, 0}, {1, 2, -2, 1}, {2, 3, -3, 0}}},
    // Garbage between frames is skipped; unknown triplet codes are ignored.
    {{0x00, 0x55, 0xF3, 0xF0, 6, 0x40, 9, 9, 0x3F, 7, 0, 0, 0x12, 0xF1, 3, 0x30, 4, 0, 0},
     {{0, 4, -4, 0}, {15, 7, 0, 0}}},
    {{0xF1, 6, 0x30, 1, 0, 0x31, 2}, {{0, 1, -1, 0}}},  // a cut-off triplet is not taken
    {{0xF1, 4, 0x30, 1, 0, 0x31, 2, 0, 0}, {{0, 1, -1, 0}, {1, 2, -2, 0}}},  // n reaches past
    {{0x11, 0xF0}, {}},
};

class SerialFrame : public testing::TestWithParam<FrameCase> {};

TEST_P(SerialFrame, WalkTakesWholeTripletsWithTheFramesRule) {
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    f.serial->chunks.push_back(GetParam().bytes);
    ASSERT_EQ(f.board->readCycle(), 1);
    std::vector<Taken> taken;
    for (int k = 0; k < kChannelCount; ++k) {
        for (const KeySample& s : f.board->getChannel(k)->samples) {
            taken.emplace_back(k, s.value, s.diff, s.keyCode);
        }
    }
    EXPECT_EQ(taken, GetParam().samples);
}

INSTANTIATE_TEST_SUITE_P(Frames, SerialFrame, testing::ValuesIn(kFrameCases));

TEST(SerialPort, OpensTheComEntryAtTheChosenRateAndStaysOpenAcrossABoardClose) {
    FakeBoard f;
    f.serialSettings = {2, 0};
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(f.serial->openedPath, "/dev/fakeCOM3");
    EXPECT_EQ(f.serial->configuredBaud, 1200);
    EXPECT_EQ(baudForIndex(3), 9600);
    EXPECT_EQ(baudForIndex(5), 0);  // keeps the port's rate
    ASSERT_EQ(f.board->close(), 1);
    f.journal.clear();
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(std::count(f.journal.begin(), f.journal.end(), "serial open /dev/fakeCOM3"), 0);
}

TEST(SerialPort, EachFailingStepShowsItsMessageAndAHalfOpenPortRefusesLaterOpens) {
    using S = fakes::ScriptedSerial;
    using Texts = std::vector<std::string>;
    const std::tuple<bool S::*, const char*, bool> cases[] = {
        {&S::failOpen, "Could not open Com port!", false},
        {&S::failReadConfig, "Get configuration serial port has problem.", true},
        {&S::failWriteConfig, "Set configuration serial port has problem.", true},
        {&S::failTimeouts, "Set serial port timeout has problem.", true},
    };
    for (const auto& [flag, message, halfOpen] : cases) {
        FakeBoard f;
        f.serial->*flag = true;
        EXPECT_EQ(f.board->open(kSelectorSerial), 0) << message;
        EXPECT_EQ(f.board->serialPort().isHandleHeld(), halfOpen) << message;
        f.serial->*flag = false;
        EXPECT_EQ(f.board->open(kSelectorSerial), halfOpen ? 0 : 1) << message;
        EXPECT_EQ(f.messages.texts(),
                  (halfOpen ? Texts{message, "Serial Port has already open."} : Texts{message}));
    }
}

TEST(SerialPort, FailedReadsStillSucceedNeverStackBoxesAndAHangUpRetriesThePathOncePerSecond) {
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    const auto opens = [&] {
        return std::count(f.journal.begin(), f.journal.end(), "serial open /dev/fakeCOM1");
    };
    // Polls keep running under the open box; each later failure shows a box again.
    f.serial->failRead = true;
    f.messages.whileShown = [&] { EXPECT_EQ(f.board->readCycle(), 1); };
    EXPECT_EQ(f.board->readCycle(), 1);
    f.messages.whileShown = nullptr;
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.messages.texts().size(), 2u);

    f.serial->failRead = false;
    f.serial->hungUp = true;
    f.serial->failOpen = true;
    std::size_t received = 0;
    std::uint8_t buffer[8] = {};
    SerialPort& port = f.board->serialPort();
    EXPECT_EQ(port.readPort(buffer, 7, received), 0);
    EXPECT_TRUE(port.isHungUp() && port.isPortOpen());
    EXPECT_EQ(f.journal.back(), "serial close");
    for (const std::int64_t now : {999, 1000, 1500, 2000}) {  // away: quiet tries, once a second
        f.nowMs = now;
        EXPECT_EQ(port.readPort(buffer, 7, received), 0);
    }
    EXPECT_EQ(opens(), 3);  // the connect, then at 1000 and 2000
    f.serial->hungUp = f.serial->failOpen = false;
    f.serial->chunks.push_back({0xF1, 3, 0x30, 5, 0, 0});
    f.nowMs = 3000;
    EXPECT_EQ(port.readPort(buffer, 7, received), 1);
    EXPECT_EQ(received, 6u);
    EXPECT_FALSE(port.isHungUp());
    EXPECT_EQ(f.serial->configuredBaud, 9600);
    EXPECT_EQ(f.board->readCycle(), 1);  // nothing waiting

    f.serial->failClose = true;  // a refused close keeps the port open
    EXPECT_EQ(port.closePort(), 0);
    EXPECT_TRUE(port.isPortOpen());
    EXPECT_EQ(f.messages.texts().size(), 4u);
    EXPECT_EQ(f.messages.texts().back(), "Serial Port Closed false.");
    f.serial->failClose = false;
    EXPECT_EQ(port.closePort(), 1);
    EXPECT_EQ(port.closePort(), 1);  // not open
}

TEST(ComPortTable, ListedPortsComeFromTheEnvironmentInOrder) {
    ::setenv("KEYSCOPE_SERIAL_PORTS", "/dev/pts/7:/tmp/b", 1);
    EXPECT_EQ(comPortPath(0).value_or(""), "/dev/pts/7");
    EXPECT_EQ(comPortPath(1).value_or(""), "/tmp/b");
    EXPECT_FALSE(comPortPath(2).has_value());
    EXPECT_FALSE(comPortPath(-1).has_value());
    ::unsetenv("KEYSCOPE_SERIAL_PORTS");
}

}  // namespace
}  // namespace keyscope
