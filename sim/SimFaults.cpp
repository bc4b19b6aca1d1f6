#include "sim/SimFaults.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "device/NumberText.h"

namespace keyscope::sim {

int countFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return -1;
    }
    const std::optional<int> value = wholeNumber<int>(text);
    return value && *value >= 0 && *value <= 1'000'000'000 ? *value : -1;
}

std::optional<double> secondsFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::optional<double> value = decimalNumber(text);
    if (!value || !std::isfinite(*value) || *value < 0) {
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
