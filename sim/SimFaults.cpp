#include "sim/SimFaults.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace keyscope::sim {

int countFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return -1;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 1'000'000'000) {
        return -1;
    }
    return static_cast<int>(value);
}

std::optional<double> secondsFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    // A dot whatever the locale: the dashboard's application adopts the user's.
    const char* end = text + std::strlen(text);
    double value = 0;
    const auto [at, error] = std::from_chars(text, end, value);
    if (error != std::errc() || at != end || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

SerialFaults serialFaultsFromEnvironment() {
    return {secondsFromEnvironment("KEYSCOPE_SIM_SERIAL_HANGUP_AFTER"),
            secondsFromEnvironment("KEYSCOPE_SIM_SERIAL_RETURN_AFTER")};
}

int iceFailOpensFromEnvironment() {
    const int count = countFromEnvironment("KEYSCOPE_SIM_ICE_FAIL_OPENS");
    return count < 0 ? 0 : count;
}

}  // namespace keyscope::sim
