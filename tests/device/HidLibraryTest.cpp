#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/HidLibrary.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

std::string besideTests(const char* file) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / file).string();
}

TEST(HidLibrary_Load, MissingModuleOrSymbolFailsEveryCallWithoutCrashing) {
    struct Case {
        std::string path;
        std::string expectedError;
    };
    const Case cases[] = {
        {"/nonexistent/libnothing.so", "libnothing.so"},
        {besideTests("libkeyscope-test-hid-nowrite.so"), "no function vnHidWrite"},
    };
    for (const Case& c : cases) {
        HidLibrary library(c.path);
        std::uint8_t report[kReportSize] = {};
        EXPECT_NE(library.open(kHidDevicePlain, 0, 0), 0) << c.path;
        EXPECT_NE(library.read(kReportSize, report), 0);
        EXPECT_NE(library.write(report), 0);
        EXPECT_NE(library.loadError().find(c.expectedError), std::string::npos)
            << library.loadError();
    }
}

TEST(HidLibrary_Load, CompleteModuleOpensThroughTheBoardConnection) {
    fakes::FakeBoard f;
    BoardCollaborators parts;
    parts.hid = std::make_unique<HidLibrary>(besideTests("libkeyscope-test-hid.so"));
    parts.pauser = &f.pauser;
    parts.messages = &f.messages;
    parts.notifier = &f.notifier;
    BoardConnection board(std::move(parts));
    ASSERT_EQ(board.open(kSelectorHid), 1);
    EXPECT_EQ(board.linkMode(), kLinkHidPlain);
    EXPECT_EQ(board.getChannel(15)->value, 42);
    EXPECT_EQ(board.readCycle(), 1);
    EXPECT_EQ(board.writeKeyValues(), 1);
}

TEST(HidLibrary_Path, ExplicitModuleBeatsSimulationWhichBeatsTheDefault) {
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

namespace keyscope {
namespace {

TEST(HidLibrary_Load, ShippedModuleWithoutABoardFailsTheOpenCleanly) {
    HidLibrary library(besideTests(kHidModuleFile));
    EXPECT_NE(library.open(kHidDeviceTyped, 0, 0), 0);
    EXPECT_TRUE(library.loadError().empty()) << library.loadError();
    std::uint8_t report[kReportSize] = {};
    EXPECT_NE(library.readData(report), 0);
}

}  // namespace
}  // namespace keyscope
