#include "device/SnrTest.h"

#include <algorithm>
#include <cmath>

#include "device/BoardConnection.h"

namespace keyscope {

namespace {

std::string keyName(int key) {
    return "TK" + std::to_string(key);
}

// The one definition of a key code naming key k, shared with Key Statistics.
bool codeNamesKey(const KeySample& sample, int key) {
    return TouchRule{true, 0}.touched(sample, key);
}

}  // namespace

KeyCodeKind keyCodeKindFor(std::int32_t linkMode) {
    switch (linkMode) {
        case kLinkHidPlain:
        case kLinkHidTyped:
            return KeyCodeKind::NamesKey;
        case kLinkSerial:
            return KeyCodeKind::AnyKey;
        default:
            return KeyCodeKind::None;
    }
}

bool SnrSettings::valid() const {
    return quietMs >= kMinQuietMs && quietMs <= kMaxQuietMs &&
           touchedReadings >= kMinTouchedReadings && touchedReadings <= kMaxTouchedReadings &&
           snrLimit >= kMinSnrLimit && snrLimit <= kMaxSnrLimit &&
           touchTimeoutMs >= kMinTouchTimeoutMs && touchTimeoutMs <= kMaxTouchTimeoutMs;
}

bool SnrTest::start(const SnrSettings& settings, KeyCodeKind codes, std::span<const int> keys,
                    std::int64_t nowMs) {
    if (!settings.valid()) {
        return false;
    }
    settings_ = settings;
    codes_ = codes;
    keys_.clear();
    state_ = {};
    for (int key : keys) {
        if (key >= 0 && key < kChannelCount && !state_[key].underTest) {
            state_[key].underTest = true;
            keys_.push_back(key);
        }
    }
    quietRuns_ = 0;
    phase_ = SnrPhase::Quiet;
    return rerunQuiet(nowMs);
}

bool SnrTest::rerunQuiet(std::int64_t nowMs) {
    if (phase_ != SnrPhase::Quiet && phase_ != SnrPhase::QuietDone) {
        return false;
    }
    for (KeyState& state : state_) {
        const bool underTest = state.underTest;
        state = KeyState{};
        state.underTest = underTest;
    }
    ++quietRuns_;
    phase_ = SnrPhase::Quiet;
    phaseEndMs_ = nowMs + settings_.quietMs;
    return true;
}

bool SnrTest::beginTouch(std::int64_t nowMs) {
    if (phase_ != SnrPhase::QuietDone) {
        return false;
    }
    for (KeyState& state : state_) {
        const KeyStats& quiet = state.stats.untouched();
        if (quiet.count() > 0) {
            const double depth =
                std::max(kTouchNoiseFactor * (quiet.max() - quiet.min()), kMinTouchDepth);
            state.touchBelow = quiet.mean() - depth;
        }
    }
    keysToGo_ = static_cast<long>(keys_.size());
    phase_ = keysToGo_ > 0 ? SnrPhase::Touch : SnrPhase::Done;
    phaseEndMs_ = nowMs + settings_.touchTimeoutMs;
    return true;
}

bool SnrTest::finishEarly() {
    if (phase_ != SnrPhase::Touch) {
        return false;
    }
    phase_ = SnrPhase::Done;
    return true;
}

void SnrTest::advance(std::int64_t nowMs) {
    if (nowMs < phaseEndMs_) {
        return;
    }
    if (phase_ == SnrPhase::Quiet) {
        phase_ = SnrPhase::QuietDone;
    } else if (phase_ == SnrPhase::Touch) {
        phase_ = SnrPhase::Done;
    }
}

std::int64_t SnrTest::remainingMs(std::int64_t nowMs) const {
    if (phase_ != SnrPhase::Quiet && phase_ != SnrPhase::Touch) {
        return 0;
    }
    return std::max<std::int64_t>(phaseEndMs_ - nowMs, 0);
}

void SnrTest::feed(int key, const KeySample& sample, std::int64_t nowMs) {
    advance(nowMs);
    if (key < 0 || key >= kChannelCount || !state_[key].underTest || sample.reference) {
        return;
    }
    if (phase_ == SnrPhase::Quiet) {
        takeQuiet(state_[key], key, sample);
    } else if (phase_ == SnrPhase::Touch) {
        takeTouch(state_[key], key, sample);
    }
}

void SnrTest::takeQuiet(KeyState& state, int key, const KeySample& sample) {
    ++state.quietReadings;
    const bool excluded = codes_ == KeyCodeKind::NamesKey ? codeNamesKey(sample, key)
                          : codes_ == KeyCodeKind::AnyKey ? sample.keyCode != 0
                                                          : false;
    if (excluded) {
        ++state.excluded;
        return;
    }
    state.stats.add(sample.value, false);
    state.largestUntouchedDiff =
        std::max(state.largestUntouchedDiff.value_or(sample.diff), sample.diff);
}

void SnrTest::takeTouch(KeyState& state, int key, const KeySample& sample) {
    const bool touched = codes_ == KeyCodeKind::NamesKey
                             ? codeNamesKey(sample, key)
                             : state.touchBelow && sample.value < *state.touchBelow;
    if (!touched) {
        state.touchRun = 0;
        return;
    }
    if (++state.touchRun <= kSettlingReadings || state.settled >= settings_.touchedReadings) {
        return;
    }
    state.stats.add(sample.value, true);
    state.smallestTouchedDiff =
        std::min(state.smallestTouchedDiff.value_or(sample.diff), sample.diff);
    if (++state.settled == settings_.touchedReadings && --keysToGo_ == 0) {
        phase_ = SnrPhase::Done;
    }
}

std::vector<int> SnrTest::keysStillToTouch() const {
    std::vector<int> left;
    for (int key : keys_) {
        if (state_[key].settled < settings_.touchedReadings) {
            left.push_back(key);
        }
    }
    return left;
}

long SnrTest::touchedReadings(int key) const {
    return key >= 0 && key < kChannelCount ? state_[key].settled : 0;
}

std::vector<int> SnrTest::touchedWhileQuiet() const {
    std::vector<int> flagged;
    for (int key : keys_) {
        if (state_[key].touchedWhileQuiet()) {
            flagged.push_back(key);
        }
    }
    return flagged;
}

SnrKeyResult SnrTest::resultOf(int key) const {
    const KeyState& state = state_[key];
    SnrKeyResult r;
    r.key = key;
    r.quietReadings = state.quietReadings;
    r.excludedReadings = state.excluded;
    r.touchedWhileQuiet = state.touchedWhileQuiet();
    r.touchedReadings = state.settled;
    r.figures = state.stats.figures();
    if (state.stats.untouched().count() > 0) {
        r.untouchedMean = state.stats.untouched().mean();
    }
    if (state.stats.touched().count() > 0) {
        r.touchedMean = state.stats.touched().mean();
    }
    r.largestUntouchedDiff = state.largestUntouchedDiff;
    r.smallestTouchedDiff = state.smallestTouchedDiff;
    const long untouched = r.figures.untouched;
    const long touched = r.figures.touched;
    if (r.figures.snr) {
        r.verdict = *r.figures.snr >= settings_.snrLimit ? SnrVerdict::Pass : SnrVerdict::Fail;
    } else if (untouched == 0) {
        r.reason = "no untouched readings in the quiet phase";
    } else if (untouched < kMinUntouchedForSnr) {
        r.reason = "only " + std::to_string(untouched) + " untouched readings; an SNR needs " +
                   std::to_string(kMinUntouchedForSnr);
    } else if (touched == 0) {
        r.reason = "never touched";
    } else {
        r.reason = "only " + std::to_string(touched) + " touched readings; an SNR needs " +
                   std::to_string(kMinTouchedForSnr);
    }
    return r;
}

SnrResults SnrTest::results() const {
    SnrResults results;
    results.settings = settings_;
    results.codes = codes_;
    results.quietRuns = quietRuns_;
    for (int key : keys_) {
        results.keys.push_back(resultOf(key));
    }
    results.suggestion = suggestTriggerLevel(results.keys);
    if (results.suggestion.level) {
        setMargins(results.keys, *results.suggestion.level);
    }
    return results;
}

bool SnrResults::allPassed() const {
    return !keys.empty() &&
           std::all_of(keys.begin(), keys.end(), [](const SnrKeyResult& k) { return k.passed(); });
}

SnrSuggestion suggestTriggerLevel(std::span<const SnrKeyResult> keys) {
    SnrSuggestion s;
    const SnrKeyResult* weakest = nullptr;
    bool anyMeasured = false;
    for (const SnrKeyResult& k : keys) {
        anyMeasured = anyMeasured || k.measured();
        if (k.passed() && (!weakest || *k.figures.signal < *weakest->figures.signal)) {
            weakest = &k;
        }
    }
    if (!weakest) {
        s.explanation = anyMeasured ? "no key passed" : "no key was measured";
        return s;
    }
    // Four fifths, so that a signal of a whole number of fives comes out exact.
    const double signal = *weakest->figures.signal;
    const double share = std::floor(signal * 4.0 / 5.0);
    const std::int32_t level = static_cast<std::int32_t>(std::clamp(
        share, static_cast<double>(kMinTriggerLevel), static_cast<double>(kMaxTriggerLevel)));
    s.level = level;
    s.explanation = "80% of the smallest signal among passing keys, " + keyName(weakest->key) +
                    "'s " + formatFigure(signal, "", 2) + " counts, rounded down";
    if (share < kMinTriggerLevel || share > kMaxTriggerLevel) {
        s.explanation += ", kept within " + std::to_string(kMinTriggerLevel) + ".." +
                         std::to_string(kMaxTriggerLevel);
    }
    for (const SnrKeyResult& k : keys) {
        if (k.measured() && k.largestUntouchedDiff && 2 * *k.largestUntouchedDiff >= level &&
            (!s.noisyKey || level - *k.largestUntouchedDiff < s.noisyMargin)) {
            s.noisyKey = k.key;
            s.noisyMargin = level - *k.largestUntouchedDiff;
        }
    }
    if (s.noisyKey) {
        s.warning = keyName(*s.noisyKey) +
                    "'s largest untouched difference reaches half the level or more: margin in " +
                    std::to_string(s.noisyMargin) + " counts";
    }
    return s;
}

void setMargins(std::span<SnrKeyResult> keys, std::int32_t level) {
    for (SnrKeyResult& k : keys) {
        if (!k.measured()) {
            continue;
        }
        if (k.largestUntouchedDiff) {
            k.marginIn = level - *k.largestUntouchedDiff;
        }
        if (k.smallestTouchedDiff) {
            k.marginOut = *k.smallestTouchedDiff - level;
        }
    }
}

void SnrSampleFeed::feed(const BoardConnection& board, SnrTest& test, std::int64_t nowMs) {
    test.advance(nowMs);
    histories_.follow(board,
                      [&](int key, const KeySample& sample) { test.feed(key, sample, nowMs); });
}

}  // namespace keyscope
