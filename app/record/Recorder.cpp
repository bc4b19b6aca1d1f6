#include "app/record/Recorder.h"

namespace keyscope {

namespace {
constexpr int kPollMs = 50;
constexpr int kReconnectPauseMs = 200;
}  // namespace

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
        touchStats_[k].add(newest.value, touchRule_.touched(newest, k));
    }
    std::fprintf(out_, ",%d\n", board_.keyCode());
    return std::fflush(out_) == 0 && !std::ferror(out_);
}

RecordEnd Recorder::run(const std::atomic<bool>& interrupted, const Progress& progress) {
    const std::uint32_t linkSelector = selector();
    if (options_.link == RecordLink::Ice) {
        const TargetCommandLine& t = options_.ice;
        board_.setTarget(t.selector, t.address, t.channelCount, t.iramSpace, t.valueWidth, 0, 0, 0);
    }
    if (!board_.open(linkSelector)) {
        return RecordEnd::OpenFailed;
    }
    touchRule_ = touchRuleFor(board_.linkMode(), options_.touchThreshold);
    if (!writeHeader()) {
        return RecordEnd::WriteFailed;
    }
    const std::int64_t start = clock_();
    long polls = 0;
    for (;;) {
        if (interrupted.load()) {
            return RecordEnd::Interrupted;
        }
        const std::int64_t elapsed = clock_() - start;
        if (options_.seconds && static_cast<double>(elapsed) >= *options_.seconds * 1000.0) {
            return RecordEnd::TimeLimit;
        }
        pauser_.pause(kPollMs);
        const std::uint64_t before = board_.appendedSamples();
        ++polls;
        if (!board_.readCycle()) {
            // A lost link: the same recovery as the dashboard's poll.
            pauser_.pause(kReconnectPauseMs);
            board_.close();
            pauser_.pause(kReconnectPauseMs);
            if (!board_.open(linkSelector)) {
                return RecordEnd::ReopenFailed;
            }
            continue;
        }
        if (board_.appendedSamples() == before) {
            continue;
        }
        if (!writeRow(clock_() - start)) {
            return RecordEnd::WriteFailed;
        }
        ++rows_;
        if (progress) {
            const double seconds = static_cast<double>(clock_() - start) / 1000.0;
            progress(rows_, seconds > 0 ? static_cast<double>(polls) / seconds : 0.0);
        }
        if (options_.samples && rows_ >= *options_.samples) {
            return RecordEnd::SampleLimit;
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
    for (int k = 0; k < kChannelCount; ++k) {
        text += statisticsCsvLine(k, stats_[k], touchStats_[k].figures());
    }
    return text;
}

}  // namespace keyscope
