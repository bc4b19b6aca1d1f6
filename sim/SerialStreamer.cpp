#include "sim/SerialStreamer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "sim/SerialFrames.h"

namespace keyscope::sim {

SerialStreamer::SerialStreamer(std::uint64_t seed) : model_(seed, CountWidth::Word) {}

SerialStreamer::~SerialStreamer() {
    stop();
}

std::optional<std::string> SerialStreamer::start() {
    stop();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::array<char, 128> name{};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 ||
        ::ptsname_r(fd, name.data(), name.size()) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    // A line with nobody reading loses bytes; the board never waits for the host.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    masterFd_ = fd;
    startedAt_ = Clock::now();
    {
        std::lock_guard lock(mutex_);
        baud_ = 0;
        bytesSinceOrigin_ = 0;
        framesSinceOrigin_ = 0;
    }
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    return std::string(name.data());
}

void SerialStreamer::setBaud(int baud) {
    {
        std::lock_guard lock(mutex_);
        if (baud > 0) {
            baud_ = baud;
        } else if (baud_ == 0) {
            baud_ = kDefaultBaud;
        }
        paceOrigin_ = Clock::now();
        bytesSinceOrigin_ = 0;
        framesSinceOrigin_ = 0;
        ++paceChanges_;
    }
    wake_.notify_all();
}

int SerialStreamer::baud() const {
    std::lock_guard lock(mutex_);
    return baud_;
}

void SerialStreamer::stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}

void SerialStreamer::run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (baud_ == 0) {
            wake_.wait(lock, stop, [this] { return baud_ != 0; });
            continue;
        }
        const Clock::time_point now = Clock::now();
        const auto nowMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - startedAt_).count();
        const std::vector<std::uint8_t> frame = framesSinceOrigin_ % kReferenceEvery == 0
                                                    ? referenceFrame(model_)
                                                    : dataFrame(model_, nowMs);
        // A frame goes out whole once the line has had time for all of its bytes,
        // so the bytes sent never run ahead of baud / 10 per second.
        const double bytesPerSecond = static_cast<double>(baud_) / kBitsPerByte;
        const auto due =
            paceOrigin_ +
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                static_cast<double>(bytesSinceOrigin_ + frame.size()) / bytesPerSecond));
        if (now < due) {
            const unsigned seen = paceChanges_;
            wake_.wait_until(lock, stop, due, [this, seen] { return paceChanges_ != seen; });
            continue;
        }
        if (::write(masterFd_, frame.data(), frame.size()) < 0) {
            // Nobody is reading or the buffer is full: the frame is lost, as on a real line.
        }
        bytesSinceOrigin_ += frame.size();
        ++framesSinceOrigin_;
    }
}

}  // namespace keyscope::sim
