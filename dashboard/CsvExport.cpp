#include "dashboard/CsvExport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace keyscope {

std::string csvFilePath(const std::string& directory, const std::tm& localTime,
                        std::string_view suffix) {
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d_%H%M", &localTime);
    return directory + "/" + name + std::string(suffix) + ".csv";
}

std::string csvFilePathNow(std::string_view suffix) {
    char directory[4096];
    const std::string folder = ::getcwd(directory, sizeof directory) ? directory : "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return csvFilePath(folder, local, suffix);
}

std::string csvContent(const BoardConnection& board, bool rawMode) {
    std::string text = kCsvHeader;
    const std::size_t rows = board.getChannel(0)->samples.size();
    char number[24];
    for (std::size_t i = 0; i < rows; ++i) {
        std::snprintf(number, sizeof number, "%zu,", i);
        text += number;
        for (int k = 0; k < kChannelCount; ++k) {
            const auto& samples = board.getChannel(k)->samples;
            if (i >= samples.size()) {
                continue;  // no sample here: not even its separator
            }
            const KeySample& s = samples[i];
            std::snprintf(number, sizeof number, "%d%s", rawMode ? s.value : s.diff,
                          k < kChannelCount - 1 ? "," : "\r\n");
            text += number;
        }
    }
    return text;
}

CsvSave saveCsv(const BoardConnection& board, bool rawMode, const std::string& path,
                Messages& messages) {
    if (!board.isOpen() || board.getChannel(0)->samples.empty()) {
        return CsvSave::NothingToSave;
    }
    return writeCsvFile(path, csvContent(board, rawMode), messages);
}

CsvSave writeCsvFile(const std::string& path, const std::string& content, Messages& messages) {
    // Emptied only once the lock is held: a file that another writer holds keeps its bytes.
    // Devices and pipes have nothing to empty.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    struct stat info {};
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0 ||
        (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0)) {
        if (fd >= 0) {
            ::close(fd);
        }
        messages.plain("Cannot Create csv file");
        return CsvSave::CreateFailed;
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing could be written";
            ::close(fd);
            messages.show("An error occurred while writing " + path + ".\n" + reason, {},
                          MessageIcon::Exclamation);
            return CsvSave::WriteFailed;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        messages.show("An error occurred while writing " + path + ".\n" + std::strerror(errno), {},
                      MessageIcon::Exclamation);
        return CsvSave::WriteFailed;
    }
    return CsvSave::Saved;
}

CsvSave saveCsvNow(const BoardConnection& board, bool rawMode, Messages& messages) {
    return saveCsv(board, rawMode, csvFilePathNow(), messages);
}

}  // namespace keyscope
