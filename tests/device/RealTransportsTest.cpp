// The real transports: the serial path end to end through a pseudo-terminal,
// and the HID module loader.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"
#include "fakes/DeviceFakes.h"
#include "support/PseudoTerminal.h"

namespace keyscope {
namespace {

TEST(SerialEndToEnd, FramesWrittenOnThePtyLandInTheChannelRecords) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    const std::string slave = pty.device();
    fakes::FakeBoard f;
    BoardCollaborators parts;
    parts.serial = std::make_unique<TermiosSerialDevice>();
    parts.comPorts = [&](std::int32_t) { return std::optional<std::string>(slave); };
    parts.pauser = &f.pauser;
    parts.messages = &f.messages;
    parts.notifier = &f.notifier;
    BoardConnection board(std::move(parts));
    ASSERT_EQ(board.open(kSelectorSerial), 1);
    ASSERT_TRUE(pty.send({0xF0, 0x06, 0x30, 0x10, 0x01, 0x3F, 0x20, 0x00, 0x00, 0xF1, 0x06, 0xF2,
                          0x01, 0x00, 0x30, 0x00, 0x01, 0x00}));
    // Reads never wait, so poll until the bytes have crossed the terminal.
    for (int tries = 0; tries < 200 && board.getChannel(0)->samples.size() < 2; ++tries) {
        ASSERT_EQ(board.readCycle(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const ChannelRecord* tk0 = board.getChannel(0);
    ASSERT_EQ(tk0->samples.size(), 2u);
    EXPECT_EQ(tk0->samples[0].value, 0x110);
    EXPECT_EQ(tk0->samples[1].value, 0x100);
    EXPECT_EQ(tk0->samples[1].diff, 0x10);
    EXPECT_EQ(tk0->samples[1].keyCode, 1);
    EXPECT_EQ(board.getChannel(15)->value, 0x20);
    EXPECT_TRUE(f.messages.shown.empty());
    TermiosSerialDevice other;  // the port is not shared
    EXPECT_FALSE(other.open(slave));
}

std::string besideTests(const char* file) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / file).string();
}

TEST(HidLibrary, MissingModuleOrSymbolFailsEveryCallWithoutCrashingACompleteOneLoads) {
    const std::pair<std::string, const char*> cases[] = {
        {"/nonexistent/libnothing.so", "libnothing.so"},
        {besideTests("libkeyscope-test-hid-nowrite.so"), "no function vnHidWrite"}};
    for (const auto& [path, error] : cases) {
        HidLibrary library(path);
        std::uint8_t report[kReportSize] = {};
        EXPECT_NE(library.open(kHidDevicePlain, 0, 0), 0) << path;
        EXPECT_NE(library.write(report), 0);
        EXPECT_NE(library.loadError().find(error), std::string::npos) << library.loadError();
    }
    HidLibrary complete(besideTests("libkeyscope-test-hid.so"));
    std::uint8_t report[kReportSize] = {};
    EXPECT_EQ(complete.open(kHidDevicePlain, 0, 0), 0);
    EXPECT_EQ(complete.readData(report), 0);
    EXPECT_EQ(report[16], 42);
    EXPECT_EQ(complete.write(report), 0);
    HidLibrary shipped(besideTests(kHidModuleFile));  // loads, but finds no board here
    EXPECT_NE(shipped.open(kHidDeviceTyped, 0, 0), 0);
    EXPECT_TRUE(shipped.loadError().empty()) << shipped.loadError();
}

TEST(HidLibrary, ExplicitModuleBeatsSimulationWhichBeatsTheDefault) {
    ::setenv("KEYSCOPE_HID_LIBRARY", "/opt/board.so", 1);
    ::setenv("KEYSCOPE_SIMULATE", "1", 1);
    EXPECT_EQ(hidModulePath(), "/opt/board.so");
    ::unsetenv("KEYSCOPE_HID_LIBRARY");
    EXPECT_EQ(hidModulePath(), besideTests(kSimHidModuleFile));
    ::unsetenv("KEYSCOPE_SIMULATE");
    EXPECT_EQ(hidModulePath(), besideTests(kHidModuleFile));
}

}  // namespace
}  // namespace keyscope
