#include "sim/Recording.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace keyscope::sim {

namespace {

constexpr std::size_t kQuoteLimit = 24;

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(comma + 1);
    }
}

// The cell as it may appear in a one-line message: printable and short.
std::string quote(std::string_view text) {
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < kQuoteLimit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    if (text.size() > kQuoteLimit) {
        out += "...";
    }
    return out + "'";
}

enum class Number { Read, NotWhole, TooLarge };

// A whole number written as plain digits, at most `limit`.
Number readNumber(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || at != end ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return Number::NotWhole;
    }
    return error == std::errc::result_out_of_range || value > limit ? Number::TooLarge
                                                                    : Number::Read;
}

// A count or key code: anything but a whole number up to `limit` is refused alike.
std::optional<std::uint64_t> readNumber(std::string_view text, std::uint64_t limit) {
    std::uint64_t value = 0;
    if (readNumber(text, limit, value) != Number::Read) {
        return std::nullopt;
    }
    return value;
}

constexpr std::uint64_t kMaxElapsedMs = 1'000'000'000'000'000;  // some 30,000 years
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 65536;

std::optional<RecordingHeader> readHeader(std::string_view line, std::string& error) {
    const std::vector<std::string_view> fields = splitFields(line);
    RecordingHeader header;
    std::size_t at = 0;
    if (fields[at] == "utc") {
        header.utc = true;
        ++at;
    }
    bool keysWellFormed = at < fields.size() && fields[at] == "elapsed_ms";
    for (++at; keysWellFormed && at + 1 < fields.size(); ++at) {
        if (fields[at].starts_with("dTK")) {
            error =
                "a --diff recording holds differences, not counts; replay a recording made "
                "without --diff";
            return std::nullopt;
        }
        keysWellFormed = fields[at] == "TK" + std::to_string(header.keyCount);
        ++header.keyCount;
    }
    if (!keysWellFormed || at >= fields.size() || fields[at] != "key_code" ||
        header.keyCount == 0) {
        error = "not a recording's header (expected [utc,]elapsed_ms,TK0,...,key_code)";
        return std::nullopt;
    }
    if (header.keyCount > kSimKeyCount) {
        error = std::to_string(header.keyCount) + " keys, more than the sixteen a board carries";
        return std::nullopt;
    }
    header.fieldCount = fields.size();
    return header;
}

// One row into `row`, or the reason it is malformed. A key whose cell is
// empty gets its bit in `emptyCells`.
std::string readRow(std::string_view line, const RecordingHeader& header, std::int64_t previousMs,
                    RecordingRow& row, std::uint16_t& emptyCells) {
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() != header.fieldCount) {
        return std::to_string(fields.size()) + " fields where the header has " +
               std::to_string(header.fieldCount);
    }
    std::size_t at = header.utc ? 1 : 0;
    std::uint64_t elapsed = 0;
    switch (readNumber(fields[at], kMaxElapsedMs, elapsed)) {
        case Number::NotWhole:
            return "elapsed_ms " + quote(fields[at]) + " is not a whole number of milliseconds";
        case Number::TooLarge:
            return "elapsed_ms " + quote(fields[at]) + " is too large (at most " +
                   std::to_string(kMaxElapsedMs) + ")";
        case Number::Read:
            break;
    }
    row.elapsedMs = static_cast<std::int64_t>(elapsed);
    if (row.elapsedMs < previousMs) {
        return "elapsed_ms goes back from " + std::to_string(previousMs) + " to " +
               std::to_string(row.elapsedMs);
    }
    emptyCells = 0;
    for (int k = 0; k < header.keyCount; ++k) {
        const std::string_view cell = fields[++at];
        if (cell.empty()) {
            emptyCells |= static_cast<std::uint16_t>(1u << k);
            continue;
        }
        const auto count = readNumber(cell, 0xFFFF);
        if (!count) {
            return "TK" + std::to_string(k) + " " + quote(cell) + " is not a count (0 to 65535)";
        }
        row.counts[k] = static_cast<std::uint16_t>(*count);
    }
    const auto keyCode = readNumber(fields[++at], 0xFF);
    if (!keyCode) {
        return "key_code " + quote(fields[at]) + " is not a key code (0 to 255)";
    }
    row.keyCode = static_cast<std::uint8_t>(*keyCode);
    return {};
}

// An empty cell takes the key's next count (the key had not reported yet), or
// its last one when a count came before.
void fillEmptyCells(Recording& recording, const std::vector<std::uint16_t>& emptyCells) {
    std::vector<RecordingRow>& rows = recording.rows;
    for (int k = 0; k < recording.keyCount; ++k) {
        const auto bit = static_cast<std::uint16_t>(1u << k);
        const auto first = std::find_if(emptyCells.begin(), emptyCells.end(),
                                        [bit](std::uint16_t empty) { return (empty & bit) == 0; });
        std::uint16_t carried =
            first == emptyCells.end()
                ? 0
                : rows[static_cast<std::size_t>(first - emptyCells.begin())].counts[k];
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if ((emptyCells[i] & bit) == 0) {
                carried = rows[i].counts[k];
                recording.reported[k] = true;
            }
            rows[i].counts[k] = carried;
            recording.largest[k] = std::max(recording.largest[k], carried);
        }
    }
}

// "64 MiB", or the bytes when the limit is no whole number of MiB.
std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return bytes % kMiB == 0 && bytes > 0 ? std::to_string(bytes / kMiB) + " MiB"
                                          : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string Recording::where(int line, std::string_view what) const {
    return name + ":" + std::to_string(line) + ": " + std::string(what);
}

