#pragma once
// What the typed and the plain HID links share: the one HID module, its
// failures said once per loss, the open that tries a typed board and then a
// plain one, and the write tried twice. Each kind reads its own way.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/AccessDiagnosis.h"
#include "device/BoardLink.h"
#include "device/HidModule.h"

namespace keyscope {

// The HID transport, kept by the connection across opens and shared by both
// HID links. A missing module is a NoHidModule, so the open fails as usual.
struct HidTransport {
    explicit HidTransport(std::unique_ptr<HidModule> given);
    std::unique_ptr<HidModule> module;
    // Why calls failed, beside the caller's message or reconnect: once per loss.
    FailureReport said;
};

class HidLink : public BoardLink {
  public:
    HidLink(HidTransport& hid, LinkContext context) : context_(context), hid_(hid) {}
    // A typed (292) board, else a plain (296) one; when neither answers, one
    // line for both tries.
    [[nodiscard]] std::optional<LinkKind> open(std::uint32_t selector) final;
    // Twice at once before it fails.
    [[nodiscard]] bool writeKeyValues(std::uint8_t* report) final;

  protected:
    // Keeps the module's reason as the failure and says it, once per loss.
    void failed() { failed(hid_.module->lastError()); }
    void failed(const std::string& reason);

    HidModule& module() { return *hid_.module; }
    LinkContext context_;

  private:
    HidTransport& hid_;
};

}  // namespace keyscope
