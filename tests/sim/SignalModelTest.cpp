// The simulated finger's quiet start (KEYSCOPE_SIM_QUIET_FIRST), which lets the SNR test's
// quiet phase run on the simulated board.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "sim/SignalModel.h"

namespace keyscope::sim {
namespace {

TEST(SignalModel, QuietFirstKeepsTouchesOffUntilItsTimeThenPressesAsBefore) {
    constexpr std::int64_t kQuietMs = 6000;
    const SignalModel quiet(7, CountWidth::Word, kQuietMs), usual(7, CountWidth::Word);
    int touchedAfter = 0;
    for (std::int64_t t = 0; t < 30000; t += 10) {
        const std::optional<Touch> touch = usual.touchAt(t);
        // The touch under way at the quiet time's end is left out whole.
        const bool expected = touch && touch->startMs >= kQuietMs;
        ASSERT_EQ(quiet.touchAt(t).has_value(), expected) << t;
        std::array<std::uint16_t, kSimKeyCount> counts = usual.counts(t);
        if (touch && !expected)
            counts[touch->key] += touch->depth;  // resting instead
        ASSERT_EQ(quiet.counts(t), counts) << t;
        touchedAfter += expected;
    }
    EXPECT_GT(touchedAfter, 0);
}

TEST(SignalModel, QuietFirstIsReadInSecondsWithADotWhateverTheLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where installed: a decimal comma
    for (const auto& [text, ms] : {std::pair("1.5", 1500), {"6", 6000}, {"-1", 0}, {"x", 0}}) {
        ::setenv("KEYSCOPE_SIM_QUIET_FIRST", text, 1);
        EXPECT_EQ(quietFirstFromEnvironment(), ms) << text;
    }
    ::unsetenv("KEYSCOPE_SIM_QUIET_FIRST");
    EXPECT_EQ(quietFirstFromEnvironment(), 0);
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace keyscope::sim
