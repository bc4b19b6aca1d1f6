// The HID module loader. The real serial path runs through a pseudo-terminal
// in the dashboard's tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"

namespace keyscope {
namespace {

std::string besideTests(const char* file) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / file).string();
}

TEST(HidLibrary, MissingModuleOrSymbolFailsEveryCallWithoutCrashingACompleteOneLoads) {
    const std::pair<std::string, const char*> cases[] = {
        {"/nonexistent/libnothing.so", "libnothing.so"},
        {besideTests("libkeyscope-test-hid-nowrite.so"), "no function vnHidWrite"}};
    std::uint8_t report[kReportSize] = {};
    for (const auto& [path, error] : cases) {
        HidLibrary library(path);
        EXPECT_FALSE(library.open(kHidDevicePlain, 0, 0)) << path;
        EXPECT_NE(library.loadError().find(error), std::string::npos) << library.loadError();
        EXPECT_EQ(library.lastError(), kCannotLoad + library.loadError());
        EXPECT_FALSE(library.write(report));
        EXPECT_NE(library.lastError().find(error), std::string::npos) << library.lastError();
    }
    HidLibrary complete(besideTests("libkeyscope-test-hid.so"));
    EXPECT_TRUE(complete.open(kHidDevicePlain, 0, 0));
    EXPECT_TRUE(complete.readData(report));
    EXPECT_EQ(report[16], 42);
    EXPECT_TRUE(complete.write(report));
    EXPECT_EQ(complete.lastError(), "");
    HidLibrary shipped(besideTests(kHidModuleFile));  // loads, but finds no board here
    EXPECT_FALSE(shipped.open(kHidDeviceTyped, 0, 0));
    EXPECT_TRUE(shipped.loadError().empty()) << shipped.loadError();
    EXPECT_NE(shipped.lastError().find("open HID board 292 ("), std::string::npos);
}

TEST(TermiosSerialDevice, AFailedStepKeepsItsOperationPortAndReason) {
    TermiosSerialDevice device;
    EXPECT_FALSE(device.readConfig());
    EXPECT_EQ(device.lastError(), "read the settings of the port: not open");
    EXPECT_FALSE(device.open("/nonexistent/ttyUSB9"));
    EXPECT_EQ(device.lastError(), "open /nonexistent/ttyUSB9: No such file or directory");
    EXPECT_FALSE(device.open("/dev/null"));  // opens, but is no terminal to hold
    EXPECT_EQ(device.lastError(), "lock /dev/null: Inappropriate ioctl for device");
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
