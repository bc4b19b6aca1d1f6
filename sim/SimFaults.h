#pragma once
// Faults the simulated board shows on request, read from KEYSCOPE_SIM_*
// variables, so that the program's recovery paths run without hardware.

#include <optional>

namespace keyscope::sim {

// Numbers are read with a dot whatever the locale (the dashboard runs in the user's).
// A whole number 0..1e9 from the variable; unset or not such a number gives -1.
int countFromEnvironment(const char* name);
// Seconds (a non-negative decimal number) from the variable; unset or bad gives nothing.
std::optional<double> secondsFromEnvironment(const char* name);

// The serial board hangs up this long after the port was first opened, and
// comes back at the same port returnAfter later; without returnAfter it stays
// away. It does so `hangUps` times, each hang-up hangUpAfter after the port was
// opened again on the board's return.
struct SerialFaults {
    std::optional<double> hangUpAfter;
    std::optional<double> returnAfter;
    int hangUps = 1;
};
// KEYSCOPE_SIM_SERIAL_HANGUP_AFTER, KEYSCOPE_SIM_SERIAL_RETURN_AFTER and
// KEYSCOPE_SIM_SERIAL_HANGUPS (a count; unset or bad: 1).
SerialFaults serialFaultsFromEnvironment();

// KEYSCOPE_SIM_ICE_FAIL_OPENS: how many ICE discoveries find no board; 0 when unset.
int iceFailOpensFromEnvironment();

}  // namespace keyscope::sim
