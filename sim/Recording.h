#pragma once
// A raw recording of keyscope-record read back for replay: the header
//   [utc,]elapsed_ms,TK0,...,TKn-1,key_code
// and one row per poll. The text is untrusted: every fault is refused with
// the file, the line and what is wrong, never a crash.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SignalModel.h"

namespace keyscope::sim {

struct RecordingRow {
    std::int64_t elapsedMs = 0;
    // A key's count; a cell left empty (the key had not reported yet) holds
    // the key's next count in the file, or 0 when it never has one.
    std::array<std::uint16_t, kSimKeyCount> counts{};
    std::uint8_t keyCode = 0;
    int line = 0;  // 1-based line of the file
};

struct Recording {
    std::string name;                // as given to the reader; names the file in messages
    int keyCount = 0;                // TK0 .. TK(keyCount - 1)
    std::vector<RecordingRow> rows;  // at least one
    std::array<bool, kSimKeyCount> reported{};  // keys with at least one count
    std::array<std::uint16_t, kSimKeyCount> largest{};

    // "<name>:<line>: <what>", the form of every refusal.
    std::string where(int line, std::string_view what) const;
};

// A recording, or the one-line reason it was refused.
struct RecordingLoad {
    std::optional<Recording> recording;
    std::string error;
};

// Counts above 65535, key codes above 255, elapsed times that go back and
// more than sixteen keys are refused, as is a --diff recording.
RecordingLoad parseRecording(std::string_view text, std::string name);
RecordingLoad loadRecording(const std::string& path);

// Empty when every count fits a link that carries at most maxCount
// (described as `carrier` in the refusal), else the refusal for the first row that does not.
std::string checkRecordingFits(const Recording& recording, int maxCount, std::string_view carrier);

}  // namespace keyscope::sim
