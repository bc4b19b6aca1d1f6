#pragma once

namespace keyscope {

// Tells an outside window that the board connection closed, when the program
// was given one to tell (the platform knows how and whom). Returns once the
// message has been delivered (or could not be).
class CloseNotifier {
  public:
    virtual ~CloseNotifier() = default;
    virtual void notify() = 0;
};

}  // namespace keyscope
