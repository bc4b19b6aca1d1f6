#include "sim/Recording.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

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

// A whole number written as plain digits, at most `limit`.
std::optional<std::uint64_t> readNumber(std::string_view text, std::uint64_t limit) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end || value > limit) {
        return std::nullopt;
    }
    return value;
}

struct Header {
    bool utc = false;
    int keyCount = 0;
    std::size_t fieldCount = 0;
};

std::optional<Header> readHeader(std::string_view line, std::string& error) {
    const std::vector<std::string_view> fields = splitFields(line);
    Header header;
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

// One row into `row`, or the reason it is malformed. `counts` gets -1 for an empty cell.
std::string readRow(std::string_view line, const Header& header, std::int64_t previousMs,
                    RecordingRow& row, std::array<std::int32_t, kSimKeyCount>& counts) {
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() != header.fieldCount) {
        return std::to_string(fields.size()) + " fields where the header has " +
               std::to_string(header.fieldCount);
    }
    std::size_t at = header.utc ? 1 : 0;
    const auto elapsed = readNumber(fields[at], 1'000'000'000'000'000);
    if (!elapsed) {
        return "elapsed_ms " + quote(fields[at]) + " is not a whole number of milliseconds";
    }
    row.elapsedMs = static_cast<std::int64_t>(*elapsed);
    if (row.elapsedMs < previousMs) {
        return "elapsed_ms goes back from " + std::to_string(previousMs) + " to " +
               std::to_string(row.elapsedMs);
    }
    counts.fill(-1);
    for (int k = 0; k < header.keyCount; ++k) {
        const std::string_view cell = fields[++at];
        if (cell.empty()) {
            continue;
        }
        const auto count = readNumber(cell, 0xFFFF);
        if (!count) {
            return "TK" + std::to_string(k) + " " + quote(cell) + " is not a count (0 to 65535)";
        }
        counts[k] = static_cast<std::int32_t>(*count);
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
void fillEmptyCells(Recording& recording,
                    const std::vector<std::array<std::int32_t, kSimKeyCount>>& cells) {
    for (int k = 0; k < recording.keyCount; ++k) {
        std::int32_t carried = -1;
        for (const auto& row : cells) {
            if (row[k] >= 0) {
                carried = row[k];
                break;
            }
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (cells[i][k] >= 0) {
                carried = cells[i][k];
                recording.reported[k] = true;
            }
            const auto value = static_cast<std::uint16_t>(carried < 0 ? 0 : carried);
            recording.rows[i].counts[k] = value;
            recording.largest[k] = std::max(recording.largest[k], value);
        }
    }
}

}  // namespace

std::string Recording::where(int line, std::string_view what) const {
    return name + ":" + std::to_string(line) + ": " + std::string(what);
}

RecordingLoad parseRecording(std::string_view text, std::string name) {
    RecordingLoad load;
    Recording recording;
    recording.name = std::move(name);
    std::optional<Header> header;
    std::vector<std::array<std::int32_t, kSimKeyCount>> cells;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++lineNumber;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        std::string error;
        if (!header) {
            header = readHeader(line, error);
            if (!header) {
                load.error = recording.where(lineNumber, error);
                return load;
            }
            recording.keyCount = header->keyCount;
            continue;
        }
        if (line.empty()) {
            continue;  // a trailing newline or a blank line between rows
        }
        RecordingRow row;
        row.line = lineNumber;
        std::array<std::int32_t, kSimKeyCount> counts{};
        const std::int64_t previous = recording.rows.empty() ? 0 : recording.rows.back().elapsedMs;
        error = readRow(line, *header, previous, row, counts);
        if (!error.empty()) {
            load.error = recording.where(lineNumber, error);
            return load;
        }
        recording.rows.push_back(row);
        cells.push_back(counts);
    }
    if (!header) {
        load.error = recording.where(1, "empty, not a recording");
        return load;
    }
    if (recording.rows.empty()) {
        load.error = recording.where(lineNumber + 1, "no rows after the header");
        return load;
    }
    fillEmptyCells(recording, cells);
    load.recording = std::move(recording);
    return load;
}

RecordingLoad loadRecording(const std::string& path) {
    RecordingLoad load;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        load.error = path + ": cannot open: " + std::strerror(errno);
        return load;
    }
    std::string text;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
    }
    if (std::ferror(file.get())) {
        load.error = path + ": cannot read: " + std::strerror(errno);
        return load;
    }
    return parseRecording(text, path);
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
