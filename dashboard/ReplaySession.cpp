#include "dashboard/ReplaySession.h"

#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "dashboard/DashboardDialog.h"
#include "dashboard/MenuTable.h"
#include "dashboard/ReplayWindow.h"
#include "device/NumberText.h"
#include "sim/ReplayControl.h"
#include "sim/ReplaySignal.h"
#include "sim/SharedRecording.h"
#include "sim/SimHidBoard.h"

namespace keyscope {

namespace {

// The speed as the command line gives it: a dot, whatever the locale.
std::string speedText(double speed) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, speed);
    return std::string(text, result.ptr);
}

}  // namespace

ReplayArguments parseReplayArguments(const std::vector<std::string>& args) {
    ReplayArguments parsed;
    const bool asked = std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return arg == "--replay" || arg == "--speed";
    });
    if (!asked) {
        return parsed;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--replay" && hasValue && !parsed.file) {
            parsed.file = args[++i];
        } else if (args[i] == "--speed" && hasValue) {
            parsed.speed = decimalNumber(args[++i]).value_or(0);
            if (!(parsed.speed >= sim::ReplaySignal::kMinSpeed) ||
                !(parsed.speed <= sim::ReplaySignal::kMaxSpeed)) {
                parsed.error = "--speed needs a number from 0.25 to 16";
                return parsed;
            }
        } else {
            parsed.error = "usage: keyscope --replay FILE [--speed X]";
            return parsed;
        }
    }
    if (!parsed.file || parsed.file->empty()) {
        parsed.error = "usage: keyscope --replay FILE [--speed X]";
    }
    return parsed;
}

std::string replayRefusal(const std::string& file, sim::HidKind kind) {
    const sim::RecordingLoad& load = sim::sharedRecording(file);
    if (!load.recording) {
        return load.error;
    }
    return sim::checkRecordingFits(*load.recording, sim::SimHidBoard::maxCount(kind),
                                   sim::SimHidBoard::carrier(kind));
}

ReplaySession::ReplaySession(const std::string& file, double speed, bool loop)
    : replay_{file, speed, loop, {}} {
    sim::replayControl().clear();
    std::fprintf(stderr, "keyscope: replaying %s at %sx\n", file.c_str(), speedText(speed).c_str());
    const sim::RecordingLoad& load = sim::sharedRecording(file);
    recording_ = load.recording ? &*load.recording : nullptr;
    for (int key = 0; key < kChannelCount; ++key) {
        if (recording_ == nullptr || recording_->reported[static_cast<std::size_t>(key)]) {
            keys_.push_back(key);
        }
    }
}

void ReplaySession::start(DashboardDialog& dashboard) {
    // Only the connect's key selection: Enable TK Pin stays the user's.
    dashboard.presetKeySelection(keys_);
    dashboard.runCommand(menu::kConnect);
    if (recording_ == nullptr || !dashboard.board().isOpen()) {
        return;
    }
    auto window = std::make_unique<ReplayWindow>(
        dashboard, *recording_, sim::replayControl(),
        QString::fromStdString(std::filesystem::path(replay_.file).filename().string()),
        replay_.speed, replay_.loop);
    // Once the dashboard shows: its window must be there to keep this one in front, and its
    // frame in place to be beside.
    QTimer::singleShot(0, window.get(), [shown = window.get()] {
        shown->placeBesideDashboard();
        shown->show();
    });
    dashboard.adoptToolWindow(std::move(window));
}

}  // namespace keyscope
