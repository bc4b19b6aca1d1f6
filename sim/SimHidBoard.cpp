#include "sim/SimHidBoard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/HidReport.h"

namespace keyscope::sim {

namespace {

constexpr int kOk = 0;
constexpr int kFail = 1;

constexpr int kTypedDeviceId = report::kDeviceTyped;
constexpr int kPlainDeviceId = report::kDevicePlain;
constexpr const char* kOnlyPlainReads = "the simulated plain board answers only plain reads";
constexpr const char* kOnlyTypedReads = "the simulated typed board answers no plain reads";

constexpr int kTriggerByte = report::kTrigger;
constexpr int kKeyCodeByte = report::kKeyCode;
constexpr int kPreScaleByte = report::kPreScale;
constexpr int kTktmrByte = report::kTktmr;
constexpr int kTypeByte = report::kType;

constexpr std::uint8_t kType8 = report::kTypeBytes;
constexpr std::uint8_t kTypeLow16 = report::kTypeFirstHalf;
constexpr std::uint8_t kTypeHigh16 = report::kTypeSecondHalf;

void putWords(std::uint8_t* report, const std::array<std::uint16_t, kSimKeyCount>& values,
              int firstKey) {
    for (int i = 0; i < 8; ++i) {
        const std::uint16_t v = values[firstKey + i];
        report[1 + 2 * i] = static_cast<std::uint8_t>(v & 0xFF);  // low byte first
        report[2 + 2 * i] = static_cast<std::uint8_t>(v >> 8);
    }
}

void putBytes(std::uint8_t* report, const std::array<std::uint16_t, kSimKeyCount>& values) {
    for (int k = 0; k < kSimKeyCount; ++k) {
        report[1 + k] = static_cast<std::uint8_t>(values[k] & 0xFF);
    }
}

std::array<std::uint16_t, kSimKeyCount> widen(const std::array<std::uint8_t, kSimKeyCount>& in) {
    std::array<std::uint16_t, kSimKeyCount> out{};
    for (int k = 0; k < kSimKeyCount; ++k) {
        out[k] = in[k];
    }
    return out;
}

}  // namespace

std::optional<HidKind> hidKindFromName(std::string_view name) {
    if (name == "typed16") {
        return HidKind::Typed16;
    }
    if (name == "typed8") {
        return HidKind::Typed8;
    }
    if (name == "plain") {
        return HidKind::Plain;
    }
    return std::nullopt;
}

SimHidBoard::SimHidBoard(HidKind kind, std::uint64_t seed, int failAfterDataReads,
                         std::unique_ptr<ReplaySignal> replay, std::int64_t quietFirstMs)
    : kind_(kind),
      model_(seed, kind == HidKind::Typed16 ? CountWidth::Word : CountWidth::Byte, quietFirstMs),
      failAfter_(failAfterDataReads),
      replay_(std::move(replay)) {}

bool SimHidBoard::usable() const {
    return failAfter_ < 0 || dataReads_ < failAfter_;
}

int SimHidBoard::fail(std::string reason) {
    lastError_ = std::move(reason);
    return kFail;
}

std::string SimHidBoard::refusal(const std::uint8_t* report) const {
    if (!usable()) {
        return "the simulated board dropped off the bus after " + std::to_string(failAfter_) +
               " data reads (KEYSCOPE_SIM_FAIL_AFTER)";
    }
    if (report == nullptr) {
        return "no report buffer";
    }
    return open_ ? std::string() : "no HID board is open";
}

int SimHidBoard::open(int deviceId, int /*reserved1*/, int /*reserved2*/) {
    if (!usable()) {
        return fail(refusal(nullptr));
    }
    const int answersTo = kind_ == HidKind::Plain ? kPlainDeviceId : kTypedDeviceId;
    if (deviceId != answersTo) {
        char text[96];
        std::snprintf(text, sizeof text, "the simulated %s board answers only product id 0x%04x",
                      kind_ == HidKind::Plain ? "plain" : "typed", answersTo);
        return fail(text);
    }
    // A reopen after a lost poll starts from whole reports again.
    data_ = max_ = key_ = Pending{};
    reportsSinceOpen_ = 0;
    open_ = true;
    return kOk;
}

bool SimHidBoard::startsNewReport(const Pending& pending) const {
    return kind_ != HidKind::Typed16 || !pending.waiting;
}

void SimHidBoard::fillCountlessReport(std::uint8_t* report) const {
    std::memset(report, 0, kSimReportSize);
    const BoardSettings& settings = model_.settings();
    report[kTriggerByte] = settings.triggerLevel;
    report[kPreScaleByte] = settings.preScale;
    report[kTktmrByte] = settings.tktmr;
}

void SimHidBoard::fillReport(std::uint8_t* report, Pending& pending,
                             const std::array<std::uint16_t, kSimKeyCount>& values,
                             std::uint8_t keyCode) {
    fillCountlessReport(report);
    switch (kind_) {
        case HidKind::Plain:
            putBytes(report, values);
            report[kKeyCodeByte] = keyCode;
            break;
        case HidKind::Typed8:
            putBytes(report, values);
            report[kKeyCodeByte] = keyCode;
            report[kTypeByte] = kType8;
            break;
        case HidKind::Typed16:
            if (pending.waiting) {
                putWords(report, pending.values, 8);
                report[kKeyCodeByte] = pending.keyCode;
                report[kTypeByte] = kTypeHigh16;
                pending.waiting = false;
            } else {
                pending.values = values;
                pending.keyCode = keyCode;
                pending.waiting = true;
                putWords(report, values, 0);
                report[kKeyCodeByte] = keyCode;
                report[kTypeByte] = kTypeLow16;
            }
            break;
    }
}

int SimHidBoard::readDataReport(std::uint8_t* report) {
    if (std::string why = refusal(report); !why.empty()) {
        return fail(std::move(why));
    }
    bool referenceReport = false;
    if (startsNewReport(data_)) {
        clockMs_ += kPollMs;
        // The plain board's open reads reference counts, key values and a first
        // cycle all as data reports; a typed board's open reads one.
        const int openingReports = kind_ == HidKind::Plain ? 3 : 1;
        if (replay_ && reportsSinceOpen_ >= openingReports) {
            replay_->advance();
        }
        referenceReport = kind_ == HidKind::Plain && reportsSinceOpen_ == 0;
        reportsSinceOpen_ = std::min(reportsSinceOpen_ + 1, openingReports);
    }
    if (replay_ && replay_->ended() && !referenceReport) {
        fillCountlessReport(report);  // type 0, counts 0: no half pending either
    } else if (replay_) {
        fillReport(report, data_, referenceReport ? replay_->referenceCounts() : replay_->counts(),
                   referenceReport ? 0 : replay_->keyCode());
    } else {
        fillReport(report, data_, model_.counts(clockMs_), model_.keyCode(clockMs_));
    }
    ++dataReads_;
    return kOk;
}

int SimHidBoard::read(int size, std::uint8_t* report) {
    if (kind_ != HidKind::Plain) {
        return fail(kOnlyTypedReads);
    }
    if (size < kSimReportSize) {
        return fail("a read of " + std::to_string(size) + " bytes is shorter than the reports");
    }
    return readDataReport(report);
}

int SimHidBoard::readData(std::uint8_t* report) {
    if (kind_ == HidKind::Plain) {
        return fail(kOnlyPlainReads);
    }
    return readDataReport(report);
}

int SimHidBoard::readMax(std::uint8_t* report) {
    if (kind_ == HidKind::Plain) {
        return fail(kOnlyPlainReads);
    }
    if (std::string why = refusal(report); !why.empty()) {
        return fail(std::move(why));
    }
    fillReport(report, max_, replay_ ? replay_->referenceCounts() : model_.referenceCounts(), 0);
    return kOk;
}

int SimHidBoard::readKey(std::uint8_t* report) {
    if (kind_ == HidKind::Plain) {
        return fail(kOnlyPlainReads);
    }
    if (std::string why = refusal(report); !why.empty()) {
        return fail(std::move(why));
    }
    fillReport(report, key_, widen(model_.settings().keyValues), 0);
    return kOk;
}

int SimHidBoard::write(const std::uint8_t* report) {
    if (std::string why = refusal(report); !why.empty()) {
        return fail(std::move(why));
    }
    BoardSettings settings;
    for (int k = 0; k < kSimKeyCount; ++k) {
        settings.keyValues[k] = report[1 + k];
    }
    settings.triggerLevel = report[kTriggerByte];
    settings.preScale = report[kPreScaleByte];
    settings.tktmr = report[kTktmrByte];
    model_.setSettings(settings);
    return kOk;
}

}  // namespace keyscope::sim
