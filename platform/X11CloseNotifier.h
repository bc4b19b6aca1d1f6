#pragma once

#include "platform/CloseTarget.h"

namespace keyscope {

// Tells an outside X11 window that the connection closed: a ClientMessage whose
// type is the message number and whose data is (param, 0), flushed and synced
// so it has reached the server when notify returns. Does nothing where the
// display is not X11 or cannot be opened.
class X11CloseNotifier final : public TargetedCloseNotifier {
  protected:
    void send(const CloseTarget& target) override;
};

}  // namespace keyscope
