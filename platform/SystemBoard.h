#pragma once

#include <string>
#include <vector>

#include "device/BoardConnection.h"
#include "sim/SimConfig.h"

namespace keyscope {

// What the environment asks of a program's links, read once where the program
// is composed and handed down as values from there.
struct SystemBoardConfig {
    bool simulate = false;   // KEYSCOPE_SIMULATE=1: every link reaches the simulated board
    std::string hidLibrary;  // KEYSCOPE_HID_LIBRARY; empty: the default module
    // KEYSCOPE_SERIAL_PORTS split at its colons; empty: the system's ports.
    std::vector<std::string> serialPorts;
    sim::SimConfig sim;  // the KEYSCOPE_SIM_* variables

    // The HID module to load (hidModulePath's choice).
    std::string hidModule() const;
};

// The one place that reads the links' variables from the process's environment.
SystemBoardConfig systemBoardConfigFromEnvironment();

// The real transports for a board connection, as `config` asks: the HID module
// it names, the termios serial port over its COM table and the ICE link (when
// simulating, the simulated board's pseudo-terminal and simulated ICE board).
// The loadable HID module is offered config.sim for the board it makes. The
// three references must outlive the connection.
BoardCollaborators systemBoardCollaborators(const SystemBoardConfig& config, Pauser& pauser,
                                            Messages& messages, CloseNotifier& notifier);

// A notifier for programs that have no outside window to tell.
class NoCloseNotifier final : public CloseNotifier {
  public:
    void notify() override {}
};

}  // namespace keyscope
