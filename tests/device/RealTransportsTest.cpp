// The HID module loader. The real serial path runs through a pseudo-terminal
// in the dashboard's tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"

namespace keyscope {
namespace {

std::string besideTests(const char* file) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / file).string();
}

// A module that cannot be loaded or lacks a function fails every call, never crashes. One that
// loads says why an open failed: the product id as the board's documents write it and the
// module's own reason, or only that it failed from a module without vnHidLastError. No codes.
TEST(HidLibrary, EveryFailedCallSaysWhyAndACompleteModuleWorks) {
    const std::string none = "/nonexistent/libnothing.so";
    const std::string noWrite = besideTests("libkeyscope-test-hid-nowrite.so");
    const std::string opens = "open HID board 0x0124 (";
    const std::pair<std::string, std::string> cases[] = {
        // module, the line begins
        {none, kCannotLoad + none + ": "},
        {noWrite, kCannotLoad + noWrite + ": no function vnHidWrite"},
        {besideTests("libkeyscope-test-hid.so"),
         opens + besideTests("libkeyscope-test-hid.so") +
             "): this test board answers only product id 0x0128"},
        {besideTests("libkeyscope-test-hid-old.so"),
         opens + besideTests("libkeyscope-test-hid-old.so") + "): the module failed"},
        {besideTests(kHidModuleFile),  // no board here
         opens + besideTests(kHidModuleFile) +
             "): no HID device with product id 0x0124 on the bus"},
    };
    std::uint8_t report[kReportSize] = {};
    for (const auto& [path, said] : cases) {
        HidLibrary library(path);
        EXPECT_FALSE(library.open(kHidDeviceTyped, 0, 0)) << path;
        EXPECT_EQ(library.lastError().rfind(said, 0), 0u) << library.lastError();
        EXPECT_EQ(library.lastError().find("code"), std::string::npos) << library.lastError();
        EXPECT_TRUE(library.loadError().empty() || !library.write(report)) << path;
    }
    HidLibrary complete(besideTests("libkeyscope-test-hid.so"));
    EXPECT_TRUE(complete.open(kHidDevicePlain, 0, 0));
    EXPECT_TRUE(complete.readData(report));
    EXPECT_EQ(report[16], 42);
    EXPECT_TRUE(complete.write(report));
    EXPECT_EQ(complete.lastError(), "");
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
    EXPECT_EQ(hidModulePath("/opt/board.so", true), "/opt/board.so");
    EXPECT_EQ(hidModulePath("", true), besideTests(kSimHidModuleFile));
    EXPECT_EQ(hidModulePath("", false), besideTests(kHidModuleFile));
}

}  // namespace
}  // namespace keyscope
