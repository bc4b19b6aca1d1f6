#pragma once
// The SNR test's report, one writer for the dashboard's test window and the
// recorder: the CSV and the JSON for scripts and the plain-text table the
// recorder prints, all from the same cell texts, so they always agree.
// Standard library only; the PDF page is SnrReportPdf's.

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "device/SnrTest.h"

namespace keyscope {

class BoardConnection;

// How a report names the link: "serial COM1, 9600 baud", "ICE, 16 keys at 0x30 in IRAM"
// (a HID board is "USB HID").
std::string serialLinkText(const std::string& port, int baud);
std::string iceLinkText(std::uint32_t keys, std::uint32_t address, bool iram);

struct SnrReport {
    SnrResults results;
    std::string link;   // how the board was reached: "USB HID", "serial COM1, 9600 baud", ...
    std::string board;  // what kind of board answered (boardKind)
    // The chip settings bytes as last read from the board.
    std::uint8_t triggerLevel = 0;
    std::uint8_t preScale = 0;
    std::uint8_t tktmr = 0;
    std::int64_t utcMs = 0;  // when the test ended, milliseconds since 1970
};

// The kind of board a link mode and value width mean, in words.
std::string boardKind(std::int32_t linkMode, bool byteValues);
// A report of the results over the open board: its kind and chip settings bytes.
SnrReport snrReportFor(const BoardConnection& board, std::string link, SnrResults results,
                       std::int64_t utcMs);

// The columns of the CSV, and of the table in the same order.
inline constexpr std::array<const char*, 10> kSnrColumns{
    "key", "untouched_mean", "noise_pp",   "noise_rms", "touched_mean", "signal",
    "snr", "margin_in",      "margin_out", "result"};
// One key's cells as the CSV writes them: figures with one decimal (the SNR with
// two), "inf" for an SNR without noise, empty where unknown; the margins in
// counts; the result "PASS", "FAIL" or "FAIL (not measured: <reason>)".
std::array<std::string, kSnrColumns.size()> snrCells(const SnrKeyResult& key);
// The same cells as a page shows them: a dash where unknown, "!" after a margin
// at or below zero.
std::array<std::string, kSnrColumns.size()> snrShownCells(const SnrKeyResult& key);
// Whether any key has a margin at or below zero: the "!" then wants its legend.
bool anyMarginMarked(const SnrResults& results);

// The header line, then one line per key in the test's order.
std::string snrCsv(const SnrReport& report);
// The figures as in the CSV (numbers, null where unknown, "inf" as a string),
// with the settings, link, board, chip settings, UTC time and suggestion.
std::string snrJson(const SnrReport& report);
// The results as the recorder prints them: the columns of the CSV lined up, a
// dash where unknown, "!" after a margin at or below zero; then the flagged
// keys, the suggested level with its rule and warning (or why there is none),
// and how many keys passed (snrNotes).
std::string snrTable(const SnrResults& results);
// The lines under the table, each ending in a line break: the flagged keys, the
// legend of "!" when a margin is marked, the suggestion and its warning, and
// how many keys passed under which settings.
std::string snrNotes(const SnrResults& results);

// The lines every face shows under the table: the suggestion and its warning.
std::string suggestionLine(const SnrSuggestion& suggestion);
std::string settingsLine(const SnrSettings& settings);

// "2026-12-05 21:04:05 UTC".
std::string utcText(std::int64_t msSinceEpoch);

enum class SnrReportFormat { Pdf, Csv, Json };
// By the file name's extension, in any case; none for any other name.
std::optional<SnrReportFormat> snrReportFormatOf(const std::string& path);
// ".pdf", ".csv", ".json".
const char* snrReportExtension(SnrReportFormat format);

}  // namespace keyscope
