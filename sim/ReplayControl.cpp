#include "sim/ReplayControl.h"

#include <dlfcn.h>

namespace keyscope::sim {

namespace {

// Never destroyed: a replay on another thread may publish into it while the process ends.
ReplayControl& ownControl() {
    static ReplayControl& control = *new ReplayControl;
    return control;
}

using ControlFunction = ReplayControl* (*)(std::size_t);

}  // namespace

ReplayControl& replayControl() {
    static ReplayControl* const control = [] {
        const auto host =
            reinterpret_cast<ControlFunction>(::dlsym(RTLD_DEFAULT, kReplayControlSymbol));
        ReplayControl* found = host != nullptr ? host(sizeof(ReplayControl)) : nullptr;
        return found != nullptr ? found : &ownControl();
    }();
    return *control;
}

}  // namespace keyscope::sim

keyscope::sim::ReplayControl* keyscope_sim_replay_control_v1(std::size_t size) {
    return size == sizeof(keyscope::sim::ReplayControl) ? &keyscope::sim::ownControl() : nullptr;
}
