#pragma once
// What the board's 64-byte HID reports carry, taken into the channel model.
// The connection reads the reports and decides what follows a first half.

#include <cstdint>
#include <span>

#include "device/ChannelModel.h"
#include "device/HidReport.h"

namespace keyscope {

using HidReportBytes = std::span<const std::uint8_t, report::kSize>;

// What a typed report holds, by its type byte.
enum class TypedReport {
    Bytes,       // sixteen 8-bit values
    FirstHalf,   // TK0..TK7 as 16-bit values; the next report of the kind has the rest
    SecondHalf,  // TK8..TK15 as 16-bit values
    Unknown,     // nothing to take
};

// A plain board's data report: the key code, and the counts (rule raise)
// unless the first count is 0, which means the report carries none.
void takePlainCounts(ChannelModel& model, HidReportBytes report);
// A typed board's data report: the key code, and the counts it holds (rule
// raise for bytes, leave for halves).
[[nodiscard]] TypedReport takeTypedCounts(ChannelModel& model, HidReportBytes report);

// Key or max values into `field` of the records, from bytes 1..16 of any
// report (a plain board's only form).
void takeByteValues(ChannelModel& model, HidReportBytes report, std::int32_t ChannelRecord::*field);
// Key or max values into `field` from a typed report, whatever its form.
[[nodiscard]] TypedReport takeTypedValues(ChannelModel& model, HidReportBytes report,
                                          std::int32_t ChannelRecord::*field);

}  // namespace keyscope
