#pragma once

#include <string>
#include <string_view>

namespace keyscope {

enum class MessageIcon { None, Exclamation, Information };

// Modal message boxes. Returns when the user has dismissed the box.
// An empty caption means the application's default caption.
class Messages {
  public:
    virtual ~Messages() = default;
    virtual void show(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

    // A box with OK only, no icon and the default caption.
    void plain(std::string_view text) { show(text, {}, MessageIcon::None); }
};

}  // namespace keyscope
