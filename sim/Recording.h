#pragma once
// A raw recording of keyscope-record read back for replay: the header
//   [utc,]elapsed_ms,TK0,...,TKn-1,key_code
// and one row per poll. The text is untrusted: every fault is refused with
// the file, the line and what is wrong, never a crash. Lines may end in LF,
// CRLF or CR alone, and a UTF-8 byte-order mark may come before the header, as
// spreadsheets write them.

#include <array>
#include <cstddef>
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

// The most a replay takes in. 64 MiB hold about eight hours of a sixteen-key
// recording at 20 polls a second (some 110 bytes a row with utc); a million
// rows are fourteen hours of polls and parse into some 50 MB. Both lie far
// beyond a session anyone reviews, and keep a wrong file (/dev/zero, a log)
// from filling the memory.
struct RecordingLimits {
    std::size_t maxBytes = std::size_t{64} << 20;
    std::size_t maxRows = 1'000'000;
};

// What a recording's header says of its rows.
struct RecordingHeader {
    bool utc = false;
    int keyCount = 0;
    std::size_t fieldCount = 0;
};

// Takes a recording in as it arrives, in pieces of any size, so that the text
// never has to be held whole.
class RecordingReader {
  public:
    explicit RecordingReader(std::string name, RecordingLimits limits = {});

    // The next bytes of the text. False once the recording is refused: nothing
    // more need be read. Bytes beyond maxBytes refuse it on the line they reach.
    bool feed(std::string_view bytes);
    // The end of the text: the recording, or the first refusal.
    RecordingLoad finish();

  private:
    bool takeLine(std::string_view line);
    bool refuse(int line, std::string_view what);

    Recording recording_;
    RecordingLimits limits_;
    std::optional<RecordingHeader> header_;
    std::vector<std::uint16_t> emptyCells_;  // per row, a bit for each key left empty
    std::string partial_;                    // the line being read
    std::size_t bytes_ = 0;
    int line_ = 1;  // of the next byte
    bool afterCr_ = false;
    std::string error_;
};

// Counts above 65535, key codes above 255, elapsed times that go back and
// more than sixteen keys are refused, as is a --diff recording.
RecordingLoad parseRecording(std::string_view text, std::string name, RecordingLimits limits = {});

// Reads the file as a stream, once, with no seeking and no size taken from the
// file system, so pipes (`<(...)`), FIFOs and devices read as files do. A FIFO
// waits for its writer; a signal that arrives while it waits (Ctrl-C) ends
// the load with "<path>: reading stopped by a signal". At most maxBytes + 1
// bytes are read.
RecordingLoad loadRecording(const std::string& path, RecordingLimits limits = {});
// The same from an open descriptor, which it neither closes nor seeks; `name`
// names the text in refusals.
RecordingLoad readRecording(int fd, const std::string& name, RecordingLimits limits = {});

// Empty when every count fits a link that carries at most maxCount
// (described as `carrier` in the refusal), else the refusal for the first row that does not.
std::string checkRecordingFits(const Recording& recording, int maxCount, std::string_view carrier);

}  // namespace keyscope::sim
