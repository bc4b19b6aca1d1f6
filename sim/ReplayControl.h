#pragma once
// Steering a running replay from the program that reads the simulated board:
// seek to a row, change the pace, loop or not; and, back from the replay, the
// row it shows and whether it has ended. A replay is a simulated-board
// feature, so the board takes these as a real board takes its own controls:
// at its next step (its next data report or frame), never in the middle of one.
//
// One block per process, as there is one recording per file: the replay a
// link opens from KEYSCOPE_SIM_REPLAY follows it. Across the loadable HID
// module, whose copy of the simulator library has its own statics, the block
// is found the way recordings are shared (sim/SharedRecording.h): every
// executable that links keyscope_sim exports kReplayControlSymbol, and every
// copy of replayControl() asks it with dlsym(RTLD_DEFAULT), keeping a block of
// its own only when the host program exports none (or one of another layout,
// told by its size).
//
// Every field is atomic: a serial board's replay runs on the streamer's thread.

#include <atomic>
#include <cstddef>

namespace keyscope::sim {

struct ReplayControl {
    static constexpr int kNoSeek = -1;
    static constexpr int kKeepLoop = -1;

    // --- in: set by the program, taken by the replay at its next step ---
    // The row (0-based) the next step shows; kNoSeek for none.
    std::atomic<int> seekRow{kNoSeek};
    // Steps per poll (ReplaySignal's range); 0 keeps the replay's own.
    std::atomic<double> speed{0};
    // 0 or 1; kKeepLoop keeps the replay's own.
    std::atomic<int> loop{kKeepLoop};

    // --- out: published by the replay after each step ---
    std::atomic<int> row{0};         // the row it shows
    std::atomic<bool> ended{false};  // past the last row, not looping

    // Back to no requests and no replay, for a new session.
    void clear() {
        seekRow = kNoSeek;
        speed = 0;
        loop = kKeepLoop;
        row = 0;
        ended = false;
    }
};

inline constexpr const char* kReplayControlSymbol = "keyscope_sim_replay_control_v1";

// The process's block.
ReplayControl& replayControl();

}  // namespace keyscope::sim

// The host program's block when `size` is sizeof(ReplayControl), else null.
extern "C" __attribute__((visibility("default"))) keyscope::sim::ReplayControl*
keyscope_sim_replay_control_v1(std::size_t size);
