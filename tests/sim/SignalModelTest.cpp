// The simulated finger's quiet start (KEYSCOPE_SIM_QUIET_FIRST), which lets the SNR test's
// quiet phase run on the simulated board.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "sim/SignalModel.h"

namespace keyscope::sim {
namespace {

// Read in seconds with a dot, also under a decimal comma where one is installed.
TEST(SignalModel, QuietFirstKeepsTouchesOffUntilItsTimeThenPressesAsBefore) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const auto& [text, ms] : {std::pair("6", 6000), {"1.5", 1500}, {"-1", 0}, {"x", 0}}) {
        ::setenv("KEYSCOPE_SIM_QUIET_FIRST", text, 1);
        EXPECT_EQ(quietFirstFromEnvironment(), ms) << text;
    }
    ::unsetenv("KEYSCOPE_SIM_QUIET_FIRST");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(quietFirstFromEnvironment(), 0);

    const SignalModel quiet(7, CountWidth::Word, 6000), usual(7, CountWidth::Word);
    int touchedAfter = 0;
    for (std::int64_t t = 0; t < 30000; t += 10) {
        const std::optional<Touch> touch = usual.touchAt(t);
        // The touch under way at the quiet time's end is left out whole.
        const bool kept = touch && touch->startMs >= 6000;
        ASSERT_EQ(quiet.touchAt(t).has_value(), kept) << t;
        std::array<std::uint16_t, kSimKeyCount> counts = usual.counts(t);
        if (touch && !kept)
            counts[touch->key] += touch->depth;  // resting instead
        ASSERT_EQ(quiet.counts(t), counts) << t;
        touchedAfter += kept;
    }
    EXPECT_GT(touchedAfter, 0);
}

}  // namespace
}  // namespace keyscope::sim
