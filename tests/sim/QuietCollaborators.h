#pragma once
// The board connection's pause, message and notification collaborators, made
// silent so that simulated boards can be driven through the real connection.

#include <string>
#include <vector>

#include "device/BoardConnection.h"

namespace keyscope::sim {

class NoPause final : public Pauser {
  public:
    void pause(int) override {}
};

class RecordedMessages final : public Messages {
  public:
    void show(std::string_view text, std::string_view, MessageIcon) override {
        shown.emplace_back(text);
    }
    std::vector<std::string> shown;
};

class NoNotifier final : public CloseNotifier {
  public:
    void notify(std::uint64_t, std::uint32_t, std::uint32_t) override {}
};

struct QuietCollaborators {
    NoPause pauser;
    RecordedMessages messages;
    NoNotifier notifier;

    BoardCollaborators parts() {
        BoardCollaborators p;
        p.pauser = &pauser;
        p.messages = &messages;
        p.notifier = &notifier;
        return p;
    }
};

}  // namespace keyscope::sim
