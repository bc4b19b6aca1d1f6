#include "device/BoardConnection.h"

#include <utility>

#include "device/HidReport.h"
#include "device/IceBoardLink.h"
#include "device/PlainHidLink.h"
#include "device/SerialLink.h"
#include "device/TypedHidLink.h"

namespace keyscope {

namespace {

constexpr int kByteTrigger = report::kTrigger;
constexpr int kBytePreScale = report::kPreScale;
constexpr int kByteTktmr = report::kTktmr;

// The selector callers open names a kind; a HID board may still answer as a plain one.
LinkKind linkKindFor(std::uint32_t selector) {
    switch (selector) {
        case kSelectorHid:
            return LinkKind::HidTyped;
        case kSelectorSerial:
            return LinkKind::Serial;
        default:
            return LinkKind::Ice;  // the selector is the chip
    }
}

}  // namespace

std::unique_ptr<BoardLink> BoardConnection::makeLink(LinkKind kind) {
    switch (kind) {
        case LinkKind::HidTyped:
            return std::make_unique<TypedHidLink>(hid_, context_);
        case LinkKind::HidPlain:
            return std::make_unique<PlainHidLink>(hid_, context_);
        case LinkKind::Serial:
            return std::make_unique<SerialLink>(serialPort_, serialSettings_, context_);
        case LinkKind::Ice:
            return std::make_unique<IceBoardLink>(*ice_, iceTarget_, context_);
    }
    return nullptr;
}

BoardConnection::BoardConnection(BoardCollaborators parts)
    : hid_(std::move(parts.hid)),
      ice_(std::move(parts.ice)),
      pauser_(*parts.pauser),
      notifier_(*parts.notifier),
      serialPort_(std::move(parts.serial), *parts.messages, std::move(parts.comPorts),
                  std::move(parts.clock)) {
    if (!ice_) {
        ice_ = std::make_unique<NoIceLink>();
    }
    link_ = makeLink(linkKind_);
}

BoardConnection::~BoardConnection() = default;

ChannelRecord* BoardConnection::getChannel(int index) {
    return index >= 0 && index < kChannelCount ? &model_[index] : nullptr;
}

const ChannelRecord* BoardConnection::getChannel(int index) const {
    return index >= 0 && index < kChannelCount ? &model_[index] : nullptr;
}

void BoardConnection::setTarget(const IceTarget& target) {
    iceTarget_ = target;
    byteValues_ = target.valueWidth == 2 ? 0 : 1;
}

int BoardConnection::open(std::uint32_t selector) {
    lastSelector_ = selector;
    if (isOpen_) {
        return 1;
    }
    failure_.clear();
    const LinkKind asked = linkKindFor(selector);
    std::unique_ptr<BoardLink> link = makeLink(asked);
    const std::optional<LinkKind> answered = link->open(selector);
    if (!answered) {
        return 0;
    }
    linkKind_ = *answered;
    link_ = *answered == asked ? std::move(link) : makeLink(*answered);
    if (!readMaxValues()) {
        return 0;
    }
    pauser_.pause(50);
    if (!readKeyValues()) {
        return 0;
    }
    pauser_.pause(50);
    isOpen_ = 1;
    hid_.said.linkBack();
    // A first read fills the history; a loss shows at the next poll, which reconnects.
    static_cast<void>(readCycle());
    return 1;
}

int BoardConnection::close() {
    linkKind_ = LinkKind::Ice;
    link_ = makeLink(linkKind_);
    if (!ice_->releaseIceLink()) {
        return 0;
    }
    notifier_.notify();
    clearSamples();
    isOpen_ = 0;
    return 1;
}

int BoardConnection::reconnect() {
    pauser_.pause(kReconnectPauseMs);
    close();
    pauser_.pause(kReconnectPauseMs);
    return open(lastSelector_);
}

int BoardConnection::readCycle() {
    model_.setKeyCode(0);
    if (!isOpen_) {
        return 0;
    }
    return link_->readCycle() ? 1 : 0;
}

int BoardConnection::readKeyValues() {
    failure_.clear();
    std::uint8_t report[kReportSize] = {};
    if (!link_->readKeyValues(report)) {
        return 0;
    }
    // Over ICE and serial the report stays zero, so the settings become 0;
    // after a first half, the settings of that first report stand.
    triggerLevel_ = report[kByteTrigger];
    preScale_ = report[kBytePreScale];
    tktmr_ = report[kByteTktmr];
    return 1;
}

int BoardConnection::readMaxValues() {
    failure_.clear();
    return link_->readMaxValues() ? 1 : 0;
}

int BoardConnection::writeKeyValues() {
    failure_.clear();
    std::uint8_t report[kReportSize] = {};
    for (int k = 0; k < kChannelCount; ++k) {
        report[k + 1] = static_cast<std::uint8_t>(model_[k].keyValue & 0xFF);
    }
    report[kByteTrigger] = static_cast<std::uint8_t>(triggerLevel_);
    report[kBytePreScale] = static_cast<std::uint8_t>(preScale_);
    report[kByteTktmr] = static_cast<std::uint8_t>(tktmr_);
    return link_->writeKeyValues(report) ? 1 : 0;
}

}  // namespace keyscope
