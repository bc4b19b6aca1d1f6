#pragma once

#include "device/Pauser.h"

namespace keyscope {

// Blocks the calling thread; the board's pauses are short and the program has one thread.
class ThreadPauser final : public Pauser {
  public:
    void pause(int milliseconds) override;
};

}  // namespace keyscope
