#include "dashboard/CommandLine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace keyscope {

namespace {

struct ChipEntry {
    std::string_view code;
    ChipInfo info;
};

constexpr std::array<ChipEntry, 12> kChips = {{
    {"6620", {0, 16}},
    {"5117", {1, 16}},
    {"5123", {2, 16}},
    {"5138", {3, 12}},
    {"5149", {4, 14}},
    {"5151", {6, 14}},
    {"5167", {4, 14}},
    {"5172", {16, 14}},
    {"5185", {18, 14}},
    {"5190", {19, 15}},
    {"5203", {20, 15}},
    {"5211", {2, 16}},
}};

std::vector<std::string> splitAtSpaces(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        fields.emplace_back(line.substr(start, space - start));
        if (space == std::string_view::npos) {
            return fields;
        }
        start = space + 1;
    }
}

// Reading stops at the first character outside the number; no number reads as 0.
long decimal(const std::string& field) {
    return std::strtol(field.c_str(), nullptr, 10);
}

unsigned long long hexadecimal(const std::string& field) {
    return std::strtoull(field.c_str(), nullptr, 16);
}

}  // namespace

ChipInfo chipInfo(std::string_view chipCode) {
    for (const ChipEntry& entry : kChips) {
        if (entry.code == chipCode) {
            return entry.info;
        }
    }
    return {};
}

TargetCommandLine parseTargetCommandLine(std::string_view line) {
    TargetCommandLine target;
    if (line.empty()) {
        return target;
    }
    const std::vector<std::string> fields = splitAtSpaces(line);
    target.fieldCount = static_cast<int>(fields.size());
    if (!target.namesTarget()) {
        return target;
    }
    const ChipInfo chip = chipInfo(fields[0]);
    target.selector = chip.selector;
    const std::string& address = fields[1];
    const bool hex =
        address.size() >= 2 && address[0] == '0' && (address[1] == 'x' || address[1] == 'X');
    target.address =
        static_cast<std::uint32_t>(hex ? hexadecimal(address.substr(2)) : decimal(address));
    const long count = decimal(fields[2]);
    // A negative count reads as no keys at all.
    target.channelCount =
        static_cast<std::uint32_t>(std::clamp<long>(count, 0, std::min<long>(16, chip.maxKeys)));
    target.iramSpace = fields[3] == "IRAM" ? 1 : 0;
    if (fields.size() >= 5) {
        target.valueWidth = static_cast<std::uint32_t>(decimal(fields[4]));
    }
    if (fields.size() >= 8) {
        target.notifyWindow = hexadecimal(fields[5]);
        target.notifyMessage = static_cast<std::uint32_t>(hexadecimal(fields[6]));
        target.notifyParam = static_cast<std::uint32_t>(hexadecimal(fields[7]));
    }
    if (fields.size() >= 9) {
        target.icePercent = static_cast<std::int32_t>(decimal(fields[8]));
    }
    return target;
}

}  // namespace keyscope
