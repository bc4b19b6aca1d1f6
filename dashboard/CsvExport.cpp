#include "dashboard/CsvExport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace keyscope {

std::string timedFilePath(const std::string& directory, const std::tm& localTime,
                          std::string_view suffix, std::string_view extension) {
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d_%H%M", &localTime);
    return directory + "/" + name + std::string(suffix) + std::string(extension);
}

std::string csvFilePath(const std::string& directory, const std::tm& localTime,
                        std::string_view suffix) {
    return timedFilePath(directory, localTime, suffix, ".csv");
}

SaveMoment saveMomentNow() {
    char directory[4096];
    SaveMoment moment;
    moment.directory = ::getcwd(directory, sizeof directory) ? directory : "";
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &moment.localTime);
    return moment;
}

std::string csvFilePathNow(std::string_view suffix) {
    const SaveMoment now = saveMomentNow();
    return csvFilePath(now.directory, now.localTime, suffix);
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

namespace {

// A file open for writing under an exclusive lock that no other writer holds.
struct LockedFile {
    int fd = -1;  // -1: not had
    bool created = false;
    struct stat info {};
};

LockedFile openLocked(const std::string& path) {
    LockedFile file;
    file.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    file.created = file.fd >= 0;
    if (file.fd < 0 && errno == EEXIST) {
        file.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (file.fd >= 0 &&
        (::flock(file.fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(file.fd, &file.info) != 0)) {
        ::close(file.fd);
        file.fd = -1;
    }
    return file;
}

// Empty on success, else why the write stopped.
std::string writeAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? std::strerror(errno) : "nothing could be written";
        }
        written += static_cast<std::size_t>(n);
    }
    return {};
}

CsvSave writeFailed(const std::string& path, const std::string& reason, Messages& messages) {
    messages.show("An error occurred while writing " + path + ".\n" + reason, {},
                  MessageIcon::Exclamation);
    return CsvSave::WriteFailed;
}

// Writes over what the locked file holds and closes it; what was written stays on failure.
CsvSave writeInPlace(int fd, const std::string& path, const std::string& content,
                     Messages& messages) {
    const std::string reason = writeAll(fd, content);
    if (!reason.empty()) {
        ::close(fd);
        return writeFailed(path, reason, messages);
    }
    if (::close(fd) != 0) {
        return writeFailed(path, std::strerror(errno), messages);
    }
    return CsvSave::Saved;
}

}  // namespace

CsvSave writeCsvFile(const std::string& path, const std::string& content, Messages& messages) {
    // Emptied only once the lock is held: a file that another writer holds keeps its bytes.
    // Devices and pipes have nothing to empty.
    const LockedFile file = openLocked(path);
    if (file.fd < 0 || (S_ISREG(file.info.st_mode) && ::ftruncate(file.fd, 0) != 0)) {
        if (file.fd >= 0) {
            ::close(file.fd);
        }
        messages.plain("Cannot Create csv file");
        return CsvSave::CreateFailed;
    }
    return writeInPlace(file.fd, path, content, messages);
}

CsvSave writeFileWhole(const std::string& path, const std::string& content, std::string_view kind,
                       Messages& messages) {
    const LockedFile file = openLocked(path);
    if (file.fd < 0) {
        messages.plain("Cannot Create " + std::string(kind) + " file");
        return CsvSave::CreateFailed;
    }
    if (!S_ISREG(file.info.st_mode)) {
        return writeInPlace(file.fd, path, content, messages);
    }
    // Beside the file, so that the rename stays within one file system.
    const std::filesystem::path target(path);
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    std::string reason = fd < 0 ? std::strerror(errno) : writeAll(fd, content);
    if (fd >= 0) {
        // The new file takes the mode the old one had (or the one made for it now).
        if (reason.empty() && (::fchmod(fd, file.info.st_mode & 07777) != 0 || ::fsync(fd) != 0)) {
            reason = std::strerror(errno);
        }
        if (::close(fd) != 0 && reason.empty()) {
            reason = std::strerror(errno);
        }
        if (reason.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
            reason = std::strerror(errno);
        }
        if (!reason.empty()) {
            ::unlink(temporary.c_str());
        }
    }
    if (!reason.empty()) {
        if (file.created) {
            ::unlink(path.c_str());
        }
        ::close(file.fd);
        return writeFailed(path, reason, messages);
    }
    // The rename itself reaches the disk with the folder; the file is whole either way.
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    ::close(file.fd);
    return CsvSave::Saved;
}

CsvSave saveCsvNow(const BoardConnection& board, bool rawMode, Messages& messages) {
    return saveCsv(board, rawMode, csvFilePathNow(), messages);
}

}  // namespace keyscope
