#pragma once
// Saves the recorded history of all sixteen keys as a CSV file: one row per
// sample position of TK0's history, counts in raw mode, differences otherwise.

#include <ctime>
#include <string>
#include <string_view>

#include "device/BoardConnection.h"
#include "device/Messages.h"

namespace keyscope {

inline constexpr const char* kCsvHeader =
    "Times,Tk0,Tk1,Tk2,Tk3,Tk4,Tk5,Tk6,Tk7,Tk8,Tk9,Tk10,Tk11,Tk12,Tk13,Tk14,Tk15\r\n";

// "<directory>/<%Y%m%d_%H%M><suffix>.csv".
std::string csvFilePath(const std::string& directory, const std::tm& localTime,
                        std::string_view suffix = {});
// csvFilePath in the current directory at the local time now.
std::string csvFilePathNow(std::string_view suffix = {});

// The whole file content for the board's current history.
std::string csvContent(const BoardConnection& board, bool rawMode);

enum class CsvSave { NothingToSave, Saved, CreateFailed, WriteFailed };

// Writes the history to `path`, replacing a file of that name. A closed
// connection or an empty TK0 history writes nothing. A create failure shows
// "Cannot Create csv file"; a write failure (a full disk) shows the system's
// reason, closes the file and keeps what was written.
CsvSave saveCsv(const BoardConnection& board, bool rawMode, const std::string& path,
                Messages& messages);

// saveCsv into the current directory, named from the local time now.
CsvSave saveCsvNow(const BoardConnection& board, bool rawMode, Messages& messages);

// Writes `content` to `path` as saveCsv does: replacing the file, holding an
// exclusive lock on it, with the same messages on failure.
CsvSave writeCsvFile(const std::string& path, const std::string& content, Messages& messages);

}  // namespace keyscope
