// keyscope-board-probe: called by the udev rule for every hidraw node, prints
// KEYSCOPE_BOARD=1 when the node is a demo board's, and nothing otherwise; the
// rule gives the logged-in user access only then. A board is what the HID
// module would write to: the nearest USB device above the node has the board's
// product id (and the configured vendor id, when one is given), and the node's
// report descriptor declares the board's reports. Only the nearest USB device
// counts: a hub further up with the same ids says nothing about this node.
//
//   keyscope-board-probe [--sysfs DIR] [--vendor XXXX] hidrawN
//
// --sysfs names where sysfs is mounted (default /sys), so a test can hand it a
// made-up tree. Exit status 0 whatever the answer; 2 for a bad command line.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "hid/ReportDescriptor.h"

namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, or empty when it cannot be read.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The folder of the nearest USB device above `node` (the first one with a
// product id), or empty when none is found below the sysfs root.
fs::path nearestUsbDevice(const fs::path& sysfs, const std::string& node) {
    std::error_code error;
    const fs::path top = fs::canonical(sysfs, error);
    if (error) {
        return {};
    }
    fs::path at = fs::canonical(sysfs / "class" / "hidraw" / node, error);
    if (error) {
        return {};
    }
    for (; at != top && at.has_relative_path(); at = at.parent_path()) {
        if (fs::exists(at / "idProduct", error)) {
            return at;
        }
    }
    return {};
}

bool isBoard(const fs::path& sysfs, const std::string& node, const std::string& vendor) {
    const fs::path usb = nearestUsbDevice(sysfs, node);
    if (usb.empty()) {
        return false;
    }
    const std::string product = attribute(usb / "idProduct");
    if (product != "0124" && product != "0128") {
        return false;
    }
    if (!vendor.empty() && attribute(usb / "idVendor") != vendor) {
        return false;
    }
    const auto descriptor = keyscope::hid::reportDescriptorOf("/dev/" + node, sysfs.string());
    return keyscope::hid::declaresBoardReports(descriptor.data(), descriptor.size());
}

int usage() {
    std::fputs("usage: keyscope-board-probe [--sysfs DIR] [--vendor XXXX] hidrawN\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string sysfs = "/sys";
    std::string vendor;
    std::string node;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--sysfs" || arg == "--vendor") && i + 1 < argc) {
            (arg == "--sysfs" ? sysfs : vendor) = argv[++i];
        } else if (arg.empty() || arg[0] == '-' || !node.empty()) {
            return usage();
        } else {
            node = arg;
        }
    }
    if (node.empty() || node.find('/') != std::string::npos) {
        return usage();
    }
    if (isBoard(sysfs, node, vendor)) {
        std::puts("KEYSCOPE_BOARD=1");
    }
    return 0;
}
