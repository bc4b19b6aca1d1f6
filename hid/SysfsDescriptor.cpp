// Linux keeps every hidraw node's report descriptor in sysfs, readable without
// opening the device, so a candidate is identified before anything is written to it.
#include <fstream>

#include "hid/ReportDescriptor.h"

namespace keyscope::hid {

std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath) {
    return reportDescriptorOf(devicePath, "/sys");
}

std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath,
                                             const std::string& sysfsRoot) {
    const auto slash = devicePath.rfind('/');
    const std::string node = devicePath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (node.rfind("hidraw", 0) != 0) {
        return {};
    }
    std::ifstream in(sysfsRoot + "/class/hidraw/" + node + "/device/report_descriptor",
                     std::ios::binary);
    // Through the stream, whose read turns a failing file (a folder, an I/O
    // error) into a short read; a buffer iterator would throw out of the module.
    std::vector<std::uint8_t> descriptor;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        descriptor.insert(descriptor.end(), chunk, chunk + in.gcount());
    }
    return descriptor;
}

}  // namespace keyscope::hid