RecordingReader::RecordingReader(std::string name, RecordingLimits limits) : limits_(limits) {
    recording_.name = std::move(name);
}

bool RecordingReader::refuse(int line, std::string_view what) {
    error_ = recording_.where(line, what);
    return false;
}

bool RecordingReader::feed(std::string_view bytes) {
    if (!error_.empty()) {
        return false;
    }
    const bool beyond = bytes.size() > limits_.maxBytes - bytes_;
    if (beyond) {
        bytes = bytes.substr(0, limits_.maxBytes - bytes_);
    }
    bytes_ += bytes.size();
    while (!bytes.empty()) {
        if (afterCr_) {
            afterCr_ = false;
            if (bytes.front() == '\n') {  // the rest of a CRLF
                bytes.remove_prefix(1);
                continue;
            }
        }
        const std::size_t end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            partial_.append(bytes);
            break;
        }
        afterCr_ = bytes[end] == '\r';
        bool taken = false;
        if (partial_.empty()) {
            taken = takeLine(bytes.substr(0, end));
        } else {
            partial_.append(bytes.substr(0, end));
            taken = takeLine(partial_);
            partial_.clear();
        }
        if (!taken) {
            return false;
        }
        bytes.remove_prefix(end + 1);
    }
    if (beyond) {
        return refuse(line_,
                      "more than " + sizeText(limits_.maxBytes) + ", the most a replay reads");
    }
    return true;
}

bool RecordingReader::takeLine(std::string_view line) {
    const int number = line_++;
    if (!header_) {
        if (number == 1 && line.starts_with(kByteOrderMark)) {
            line.remove_prefix(kByteOrderMark.size());
        }
        std::string error;
        header_ = readHeader(line, error);
        if (!header_) {
            return refuse(number, error);
        }
        recording_.keyCount = header_->keyCount;
        return true;
    }
    if (line.empty()) {
        return true;  // a trailing newline or a blank line between rows
    }
    if (recording_.rows.size() >= limits_.maxRows) {
        return refuse(number, "more than " + std::to_string(limits_.maxRows) +
                                  " rows, the most a replay takes");
    }
    RecordingRow row;
    row.line = number;
    std::uint16_t emptyCells = 0;
    const std::int64_t previous = recording_.rows.empty() ? 0 : recording_.rows.back().elapsedMs;
    const std::string error = readRow(line, *header_, previous, row, emptyCells);
    if (!error.empty()) {
        return refuse(number, error);
    }
    recording_.rows.push_back(row);
    emptyCells_.push_back(emptyCells);
    return true;
}

RecordingLoad RecordingReader::finish() {
    RecordingLoad load;
    if (error_.empty() && !partial_.empty()) {
        takeLine(partial_);  // the last line, without a line end
        partial_.clear();
    }
    if (error_.empty() && !header_) {
        refuse(1, "empty, not a recording");
    }
    if (error_.empty() && recording_.rows.empty()) {
        refuse(line_, "no rows after the header");
    }
    if (!error_.empty()) {
        load.error = error_;
        return load;
    }
    fillEmptyCells(recording_, emptyCells_);
    load.recording = std::move(recording_);
    return load;
}

RecordingLoad parseRecording(std::string_view text, std::string name, RecordingLimits limits) {
    RecordingReader reader(std::move(name), limits);
    reader.feed(text);
    return reader.finish();
}

RecordingLoad readRecording(int fd, const std::string& name, RecordingLimits limits) {
    RecordingReader reader(name, limits);
    std::string buffer(kReadChunk, '\0');
    // One byte past the limit tells a text beyond it from one that fills it.
    std::size_t room = std::max(limits.maxBytes, limits.maxBytes + 1);
    while (room > 0) {
        // Wait first: a FIFO opened before its writer reads as ended until one comes.
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, -1) < 0) {
            if (errno == EINTR) {
                return {std::nullopt, name + ": reading stopped by a signal"};
            }
            return {std::nullopt, name + ": cannot read: " + std::strerror(errno)};
        }
        const ssize_t got = ::read(fd, buffer.data(), std::min(buffer.size(), room));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            if (errno == EINTR) {
                return {std::nullopt, name + ": reading stopped by a signal"};
            }
            return {std::nullopt, name + ": cannot read: " + std::strerror(errno)};
        }
        room -= static_cast<std::size_t>(got);
        if (!reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            break;
        }
    }
    return reader.finish();
}

RecordingLoad loadRecording(const std::string& path, RecordingLimits limits) {
    // Non-blocking, so that a FIFO without a writer does not hold the open,
    // which SA_RESTART would restart through every Ctrl-C.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {std::nullopt, path + ": cannot open: " + std::strerror(errno)};
    }
    RecordingLoad load = readRecording(fd, path, limits);
    ::close(fd);
    return load;
}

std::string checkRecordingFits(const Recording& recording, int maxCount, std::string_view carrier) {
    for (const RecordingRow& row : recording.rows) {
        for (int k = 0; k < recording.keyCount; ++k) {
            if (row.counts[k] > maxCount) {
                return recording.where(
                    row.line, "TK" + std::to_string(k) + " count " + std::to_string(row.counts[k]) +
                                  " is more than " + std::string(carrier) + " carry (at most " +
                                  std::to_string(maxCount) + ")");
            }
        }
    }
    return {};
}

}  // namespace keyscope::sim
