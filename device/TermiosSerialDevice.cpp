#include "device/TermiosSerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "device/AccessDiagnosis.h"

namespace keyscope {

namespace {

speed_t speedFor(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        default:
            return B0;
    }
}

}  // namespace

TermiosSerialDevice::~TermiosSerialDevice() {
    close();
}

bool TermiosSerialDevice::failed(const char* operation, int error) {
    if (fd_ < 0 && error == EBADF) {
        lastError_ =
            std::string(operation) + " " + (path_.empty() ? "the port" : path_) + ": not open";
    } else {
        lastError_ = transportError(operation, path_, error);
    }
    return false;
}

bool TermiosSerialDevice::open(const std::string& path) {
    path_ = path;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return failed("open", errno);
    }
    // No sharing: a port another program holds counts as one that cannot be opened.
    // TIOCEXCL also keeps out programs that ignore advisory locks.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return failed("lock", error);
    }
    fd_ = fd;
    lastError_.clear();
    return true;
}

bool TermiosSerialDevice::readConfig() {
    if (fd_ < 0) {
        return failed("read the settings of", EBADF);
    }
    return ::tcgetattr(fd_, &settings_) == 0 || failed("read the settings of", errno);
}

bool TermiosSerialDevice::writeConfig(int baud) {
    if (fd_ < 0) {
        return failed("configure", EBADF);
    }
    termios wanted = settings_;
    // Raw bytes: frames carry 0x11/0x13 and CR bytes that line processing would eat.
    cfmakeraw(&wanted);
    wanted.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    wanted.c_cflag |= CS8 | CREAD | CLOCAL;
    if (const speed_t speed = speedFor(baud); speed != B0) {
        cfsetispeed(&wanted, speed);
        cfsetospeed(&wanted, speed);
    }
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) {
        return failed("configure", errno);
    }
    settings_ = wanted;
    return true;
}

bool TermiosSerialDevice::setNonBlockingReads() {
    if (fd_ < 0) {
        return failed("set the read timeouts of", EBADF);
    }
    termios wanted = settings_;
    wanted.c_cc[VMIN] = 0;
    wanted.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) {
        return failed("set the read timeouts of", errno);
    }
    settings_ = wanted;
    return true;
}

long TermiosSerialDevice::read(std::uint8_t* buffer, std::size_t length) {
    if (fd_ < 0) {
        failed("read", EBADF);
        return -1;
    }
    // A hung-up line reads 0 bytes for ever on some drivers: only poll() tells
    // that apart from a quiet one. Bytes that arrived before the hang-up come first.
    pollfd line{fd_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&line, 1, 0);
    } while (ready < 0 && errno == EINTR);
    const bool hungUp = ready > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, length);
        if (count > 0) {
            return static_cast<long>(count);
        }
        const int error = count == 0 ? EAGAIN : errno;  // 0 bytes: nothing has arrived
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            if (!hungUp) {
                return 0;
            }
            lastError_ = "read " + path_ + ": the other end hung up";
            return kReadHungUp;
        }
        failed("read", error);
        return error == EIO || error == ENXIO || error == ENODEV || hungUp ? kReadHungUp : -1;
    }
}

bool TermiosSerialDevice::close() {
    if (fd_ < 0) {
        return true;
    }
    const int fd = fd_;
    fd_ = -1;
    ::ioctl(fd, TIOCNXCL);  // fails harmlessly on a line that has hung up
    return ::close(fd) == 0 || failed("close", errno);
}

}  // namespace keyscope
