#include "device/HidLink.h"

#include <utility>

namespace keyscope {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The line for a HID open that failed as a typed and as a plain board. Failures
// that differ only in the product id read as one ("no HID device with product id
// 0x0124 or 0x0128"); others are said one after the other.
std::string bothOpensFailed(const std::string& typedError, const std::string& plainError) {
    const std::string typedId = hidProductIdText(kHidDeviceTyped);
    std::string asPlain = typedError;
    replaceAll(asPlain, typedId, hidProductIdText(kHidDevicePlain));
    if (asPlain != plainError) {
        return typedError.empty() ? plainError : typedError + "; " + plainError;
    }
    std::string both = typedError;
    replaceAll(both, typedId, typedId + " or " + hidProductIdText(kHidDevicePlain));
    return both;
}

}  // namespace

HidTransport::HidTransport(std::unique_ptr<HidModule> given) : module(std::move(given)) {
    if (!module) {
        module = std::make_unique<NoHidModule>();
    }
}

std::optional<LinkKind> HidLink::open(std::uint32_t /*selector*/) {
    if (module().open(kHidDeviceTyped, 0, 0)) {
        return LinkKind::HidTyped;
    }
    const std::string typedError = module().lastError();
    if (module().open(kHidDevicePlain, 0, 0)) {
        return LinkKind::HidPlain;
    }
    // Beside the caller's message box, one line for both tries.
    failed(bothOpensFailed(typedError, module().lastError()));
    return std::nullopt;
}

bool HidLink::writeKeyValues(std::uint8_t* report) {
    if (module().write(report) || module().write(report)) {
        return true;
    }
    failed();
    return false;
}

void HidLink::failed(const std::string& reason) {
    context_.failure = reason;
    hid_.said.say(reason);
}

}  // namespace keyscope
