// The loadable HID module of the simulated board: the six C calls of the
// board's HID access module, answered by one SimHidBoard. The calls carry no
// handle, so the board is module-wide state, created by the first open from
// KEYSCOPE_SIM_HID, KEYSCOPE_SIM_SEED and KEYSCOPE_SIM_FAIL_AFTER.

#include <memory>
#include <mutex>

#include "sim/SimHidBoard.h"

#define KEYSCOPE_HID_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using keyscope::sim::SimHidBoard;

struct ModuleState {
    std::mutex mutex;  // a caller may poll from another thread than it opened on
    std::unique_ptr<SimHidBoard> board;
};

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

constexpr int kNotOpen = 2;

template <typename Call>
int withBoard(Call call) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.board) {
        return kNotOpen;
    }
    return call(*state.board);
}

}  // namespace

KEYSCOPE_HID_EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.board) {
        state.board = std::make_unique<SimHidBoard>(keyscope::sim::hidKindFromEnvironment(),
                                                    keyscope::sim::seedFromEnvironment(),
                                                    keyscope::sim::failAfterFromEnvironment());
    }
    return state.board->open(deviceId, reserved1, reserved2);
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
