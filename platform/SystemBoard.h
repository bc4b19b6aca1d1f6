#pragma once

#include "device/BoardConnection.h"

namespace keyscope {

// The real transports for a board connection: the HID module chosen by the
// environment, the termios serial port and the ICE link (with KEYSCOPE_SIMULATE=1
// the simulated board's pseudo-terminal and simulated ICE board). The three references must
// outlive the connection.
BoardCollaborators systemBoardCollaborators(Pauser& pauser, Messages& messages,
                                            CloseNotifier& notifier);

// True when KEYSCOPE_SIMULATE=1.
bool simulationRequested();

// A notifier for programs that have no outside window to tell.
class NoCloseNotifier final : public CloseNotifier {
  public:
    void notify() override {}
};

}  // namespace keyscope
