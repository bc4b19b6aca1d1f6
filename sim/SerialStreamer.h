#pragma once
// A simulated streaming board on the far end of a pseudo-terminal: a thread
// writes reference and data frames into the terminal's master side, paced at
// the line's byte rate, and the program reads the device side like any port.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/ReplaySignal.h"
#include "sim/SignalModel.h"

namespace keyscope::sim {

class SerialStreamer {
  public:
    static constexpr int kDefaultBaud = 9600;   // for "keep the rate" before any rate was set
    static constexpr int kBitsPerByte = 10;     // start bit, 8 data bits, stop bit
    static constexpr int kReferenceEvery = 20;  // one 0xF0 frame, then nineteen 0xF1 frames

    // The finger stays off the keys for the first quietFirstMs of the signal (its
    // clock runs from start()).
    explicit SerialStreamer(std::uint64_t seed, std::int64_t quietFirstMs = 0);
    ~SerialStreamer();  // stops and joins
    SerialStreamer(const SerialStreamer&) = delete;
    SerialStreamer& operator=(const SerialStreamer&) = delete;

    // Opens a fresh pseudo-terminal and starts the writer thread, silent until
    // setBaud. Returns the path of the device side to open, or nothing when no
    // pseudo-terminal could be had. A running streamer is stopped first.
    std::optional<std::string> start();
    // Sends at baud / 10 bytes per second from now on, a reference frame first.
    // baud <= 0 keeps the current rate (kDefaultBaud before any).
    void setBaud(int baud);
    // Stops the thread and closes the master side; harmless when not running.
    void stop();

    // Plays `replay` (not owned, outliving the streamer) instead of the signal;
    // set while stopped. A replayed board sends its reference counts once, with
    // its first row, and each later row (one replay step per host read) only
    // once the host has read the one before, so a read takes at most one row
    // and none is lost or doubled between polls. After the last row of a
    // replay that does not loop, it sends nothing more.
    void setReplay(ReplaySignal* replay) { replay_ = replay; }
    // The host read the line and took `bytes` (0 or less: nothing was there).
    void hostRead(long bytes);

    bool isRunning() const { return thread_.joinable(); }
    int baud() const;

  private:
    using Clock = std::chrono::steady_clock;

    void run(std::stop_token stop);
    void queueReplayRow();  // with mutex_ held

    SignalModel model_;
    int masterFd_ = -1;
    Clock::time_point startedAt_{};

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    int baud_ = 0;              // 0: not yet told a rate, nothing is sent
    unsigned paceChanges_ = 0;  // wakes the writer when the rate changes
    Clock::time_point paceOrigin_{};
    std::uint64_t bytesSinceOrigin_ = 0;
    int framesSinceOrigin_ = 0;
    ReplaySignal* replay_ = nullptr;
    std::vector<std::uint8_t> queued_;  // the replay's next frame
    std::uint64_t replayBytesSent_ = 0;
    std::uint64_t replayBytesRead_ = 0;
    bool replayReferenceSent_ = false;

    std::jthread thread_;  // last, so it stops before the state it uses goes
};

}  // namespace keyscope::sim
