#include "app/record/Recorder.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace keyscope {

namespace {
std::int64_t systemMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Digits as the C locale writes them, whatever the process's locale says.
void putNumber(std::string& line, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, result.ptr);
}

}  // namespace

Recorder::Recorder(BoardConnection& board, Pauser& pauser, Clock clock, RecorderOptions options,
                   Clock wallClock)
    : board_(board),
      pauser_(pauser),
      clock_(std::move(clock)),
      wallClock_(wallClock ? std::move(wallClock) : Clock(systemMs)),
      options_(std::move(options)) {}

std::uint32_t Recorder::selector() const {
    switch (options_.link) {
        case RecordLink::Hid:
            return kSelectorHid;
        case RecordLink::Serial:
            return kSelectorSerial;
        case RecordLink::Ice:
            return options_.ice.selector;
    }
    return kSelectorHid;
}

bool Recorder::put(const std::string& line) {
    std::fputs(line.c_str(), out_);
    return std::fflush(out_) == 0 && std::ferror(out_) == 0;
}

bool Recorder::writeHeader() {
    // Differences are named apart from counts, so that a reader can tell them apart.
    std::string line = options_.utc ? "utc,elapsed_ms" : "elapsed_ms";
    for (int k = 0; k < kChannelCount; ++k) {
        line += options_.diff ? ",dTK" : ",TK";
        putNumber(line, k);
    }
    line += ",key_code\n";
    return put(line);
}

bool Recorder::writeRow(std::int64_t elapsedMs) {
    const std::int64_t wallMs = wallClock_();
    if (rows_ == 0) {
        startedAtMs_ = wallMs;  // the statistics' span starts with the first row
    }
    lastRowMs_ = elapsedMs;
    std::string line = options_.utc ? utcTimestamp(wallMs) + "," : std::string();
    putNumber(line, elapsedMs);
    for (int k = 0; k < kChannelCount; ++k) {
        line += ',';
        const ChannelRecord* record = board_.getChannel(k);
        if (record->samples.empty()) {
            continue;  // a key the board has not reported yet
        }
        const KeySample& newest = record->samples.back();
        const std::int32_t value = options_.diff ? newest.diff : newest.value;
        putNumber(line, value);
        // A serial reference frame's count is written as the board sent it, but is no reading.
        if (!newest.reference) {
            stats_[k].add(value);
            touchStats_[k].add(newest.value, touchRule_.touched(newest, k));
        }
    }
    line += ',';
    putNumber(line, board_.keyCode());
    line += '\n';
    return put(line);
}

bool Recorder::linkDown() const {
    return board_.linkMode() == kLinkSerial && board_.serialPort().isHungUp();
}

RecordEnd Recorder::writeFailure() {
    return errno == EPIPE ? RecordEnd::OutputClosed : RecordEnd::WriteFailed;
}

bool Recorder::open() {
    if (options_.link == RecordLink::Ice) {
        const TargetCommandLine& t = options_.ice;
        board_.setTarget({t.address, t.channelCount, t.iramSpace, t.valueWidth});
    }
    if (!board_.open(selector())) {
        return false;
    }
    touchRule_ = touchRuleFor(board_.linkMode(), options_.touchThreshold);
    return true;
}

RecordEnd Recorder::run(std::FILE* out, const std::atomic<bool>& interrupted,
                        const Progress& progress, const Notice& notice) {
    return open() ? record(out, interrupted, progress, notice) : RecordEnd::OpenFailed;
}

RecordEnd Recorder::record(std::FILE* out, const std::atomic<bool>& interrupted,
                           const Progress& progress, const Notice& notice) {
    out_ = out;
    startedAtMs_ = wallClock_();
    if (!writeHeader()) {
        return writeFailure();
    }
    // The open's own read cycle is the first reading; without it a replay
    // recorded again would start one row late.
    if (board_.appendedSamples() > 0) {
        if (!writeRow(0)) {
            return writeFailure();
        }
        ++rows_;
        if (options_.samples && rows_ >= *options_.samples) {
            return RecordEnd::SampleLimit;
        }
    }
    const auto timeLimit = [&](std::int64_t elapsedMs) -> std::optional<RecordEnd> {
        if (options_.seconds && static_cast<double>(elapsedMs) >= *options_.seconds * 1000.0) {
            return RecordEnd::TimeLimit;
        }
        return std::nullopt;
    };
    const auto row = [&](std::int64_t elapsedMs) -> std::optional<RecordEnd> {
        if (!writeRow(elapsedMs)) {
            return writeFailure();
        }
        ++rows_;
        if (progress) {
            const double seconds = static_cast<double>(elapsedMs) / 1000.0;
            progress(rows_, seconds > 0 ? static_cast<double>(polls_) / seconds : 0.0);
        }
        if (options_.samples && rows_ >= *options_.samples) {
            return RecordEnd::SampleLimit;
        }
        return std::nullopt;
    };
    return poll(interrupted, timeLimit, row, notice);
}

