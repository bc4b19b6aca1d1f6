#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// An open serial board whose next read delivers `bytes`.
void openSerialWith(FakeBoard& f, Bytes bytes) {
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    f.serial->chunks.push_back(std::move(bytes));
    ASSERT_EQ(f.board->readCycle(), 1);
}

std::vector<int> values(const ChannelRecord* c) {
    std::vector<int> v;
    for (const auto& s : c->samples)
        v.push_back(s.value);
    return v;
}

TEST(SerialFrame, F0SetsMaxValueAndDiffIsZero) {
    FakeBoard f;
    openSerialWith(f, {0xF0, 0x06, 0x30, 0x10, 0x00, 0x31, 0x20, 0x00, 0xAA});
    EXPECT_EQ(f.board->getChannel(0)->value, 16);
    EXPECT_EQ(f.board->getChannel(1)->value, 32);
    EXPECT_EQ(f.board->getChannel(0)->maxValue, 16);
    EXPECT_EQ(f.board->getChannel(1)->samples.back().diff, 0);
    EXPECT_TRUE(f.board->getChannel(2)->samples.empty());
}

TEST(SerialFrame, F1LeavesMaxValueAlone) {
    FakeBoard f;
    openSerialWith(f, {0xF1, 0x06, 0x30, 0x10, 0x00, 0x31, 0x34, 0x12, 0xAA});
    EXPECT_EQ(f.board->getChannel(1)->value, 0x1234);
    EXPECT_EQ(f.board->getChannel(1)->maxValue, 0);
    EXPECT_EQ(f.board->getChannel(1)->samples.back().diff, -0x1234);
}

TEST(SerialFrame, KeyCodeTripletAppliesToTheSamplesAfterIt) {
    FakeBoard f;
    openSerialWith(f, {0xF1, 0x09, 0x30, 1,    0, 0xF2, 5,    0, 0x31, 2,   0,
                       0x00, 0xF1, 0x06, 0xF2, 0, 9,    0x32, 3, 0,    0x00});
    EXPECT_EQ(f.board->getChannel(0)->samples.back().keyCode, 0);
    EXPECT_EQ(f.board->getChannel(1)->samples.back().keyCode, 1);
    EXPECT_EQ(f.board->getChannel(2)->samples.back().keyCode, 0);
    EXPECT_EQ(f.board->keyCode(), 0);
}

TEST(SerialFrame, GarbageBetweenFramesIsSkippedAndUnknownCodesIgnored) {
    FakeBoard f;
    openSerialWith(f, {0x00, 0x55, 0xF3, 0xF0, 0x06, 0x40, 9, 9, 0x3F, 7, 0, 0x00, 0x12, 0xF1, 0x03,
                       0x30, 4, 0, 0x00});
    EXPECT_THAT(values(f.board->getChannel(15)), ElementsAre(7));
    EXPECT_THAT(values(f.board->getChannel(0)), ElementsAre(4));
}

TEST(SerialFrame, TripletCutOffAtTheEndOfTheBytesIsNotTaken) {
    FakeBoard f;
    openSerialWith(f, {0xF1, 0x06, 0x30, 1, 0, 0x31, 2});
    EXPECT_THAT(values(f.board->getChannel(0)), ElementsAre(1));
    EXPECT_THAT(values(f.board->getChannel(1)), IsEmpty());
}

TEST(SerialFrame, LengthNotMultipleOfThreeReachesPastTheArea) {
    FakeBoard f;
    // n = 4: the second triplet starts at offset 3 and takes two bytes past the area.
    openSerialWith(f, {0xF1, 0x04, 0x30, 1, 0, 0x31, 2, 0, 0x00});
    EXPECT_THAT(values(f.board->getChannel(1)), ElementsAre(2));
}

TEST(SerialFrame, MarkerAsLastByteTakesNothing) {
    FakeBoard f;
    openSerialWith(f, {0x11, 0xF0});
    for (int k = 0; k < kChannelCount; ++k)
        EXPECT_TRUE(f.board->getChannel(k)->samples.empty());
}

