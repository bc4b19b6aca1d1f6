#pragma once

#include <string>
#include <string_view>

namespace keyscope {

enum class MessageIcon { None, Exclamation, Information };

// Modal message boxes. Returns when the user has dismissed the box.
// An empty caption means the application's default caption.
//
// A failure box may carry its reason as detail (the device or file and the
// system's words): the box's own text stays the fixed one, and a desktop user,
// who never sees standard error, can still read why behind "Show Details...".
class Messages {
  public:
    virtual ~Messages() = default;

    void show(std::string_view text, std::string_view caption, MessageIcon icon,
              std::string_view detail = {}) {
        present(text, caption, icon, detail);
    }
    // A box with OK only, no icon and the default caption.
    void plain(std::string_view text, std::string_view detail = {}) {
        present(text, {}, MessageIcon::None, detail);
    }

  protected:
    // detail is empty when the box has none.
    virtual void present(std::string_view text, std::string_view caption, MessageIcon icon,
                         std::string_view detail) = 0;
};

}  // namespace keyscope
