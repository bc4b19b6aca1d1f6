#include "app/record/SnrRun.h"

#include <algorithm>
#include <charconv>

#include "device/BoardConnection.h"

namespace keyscope {

namespace {

std::string keyList(const std::vector<int>& keys) {
    std::string text;
    for (int key : keys) {
        text += (text.empty() ? "TK" : " TK") + std::to_string(key);
    }
    return text;
}

// Whole or decimal seconds, with a dot whatever the locale.
std::string seconds(std::int64_t ms) {
    char digits[32];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, static_cast<double>(ms) / 1000.0);
    return std::string(digits, result.ptr) + " s";
}

}  // namespace

SnrRun::SnrRun(Recorder& recorder, const BoardConnection& board, const SnrSettings& settings,
               int keyLimit)
    : recorder_(recorder), board_(board), settings_(settings), keyLimit_(keyLimit) {}

bool SnrRun::startIfReported(std::int64_t nowMs, const SnrRunIo& io) {
    if (test_.phase() != SnrPhase::Idle) {
        return true;
    }
    std::vector<int> keys;
    for (int k = 0; k < std::min(keyLimit_, kChannelCount); ++k) {
        if (!board_.getChannel(k)->samples.empty()) {
            keys.push_back(k);
        }
    }
    if (keys.empty() || !test_.start(settings_, keyCodeKindFor(board_.linkMode()), keys, nowMs)) {
        return false;
    }
    feed_.skipTo(board_);
    io.say("SNR test of " + std::to_string(keys.size()) + " keys: " + keyList(keys));
    io.say("Keep your hands off the keys for " + seconds(settings_.quietMs));
    return true;
}

std::optional<RecordEnd> SnrRun::step(std::int64_t nowMs, const SnrRunIo& io) {
    const SnrPhase before = test_.phase();
    test_.advance(nowMs);
    if (before == SnrPhase::Touch && test_.phase() == SnrPhase::Done) {
        io.say("Touch phase time-out; not done: " + keyList(test_.keysStillToTouch()));
    } else if (test_.phase() == SnrPhase::QuietDone) {
        const std::vector<int> flagged = test_.touchedWhileQuiet();
        if (!flagged.empty() && test_.quietRuns() < kMaxQuietRuns) {
            io.say(keyList(flagged) + " touched during the quiet phase: hands off again for " +
                   seconds(settings_.quietMs));
            test_.rerunQuiet(nowMs);
        } else {
            if (!flagged.empty()) {
                io.say(keyList(flagged) + " touched during every quiet phase; going on");
            }
            test_.beginTouch(nowMs);
            io.say("Touch each key in turn until it is done (" +
                   std::to_string(settings_.touchedReadings) + " readings each, at most " +
                   seconds(settings_.touchTimeoutMs) + ")" +
                   (io.finishRequested ? "; Enter ends this phase early" : ""));
        }
    } else if (test_.phase() == SnrPhase::Touch) {
        if (io.finishRequested && io.finishRequested()) {
            test_.finishEarly();
            io.say("Touch phase ended early");
        } else if (io.live) {
            io.live(keyList(test_.keysStillToTouch()), test_.remainingMs(nowMs));
        }
    }
    return test_.phase() == SnrPhase::Done ? std::optional(RecordEnd::Finished) : std::nullopt;
}

RecordEnd SnrRun::run(const std::atomic<bool>& interrupted, const SnrRunIo& io) {
    if (!settings_.valid()) {
        return RecordEnd::Finished;  // nothing to test by: no keys, no verdict
    }
    startIfReported(0, io);  // the open's own reading names the keys
    const auto beforePoll = [&](std::int64_t nowMs) -> std::optional<RecordEnd> {
        return test_.phase() == SnrPhase::Idle ? std::nullopt : step(nowMs, io);
    };
    const auto tookSamples = [&](std::int64_t nowMs) -> std::optional<RecordEnd> {
        if (test_.phase() == SnrPhase::Idle) {
            startIfReported(nowMs, io);
            return std::nullopt;
        }
        feed_.feed(board_, test_, nowMs);
        if (test_.phase() == SnrPhase::Done) {
            io.say("Every key has its touched readings");
            return RecordEnd::Finished;
        }
        return std::nullopt;
    };
    return recorder_.poll(interrupted, beforePoll, tookSamples,
                          [&](const std::string& line) { io.say(line); });
}

}  // namespace keyscope
