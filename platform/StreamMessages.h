#pragma once

#include <cstdio>

#include "device/Messages.h"

namespace keyscope {

// Messages for programs without windows: one line each on a stdio stream.
class StreamMessages final : public Messages {
  public:
    explicit StreamMessages(std::FILE* stream) : stream_(stream) {}
    void show(std::string_view text, std::string_view caption, MessageIcon icon) override;

  private:
    std::FILE* stream_;
};

}  // namespace keyscope
