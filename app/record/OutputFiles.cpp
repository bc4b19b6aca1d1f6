#include "app/record/OutputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace keyscope {

namespace fs = std::filesystem;

namespace {

// The path a name leads to, following links even where their target does not
// exist yet (a link to the file about to be created).
fs::path resolvedPath(const std::string& name) {
    constexpr int kMaxLinks = 40;  // as the kernel's own limit
    std::error_code error;
    fs::path path = fs::absolute(name, error);
    for (int i = 0; i < kMaxLinks && fs::is_symlink(fs::symlink_status(path, error)); ++i) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return fs::weakly_canonical(path, error);
}

}  // namespace

bool namesSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    return resolvedPath(first) == resolvedPath(second);
}

bool nameIsDescriptor(const std::string& name, int fd) {
    struct stat a {};
    struct stat b {};
    return ::stat(name.c_str(), &a) == 0 && ::fstat(fd, &b) == 0 && S_ISREG(a.st_mode) &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::FILE* createOutputFile(const std::string& path, const std::atomic<bool>& interrupted) {
    // Non-blocking, because a FIFO's open would otherwise wait for its reader
    // in the kernel, restarted after every signal.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC;
    int fd = -1;
    while ((fd = ::open(path.c_str(), kFlags, 0666)) < 0) {
        if (errno != ENXIO && errno != EINTR) {
            return nullptr;
        }
        if (interrupted.load()) {
            errno = EINTR;
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
    }
    // Writes block again, so that a slow reader is waited for and no row is dropped.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return file;
}

}  // namespace keyscope
