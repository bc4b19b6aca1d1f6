// Linux keeps every hidraw node's report descriptor in sysfs, readable without
// opening the device, so a candidate is identified before anything is written to it.
#include <fstream>
#include <iterator>

#include "hid/ReportDescriptor.h"

namespace keyscope::hid {

std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath) {
    const auto slash = devicePath.rfind('/');
    const std::string node = devicePath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (node.rfind("hidraw", 0) != 0) {
        return {};
    }
    std::ifstream in("/sys/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace keyscope::hid
