#pragma once
// A recording played back as a board's signal, one poll of the reading
// program at a time.
//
// The replay moves on in the recording's own poll steps, not in wall-clock
// time: the step is the recording's typical (median) gap between rows, and a
// row holds for its gap to the next row in whole steps, at least one (a gap
// counts a step more only from three quarters of the way to it).
// So a row recorded one poll after the last is shown one poll after it, however
// late either program's polls ran, and longer gaps (a poll that brought no
// frame, a reconnect) keep their length. Before the first row the board shows
// it for the steps its elapsed_ms holds: the recorder writes the open's own
// reading at 0 ms, so its files start at once, while a file whose first row
// came later keeps that wait. Each advance moves `speed` steps on. After the last row
// the replay has ended: no row starts any more and the last one stays the
// current one, unless it loops and starts again from the first row.
//
// With a control block (sim/ReplayControl.h) the replay takes its requests at
// each advance, before it moves: a seek makes that advance show the row asked
// for (and starts it, so a streaming board sends it), a new speed or loop
// holds from that advance on. After each advance it publishes its row and
// whether it has ended.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Recording.h"
#include "sim/ReplayControl.h"

namespace keyscope::sim {

class ReplaySignal {
  public:
    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 16.0;

    // speed is clamped to kMinSpeed..kMaxSpeed. control, when given, must
    // outlive the replay.
    explicit ReplaySignal(Recording recording, double speed = 1.0, bool loop = false,
                          ReplayControl* control = nullptr);
    // A recording shared with other replays (the process's cache keeps one per file).
    ReplaySignal(std::shared_ptr<const Recording> recording, double speed, bool loop,
                 ReplayControl* control = nullptr);

    // One poll of the reading program.
    void advance();

    const Recording& recording() const { return *recording_; }
    int rowIndex() const { return rowIndex_; }
    const RecordingRow& row() const {
        return recording_->rows[static_cast<std::size_t>(rowIndex_)];
    }
    const std::array<std::uint16_t, kSimKeyCount>& counts() const { return row().counts; }
    std::uint8_t keyCode() const { return row().keyCode; }
    // The largest count of each key in the file: the board's reference counts.
    const std::array<std::uint16_t, kSimKeyCount>& referenceCounts() const {
        return recording_->largest;
    }
    // True when the last advance reached the start of a row (the newest one if
    // it passed several). A streaming board sends a frame only then.
    bool reachedRow() const { return reachedRow_; }
    // True once an advance has gone past the last row without reaching a row
    // (never when looping): the recording has nothing more to show, and a
    // board answers without counts.
    bool ended() const { return ended_; }

    double speed() const { return speed_; }
    bool loops() const { return loop_; }

  private:
    int rowAtStep(std::int64_t step) const;
    bool startsRow(std::int64_t step) const;
    // Takes the control's speed and loop; true when it asked for a row, now shown.
    bool takeRequests();
    void publish();

    std::shared_ptr<const Recording> recording_;
    ReplayControl* control_;
    double speed_;
    bool loop_;
    std::vector<std::int64_t> firstStep_;  // the step at which each row starts
    std::int64_t totalSteps_ = 0;          // lead-in plus every row's steps
    double position_ = 0;                  // in steps since the open
    int rowIndex_ = 0;
    bool reachedRow_ = false;
    bool ended_ = false;
};

// What a simulated board is asked to replay: KEYSCOPE_SIM_REPLAY, _SPEED and
// _LOOP as the program read them, or keyscope --replay's file and speed.
struct ReplayConfig {
    std::string file;  // empty: no replay
    double speed = 1.0;
    bool loop = false;
    // Why the request cannot be played whatever the file holds (a speed out
    // of range), one line; each link refuses its open with it, as with a bad file.
    std::string refusal;
};

// What the configuration asks of one simulated link.
struct ReplayRequest {
    bool requested = false;                // a file is named
    std::unique_ptr<ReplaySignal> signal;  // null when requested and refused
    std::string error;                     // the refusal, one line
};

// Loads the configuration's file for a link whose counts go up to maxCount
// (`carrier` names that in a refusal), at its speed and loop. The file is read
// once per process (sharedRecording): every link replays the same rows. The
// replay follows the process's control block (replayControl()).
ReplayRequest replayFrom(const ReplayConfig& config, int maxCount, std::string_view carrier);

// Writes a refusal to standard error as one line, unless it is the one this
// link wrote last (a connection tries more than one open in a row).
void reportReplayRefusal(const std::string& error, std::string& lastReported);

}  // namespace keyscope::sim
