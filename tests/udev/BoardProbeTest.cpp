// The udev rule's probe on made-up sysfs trees: which hidraw nodes it calls a
// board's. It runs as udev runs it, as a program whose output udev imports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "hid/FakeHidapi.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using fakehid::Bytes;
using fakehid::reportDescriptor;

// What stands at the node's report_descriptor.
enum class Descriptor { kBytes, kNone, kFolder };

struct Tree {
    std::string product = "0124";
    std::string hubProduct = "0002";  // the hub above the board's USB device
    Bytes descriptor = reportDescriptor();
    Descriptor kind = Descriptor::kBytes;
};

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// sysfs as Linux lays it out for a hidraw node of a USB HID device behind a hub:
// the class link, the USB device with its ids, its interface, the HID device.
fs::path makeSysfs(const fs::path& root, const Tree& tree) {
    const fs::path hub = root / "devices/pci0000:00/0000:00:14.0/usb1";
    const fs::path usb = hub / "1-2";
    const fs::path hid = usb / "1-2:1.0/0003:04D8:0124.0001";
    write(hub / "idVendor", "1d6b\n");
    write(hub / "idProduct", tree.hubProduct + "\n");
    write(usb / "idVendor", "04d8\n");
    write(usb / "idProduct", tree.product + "\n");
    write(usb / "1-2:1.0/bInterfaceClass", "03\n");
    if (tree.kind == Descriptor::kBytes)
        write(hid / "report_descriptor",
              std::string(tree.descriptor.begin(), tree.descriptor.end()));
    else if (tree.kind == Descriptor::kFolder)
        fs::create_directories(hid / "report_descriptor");
    fs::create_directories(hid / "hidraw/hidraw3");
    fs::create_directory_symlink("../..", hid / "hidraw/hidraw3/device");
    fs::create_directories(root / "class/hidraw");
    fs::create_directory_symlink(fs::relative(hid / "hidraw/hidraw3", root / "class/hidraw"),
                                 root / "class/hidraw/hidraw3");
    return root;
}

// What the probe prints on standard output, or nullopt when it fails.
std::optional<std::string> probe(const std::string& arguments) {
    FILE* out = ::popen((KEYSCOPE_BOARD_PROBE " " + arguments).c_str(), "r");
    std::string printed;
    std::array<char, 256> chunk{};
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), out))
        printed.append(chunk.data(), n);
    return ::pclose(out) == 0 ? std::optional(printed) : std::nullopt;
}

TEST(BoardProbe, ABoardIsTheNearestUsbDevicesIdsAndTheBoardsDescriptor) {
    Bytes numbered = reportDescriptor();
    numbered.insert(numbered.begin() + 7, {0x85, 0x01});  // report id 1 inside the collection
    const struct {
        const char* what;
        Tree tree;
        std::string vendor;
        bool board;
    } cases[] = {
        {"the board", {}, "", true},
        {"the other product id", {.product = "0128"}, "", true},
        {"the configured vendor", {}, "04d8", true},
        {"another vendor than the configured", {}, "04d9", false},
        {"another product id", {.product = "0125"}, "", false},
        {"a hub further up with the board's id",
         {.product = "c52b", .hubProduct = "0124"},
         "",
         false},
        {"reports with an id", {.descriptor = numbered}, "", false},
        {"8-byte reports", {.descriptor = reportDescriptor(8)}, "", false},
        {"an empty descriptor", {.descriptor = {}}, "", false},
        {"no descriptor", {.kind = Descriptor::kNone}, "", false},
        {"an unreadable descriptor", {.kind = Descriptor::kFolder}, "", false},
    };
    const fs::path work = fs::temp_directory_path() / ("board-probe-" + std::to_string(getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(work);
        const fs::path sysfs = makeSysfs(work, c.tree);
        const std::string vendor = c.vendor.empty() ? "" : " --vendor " + c.vendor;
        EXPECT_EQ(probe("--sysfs " + sysfs.string() + vendor + " hidraw3"),
                  c.board ? "KEYSCOPE_BOARD=1\n" : "");
    }
    EXPECT_EQ(probe("--sysfs " + work.string() + " hidraw4"), "");  // no such node
    EXPECT_EQ(probe("--sysfs " + work.string()), std::nullopt);     // no node named
    fs::remove_all(work);
}

}  // namespace
}  // namespace keyscope
