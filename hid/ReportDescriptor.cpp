#include "hid/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace keyscope::hid {
namespace {

// Item tags of the short items this needs (HID 1.11, 6.2.2.4 and 6.2.2.7).
enum : std::uint8_t {
    kTypeMain = 0,
    kTypeGlobal = 1,
    kMainInput = 0x8,
    kMainOutput = 0x9,
    kGlobalReportSize = 0x7,
    kGlobalReportId = 0x8,
    kGlobalReportCount = 0x9,
    kGlobalPush = 0xA,
    kGlobalPop = 0xB,
};
constexpr std::uint8_t kLongItem = 0xFE;
constexpr std::size_t kMaxPushDepth = 16;
// Totals beyond this are no 64-byte report; capping keeps the sums from overflowing.
constexpr std::uint64_t kBitsCap = std::uint64_t{1} << 40;

struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct Bits {
    std::uint64_t input = 0;
    std::uint64_t output = 0;
};

void add(std::uint64_t& total, const Globals& g) {
    const std::uint64_t bits = std::uint64_t{g.reportSize} * g.reportCount;
    total = std::min(kBitsCap, total + std::min(kBitsCap, bits));
}

}  // namespace

bool declaresBoardReports(const std::uint8_t* descriptor, std::size_t size) {
    if (descriptor == nullptr) {
        return false;
    }
    Globals globals;
    std::array<Globals, kMaxPushDepth> stack{};
    std::size_t depth = 0;
    std::map<std::uint32_t, Bits> reports;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == kLongItem) {
            if (at + 1 >= size) {
                return false;
            }
            at += 3 + descriptor[at + 1];
            continue;
        }
        const std::size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (at + 1 + dataSize > size) {
            return false;  // an item cut off by the end
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i) {
            value |= std::uint32_t{descriptor[at + 1 + i]} << (8 * i);
        }
        const std::uint8_t type = (prefix >> 2) & 3;
        const std::uint8_t tag = prefix >> 4;
        if (type == kTypeMain && (tag == kMainInput || tag == kMainOutput)) {
            Bits& bits = reports[globals.reportId];
            add(tag == kMainInput ? bits.input : bits.output, globals);
        } else if (type == kTypeGlobal) {
            switch (tag) {
                case kGlobalReportSize:
                    globals.reportSize = value;
                    break;
                case kGlobalReportCount:
                    globals.reportCount = value;
                    break;
                case kGlobalReportId:
                    globals.reportId = value;
                    break;
                case kGlobalPush:
                    if (depth == kMaxPushDepth) {
                        return false;
                    }
                    stack[depth++] = globals;
                    break;
                case kGlobalPop:
                    if (depth == 0) {
                        return false;
                    }
                    globals = stack[--depth];
                    break;
                default:
                    break;
            }
        }
        at += 1 + dataSize;
    }
    const auto unnumbered = reports.find(0);
    constexpr std::uint64_t kBoardBits = kBoardReportBytes * 8;
    return unnumbered != reports.end() && unnumbered->second.input == kBoardBits &&
           unnumbered->second.output == kBoardBits;
}

}  // namespace keyscope::hid
