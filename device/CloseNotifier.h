#pragma once

#include <cstdint>

namespace keyscope {

// Tells an outside window that the board connection closed. Returns once the
// message has been delivered (or could not be).
class CloseNotifier {
  public:
    virtual ~CloseNotifier() = default;
    virtual void notify(std::uint64_t window, std::uint32_t message, std::uint32_t param) = 0;
};

}  // namespace keyscope
