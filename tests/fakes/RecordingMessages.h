#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/Messages.h"

namespace keyscope::fakes {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
    std::string detail = {};
    bool operator==(const ShownMessage&) const = default;
};

// Records every message box instead of showing it. whileShown runs as if the
// box were open, as a modal box's event loop runs timers.
class RecordingMessages final : public Messages {
  public:
    std::function<void()> whileShown;
    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& m : shown)
            all.push_back(m.text);
        return all;
    }
    std::vector<ShownMessage> shown;

  protected:
    void present(std::string_view text, std::string_view caption, MessageIcon icon,
                 std::string_view detail) override {
        shown.push_back({std::string(text), std::string(caption), icon, std::string(detail)});
        if (whileShown)
            whileShown();
    }
};

}  // namespace keyscope::fakes
