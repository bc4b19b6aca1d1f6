#include "sim/SimConfig.h"

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <string_view>

#include "device/NumberText.h"

namespace keyscope::sim {

namespace {

// A whole number 0..1e9; null or not such a number gives -1.
int countFrom(const char* text) {
    if (text == nullptr) {
        return -1;
    }
    const std::optional<int> value = wholeNumber<int>(text);
    return value && *value >= 0 && *value <= 1'000'000'000 ? *value : -1;
}

// Seconds, a non-negative decimal number; null or bad gives nothing.
std::optional<double> secondsFrom(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::optional<double> value = decimalNumber(text);
    if (!value || !std::isfinite(*value) || *value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> seedFrom(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view digits(text);
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        return wholeNumber<std::uint64_t>(digits.substr(2), 16);
    }
    if (digits.size() > 1 && digits.starts_with('0')) {
        return wholeNumber<std::uint64_t>(digits.substr(1), 8);
    }
    return wholeNumber<std::uint64_t>(digits);
}

ReplayConfig replayConfigFrom(const std::function<const char*(const char*)>& variable) {
    ReplayConfig replay;
    if (const char* file = variable("KEYSCOPE_SIM_REPLAY"); file != nullptr) {
        replay.file = file;
    }
    if (const char* speed = variable("KEYSCOPE_SIM_REPLAY_SPEED");
        speed != nullptr && *speed != '\0') {
        replay.speed = decimalNumber(speed).value_or(0);
        if (!(replay.speed >= ReplaySignal::kMinSpeed && replay.speed <= ReplaySignal::kMaxSpeed)) {
            replay.speed = 1.0;
            replay.refusal = std::string("KEYSCOPE_SIM_REPLAY_SPEED '") + speed +
                             "' is not a speed from 0.25 to 16";
        }
    }
    const char* loop = variable("KEYSCOPE_SIM_REPLAY_LOOP");
    replay.loop = loop != nullptr && std::string_view(loop) == "1";
    return replay;
}

// Never destroyed: the module may ask for it while the process ends.
struct Offer {
    std::mutex mutex;
    std::optional<SimConfig> config;
};

Offer& offer() {
    static Offer& own = *new Offer;
    return own;
}

using OfferFunction = bool (*)(SimConfig*, std::size_t);

}  // namespace

std::uint64_t boardSeed(const SimConfig& config) {
    return config.seed ? *config.seed
                       : static_cast<std::uint64_t>(
                             std::chrono::system_clock::now().time_since_epoch().count());
}

SimConfig simConfigFrom(const std::function<const char*(const char*)>& variable) {
    SimConfig config;
    config.seed = seedFrom(variable("KEYSCOPE_SIM_SEED"));
    if (const char* kind = variable("KEYSCOPE_SIM_HID"); kind != nullptr) {
        config.hidKind = hidKindFromName(kind).value_or(HidKind::Typed16);
    }
    config.failAfter = countFrom(variable("KEYSCOPE_SIM_FAIL_AFTER"));
    const std::optional<double> quiet = secondsFrom(variable("KEYSCOPE_SIM_QUIET_FIRST"));
    config.quietFirstMs = quiet ? std::llround(*quiet * 1000.0) : 0;
    const int hangUps = countFrom(variable("KEYSCOPE_SIM_SERIAL_HANGUPS"));
    config.serial = {secondsFrom(variable("KEYSCOPE_SIM_SERIAL_HANGUP_AFTER")),
                     secondsFrom(variable("KEYSCOPE_SIM_SERIAL_RETURN_AFTER")),
                     hangUps < 0 ? 1 : hangUps};
    const int failOpens = countFrom(variable("KEYSCOPE_SIM_ICE_FAIL_OPENS"));
    config.iceFailOpens = failOpens < 0 ? 0 : failOpens;
    config.replay = replayConfigFrom(variable);
    return config;
}

void offerToHidModule(const SimConfig& config) {
    std::lock_guard lock(offer().mutex);
    offer().config = config;
}

std::optional<SimConfig> offeredConfig() {
    static const auto host =
        reinterpret_cast<OfferFunction>(::dlsym(RTLD_DEFAULT, kSimConfigSymbol));
    SimConfig config;
    if (host != nullptr && host(&config, sizeof(SimConfig))) {
        return config;
    }
    return std::nullopt;
}

}  // namespace keyscope::sim

bool keyscope_sim_config_v1(keyscope::sim::SimConfig* config, std::size_t size) {
    using keyscope::sim::offer;
    if (config == nullptr || size != sizeof(keyscope::sim::SimConfig)) {
        return false;
    }
    std::lock_guard lock(offer().mutex);
    if (!offer().config) {
        return false;
    }
    *config = *offer().config;
    return true;
}
