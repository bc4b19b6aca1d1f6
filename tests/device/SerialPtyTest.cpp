// The serial path end to end: bytes written on a pseudo-terminal's master side
// reach the channel records through the real termios device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "device/TermiosSerialDevice.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slave_ = ::ptsname(master_);
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0)
            ::close(master_);
    }
    const std::string& slavePath() const { return slave_; }
    bool write(const std::vector<std::uint8_t>& bytes) {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

  private:
    int master_ = -1;
    std::string slave_;
};

TEST(SerialEndToEnd, FramesWrittenOnThePtyLandInTheChannelRecords) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slavePath().empty());
    fakes::FakeBoard f;
    BoardCollaborators parts;
    parts.serial = std::make_unique<TermiosSerialDevice>();
    parts.pauser = &f.pauser;
    parts.messages = &f.messages;
    parts.notifier = &f.notifier;
    parts.comPorts = [&](std::int32_t) { return std::optional<std::string>(pty.slavePath()); };
    BoardConnection board(std::move(parts));
    SerialSettings settings{0, 3};
    board.setSerialSettings(&settings);
    ASSERT_EQ(board.open(kSelectorSerial), 1);
    EXPECT_EQ(board.linkMode(), kLinkSerial);

    ASSERT_TRUE(pty.write({0xF0, 0x06, 0x30, 0x10, 0x01, 0x3F, 0x20, 0x00, 0x00, 0xF1, 0x06, 0xF2,
                           0x01, 0x00, 0x30, 0x00, 0x01, 0x00}));
    // Reads never wait, so poll until the bytes have crossed the terminal.
    for (int tries = 0; tries < 200 && board.getChannel(0)->samples.size() < 2; ++tries) {
        ASSERT_EQ(board.readCycle(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const ChannelRecord* tk0 = board.getChannel(0);
    ASSERT_EQ(tk0->samples.size(), 2u);
    EXPECT_EQ(tk0->samples[0].value, 0x110);
    EXPECT_EQ(tk0->maxValue, 0x110);
    EXPECT_EQ(tk0->samples[1].value, 0x100);
    EXPECT_EQ(tk0->samples[1].diff, 0x10);
    EXPECT_EQ(tk0->samples[1].keyCode, 1);
    EXPECT_EQ(board.getChannel(15)->value, 0x20);
    EXPECT_TRUE(f.messages.shown.empty());
}

TEST(SerialEndToEnd, PortHeldByAnotherProgramCannotBeOpened) {
    PseudoTerminal pty;
    TermiosSerialDevice first;
    TermiosSerialDevice second;
    ASSERT_TRUE(first.open(pty.slavePath()));
    EXPECT_FALSE(second.open(pty.slavePath()));
    EXPECT_FALSE(second.readConfig());
    EXPECT_TRUE(first.readConfig());
    EXPECT_TRUE(first.writeConfig(0));
    EXPECT_TRUE(first.setNonBlockingReads());
    std::uint8_t buffer[8];
    EXPECT_EQ(first.read(buffer, sizeof buffer), 0);
}

}  // namespace
}  // namespace keyscope
