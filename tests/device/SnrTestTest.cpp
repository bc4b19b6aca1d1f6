// The SNR test's engine on scripted readings, its suggestion on hand-computed signals, and
// the feed that follows a board's histories.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device/SnrTest.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr std::int32_t kReference = 120;  // every key's maxValue: diff = 120 - count
constexpr std::int64_t kQuietMs = 1000;

// Ten resting counts around 100: mean 100, noise_pp 6 (97..103), noise_rms sqrt(2.8) = 1.7.
const std::vector<int> kResting{100, 102, 98, 101, 99, 100, 103, 97, 100, 100};

KeySample reading(int value, int code = 0) {
    return KeySample{code, value, kReference - value};
}

// A test driven one 50 ms poll at a time.
struct Script {
    SnrTest test;
    std::int64_t now = 0;

    explicit Script(KeyCodeKind codes, std::vector<int> keys = {2}, SnrSettings settings = {}) {
        settings.quietMs = kQuietMs;
        EXPECT_TRUE(test.start(settings, codes, keys, now));
    }
    // One poll: a reading of every key given.
    void poll(std::initializer_list<std::pair<int, KeySample>> readings) {
        for (const auto& [key, sample] : readings)
            test.feed(key, sample, now);
        now += 50;
    }
    // Every key under test rests through the quiet phase, in which the touch phase cannot
    // begin; then it begins.
    void restThenTouch(const std::vector<int>& resting = kResting) {
        for (int v : resting) {
            for (int key : test.keys())
                test.feed(key, reading(v), now);
            now += 50;
        }
        EXPECT_FALSE(test.beginTouch(now));
        now = kQuietMs;
        test.advance(now);
        EXPECT_TRUE(test.beginTouch(now));
    }
    // TK2's counts, each with its key code: a digit d is 0x30 + d, '*' a serial board's 1
    // (some key is down), '.' none.
    void touch(const std::vector<int>& counts, const std::string& codes) {
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const char c = codes.at(i);
            poll({{2, reading(counts[i], c == '.' ? 0 : c == '*' ? 1 : 0x30 + c - '0')}});
        }
    }
    SnrKeyResult result(int key) const {
        for (const SnrKeyResult& r : test.results().keys)
            if (r.key == key)
                return r;
        return {};
    }
};

// Polls 0 and 1 carry TK0's code, 2 to 4 TK1's, 5 a serial board's "some key is down".
TEST(SnrTest_Quiet, KeyCodesExcludeReadingsAndMoreThanTenPerCentFlagsAKey) {
    const std::tuple<KeyCodeKind, long, long, std::vector<int>> cases[] = {
        {KeyCodeKind::NamesKey, 2, 3, {1}},  // TK0 at exactly 10% stays unflagged
        {KeyCodeKind::AnyKey, 6, 6, {0, 1}},
        {KeyCodeKind::None, 0, 0, {}},
    };
    for (const auto& [codes, excluded0, excluded1, flagged] : cases) {
        SCOPED_TRACE(static_cast<int>(codes));
        Script s(codes, {0, 1, 99});
        for (int i = 0; i < 20; ++i) {
            const int code = i < 2 ? 0x30 : i < 5 ? 0x31 : i == 5 ? 1 : 0;
            s.poll({{0, reading(100, code)}, {1, reading(90, code)}, {3, reading(5)}});
        }
        EXPECT_EQ(s.test.remainingMs(s.now), 0);
        s.poll({{0, reading(100)}});  // at the quiet time's end: too late
        EXPECT_EQ(s.test.phase(), SnrPhase::QuietDone);
        const SnrKeyResult r0 = s.result(0), r1 = s.result(1);
        EXPECT_EQ(std::tuple(r0.quietReadings, r0.excludedReadings, r0.figures.untouched),
                  std::tuple(20, excluded0, 20 - excluded0));
        EXPECT_EQ(r1.excludedReadings, excluded1);
        EXPECT_EQ(s.test.touchedWhileQuiet(), flagged);
        EXPECT_THAT(s.test.keys(), ElementsAre(0, 1));

        ASSERT_TRUE(s.test.rerunQuiet(s.now));
        EXPECT_EQ(
            std::tuple(s.test.quietRuns(), s.test.remainingMs(s.now), s.result(0).quietReadings),
            std::tuple(2, kQuietMs, 0));
        EXPECT_THAT(s.test.touchedWhileQuiet(), IsEmpty());
    }
}