RecordEnd Recorder::poll(const std::atomic<bool>& interrupted, const Step& beforePoll,
                         const Step& tookSamples, const Notice& notice) {
    const std::uint32_t linkSelector = selector();
    const std::int64_t start = clock_();
    const auto elapsed = [&] { return clock_() - start; };
    const auto tell = [&](const char* what, std::int64_t atMs) {
        if (notice) {
            char line[96];
            std::snprintf(line, sizeof line, "%.2f s: %s", static_cast<double>(atMs) / 1000.0,
                          what);
            notice(line);
        }
    };
    bool lost = false;
    // A board that was giving samples gets a fresh quiet window when its link
    // comes back; one that never gave any since does not, so reconnecting alone
    // never keeps a run alive.
    std::int64_t quietSinceMs = 0;
    bool samplesSinceBack = false;
    const auto markLost = [&] {
        if (!lost) {
            lost = true;
            lastLossMs_ = elapsed();
            ++lostLinks_;
            tell("board link lost", lastLossMs_);
        }
    };
    const auto markBack = [&] {
        lost = false;
        ++reconnects_;
        tell("board link back", elapsed());
        if (samplesSinceBack) {
            quietSinceMs = elapsed();
        }
        samplesSinceBack = false;
    };
    for (;;) {
        if (interrupted.load()) {
            return RecordEnd::Interrupted;
        }
        if (const std::optional<RecordEnd> end = beforePoll(elapsed())) {
            return *end;
        }
        if (lost && elapsed() - lastLossMs_ >= kGiveUpMs) {
            return RecordEnd::LinkLost;
        }
        if (!lost && elapsed() - quietSinceMs >= kGiveUpMs) {
            return RecordEnd::NoSamples;
        }
        pauser_.pause(kPollIntervalMs);
        const std::uint64_t before = board_.appendedSamples();
        ++polls_;
        if (!board_.readCycle()) {
            // A lost link: the dashboard's reconnect, then one try a second
            // until the board is back or the run gives up.
            markLost();
            bool back = board_.reconnect() != 0;
            while (!back) {
                if (interrupted.load()) {
                    return RecordEnd::Interrupted;
                }
                if (elapsed() - lastLossMs_ >= kGiveUpMs) {
                    return RecordEnd::LinkLost;
                }
                pauser_.pause(kReopenEveryMs);
                back = board_.open(linkSelector) != 0;
            }
            markBack();
            continue;
        }
        // A serial port that hung up reads as a quiet one; it reopens by itself.
        if (linkDown()) {
            markLost();
            continue;
        }
        if (lost) {
            markBack();
        }
        if (board_.appendedSamples() == before) {
            continue;
        }
        quietSinceMs = elapsed();
        samplesSinceBack = true;
        if (const std::optional<RecordEnd> end = tookSamples(elapsed())) {
            return *end;
        }
    }
}

std::string Recorder::summary() const {
    std::string text =
        "key       min       max      mean    stddev  noise_pp noise_rms    signal       snr\n";
    char line[96];
    for (int k = 0; k < kChannelCount; ++k) {
        const KeyStats& s = stats_[k];
        if (s.count() == 0) {
            continue;
        }
        std::snprintf(line, sizeof line, "TK%-3d %9.0f %9.0f %9.1f %9.2f", k, s.min(), s.max(),
                      s.mean(), s.standardDeviation());
        text += line;
        const KeyFigures f = touchStats_[k].figures();
        for (const auto& figure : {f.noisePp, f.noiseRms, f.signal, f.snr}) {
            std::snprintf(line, sizeof line, " %9s", formatFigure(figure, "-").c_str());
            text += line;
        }
        text += f.weak() ? "  below 5:1\n" : "\n";
    }
    return text;
}

std::string Recorder::statisticsCsv() const {
    std::string text = kStatisticsCsvHeader;
    const StatisticsSpan span{options_.touchThreshold, startedAtMs_,
                              static_cast<double>(lastRowMs_) / 1000.0};
    for (int k = 0; k < kChannelCount; ++k) {
        text += statisticsCsvLine(k, stats_[k], touchStats_[k].figures(), span);
    }
    return text;
}

}  // namespace keyscope
