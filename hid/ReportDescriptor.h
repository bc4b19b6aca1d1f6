#pragma once
// What a HID report descriptor declares, as far as telling a demo board from
// any other device with the same product id needs. Standard library only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keyscope::hid {

inline constexpr std::size_t kBoardReportBytes = 64;

// True when the descriptor declares an unnumbered 64-byte input report and an
// unnumbered 64-byte output report, as the board's framing needs. Any bytes
// are safe to pass: a malformed descriptor declares nothing.
bool declaresBoardReports(const std::uint8_t* descriptor, std::size_t size);

// The descriptor of a hidraw node ("/dev/hidraw3"), from where the platform
// keeps it (sysfs, mounted at `sysfsRoot`); empty when it cannot be read.
std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath);
std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath,
                                             const std::string& sysfsRoot);

}  // namespace keyscope::hid