TEST(SnrTest_Touch, TouchedByCodeOrCountRuleAndTheFirstTwoOfEachTouchDropped) {
    using enum KeyCodeKind;
    // key codes, resting counts, TK2's touch as Script::touch takes it, the settled touched
    // readings and their mean
    const std::tuple<KeyCodeKind, std::vector<int>, std::vector<int>, std::string, long, double>
        cases[] = {
            // The code names TK2; another key's code, or none, ends a touch.
            {NamesKey,
             kResting,
             {80, 82, 78, 80, 80, 100, 80, 70, 82, 80, 78},
             "22222.23222",
             4,
             79},
            // Touched below 100 - max(3 x 6, 5) = 82, whatever the code says.
            {AnyKey, kResting, {81, 81, 81, 82, 70, 70, 70, 70}, "...*....", 3, (81 + 140) / 3.0},
            // No noise: touched below 100 - 5.
            {None, std::vector(10, 100), {94, 94, 94, 95, 94, 94, 94}, ".......", 2, 94},
        };
    for (const auto& [codes, resting, touch, touchCodes, settled, touchedMean] : cases) {
        SCOPED_TRACE(touchCodes);
        Script s(codes);
        s.restThenTouch(resting);
        s.touch(touch, touchCodes);
        EXPECT_EQ(s.test.touchedReadings(2), settled);
        EXPECT_DOUBLE_EQ(s.result(2).touchedMean.value_or(0), touchedMean);
        EXPECT_EQ(s.test.phase(), SnrPhase::Touch);
    }
}

// TK2 gets its five readings (TK5 not); then the phase ends by the clock, by the user, or
// at once once every key has its readings.
TEST(SnrTest_Touch, EndsWhenEveryKeyHasItsReadingsAtTheTimeOutOrOnFinishEarly) {
    enum Ending { TimeOut, FinishEarly, AllTouched };
    for (const Ending ending : {TimeOut, FinishEarly, AllTouched}) {
        SCOPED_TRACE(ending);
        SnrSettings settings;
        settings.touchedReadings = 5;
        Script s(KeyCodeKind::NamesKey, {2, 5}, settings);
        s.restThenTouch();
        for (int i = 0; i < 9; ++i)
            s.poll({{2, reading(80, 0x32)}, {5, reading(100)}});
        EXPECT_THAT(s.test.keysStillToTouch(), ElementsAre(5));
        EXPECT_EQ(s.test.remainingMs(s.now), 60000 - 450);
        if (ending == TimeOut) {
            s.test.advance(kQuietMs + 59999);
            EXPECT_EQ(s.test.phase(), SnrPhase::Touch);
            s.test.advance(kQuietMs + 60000);
        } else if (ending == FinishEarly) {
            EXPECT_TRUE(s.test.finishEarly());
        } else {
            for (int i = 0; i < 7; ++i)
                s.poll({{2, reading(80, 0x32)}, {5, reading(80, 0x35)}});
        }
        EXPECT_EQ(s.test.phase(), SnrPhase::Done);
        EXPECT_FALSE(s.test.finishEarly());
        const SnrKeyResult tk5 = s.result(5);
        EXPECT_EQ(s.result(2).touchedReadings, 5) << "no more than wanted";
        EXPECT_EQ(std::tuple(tk5.verdict, tk5.reason),
                  ending == AllTouched
                      ? std::tuple(SnrVerdict::Fail, std::string())
                      : std::tuple(SnrVerdict::NotMeasured, std::string("never touched")));
    }
}

// kResting, then settled touches 80, 82, 78, 80, 80: untouched mean 100, noise_pp 6, touched
// mean 80, signal 20, SNR 3.33 (the rms and SNR of these readings are KeyStatisticsTest's).
// Differences from 120: at most 23 untouched, at least 38 touched.
TEST(SnrTest_Results, FiguresMarginsAndVerdictAgainstTheLimitAsComputedByHand) {
    for (const double limit : {3.0, 5.0}) {
        SnrSettings settings;
        settings.snrLimit = limit;
        settings.touchedReadings = 5;
        Script s(KeyCodeKind::NamesKey, {2}, settings);
        s.restThenTouch();
        s.touch({90, 90, 80, 82, 78, 100, 90, 90, 80, 80}, "22222.2222");
        ASSERT_EQ(s.test.phase(), SnrPhase::Done);
        const SnrResults results = s.test.results();
        const SnrKeyResult& r = results.keys.at(0);
        EXPECT_EQ(std::tuple(*r.untouchedMean, *r.figures.noisePp, *r.touchedMean,
                             *r.figures.signal, *r.largestUntouchedDiff, *r.smallestTouchedDiff),
                  std::tuple(100.0, 6.0, 80.0, 20.0, 23, 38));
        EXPECT_EQ(results.allPassed(), limit == 3.0);
        if (limit == 3.0) {  // the level is 16, the noise reaches 23 above it
            EXPECT_EQ(std::tuple(r.verdict, results.suggestion.level, r.marginIn, r.marginOut),
                      std::tuple(SnrVerdict::Pass, 16, -7, 22));
            EXPECT_EQ(results.suggestion.noisyKey, 2);
        } else {
            EXPECT_EQ(std::tuple(r.verdict, results.suggestion.level, r.marginIn),
                      std::tuple(SnrVerdict::Fail, std::nullopt, std::nullopt));
            EXPECT_EQ(results.suggestion.explanation, "no key passed");
        }
    }
}

