#pragma once

#include <cstdio>

#include "device/Messages.h"

namespace keyscope {

// Messages for programs without windows: one line each on a stdio stream.
class StreamMessages final : public Messages {
  public:
    explicit StreamMessages(std::FILE* stream) : stream_(stream) {}

  protected:
    // The detail is left out: the programs without windows say each reason on
    // standard error already, where this line goes too.
    void present(std::string_view text, std::string_view caption, MessageIcon icon,
                 std::string_view detail) override;

  private:
    std::FILE* stream_;
};

}  // namespace keyscope
