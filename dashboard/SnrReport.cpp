#include "dashboard/SnrReport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "device/BoardConnection.h"

namespace keyscope {

namespace {

constexpr std::size_t kResultColumn = kSnrColumns.size() - 1;
constexpr std::size_t kMarginInColumn = 7;
constexpr std::size_t kMarginOutColumn = 8;

// The shortest digits that read back as the same number, with a dot whatever the locale.
std::string shortest(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string count(const std::optional<std::int32_t>& value) {
    return value ? std::to_string(*value) : std::string();
}

std::string keyName(int key) {
    return "TK" + std::to_string(key);
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A cell of the CSV as a JSON value: null where empty, a string where it is no number.
std::string jsonValue(const std::string& cell) {
    if (cell.empty()) {
        return "null";
    }
    return cell == "inf" || cell == "-inf" ? jsonString(cell) : cell;
}

std::string utcFormat(std::int64_t msSinceEpoch, const char* format) {
    const std::time_t seconds = static_cast<std::time_t>(msSinceEpoch / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// Wide enough for the name and for any figure ("1234.5", "13.99!").
std::size_t columnWidth(std::size_t column) {
    return column == 0 ? 4 : std::max<std::size_t>(std::string_view(kSnrColumns[column]).size(), 7);
}

bool marked(const std::optional<std::int32_t>& margin) {
    return margin && *margin <= 0;
}

}  // namespace

std::string boardKind(std::int32_t linkMode, bool byteValues) {
    switch (linkMode) {
        case kLinkHidTyped:
            return byteValues ? "typed reports (0x55), 8-bit counts"
                              : "typed reports (0x85/0xC5), 16-bit counts";
        case kLinkHidPlain:
            return "plain reports, 8-bit counts";
        case kLinkSerial:
            return "streaming board, frames 0xF0/0xF1";
        case kLinkIce:
            return byteValues ? "ICE target, 8-bit counts" : "ICE target, 16-bit counts";
        default:
            return "unknown";
    }
}

SnrReport snrReportFor(const BoardConnection& board, std::string link, SnrResults results,
                       std::int64_t utcMs) {
    SnrReport report;
    report.results = std::move(results);
    report.link = std::move(link);
    report.board = boardKind(board.linkMode(), board.isByteValues() != 0);
    report.triggerLevel = static_cast<std::uint8_t>(board.getTriggerLevel());
    report.preScale = static_cast<std::uint8_t>(board.getPreScale());
    report.tktmr = static_cast<std::uint8_t>(board.getTktmr());
    report.utcMs = utcMs;
    return report;
}

std::array<std::string, kSnrColumns.size()> snrCells(const SnrKeyResult& key) {
    const KeyFigures& f = key.figures;
    std::string result = key.passed() ? "PASS" : "FAIL";
    if (!key.measured()) {
        result += " (not measured: " + key.reason + ")";
    }
    return {keyName(key.key),
            formatFigure(key.untouchedMean, ""),
            formatFigure(f.noisePp, ""),
            formatFigure(f.noiseRms, ""),
            formatFigure(key.touchedMean, ""),
            formatFigure(f.signal, ""),
            formatFigure(f.snr, "", 2),
            count(key.marginIn),
            count(key.marginOut),
            result};
}

std::array<std::string, kSnrColumns.size()> snrShownCells(const SnrKeyResult& key) {
    auto cells = snrCells(key);
    cells[kMarginInColumn] += marked(key.marginIn) ? "!" : "";
    cells[kMarginOutColumn] += marked(key.marginOut) ? "!" : "";
    for (std::string& cell : cells) {
        cell = cell.empty() ? "-" : cell;
    }
    return cells;
}

bool anyMarginMarked(const SnrResults& results) {
    return std::any_of(results.keys.begin(), results.keys.end(), [](const SnrKeyResult& k) {
        return marked(k.marginIn) || marked(k.marginOut);
    });
}

std::string snrCsv(const SnrReport& report) {
    std::string text;
    for (const char* column : kSnrColumns) {
        text += text.empty() ? "" : ",";
        text += column;
    }
    text += "\n";
    for (const SnrKeyResult& key : report.results.keys) {
        std::string line;
        for (const std::string& cell : snrCells(key)) {
            line += line.empty() ? cell : "," + cell;
        }
        text += line + "\n";
    }
    return text;
}

std::string snrJson(const SnrReport& report) {
    const SnrResults& r = report.results;
    const SnrSettings& s = r.settings;
    std::string json = "{\n";
    json += "  \"time_utc\": " + jsonString(utcFormat(report.utcMs, "%Y-%m-%dT%H:%M:%SZ")) + ",\n";
    json += "  \"link\": " + jsonString(report.link) + ",\n";
    json += "  \"board\": " + jsonString(report.board) + ",\n";
    json += "  \"chip_settings\": {\"trigger_level\": " + std::to_string(report.triggerLevel) +
            ", \"pre_scale\": " + std::to_string(report.preScale) +
            ", \"tktmr\": " + std::to_string(report.tktmr) + "},\n";
    json +=
        "  \"settings\": {\"quiet_seconds\": " + shortest(static_cast<double>(s.quietMs) / 1000.0) +
        ", \"touched_readings\": " + std::to_string(s.touchedReadings) +
        ", \"snr_limit\": " + shortest(s.snrLimit) +
        ", \"touch_timeout_seconds\": " + shortest(static_cast<double>(s.touchTimeoutMs) / 1000.0) +
        "},\n";
    json += "  \"quiet_runs\": " + std::to_string(r.quietRuns) + ",\n";
    json += "  \"keys\": [";
    for (std::size_t i = 0; i < r.keys.size(); ++i) {
        const SnrKeyResult& key = r.keys[i];
        const auto cells = snrCells(key);
        json += i == 0 ? "\n    {" : ",\n    {";
        json += "\"key\": " + jsonString(cells[0]);
        for (std::size_t c = 1; c < kResultColumn; ++c) {
            json += std::string(", \"") + kSnrColumns[c] + "\": " + jsonValue(cells[c]);
        }
        json += ", \"result\": " + jsonString(cells[kResultColumn]) +
                ", \"passed\": " + (key.passed() ? "true" : "false") +
                ", \"quiet_readings\": " + std::to_string(key.quietReadings) +
                ", \"excluded_readings\": " + std::to_string(key.excludedReadings) +
                ", \"touched_during_quiet_phase\": " + (key.touchedWhileQuiet ? "true" : "false") +
                ", \"touched_readings\": " + std::to_string(key.touchedReadings) + "}";
    }
    json += "\n  ],\n";
    json += std::string("  \"all_passed\": ") + (r.allPassed() ? "true" : "false") + ",\n";
    const SnrSuggestion& g = r.suggestion;
    json += "  \"suggestion\": {\"level\": " + (g.level ? std::to_string(*g.level) : "null") +
            ", \"explanation\": " + jsonString(g.explanation) +
            ", \"warning\": " + (g.warning.empty() ? "null" : jsonString(g.warning)) + "}\n";
    return json + "}\n";
}

std::string suggestionLine(const SnrSuggestion& suggestion) {
    return suggestion.level ? "Suggested trigger level: " + std::to_string(*suggestion.level) +
                                  " (" + suggestion.explanation + ")"
                            : "No suggested trigger level: " + suggestion.explanation;
}

std::string settingsLine(const SnrSettings& settings) {
    return "quiet " + shortest(static_cast<double>(settings.quietMs) / 1000.0) + " s, " +
           std::to_string(settings.touchedReadings) + " touched readings per key, SNR limit " +
           shortest(settings.snrLimit) + ", touch time-out " +
           shortest(static_cast<double>(settings.touchTimeoutMs) / 1000.0) + " s";
}

std::string snrTable(const SnrResults& results) {
    std::string text;
    const auto pad = [](std::string_view cell, std::size_t width, bool right) {
        const std::string gap(width > cell.size() ? width - cell.size() : 0, ' ');
        return right ? gap + std::string(cell) : std::string(cell) + gap;
    };
    // The key's and the result's left-aligned, the figures right.
    const auto line = [&](const auto& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string_view cell(cells[c]);
            if (c == kResultColumn) {
                text.append(cell).append("\n");
            } else {
                text += pad(cell, columnWidth(c), c != 0) + "  ";
            }
        }
    };
    line(kSnrColumns);
    for (const SnrKeyResult& key : results.keys) {
        line(snrShownCells(key));
    }
    return text + "\n" + snrNotes(results);
}

std::string snrNotes(const SnrResults& results) {
    std::string text;
    for (const SnrKeyResult& key : results.keys) {
        if (key.touchedWhileQuiet) {
            text += keyName(key.key) + ": touched during the quiet phase (" +
                    std::to_string(key.excludedReadings) + " of " +
                    std::to_string(key.quietReadings) + " readings left out)\n";
        }
    }
    if (anyMarginMarked(results)) {
        text += "! a margin at or below zero\n";
    }
    text += suggestionLine(results.suggestion) + "\n";
    if (!results.suggestion.warning.empty()) {
        text += "Warning: " + results.suggestion.warning + "\n";
    }
    const auto passed = std::count_if(results.keys.begin(), results.keys.end(),
                                      [](const SnrKeyResult& k) { return k.passed(); });
    text += std::to_string(passed) + " of " + std::to_string(results.keys.size()) +
            " keys passed (" + settingsLine(results.settings) + ")\n";
    return text;
}

std::string serialLinkText(const std::string& port, int baud) {
    return "serial " + port + ", " + std::to_string(baud) + " baud";
}

std::string iceLinkText(std::uint32_t keys, std::uint32_t address, bool iram) {
    char text[96];
    std::snprintf(text, sizeof text, "ICE, %u keys at 0x%X%s", keys, address,
                  iram ? " in IRAM" : "");
    return text;
}

std::string utcText(std::int64_t msSinceEpoch) {
    return utcFormat(msSinceEpoch, "%Y-%m-%d %H:%M:%S UTC");
}

std::optional<SnrReportFormat> snrReportFormatOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return std::nullopt;
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const SnrReportFormat format :
         {SnrReportFormat::Pdf, SnrReportFormat::Csv, SnrReportFormat::Json}) {
        if (extension == snrReportExtension(format)) {
            return format;
        }
    }
    return std::nullopt;
}

const char* snrReportExtension(SnrReportFormat format) {
    switch (format) {
        case SnrReportFormat::Pdf:
            return ".pdf";
        case SnrReportFormat::Csv:
            return ".csv";
        case SnrReportFormat::Json:
            return ".json";
    }
    return "";
}

}  // namespace keyscope
