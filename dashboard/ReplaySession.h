#pragma once
// keyscope --replay FILE [--speed X]: the dashboard on the simulated board
// playing a recording over HID, connected at once with the recording's keys,
// steered from its replay window.

#include <optional>
#include <string>
#include <vector>

#include "sim/Recording.h"
#include "sim/ReplaySignal.h"
#include "sim/SimHidBoard.h"

namespace keyscope {

class DashboardDialog;

struct ReplayArguments {
    std::optional<std::string> file;  // none: the program was not asked to replay
    double speed = 1.0;
    std::string error;  // one line; set when the replay arguments are bad
};

// Reads --replay FILE and --speed X (0.25 to 16) from the program's arguments,
// which then may hold nothing else. Without either option: no file, no error.
ReplayArguments parseReplayArguments(const std::vector<std::string>& args);

// Why the simulated HID board of this kind would refuse to replay the file
// ("FILE:LINE: reason", as the board says it), or empty when it plays it. The
// file is read here, once for the whole process (sim/SharedRecording.h), so
// the board plays the same rows and a pipe (`<(...)`) serves both. Asked before
// any window opens, so that a wrong file never reaches the board's open.
std::string replayRefusal(const std::string& file, sim::HidKind kind);

// The dashboard on the simulated board playing a recording: the replay the
// program hands down to the board's links, the recording's keys for the
// connect, and the replay's window.
class ReplaySession final {
  public:
    // For a file that replayRefusal accepted; `loop` is the replay window's
    // Loop at the start (KEYSCOPE_SIM_REPLAY_LOOP). Clears the process's replay
    // control for this session and names the file on standard error.
    ReplaySession(const std::string& file, double speed, bool loop = false);

    // What the simulated board is to play.
    const sim::ReplayConfig& replay() const { return replay_; }
    // Connects over HID, as Device > Connect does, with the recording's keys
    // in place of the Enable TK Pin dialog, and gives the dashboard the
    // replay's window, shown beside it once its event loop runs.
    void start(DashboardDialog& dashboard);

    const std::vector<int>& keys() const { return keys_; }

  private:
    sim::ReplayConfig replay_;
    const sim::Recording* recording_ = nullptr;  // the process's cache keeps it
    std::vector<int> keys_;
};

}  // namespace keyscope
