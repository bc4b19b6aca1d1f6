#pragma once
// What the simulated board is asked to do, as plain values: its seed, its HID
// kind, the recording it replays and the faults it shows on request, so that
// the program's recovery paths run without hardware. A program reads its
// KEYSCOPE_SIM_* variables once, where it is composed (platform/), and hands
// the values down to each simulated link.
//
// The loadable HID module is reached only through its six calls, so it cannot
// be handed values: the program offers its configuration through a function
// its executable exports (kSimConfigSymbol), as it exports its recordings
// (sim/SharedRecording.h), and the module takes it when its board is made,
// reading its own environment only when the host program offers none.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/ReplaySignal.h"
#include "sim/SimHidBoard.h"

namespace keyscope::sim {

// The serial board hangs up this long after the port was first opened, and
// comes back at the same port returnAfter later; without returnAfter it stays
// away. It does so `hangUps` times, each hang-up hangUpAfter after the port was
// opened again on the board's return.
struct SerialFaults {
    std::optional<double> hangUpAfter;
    std::optional<double> returnAfter;
    int hangUps = 1;
};

struct SimConfig {
    // KEYSCOPE_SIM_SEED; none: each board takes a fresh seed from the clock.
    std::optional<std::uint64_t> seed;
    HidKind hidKind = HidKind::Typed16;  // KEYSCOPE_SIM_HID
    // KEYSCOPE_SIM_FAIL_AFTER: the data reads after which the HID board (and
    // the ICE board, in memory reads) drops off the bus; -1: never.
    int failAfter = -1;
    // KEYSCOPE_SIM_QUIET_FIRST in milliseconds: the finger stays off the keys
    // this long after each link's board first opens, on that link's clock.
    std::int64_t quietFirstMs = 0;
    // KEYSCOPE_SIM_SERIAL_HANGUP_AFTER, KEYSCOPE_SIM_SERIAL_RETURN_AFTER and
    // KEYSCOPE_SIM_SERIAL_HANGUPS.
    SerialFaults serial;
    int iceFailOpens = 0;  // KEYSCOPE_SIM_ICE_FAIL_OPENS: ICE discoveries that find no board
    // KEYSCOPE_SIM_REPLAY, KEYSCOPE_SIM_REPLAY_SPEED and KEYSCOPE_SIM_REPLAY_LOOP.
    ReplayConfig replay;
};

// The seed a board is made with: the configured one, else one from the clock,
// so that unset means a fresh run.
std::uint64_t boardSeed(const SimConfig& config);

// The configuration the KEYSCOPE_SIM_* variables spell, each looked up by
// name through `variable` (null: unset). Numbers are read with a dot whatever
// the locale (the dashboard runs in the user's) and nothing around them:
// counts are whole numbers 0..1e9, seconds non-negative decimal numbers, the
// seed an unsigned integer (decimal, 0x hex or 0 octal); a value that is not
// one reads as unset. A KEYSCOPE_SIM_HID that names no kind gives typed16,
// KEYSCOPE_SIM_REPLAY_LOOP loops only when it is 1, and a speed outside 0.25
// to 16 becomes the replay's refusal.
SimConfig simConfigFrom(const std::function<const char*(const char*)>& variable);

inline constexpr const char* kSimConfigSymbol = "keyscope_sim_config_v1";

// The host program's side: the loadable HID module makes its board from this
// configuration from now on.
void offerToHidModule(const SimConfig& config);
// The module's side: the configuration the host program offers, if it offers one.
std::optional<SimConfig> offeredConfig();

}  // namespace keyscope::sim

// Copies the offered configuration into `config` when `size` is sizeof(SimConfig)
// and the program offered one; false otherwise.
extern "C" __attribute__((visibility("default"))) bool keyscope_sim_config_v1(
    keyscope::sim::SimConfig* config, std::size_t size);
