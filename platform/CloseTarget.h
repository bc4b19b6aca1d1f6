#pragma once
// The outside window the program tells when its board connection closes, as
// the start-up command line names it, and the notifier that tells it.

#include <cstdint>

#include "device/CloseNotifier.h"

namespace keyscope {

// An X11 window and the ClientMessage it receives: type `message`, datum
// `param`. Window 0 names none.
struct CloseTarget {
    std::uint64_t window = 0;
    std::uint32_t message = 0;
    std::uint32_t param = 0;
};

// Tells the target it was given, and nobody while it has none (window 0).
class TargetedCloseNotifier : public CloseNotifier {
  public:
    void setTarget(const CloseTarget& target) { target_ = target; }
    void notify() final {
        if (target_.window != 0) {
            send(target_);
        }
    }

  protected:
    // Delivers one message to a window that was named.
    virtual void send(const CloseTarget& target) = 0;

  private:
    CloseTarget target_;
};

}  // namespace keyscope
