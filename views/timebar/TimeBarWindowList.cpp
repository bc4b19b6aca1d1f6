#include "views/timebar/TimeBarWindowList.h"

#include <algorithm>

namespace keyscope {
namespace {

TimeBarWindowList::iterator findWindow(TimeBarWindowList& windows, const ChannelRecord& record) {
    return std::find_if(windows.begin(), windows.end(), [&record](const auto& window) {
        return window->channelName() == record.name;
    });
}

}  // namespace

TimeBarWindow* openTimeBarWindow(TimeBarWindowList& windows, ChannelRecord* record, QWidget* owner,
                                 const TimeBarWiring& wire) {
    if (record == nullptr) {
        return nullptr;
    }
    if (auto open = findWindow(windows, *record); open != windows.end()) {
        TimeBarWindow& window = **open;
        window.raise();
        window.activateWindow();
        return &window;
    }
    auto window = std::make_unique<TimeBarWindow>(record, owner);
    window->showNormal();
    if (wire) {
        wire(*window);
    }
    windows.push_front(std::move(window));
    return windows.front().get();
}

void removeTimeBarWindow(TimeBarWindowList& windows, const ChannelRecord* record) {
    if (record == nullptr) {
        return;
    }
    auto open = findWindow(windows, *record);
    if (open == windows.end()) {
        return;
    }
    std::unique_ptr<TimeBarWindow> window = std::move(*open);
    windows.erase(open);
    window->hide();
    window.release()->deleteLater();
}

void updateTimeBarWindows(const TimeBarWindowList& windows) {
    for (const auto& window : windows) {
        window->update();
    }
}

}  // namespace keyscope