TEST(SerialFrame, FailedOrEmptyReadStillSucceeds) {
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(f.board->readCycle(), 1);  // nothing waiting
    f.serial->failRead = true;
    EXPECT_EQ(f.board->readCycle(), 1);
    EXPECT_THAT(f.messages.texts(), ElementsAre("Reading of serial communication has problem."));
}

TEST(SerialPortOpen, NamesTheComEntryAndMapsTheBaudIndex) {
    FakeBoard f;
    f.serialSettings = {2, 0};
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(f.serial->openedPath, "/dev/fakeCOM3");
    EXPECT_EQ(f.serial->configuredBaud, 1200);
    EXPECT_EQ(baudForIndex(3), 9600);
    EXPECT_EQ(baudForIndex(5), 0);  // keeps the port's rate
}

TEST(SerialPortOpen, EachFailingStepShowsItsMessage) {
    struct Case {
        bool fakes::ScriptedSerial::*flag;
        const char* message;
        bool halfOpen;
    };
    const Case cases[] = {
        {&fakes::ScriptedSerial::failOpen, "Could not open Com port!", false},
        {&fakes::ScriptedSerial::failReadConfig, "Get configuration serial port has problem.",
         true},
        {&fakes::ScriptedSerial::failWriteConfig, "Set configuration serial port has problem.",
         true},
        {&fakes::ScriptedSerial::failTimeouts, "Set serial port timeout has problem.", true},
    };
    for (const Case& c : cases) {
        FakeBoard f;
        f.serial->*c.flag = true;
        EXPECT_EQ(f.board->open(kSelectorSerial), 0) << c.message;
        EXPECT_THAT(f.messages.texts(), ElementsAre(c.message));
        EXPECT_EQ(f.board->serialPort().isHandleHeld(), c.halfOpen) << c.message;
        // A half-open port refuses every later open; a closed one tries again.
        f.serial->*c.flag = false;
        const int again = f.board->open(kSelectorSerial);
        EXPECT_EQ(again, c.halfOpen ? 0 : 1) << c.message;
        if (c.halfOpen) {
            EXPECT_EQ(f.messages.texts().back(), "Serial Port has already open.");
        }
    }
}

TEST(SerialPortOpen, UnknownComEntryCannotBeOpened) {
    fakes::Journal journal;
    fakes::RecordingMessages messages;
    SerialPort port(std::make_unique<fakes::ScriptedSerial>(journal), messages,
                    [](std::int32_t) { return std::optional<std::string>{}; });
    EXPECT_EQ(port.openPort({7, 3}), 0);
    EXPECT_THAT(messages.texts(), ElementsAre("Could not open Com port!"));
    EXPECT_THAT(journal, IsEmpty());
}

TEST(SerialPortOpen, OpenPortStaysOpenAcrossBoardCloseAndReopen) {
    FakeBoard f;
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    ASSERT_EQ(f.board->close(), 1);
    f.journal.clear();
    ASSERT_EQ(f.board->open(kSelectorSerial), 1);
    EXPECT_EQ(std::count(f.journal.begin(), f.journal.end(), "serial open /dev/fakeCOM1"), 0);
}

TEST(SerialPortClose, RefusedCloseShowsItsMessage) {
    fakes::Journal journal;
    fakes::RecordingMessages messages;
    auto device = std::make_unique<fakes::ScriptedSerial>(journal);
    auto* raw = device.get();
    SerialPort port(std::move(device), messages,
                    [](std::int32_t) { return std::optional<std::string>("/dev/x"); });
    EXPECT_EQ(port.closePort(), 1);  // not open
    ASSERT_EQ(port.openPort({}), 1);
    raw->failClose = true;
    EXPECT_EQ(port.closePort(), 0);
    EXPECT_THAT(messages.texts(), ElementsAre("Serial Port Closed false."));
    raw->failClose = false;
    EXPECT_EQ(port.closePort(), 1);
    EXPECT_FALSE(port.isPortOpen());
    std::uint8_t buffer[4] = {};
    std::size_t received = 9;
    EXPECT_EQ(port.readPort(buffer, 3, received), 0);
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
