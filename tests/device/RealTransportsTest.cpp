// The HID module loader. The real serial path runs through a pseudo-terminal
// in the dashboard's tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/HidLibrary.h"

namespace keyscope {
namespace {

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
