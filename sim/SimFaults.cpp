#include "sim/SimFaults.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

SerialFaults serialFaultsFromEnvironment() {
    const int hangUps = countFromEnvironment("KEYSCOPE_SIM_SERIAL_HANGUPS");
    return {secondsFromEnvironment("KEYSCOPE_SIM_SERIAL_HANGUP_AFTER"),
            secondsFromEnvironment("KEYSCOPE_SIM_SERIAL_RETURN_AFTER"), hangUps < 0 ? 1 : hangUps};
}

int iceFailOpensFromEnvironment() {
    const int count = countFromEnvironment("KEYSCOPE_SIM_ICE_FAIL_OPENS");
    return count < 0 ? 0 : count;
}

}  // namespace keyscope::sim
