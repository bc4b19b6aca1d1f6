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

// "<directory>/<%Y%m%d_%H%M><suffix><extension>".
std::string timedFilePath(const std::string& directory, const std::tm& localTime,
                          std::string_view suffix, std::string_view extension);
// "<directory>/<%Y%m%d_%H%M><suffix>.csv".
std::string csvFilePath(const std::string& directory, const std::tm& localTime,
                        std::string_view suffix = {});
// Where and when files saved now are named: the current directory, the local time.
struct SaveMoment {
    std::string directory;
    std::tm localTime{};
};
SaveMoment saveMomentNow();
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

// Writes `content` to `path` whole or not at all: into a file beside it, synced,
// then renamed over it, so a full disk leaves the file as it was (or absent)
// instead of half written. Locked and reported as writeCsvFile: a file another
// writer holds, or one that cannot be created, shows "Cannot Create <kind> file";
// a failed write shows the system's reason. A path that is no regular file (a
// FIFO, a device) is written in place, as writeCsvFile writes it.
CsvSave writeFileWhole(const std::string& path, const std::string& content, std::string_view kind,
                       Messages& messages);

}  // namespace keyscope
