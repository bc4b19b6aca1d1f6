#include "sim/ReplaySignal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/SharedRecording.h"

namespace keyscope::sim {

namespace {

constexpr double kStepWithoutGapsMs = 50.0;  // one poll, when the file has no gap to go by
constexpr std::int64_t kMaxStepsPerRow = 1'000'000;

double medianGap(const std::vector<RecordingRow>& rows) {
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].elapsedMs > rows[i - 1].elapsedMs) {
            gaps.push_back(rows[i].elapsedMs - rows[i - 1].elapsedMs);
        }
    }
    if (gaps.empty()) {
        return kStepWithoutGapsMs;
    }
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return static_cast<double>(*middle);
}

// Whole steps in a gap. A step more counts only from three quarters of the
// way to it, so that a poll that ran late is not taken for one that was missed.
std::int64_t stepsIn(std::int64_t ms, double stepMs) {
    const double steps = std::floor(static_cast<double>(ms) / stepMs + 0.25);
    return std::min<std::int64_t>(kMaxStepsPerRow, static_cast<std::int64_t>(steps));
}

}  // namespace

ReplaySignal::ReplaySignal(Recording recording, double speed, bool loop, ReplayControl* control)
    : ReplaySignal(std::make_shared<const Recording>(std::move(recording)), speed, loop, control) {}

ReplaySignal::ReplaySignal(std::shared_ptr<const Recording> recording, double speed, bool loop,
                           ReplayControl* control)
    : recording_(std::move(recording)),
      control_(control),
      speed_(std::clamp(speed, kMinSpeed, kMaxSpeed)),
      loop_(loop) {
    const std::vector<RecordingRow>& rows = recording_->rows;
    const double stepMs = medianGap(rows);
    std::int64_t step = stepsIn(rows.front().elapsedMs, stepMs);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        firstStep_.push_back(step);
        const std::int64_t gap =
            i + 1 < rows.size() ? rows[i + 1].elapsedMs - rows[i].elapsedMs : 0;
        step += std::max<std::int64_t>(1, stepsIn(gap, stepMs));
    }
    totalSteps_ = step;
    rowIndex_ = rowAtStep(0);
    reachedRow_ = startsRow(0);
    if (control_ != nullptr) {
        publish();
    }
}

int ReplaySignal::rowAtStep(std::int64_t step) const {
    if (loop_) {
        step %= totalSteps_;
    }
    const auto after = std::upper_bound(firstStep_.begin(), firstStep_.end(), step);
    return after == firstStep_.begin() ? 0 : static_cast<int>(after - firstStep_.begin() - 1);
}

bool ReplaySignal::startsRow(std::int64_t step) const {
    if (loop_) {
        step %= totalSteps_;
    }
    return std::binary_search(firstStep_.begin(), firstStep_.end(), step);
}

bool ReplaySignal::takeRequests() {
    if (const double speed = control_->speed.load(); speed > 0) {
        speed_ = std::clamp(speed, kMinSpeed, kMaxSpeed);
    }
    if (const int loop = control_->loop.load(); loop != ReplayControl::kKeepLoop) {
        if (loop_ && loop == 0) {
            // Back within the file, so that the rows left play before the end.
            position_ = std::fmod(position_, static_cast<double>(totalSteps_));
        }
        loop_ = loop != 0;
    }
    const int seek = control_->seekRow.exchange(ReplayControl::kNoSeek);
    if (seek == ReplayControl::kNoSeek) {
        return false;
    }
    rowIndex_ = std::clamp(seek, 0, static_cast<int>(firstStep_.size()) - 1);
    position_ = static_cast<double>(firstStep_[static_cast<std::size_t>(rowIndex_)]);
    reachedRow_ = true;
    ended_ = false;
    return true;
}

void ReplaySignal::publish() {
    control_->row = rowIndex_;
    control_->ended = ended_;
}

void ReplaySignal::advance() {
    if (control_ != nullptr && takeRequests()) {
        publish();
        return;
    }
    const auto before = static_cast<std::int64_t>(position_);
    position_ += speed_;
    const auto now = static_cast<std::int64_t>(position_);
    reachedRow_ = false;
    for (std::int64_t step = before + 1; step <= now && !reachedRow_; ++step) {
        reachedRow_ = startsRow(step);
    }
    rowIndex_ = rowAtStep(now);
    ended_ = !loop_ && !reachedRow_ && now > firstStep_.back();
    if (control_ != nullptr) {
        publish();
    }
}

ReplayRequest replayFrom(const ReplayConfig& config, int maxCount, std::string_view carrier) {
    ReplayRequest request;
    if (config.file.empty()) {
        return request;
    }
    request.requested = true;
    if (!config.refusal.empty()) {
        request.error = config.refusal;
        return request;
    }
    const RecordingLoad& load = sharedRecording(config.file);
    request.error =
        load.recording ? checkRecordingFits(*load.recording, maxCount, carrier) : load.error;
    if (!request.error.empty()) {
        return request;
    }
    // Not owned: the process's cache keeps the recording until the process ends.
    const std::shared_ptr<const Recording> recording(std::shared_ptr<const Recording>(),
                                                     &*load.recording);
    request.signal =
        std::make_unique<ReplaySignal>(recording, config.speed, config.loop, &replayControl());
    return request;
}

void reportReplayRefusal(const std::string& error, std::string& lastReported) {
    if (error != lastReported) {
        std::fprintf(stderr, "replay refused: %s\n", error.c_str());
        lastReported = error;
    }
}

}  // namespace keyscope::sim
