#pragma once

namespace keyscope {

// Blocks the calling thread for the fixed pauses the board needs between steps.
// Tests substitute a recorder so protocol code runs in microseconds.
class Pauser {
  public:
    virtual ~Pauser() = default;
    virtual void pause(int milliseconds) = 0;
};

}  // namespace keyscope
