#include "device/BoardConnection.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "device/AccessDiagnosis.h"
#include "device/HidReportDecoder.h"
#include "device/SerialFrameDecoder.h"

namespace keyscope {

namespace {

constexpr int kSerialReadSize = 600;

constexpr int kByteTrigger = report::kTrigger;
constexpr int kBytePreScale = report::kPreScale;
constexpr int kByteTktmr = report::kTktmr;

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

BoardConnection::BoardConnection(BoardCollaborators parts)
    : hid_(std::move(parts.hid)),
      ice_(std::move(parts.ice)),
      pauser_(*parts.pauser),
      notifier_(*parts.notifier),
      serialPort_(std::move(parts.serial), *parts.messages, std::move(parts.comPorts),
                  std::move(parts.clock)) {
    if (!hid_) {
        hid_ = std::make_unique<NoHidModule>();
    }
    if (!ice_) {
        ice_ = std::make_unique<NoIceLink>();
    }
}

BoardConnection::~BoardConnection() = default;

ChannelRecord* BoardConnection::getChannel(int index) {
    return index >= 0 && index < kChannelCount ? &model_[index] : nullptr;
}

const ChannelRecord* BoardConnection::getChannel(int index) const {
    return index >= 0 && index < kChannelCount ? &model_[index] : nullptr;
}

void BoardConnection::setTarget(std::uint32_t selector, std::uint32_t address, std::uint32_t count,
                                std::uint32_t iramFlag, std::uint32_t width,
                                std::uint64_t notifyWindow, std::uint32_t notifyMessage,
                                std::uint32_t notifyParam) {
    targetSelector_ = selector;
    targetAddress_ = address;
    iceLayout_ = IceLayout{count, width};
    iramSpace_ = iramFlag;
    notifyWindow_ = notifyWindow;
    notifyMessage_ = notifyMessage;
    notifyParam_ = notifyParam;
    byteValues_ = width == 2 ? 0 : 1;
}

int BoardConnection::open(std::uint32_t selector) {
    if (isOpen_) {
        return 1;
    }
    failure_.clear();
    if (selector == kSelectorHid) {
        if (hid_->open(kHidDeviceTyped, 0, 0)) {
            linkMode_ = kLinkHidTyped;
        } else if (const std::string typedError = hid_->lastError();
                   hid_->open(kHidDevicePlain, 0, 0)) {
            linkMode_ = kLinkHidPlain;
        } else {
            // Beside the caller's message box, one line for both tries.
            hidFailed(bothOpensFailed(typedError, hid_->lastError()));
            return 0;
        }
    } else if (selector == kSelectorSerial) {
        const SerialSettings fallback;
        if (!serialPort_.openPort(serialSettings_ ? *serialSettings_ : fallback)) {
            failure_ = serialPort_.lastFailure();
            return 0;
        }
        linkMode_ = kLinkSerial;
    } else {
        if (!ice_->openIceLink(selector)) {
            failure_ = ice_->lastFailure();
            return 0;
        }
        linkMode_ = kLinkIce;
    }
    if (!readMaxValues()) {
        return 0;
    }
    pauser_.pause(50);
    if (!readKeyValues()) {
        return 0;
    }
    pauser_.pause(50);
    isOpen_ = 1;
    hidSaid_.linkBack();
    // A first read fills the history; a loss shows at the next poll, which reconnects.
    static_cast<void>(readCycle());
    return 1;
}

int BoardConnection::close() {
    linkMode_ = kLinkIce;
    if (!ice_->releaseIceLink()) {
        return 0;
    }
    if (notifyWindow_ != 0) {
        notifier_.notify(notifyWindow_, notifyMessage_, notifyParam_);
    }
    clearSamples();
    isOpen_ = 0;
    return 1;
}

void BoardConnection::hidFailed(const std::string& reason) {
    failure_ = reason;
    hidSaid_.say(reason);
}

bool BoardConnection::readHid(HidRead kind, std::uint8_t* report) {
    if (linkMode_ == kLinkHidPlain) {
        return hid_->read(kReportSize, report);
    }
    switch (kind) {
        case HidRead::Data:
            return hid_->readData(report);
        case HidRead::Max:
            return hid_->readMax(report);
        case HidRead::Key:
            return hid_->readKey(report);
    }
    return false;
}

bool BoardConnection::readHidWithRetry(HidRead kind, std::uint8_t* report) {
    if (readHid(kind, report)) {
        return true;
    }
    pauser_.pause(100);
    // The failed call may have written part of a report; the retry starts clean.
    std::memset(report, 0, kReportSize);
    return readHid(kind, report);
}

bool BoardConnection::readIceImage(std::uint8_t* image) {
    std::memset(image, 0, kIceImageSize);
    const auto length = static_cast<std::uint16_t>(iceLayout_.channelCount * iceLayout_.valueWidth);
    return ice_->readIceBlock(image, static_cast<std::uint16_t>(targetAddress_), length,
                              iramSpace_) != 0;
}

int BoardConnection::readCycle() {
    // A typed board sends 16-bit counts in two halves; a first half is followed by
    // a fresh cycle that reads the second, and then succeeds whatever that read gave.
    for (int firstHalves = 0;; ++firstHalves) {
        model_.setKeyCode(0);
        if (!isOpen_) {
            return firstHalves > 0 ? 1 : 0;
        }
        std::uint8_t report[kReportSize] = {};
        switch (linkMode_) {
            case kLinkHidPlain:
                if (!readHid(HidRead::Data, report)) {
                    hidFailed(hid_->lastError());
                    return 0;
                }
                takePlainCounts(model_, report);
                return 1;
            case kLinkHidTyped: {
                if (!readHid(HidRead::Data, report)) {
                    if (firstHalves > 0) {
                        return 1;
                    }
                    hidFailed(hid_->lastError());
                    return 0;
                }
                const TypedReport kind = takeTypedCounts(model_, report);
                if (kind == TypedReport::Bytes) {
                    byteValues_ = 1;
                }
                if (kind != TypedReport::FirstHalf) {
                    return 1;
                }
                byteValues_ = 0;
                if (firstHalves + 1 >= kMaxChainedFirstHalves) {
                    return 0;
                }
                pauser_.pause(10);
                continue;
            }
            case kLinkIce: {
                std::uint8_t image[kIceImageSize];
                if (!readIceImage(image)) {
                    return 0;
                }
                takeIceCounts(model_, image, iceLayout_);
                return 1;
            }
            case kLinkSerial:
                readSerialFrames();
                return 1;
            default:
                return 0;
        }
    }
}

void BoardConnection::readSerialFrames() {
    // One byte more than is asked for: the port ends what it received with a zero.
    std::uint8_t buffer[kSerialReadSize + 1] = {};
    std::size_t received = 0;
    if (serialPort_.readPort(buffer, kSerialReadSize, received)) {
        takeSerialFrames(model_,
                         std::span(buffer, std::min<std::size_t>(received, kSerialReadSize)));
    }
}

BoardConnection::ValuesRead BoardConnection::readHidValues(HidRead kind,
                                                           std::int32_t ChannelRecord::*field,
                                                           std::uint8_t* report, int depth) {
    const HidReportBytes bytes(report, kReportSize);
    if (linkMode_ == kLinkHidPlain) {
        // The plain board has one report form; no retry.
        if (!readHid(kind, report)) {
            hidFailed(hid_->lastError());
            return ValuesRead::Failed;
        }
        takeByteValues(model_, bytes, field);
        return ValuesRead::Taken;
    }
    if (!readHidWithRetry(kind, report)) {
        hidFailed(hid_->lastError());
        return ValuesRead::Failed;
    }
    if (takeTypedValues(model_, bytes, field) == TypedReport::FirstHalf) {
        if (depth + 1 >= kMaxChainedFirstHalves) {
            return ValuesRead::EndlessHalves;
        }
        // The second half comes from a fresh read of the same kind; its
        // result does not decide this one, unless the chain never ends.
        pauser_.pause(10);
        std::uint8_t second[kReportSize] = {};
        if (readHidValues(kind, field, second, depth + 1) == ValuesRead::EndlessHalves) {
            return ValuesRead::EndlessHalves;
        }
    }
    return ValuesRead::Taken;
}

int BoardConnection::readKeyValues() {
    failure_.clear();
    std::uint8_t report[kReportSize] = {};
    if (linkMode_ == kLinkHidPlain || linkMode_ == kLinkHidTyped) {
        if (readHidValues(HidRead::Key, &ChannelRecord::keyValue, report, 0) != ValuesRead::Taken) {
            return 0;
        }
    } else if (linkMode_ == kLinkIce) {
        std::uint8_t image[kIceImageSize];
        if (readIceImage(image)) {
            takeIceKeyValues(model_, image, iceLayout_);
        }
    }
    // Over ICE and serial the report buffer stays zero, so the settings become 0;
    // after a first half, the settings of that first report stand.
    triggerLevel_ = report[kByteTrigger];
    preScale_ = report[kBytePreScale];
    tktmr_ = report[kByteTktmr];
    return 1;
}

int BoardConnection::readMaxValues() {
    failure_.clear();
    if (linkMode_ == kLinkHidPlain || linkMode_ == kLinkHidTyped) {
        std::uint8_t report[kReportSize] = {};
        const ValuesRead read = readHidValues(HidRead::Max, &ChannelRecord::maxValue, report, 0);
        return read == ValuesRead::Taken ? 1 : 0;
    }
    if (linkMode_ == kLinkIce) {
        std::uint8_t image[kIceImageSize];
        if (readIceImage(image)) {
            takeIceMaxValues(model_, image, iceLayout_, byteValues_ != 0);
        }
    }
    return 1;
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
    if (linkMode_ == kLinkHidPlain || linkMode_ == kLinkHidTyped) {
        if (hid_->write(report)) {
            return 1;
        }
        if (hid_->write(report)) {
            return 1;
        }
        hidFailed(hid_->lastError());
        return 0;
    }
    return linkMode_ == kLinkIce ? 1 : 0;
}

}  // namespace keyscope
