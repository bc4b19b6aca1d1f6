#pragma once
// keyscope-record --snr-test: the SNR test engine on the recorder's poll loop.
// The test starts at the open's reading (or the first poll that brings
// samples) over the keys the board reports; a quiet phase in which a key was
// touched runs again, at most twice; the touch phase ends when every key has
// its readings, at the time-out, or when the user asks.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/record/Recorder.h"
#include "device/SnrTest.h"

namespace keyscope {

struct SnrRunIo {
    // A prompt or a notice, one line.
    std::function<void(const std::string& line)> say;
    // The keys still to touch ("TK3 TK7") and the time left, after every poll of the touch phase.
    std::function<void(const std::string& keys, std::int64_t msLeft)> live;
    // True when the user asks to end the touch phase now (Enter on a terminal).
    std::function<bool()> finishRequested;
};

class SnrRun {
  public:
    // A quiet phase in which keys were touched runs at most this often in all.
    static constexpr int kMaxQuietRuns = 3;

    // The recorder must have opened the board; both outlive the run. Keys at or
    // beyond keyLimit are left out (an ICE target's key count).
    SnrRun(Recorder& recorder, const BoardConnection& board, const SnrSettings& settings,
           int keyLimit = kChannelCount);

    // Runs the test to its end (RecordEnd::Finished, results ready) or until it
    // is interrupted or the link fails, as a recording would.
    RecordEnd run(const std::atomic<bool>& interrupted, const SnrRunIo& io);

    const SnrTest& test() const { return test_; }

  private:
    bool startIfReported(std::int64_t nowMs, const SnrRunIo& io);
    std::optional<RecordEnd> step(std::int64_t nowMs, const SnrRunIo& io);

    Recorder& recorder_;
    const BoardConnection& board_;
    SnrSettings settings_;
    int keyLimit_;
    SnrTest test_;
    SnrSampleFeed feed_;
};

}  // namespace keyscope
