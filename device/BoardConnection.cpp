#include "device/BoardConnection.h"

#include <cstring>
#include <utility>

#include "device/AccessDiagnosis.h"

namespace keyscope {

namespace {

constexpr int kSerialReadSize = 600;
constexpr int kChainTooLong = -1;  // internal: too many first halves in a row
constexpr int kIceImageSize = 65;
constexpr std::int32_t kIceMaxValid = 2047;

using report::kTypeBytes;
using report::kTypeFirstHalf;
using report::kTypeSecondHalf;
constexpr int kByteTrigger = report::kTrigger;
constexpr int kByteKeyCode = report::kKeyCode;
constexpr int kBytePreScale = report::kPreScale;
constexpr int kByteTktmr = report::kTktmr;
constexpr int kByteType = report::kType;

constexpr std::uint8_t kFrameReference = 0xF0;
constexpr std::uint8_t kFrameData = 0xF1;
constexpr std::uint8_t kTripletKeyCode = 0xF2;

// 16-bit value j (0..7) of a typed report half, low byte first.
std::int32_t halfValue(const std::uint8_t* report, int j) {
    return report[1 + 2 * j] | (report[2 + 2 * j] << 8);
}

// Fills the eight keys of one typed report half into field `field` of the records.
void takeHalf(std::array<ChannelRecord, kChannelCount>& channels, const std::uint8_t* report,
              std::int32_t ChannelRecord::*field) {
    const int first = report[kByteType] == kTypeFirstHalf ? 0 : 8;
    for (int j = 0; j < 8; ++j) {
        channels[first + j].*field = halfValue(report, j);
    }
}

void takeBytes(std::array<ChannelRecord, kChannelCount>& channels, const std::uint8_t* report,
               std::int32_t ChannelRecord::*field) {
    for (int k = 0; k < kChannelCount; ++k) {
        channels[k].*field = report[k + 1];
    }
}

}  // namespace

BoardConnection::BoardConnection(BoardCollaborators parts)
    : hid_(std::move(parts.hid)),
      ice_(std::move(parts.ice)),
      pauser_(*parts.pauser),
      notifier_(*parts.notifier),
      serialPort_(std::move(parts.serial), *parts.messages, std::move(parts.comPorts),
                  std::move(parts.clock)) {
    for (int k = 0; k < kChannelCount; ++k) {
        channels_[k].name = "TK" + std::to_string(k);
    }
    if (!hid_) {
        hid_ = std::make_unique<NoHidModule>();
    }
    if (!ice_) {
        ice_ = std::make_unique<NoIceLink>();
    }
}

BoardConnection::~BoardConnection() = default;

ChannelRecord* BoardConnection::getChannel(int index) {
    return index >= 0 && index < kChannelCount ? &channels_[index] : nullptr;
}

const ChannelRecord* BoardConnection::getChannel(int index) const {
    return index >= 0 && index < kChannelCount ? &channels_[index] : nullptr;
}

void BoardConnection::appendSample(int channel, std::int32_t value, MaxRule rule) {
    ChannelRecord& record = channels_[channel];
    record.value = value;
    if (rule == MaxRule::Set || (rule == MaxRule::Raise && value > record.maxValue)) {
        record.maxValue = value;
    }
    if (record.samples.size() >= kMaxSamples) {
        record.samples.pop_front();
    }
    record.samples.push_back(KeySample{keyCode_, value, record.maxValue - value});
    ++appendedSamples_;
}

void BoardConnection::clearSamples() {
    for (ChannelRecord& record : channels_) {
        if (!record.samples.empty()) {
            record.samples.clear();
            record.value = 0;
            record.keyValue = 0;
            record.maxValue = 0;
        }
    }
}

void BoardConnection::setTarget(std::uint32_t selector, std::uint32_t address, std::uint32_t count,
                                std::uint32_t iramFlag, std::uint32_t width,
                                std::uint64_t notifyWindow, std::uint32_t notifyMessage,
                                std::uint32_t notifyParam) {
    targetSelector_ = selector;
    targetAddress_ = address;
    channelCount_ = count;
    iramSpace_ = iramFlag;
    valueWidth_ = width;
    notifyWindow_ = notifyWindow;
    notifyMessage_ = notifyMessage;
    notifyParam_ = notifyParam;
    byteValues_ = width == 2 ? 0 : 1;
}

int BoardConnection::open(std::uint32_t selector) {
    if (isOpen_) {
        return 1;
    }
    if (selector == kSelectorHid) {
        if (hid_->open(kHidDeviceTyped, 0, 0)) {
            linkMode_ = kLinkHidTyped;
        } else if (hid_->open(kHidDevicePlain, 0, 0)) {
            linkMode_ = kLinkHidPlain;
        } else {
            reportToStandardError(hid_->lastError());  // beside the caller's message box
            return 0;
        }
    } else if (selector == kSelectorSerial) {
        const SerialSettings fallback;
        if (!serialPort_.openPort(serialSettings_ ? *serialSettings_ : fallback)) {
            return 0;
        }
        linkMode_ = kLinkSerial;
    } else {
        if (!ice_->openIceLink(selector)) {
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
    readCycle();
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

int BoardConnection::readHid(HidRead kind, std::uint8_t* report) {
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
    return 0;
}

int BoardConnection::readHidWithRetry(HidRead kind, std::uint8_t* report) {
    if (readHid(kind, report)) {
        return 1;
    }
    pauser_.pause(100);
    // The failed call may have written part of a report; the retry starts clean.
    std::memset(report, 0, kReportSize);
    return readHid(kind, report);
}

int BoardConnection::readIceImage(std::uint8_t* image) {
    std::memset(image, 0, kIceImageSize);
    const auto length = static_cast<std::uint16_t>(channelCount_ * valueWidth_);
    return ice_->readIceBlock(image, static_cast<std::uint16_t>(targetAddress_), length,
                              iramSpace_) != 0;
}

std::int32_t BoardConnection::iceValue(const std::uint8_t* image, int key) const {
    if (valueWidth_ == 2) {
        return (image[2 * key + 1] << 8) | image[2 * key + 2];
    }
    return image[key + 1];
}

bool BoardConnection::iceImageValid(const std::uint8_t* image) const {
    for (std::uint32_t k = 0; k < channelCount_ && k < kChannelCount; ++k) {
        if (iceValue(image, static_cast<int>(k)) > kIceMaxValid) {
            return false;
        }
    }
    return true;
}

int BoardConnection::readCycle() {
    // A typed board sends 16-bit counts in two halves; a first half is followed by
    // a fresh cycle that reads the second, and then succeeds whatever that read gave.
    for (int firstHalves = 0;; ++firstHalves) {
        keyCode_ = 0;
        if (!isOpen_) {
            return firstHalves > 0 ? 1 : 0;
        }
        std::uint8_t report[kReportSize] = {};
        switch (linkMode_) {
            case kLinkHidPlain:
                if (!readHid(HidRead::Data, report)) {
                    return 0;
                }
                keyCode_ = report[kByteKeyCode];
                if (report[1] != 0) {
                    for (int k = 0; k < kChannelCount; ++k) {
                        appendSample(k, report[k + 1], MaxRule::Raise);
                    }
                }
                return 1;
            case kLinkHidTyped: {
                if (!readHid(HidRead::Data, report)) {
                    return firstHalves > 0 ? 1 : 0;
                }
                keyCode_ = report[kByteKeyCode];
                const std::uint8_t type = report[kByteType];
                if (type == kTypeBytes) {
                    byteValues_ = 1;
                    for (int k = 0; k < kChannelCount; ++k) {
                        appendSample(k, report[k + 1], MaxRule::Raise);
                    }
                } else if (type == kTypeFirstHalf || type == kTypeSecondHalf) {
                    const int first = type == kTypeFirstHalf ? 0 : 8;
                    for (int j = 0; j < 8; ++j) {
                        appendSample(first + j, halfValue(report, j), MaxRule::Leave);
                    }
                    if (type == kTypeFirstHalf) {
                        byteValues_ = 0;
                        if (firstHalves + 1 >= kMaxChainedFirstHalves) {
                            return 0;
                        }
                        pauser_.pause(10);
                        continue;
                    }
                }
                return 1;
            }
            case kLinkIce: {
                std::uint8_t image[kIceImageSize];
                if (!readIceImage(image)) {
                    return 0;
                }
                if (valueWidth_ == 2) {
                    for (std::uint32_t k = 0; k < channelCount_ && k < kChannelCount; ++k) {
                        if (iceValue(image, static_cast<int>(k)) > kIceMaxValid) {
                            image[2 * k + 1] = 0;
                            image[2 * k + 2] = 0;
                        }
                    }
                }
                for (int k = 0; k < kChannelCount; ++k) {
                    appendSample(k, iceValue(image, k), MaxRule::Raise);
                }
                return 1;
            }
            case kLinkSerial:
                return readSerialFrames();
            default:
                return 0;
        }
    }
}

int BoardConnection::readSerialFrames() {
    std::uint8_t buffer[kSerialReadSize + 1] = {};
    std::size_t received = 0;
    if (!serialPort_.readPort(buffer, kSerialReadSize, received) || received == 0) {
        return 1;
    }
    std::size_t i = 0;
    while (i < received) {
        const std::uint8_t marker = buffer[i];
        if (marker != kFrameReference && marker != kFrameData) {
            ++i;
            continue;
        }
        // The length byte may lie past the received bytes; the buffer's zeroes stand in.
        const std::size_t n = buffer[i + 1];
        const MaxRule rule = marker == kFrameReference ? MaxRule::Set : MaxRule::Leave;
        keyCode_ = 0;
        for (std::size_t offset = 0; offset < n; offset += 3) {
            const std::size_t at = i + 2 + offset;
            if (at + 3 > received) {
                break;  // only triplets that arrived whole are taken
            }
            const std::uint8_t code = buffer[at];
            if (code >= 0x30 && code <= 0x3F) {
                appendSample(code - 0x30, buffer[at + 1] | (buffer[at + 2] << 8), rule);
            } else if (code == kTripletKeyCode) {
                keyCode_ = buffer[at + 1] != 0 ? 1 : 0;
            }
        }
        i += 2 + n + 1;
    }
    return 1;
}

int BoardConnection::readHidValues(HidRead kind, std::int32_t ChannelRecord::*field,
                                   std::uint8_t* report, int depth) {
    if (linkMode_ == kLinkHidPlain) {
        // The plain board has one report form; no retry.
        if (!readHid(kind, report)) {
            return 0;
        }
        takeBytes(channels_, report, field);
        return 1;
    }
    if (!readHidWithRetry(kind, report)) {
        return 0;
    }
    const std::uint8_t type = report[kByteType];
    if (type == kTypeBytes) {
        takeBytes(channels_, report, field);
    } else if (type == kTypeFirstHalf || type == kTypeSecondHalf) {
        takeHalf(channels_, report, field);
        if (type == kTypeFirstHalf) {
            if (depth + 1 >= kMaxChainedFirstHalves) {
                return kChainTooLong;
            }
            // The second half comes from a fresh read of the same kind; its
            // result does not decide this one, unless the chain never ends.
            pauser_.pause(10);
            std::uint8_t second[kReportSize] = {};
            if (readHidValues(kind, field, second, depth + 1) == kChainTooLong) {
                return kChainTooLong;
            }
        }
    }
    return 1;
}

int BoardConnection::readKeyValues() {
    std::uint8_t report[kReportSize] = {};
    if (linkMode_ == kLinkHidPlain || linkMode_ == kLinkHidTyped) {
        if (readHidValues(HidRead::Key, &ChannelRecord::keyValue, report, 0) != 1) {
            return 0;
        }
    } else if (linkMode_ == kLinkIce) {
        std::uint8_t image[kIceImageSize];
        if (readIceImage(image) && (valueWidth_ != 2 || iceImageValid(image))) {
            for (int k = 0; k < kChannelCount; ++k) {
                channels_[k].keyValue = iceValue(image, k);
            }
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
    if (linkMode_ == kLinkHidPlain || linkMode_ == kLinkHidTyped) {
        std::uint8_t report[kReportSize] = {};
        return readHidValues(HidRead::Max, &ChannelRecord::maxValue, report, 0) == 1 ? 1 : 0;
    }
    if (linkMode_ == kLinkIce) {
        std::uint8_t image[kIceImageSize];
        if (readIceImage(image)) {
            if (byteValues_) {
                takeBytes(channels_, image, &ChannelRecord::maxValue);
            } else if (iceImageValid(image)) {
                for (int k = 0; k < kChannelCount; ++k) {
                    appendSample(k, iceValue(image, k), MaxRule::Set);  // diff 0
                }
            }
        }
    }
    return 1;
}

int BoardConnection::writeKeyValues() {
    std::uint8_t report[kReportSize] = {};
    for (int k = 0; k < kChannelCount; ++k) {
        report[k + 1] = static_cast<std::uint8_t>(channels_[k].keyValue & 0xFF);
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
        reportToStandardError(hid_->lastError());
        return 0;
    }
    return linkMode_ == kLinkIce ? 1 : 0;
}

}  // namespace keyscope
