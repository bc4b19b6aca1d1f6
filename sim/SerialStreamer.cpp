#include "sim/SerialStreamer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "sim/SerialFrames.h"

namespace keyscope::sim {

SerialStreamer::SerialStreamer(std::uint64_t seed, std::int64_t quietFirstMs)
    : model_(seed, CountWidth::Word, quietFirstMs) {}

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
        queued_.clear();
        replayBytesSent_ = replayBytesRead_ = 0;
        replayReferenceSent_ = false;
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
        if (replay_ != nullptr && !replayReferenceSent_) {
            queueReplayRow();
        }
    }
    wake_.notify_all();
}

void SerialStreamer::hostRead(long bytes) {
    {
        std::lock_guard lock(mutex_);
        replayBytesRead_ += bytes > 0 ? static_cast<std::uint64_t>(bytes) : 0;
        if (replay_ == nullptr || baud_ == 0 || !queued_.empty() ||
            replayBytesRead_ < replayBytesSent_) {
            return;
        }
        replay_->advance();
        queueReplayRow();
    }
    wake_.notify_all();
}

void SerialStreamer::queueReplayRow() {
    if (!replay_->reachedRow()) {
        return;  // a gap in the recording: a poll that brought no frame
    }
    queued_.clear();
    if (!replayReferenceSent_) {
        // In the same write as the first row, so that one read takes both.
        queued_ = referenceFrame(replay_->referenceCounts());
        replayReferenceSent_ = true;
    }
    const std::vector<std::uint8_t> data = dataFrame(replay_->counts(), replay_->keyCode());
    queued_.insert(queued_.end(), data.begin(), data.end());
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
        std::vector<std::uint8_t> frame;
        if (replay_ == nullptr) {
            frame = framesSinceOrigin_ % kReferenceEvery == 0 ? referenceFrame(model_)
                                                              : dataFrame(model_, nowMs);
        } else if (queued_.empty()) {
            wake_.wait(lock, stop, [this] { return !queued_.empty(); });
            continue;
        } else {
            frame = queued_;
        }
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
        const ssize_t sent = ::write(masterFd_, frame.data(), frame.size());
        // On failure nobody is reading or the buffer is full: the frame is lost, as on a real line.
        if (replay_ != nullptr) {
            replayBytesSent_ += sent > 0 ? static_cast<std::uint64_t>(sent) : 0;
            queued_.clear();
        }
        bytesSinceOrigin_ += frame.size();
        ++framesSinceOrigin_;
    }
}

}  // namespace keyscope::sim
