#pragma once
// Numbers the programs read from the environment and from files, in ASCII
// digits and a dot whatever the locale: once Qt has set the user's locale,
// strtod reads "1.5" as 1 under a decimal comma, and the strto* family takes
// spaces and signs the variables and files never hold.

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>
#include <system_error>

namespace keyscope {

// The whole text as a number of type T in `base`: digits only (a leading '-'
// for signed types), no spaces, no prefix. Nothing when anything else is there,
// the text is empty or the value does not fit T.
template <std::integral T>
std::optional<T> wholeNumber(std::string_view text, int base = 10) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

// The whole text as a decimal number with a dot ("1.5", "2", "1e3"); nothing for
// anything else, a comma included.
inline std::optional<double> decimalNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace keyscope
