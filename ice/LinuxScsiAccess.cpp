#include "ice/LinuxScsiAccess.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>
#include <utility>

#include "device/AccessDiagnosis.h"

namespace keyscope {

std::vector<std::string> sortScsiGenericNames(const std::vector<std::string>& names) {
    std::vector<std::pair<unsigned, std::string>> numbered;
    for (const std::string& name : names) {
        if (name.size() < 3 || name.compare(0, 2, "sg") != 0) {
            continue;
        }
        unsigned number = 0;
        const char* first = name.data() + 2;
        const char* last = name.data() + name.size();
        const auto [end, ec] = std::from_chars(first, last, number);
        if (ec != std::errc{} || end != last) {
            continue;
        }
        numbered.emplace_back(number, name);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> sorted;
    sorted.reserve(numbered.size());
    for (auto& entry : numbered) {
        sorted.push_back(std::move(entry.second));
    }
    return sorted;
}

std::vector<std::string> LinuxScsiAccess::candidatePaths() {
    refused_.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end;
         it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::vector<std::string> paths = sortScsiGenericNames(names);
    for (std::string& path : paths) {
        path.insert(0, "/dev/");
    }
    return paths;
}

LinuxScsiAccess::LinuxScsiAccess()
    : open_([](const char* path, int flags) { return ::open(path, flags); }) {}

int LinuxScsiAccess::openDevice(const std::string& path) {
    int fd = -1;
    do {
        fd = open_(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            refused_.emplace_back(path, error);
        }
        lastError_ = transportError("open", path, error);
        return fd;
    }
    openPaths_[fd] = path;
    lastError_.clear();
    return fd;
}

std::vector<std::string> LinuxScsiAccess::refusedNodeLines() const {
    std::vector<std::string> lines;
    for (const auto& [path, error] : refused_) {
        lines.push_back(accessDeniedLine(path, error));
    }
    return lines;
}

void LinuxScsiAccess::closeDevice(int fd) {
    if (fd >= 0) {
        ::close(fd);
        openPaths_.erase(fd);
    }
}

bool LinuxScsiAccess::sgIo(int fd, sg_io_hdr& hdr) {
    if (::ioctl(fd, SG_IO, &hdr) < 0) {
        const auto node = openPaths_.find(fd);
        lastError_ = transportError(
            "SG_IO on",
            node != openPaths_.end() ? node->second : "descriptor " + std::to_string(fd), errno);
        return false;
    }
    lastError_.clear();
    return true;
}

}  // namespace keyscope
