// The serial port's states and the serial read cycle, over a scripted device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;

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

// The device's reasons go to standard error once per loss: a reason repeated while the port
// stays lost is quiet, and after the port was back the next loss and reopen streak say theirs.
TEST(SerialPort, FailedReadsStillSucceedNeverStackBoxesAndAHangUpRetriesThePathOncePerSecond) {
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    ::testing::internal::CaptureStderr();
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
    f.serial->hungUp = f.serial->failOpen = true;
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
    EXPECT_EQ(std::tuple(received, port.isHungUp(), f.serial->configuredBaud),
              std::tuple(6u, false, 9600));
    EXPECT_EQ(f.board->readCycle(), 1);  // nothing waiting
    f.serial->chunks.push_back({0xF0, 3, 0x31, 9, 0, 0});
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 9);
    f.serial->hungUp = f.serial->failOpen = true;  // lost again, and away for a while
    for (const std::int64_t now : {3000, 4000, 5000}) {
        f.nowMs = now;
        EXPECT_EQ(port.readPort(buffer, 7, received), 0);
    }
    f.serial->failOpen = false;  // back each time, and hanging up again at once
    for (const std::int64_t now : {6000, 7000}) {
        f.nowMs = now;
        EXPECT_EQ(port.readPort(buffer, 7, received), 0);
    }
    f.serial->hungUp = false;
    f.nowMs = 8000;
    EXPECT_EQ(port.readPort(buffer, 7, received), 1);
    const std::string lost = "device_tests: the other end hung up\n",
                      away = "device_tests: open /dev/fakeCOM1 failed\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "device_tests: read failed\n" + lost + away + lost + away + lost + lost);

    f.serial->failClose = true;  // a refused close keeps the port open
    EXPECT_EQ(port.closePort(), 0);
    EXPECT_TRUE(port.isPortOpen());
    EXPECT_EQ(f.messages.texts().size(), 7u);
    EXPECT_EQ(f.messages.texts().back(), "Serial Port Closed false.");
    f.serial->failClose = false;
    EXPECT_EQ(port.closePort(), 1);
    EXPECT_EQ(port.closePort(), 1);  // not open
}

}  // namespace
}  // namespace keyscope