SnrKeyResult measured(int key, SnrVerdict verdict, double signal, int largestUntouched = 0,
                      int smallestTouched = 255) {
    SnrKeyResult r;
    r.key = key;
    r.verdict = verdict;
    r.figures.signal = signal;
    r.largestUntouchedDiff = largestUntouched;
    r.smallestTouchedDiff = smallestTouched;
    return r;
}

TEST(SnrTest_Suggestion, FourFifthsOfTheWeakestPassingSignalWithinOneTo255AndItsNoise) {
    using enum SnrVerdict;
    SnrKeyResult notMeasured;
    notMeasured.largestUntouchedDiff = 100;
    const std::string rule = "80% of the smallest signal among passing keys, ",
                      weakest = rule + "TK1's 48.50 counts, rounded down",
                      atLeast1 = rule + "TK7's 1.20 counts, rounded down, kept within 1..255";
    // The weakest passing key decides; half the level is a warning naming the noisiest key.
    const std::vector<SnrKeyResult> mixed{measured(0, Pass, 60), measured(1, Pass, 48.5),
                                          measured(2, Fail, 30)},
        noisy{measured(3, Pass, 60, 24), measured(5, Pass, 70, 30), measured(6, Fail, 10, 40),
              notMeasured};
    // the keys, the level, its explanation (empty: not checked), the noisy key and its margin
    const std::tuple<std::vector<SnrKeyResult>, std::optional<std::int32_t>, std::string,
                     std::optional<int>, std::int32_t>
        cases[] = {
            {mixed, 38, weakest, {}, 0},
            {{measured(4, Pass, 60)}, 48, "", {}, 0},  // exactly four fifths
            {noisy, 48, "", 6, 8},
            {{measured(3, Pass, 60, 24)}, 48, "", 3, 24},  // exactly half
            {{measured(3, Pass, 60, 23)}, 48, "", {}, 0},  // just below half
            {{measured(7, Pass, 1.2)}, 1, atLeast1, {}, 0},
            {{measured(8, Pass, 400)}, 255, "", {}, 0},
            {{measured(0, Fail, 60), notMeasured}, {}, "no key passed", {}, 0},
            {{notMeasured}, {}, "no key was measured", {}, 0},
        };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const auto& [keys, level, explanation, noisyKey, noisyMargin] = c;
        const SnrSuggestion s = suggestTriggerLevel(keys);
        EXPECT_EQ(std::tuple(s.level, s.noisyKey, s.noisyMargin, s.warning.empty()),
                  std::tuple(level, noisyKey, noisyMargin, !noisyKey));
        if (!explanation.empty()) {
            EXPECT_EQ(s.explanation, explanation);
        }
    }
}

// The feed hands on only what each key gained since it last looked, never a reference, and
// no more than the history still holds.
TEST(SnrSampleFeed, FeedsEachKeysNewReadingsOnce) {
    fakes::FakeBoard f;
    SnrTest test;
    const std::vector<int> keys{0, 2};
    ASSERT_TRUE(test.start(SnrSettings{}, KeyCodeKind::None, keys, 0));
    SnrSampleFeed feed;
    const auto quietReadings = [&] {
        std::vector<long> n;
        for (const SnrKeyResult& r : test.results().keys)
            n.push_back(r.quietReadings);
        return n;
    };
    for (int i = 0; i < 3; ++i)
        f.board->appendSample(0, 100, MaxRule::Leave);
    feed.skipTo(*f.board);
    f.board->appendSample(0, 100, MaxRule::Set, SampleKind::Reference);
    f.board->appendSample(0, 101, MaxRule::Leave);
    f.board->appendSample(2, 99, MaxRule::Leave);
    feed.feed(*f.board, test, 50);
    feed.feed(*f.board, test, 100);
    EXPECT_THAT(quietReadings(), ElementsAre(1, 1));
    for (int i = 0; i < 350; ++i)
        f.board->appendSample(2, 99, MaxRule::Leave);
    feed.feed(*f.board, test, 150);
    EXPECT_THAT(quietReadings(), ElementsAreArray({1, 1 + static_cast<int>(kMaxSamples)}));
}

}  // namespace
}  // namespace keyscope
