#include "app/record/Recorder.h"

#include <cmath>
#include <limits>

namespace keyscope {

namespace {
constexpr int kPollMs = 50;
constexpr int kReconnectPauseMs = 200;
}  // namespace

void KeyStats::add(double value) {
    ++count_;
    if (count_ == 1) {
        min_ = max_ = value;
    } else {
        min_ = std::min(min_, value);
        max_ = std::max(max_, value);
    }
    // Welford's update keeps the variance exact over long captures.
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    m2_ += delta * (value - mean_);
}

double KeyStats::standardDeviation() const {
    return count_ < 2 ? 0.0 : std::sqrt(m2_ / static_cast<double>(count_));
}

Recorder::Recorder(BoardConnection& board, Pauser& pauser, Clock clock, RecorderOptions options,
                   std::FILE* out)
    : board_(board),
      pauser_(pauser),
      clock_(std::move(clock)),
      options_(std::move(options)),
      out_(out) {}

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

bool Recorder::writeHeader() {
    std::fputs("elapsed_ms", out_);
    for (int k = 0; k < kChannelCount; ++k) {
        std::fprintf(out_, ",TK%d", k);
    }
    std::fputs(",key_code\n", out_);
    return std::fflush(out_) == 0 && !std::ferror(out_);
}

bool Recorder::writeRow(std::int64_t elapsedMs) {
    std::fprintf(out_, "%lld", static_cast<long long>(elapsedMs));
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelRecord* record = board_.getChannel(k);
        if (record->samples.empty()) {
            std::fputs(",", out_);  // a key the board has not reported yet
            continue;
        }
        const KeySample& newest = record->samples.back();
        const std::int32_t value = options_.diff ? newest.diff : newest.value;
        std::fprintf(out_, ",%d", value);
        stats_[k].add(value);
    }
    std::fprintf(out_, ",%d\n", board_.keyCode());
    return std::fflush(out_) == 0 && !std::ferror(out_);
}

bool Recorder::linkDown() const {
    return board_.linkMode() == kLinkSerial && board_.serialPort().isHungUp();
}

RecordEnd Recorder::run(const std::atomic<bool>& interrupted, const Progress& progress,
                        const Notice& notice) {
    const std::uint32_t linkSelector = selector();
    if (options_.link == RecordLink::Ice) {
        const TargetCommandLine& t = options_.ice;
        board_.setTarget(t.selector, t.address, t.channelCount, t.iramSpace, t.valueWidth, 0, 0, 0);
    }
    if (!board_.open(linkSelector)) {
        return RecordEnd::OpenFailed;
    }
    if (!writeHeader()) {
        return RecordEnd::WriteFailed;
    }
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
    // A board that was giving rows gets a fresh quiet window when its link comes
    // back; one that never gave any since does not, so reconnecting alone never
    // keeps a recording alive.
    std::int64_t quietSinceMs = 0;
    bool rowsSinceBack = false;
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
        if (rowsSinceBack) {
            quietSinceMs = elapsed();
        }
        rowsSinceBack = false;
    };
    long polls = 0;
    for (;;) {
        if (interrupted.load()) {
            return RecordEnd::Interrupted;
        }
        if (options_.seconds && static_cast<double>(elapsed()) >= *options_.seconds * 1000.0) {
            return RecordEnd::TimeLimit;
        }
        if (lost && elapsed() - lastLossMs_ >= kGiveUpMs) {
            return RecordEnd::LinkLost;
        }
        if (!lost && elapsed() - quietSinceMs >= kGiveUpMs) {
            return RecordEnd::NoSamples;
        }
        pauser_.pause(kPollMs);
        const std::uint64_t before = board_.appendedSamples();
        ++polls;
        if (!board_.readCycle()) {
            // A lost link: the same recovery as the dashboard's poll, then one
            // try a second until the board is back or the recording gives up.
            markLost();
            pauser_.pause(kReconnectPauseMs);
            board_.close();
            pauser_.pause(kReconnectPauseMs);
            while (!board_.open(linkSelector)) {
                if (interrupted.load()) {
                    return RecordEnd::Interrupted;
                }
                if (elapsed() - lastLossMs_ >= kGiveUpMs) {
                    return RecordEnd::LinkLost;
                }
                pauser_.pause(kReopenEveryMs);
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
        if (!writeRow(elapsed())) {
            return RecordEnd::WriteFailed;
        }
        ++rows_;
        quietSinceMs = elapsed();
        rowsSinceBack = true;
        if (progress) {
            const double seconds = static_cast<double>(elapsed()) / 1000.0;
            progress(rows_, seconds > 0 ? static_cast<double>(polls) / seconds : 0.0);
        }
        if (options_.samples && rows_ >= *options_.samples) {
            return RecordEnd::SampleLimit;
        }
    }
}

std::string Recorder::summary() const {
    std::string text = "key       min       max      mean    stddev\n";
    char line[96];
    for (int k = 0; k < kChannelCount; ++k) {
        const KeyStats& s = stats_[k];
        if (s.count() == 0) {
            continue;
        }
        std::snprintf(line, sizeof line, "TK%-3d %9.0f %9.0f %9.1f %9.2f\n", k, s.min(), s.max(),
                      s.mean(), s.standardDeviation());
        text += line;
    }
    return text;
}

}  // namespace keyscope
