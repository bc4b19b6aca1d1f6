#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "sim/SignalModel.h"

namespace keyscope::sim {
namespace {

constexpr std::int64_t kScanMs = 120'000;

TEST(SignalModel, SameSeedGivesSameSignal) {
    const SignalModel a(1234, CountWidth::Word);
    const SignalModel b(1234, CountWidth::Word);
    const SignalModel other(1235, CountWidth::Word);
    bool differs = false;
    for (std::int64_t t = 0; t < kScanMs; t += 50) {
        ASSERT_EQ(a.counts(t), b.counts(t)) << "at " << t;
        ASSERT_EQ(a.keyCode(t), b.keyCode(t)) << "at " << t;
        differs = differs || a.counts(t) != other.counts(t);
    }
    EXPECT_TRUE(differs);
    EXPECT_EQ(a.settings(), b.settings());
}

class SignalModelWidth : public ::testing::TestWithParam<CountWidth> {};

TEST_P(SignalModelWidth, CountsStayWithinTheLinkRange) {
    const SignalModel model(77, GetParam());
    const int ceiling = GetParam() == CountWidth::Byte ? 255 : 2047;
    EXPECT_LE(model.maxCount(), ceiling);
    EXPECT_GT(model.minCount(), 0);
    for (int k = 0; k < kSimKeyCount; ++k) {
        EXPECT_LE(model.referenceCount(k), ceiling);
    }
    for (std::int64_t t = 0; t < kScanMs; t += 7) {
        const auto touch = model.touchAt(t);
        for (int k = 0; k < kSimKeyCount; ++k) {
            const int c = model.count(k, t);
            ASSERT_GE(c, model.minCount()) << "key " << k << " at " << t;
            ASSERT_LE(c, model.maxCount()) << "key " << k << " at " << t;
            if (!touch || touch->key != k) {
                // An untouched key stays in a narrow band below its reference count.
                ASSERT_LE(c, model.referenceCount(k)) << "key " << k << " at " << t;
                ASSERT_GE(c, model.baseline(k) - 12) << "key " << k << " at " << t;
            }
        }
    }
}

TEST_P(SignalModelWidth, KeyCodeNamesTheTouchedKeyWhileItIsPressed) {
    const SignalModel model(4242, GetParam());
    std::set<int> touchedKeys;
    int touches = 0;
    std::int64_t pressStart = -1;
    for (std::int64_t t = 0; t < kScanMs; t += 10) {
        const std::uint8_t code = model.keyCode(t);
        const auto touch = model.touchAt(t);
        ASSERT_EQ(code != 0, touch.has_value()) << "at " << t;
        if (!touch) {
            pressStart = -1;
            continue;
        }
        ASSERT_EQ(code, 0x30 + touch->key);
        ASSERT_GE(touch->depth, SignalModel::kMinTouchDepth);
        ASSERT_LE(touch->depth, SignalModel::kMaxTouchDepth);
        const std::int64_t length = touch->endMs - touch->startMs;
        ASSERT_GE(length, SignalModel::kMinTouchMs);
        ASSERT_LE(length, SignalModel::kMaxTouchMs);
        if (pressStart != touch->startMs) {
            pressStart = touch->startMs;
            ++touches;
            touchedKeys.insert(touch->key);
        }
        const std::int64_t middle = (touch->startMs + touch->endMs) / 2;
        // A full press takes the key well below its resting band.
        EXPECT_LT(model.count(touch->key, middle),
                  model.baseline(touch->key) - SignalModel::kMinTouchDepth + 12);
    }
    // Two minutes hold about sixty slots, about two thirds of them touched.
    EXPECT_GT(touches, 20);
    EXPECT_GT(touchedKeys.size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(Widths, SignalModelWidth,
                         ::testing::Values(CountWidth::Byte, CountWidth::Word),
                         [](const auto& info) {
                             return info.param == CountWidth::Byte ? "Byte" : "Word";
                         });

TEST(SignalModel, OutOfRangeKeysAndNegativeTimesAreHarmless) {
    const SignalModel model(9, CountWidth::Word);
    EXPECT_EQ(model.count(-1, 100), 0);
    EXPECT_EQ(model.count(16, 100), 0);
    EXPECT_EQ(model.referenceCount(16), 0);
    EXPECT_EQ(model.counts(-500), model.counts(0));
}

struct SeedCase {
    const char* text;
    std::uint64_t seed;
};

TEST(SignalModel, SeedComesFromTheEnvironmentWhenItIsANumber) {
    for (const SeedCase& c : {SeedCase{"1234", 1234}, SeedCase{"0x10", 16}, SeedCase{"0", 0}}) {
        ::setenv("KEYSCOPE_SIM_SEED", c.text, 1);
        EXPECT_EQ(seedFromEnvironment(), c.seed) << c.text;
    }
    // Anything else falls back to the clock: no crash, and not the parsed prefix.
    ::setenv("KEYSCOPE_SIM_SEED", "12abc", 1);
    EXPECT_NE(seedFromEnvironment(), 12u);
    ::unsetenv("KEYSCOPE_SIM_SEED");
}

}  // namespace
}  // namespace keyscope::sim
