// The loadable HID module of the simulated board: the six C calls of the
// board's HID access module, answered by one SimHidBoard. The calls carry no
// handle, so the board is module-wide state, created by the first open from
// the host program's simulated-board configuration (sim/SimConfig.h): its HID
// kind, seed, quiet start and data reads before it drops off, or the recording
// it replays; a refused recording fails the open. A host program that offers
// none (one without the simulator's exports, or that never offered) leaves the
// module to read the KEYSCOPE_SIM_* variables itself, there and only there.
// The recording comes from the host program's cache when it exports one
// (sim/SharedRecording.h), so the file is not read a second time.
// vnHidLastError gives the reason of the last failed call, as the real module's.

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "sim/SimConfig.h"
#include "sim/SimHidBoard.h"

#define KEYSCOPE_HID_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using keyscope::sim::SimHidBoard;

struct ModuleState {
    std::mutex mutex;  // a caller may poll from another thread than it opened on
    std::unique_ptr<SimHidBoard> board;
    std::string replayRefusal;  // the last one written, so that it is written once
    std::string lastError;      // of the last call; empty after a success
};

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

constexpr int kNotOpen = 2;

// The call's result, keeping its reason for vnHidLastError; the state is locked.
int keepReason(ModuleState& state, int result) {
    state.lastError = result == 0 ? std::string() : state.board->lastError();
    return result;
}

template <typename Call>
int withBoard(Call call) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.board) {
        state.lastError = "no HID board is open";
        return kNotOpen;
    }
    return keepReason(state, call(*state.board));
}

}  // namespace

KEYSCOPE_HID_EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.board) {
        using namespace keyscope::sim;
        std::optional<SimConfig> offered = offeredConfig();
        const SimConfig config =
            offered ? std::move(*offered)
                    : simConfigFrom([](const char* name) { return std::getenv(name); });
        const HidKind kind = config.hidKind;
        ReplayRequest replay =
            replayFrom(config.replay, SimHidBoard::maxCount(kind), SimHidBoard::carrier(kind));
        if (replay.requested && !replay.signal) {
            reportReplayRefusal(replay.error, state.replayRefusal);  // says where and why
            state.lastError = "the recording to replay was refused";
            return kNotOpen;
        }
        state.board = std::make_unique<SimHidBoard>(kind, boardSeed(config), config.failAfter,
                                                    std::move(replay.signal), config.quietFirstMs);
    }
    return keepReason(state, state.board->open(deviceId, reserved1, reserved2));
}

KEYSCOPE_HID_EXPORT int vnHidRead(int size, unsigned char* report) {
    return withBoard([&](SimHidBoard& board) { return board.read(size, report); });
}

KEYSCOPE_HID_EXPORT int vnHidReadData(unsigned char* report) {
    return withBoard([&](SimHidBoard& board) { return board.readData(report); });
}

KEYSCOPE_HID_EXPORT int vnHidReadMax(unsigned char* report) {
    return withBoard([&](SimHidBoard& board) { return board.readMax(report); });
}

KEYSCOPE_HID_EXPORT int vnHidReadKey(unsigned char* report) {
    return withBoard([&](SimHidBoard& board) { return board.readKey(report); });
}

KEYSCOPE_HID_EXPORT int vnHidWrite(unsigned char* report) {
    return withBoard([&](SimHidBoard& board) { return board.write(report); });
}

// The text lives in the module's state until the next call.
KEYSCOPE_HID_EXPORT const char* vnHidLastError(void) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    return state.lastError.c_str();
}
