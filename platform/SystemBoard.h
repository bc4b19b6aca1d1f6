#pragma once

#include "device/BoardConnection.h"

namespace keyscope {

// The real transports for a board connection: the HID module chosen by the
// environment, the termios serial port (the simulated board's pseudo-terminal
// when KEYSCOPE_SIMULATE=1) and the ICE link. The three references must
// outlive the connection.
BoardCollaborators systemBoardCollaborators(Pauser& pauser, Messages& messages,
                                            CloseNotifier& notifier);

// True when KEYSCOPE_SIMULATE=1.
bool simulationRequested();

// A notifier for programs that have no outside window to tell.
class NoCloseNotifier final : public CloseNotifier {
  public:
    void notify(std::uint64_t, std::uint32_t, std::uint32_t) override {}
};

}  // namespace keyscope
