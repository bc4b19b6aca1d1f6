#pragma once
// The owner's side of the time-bar windows: the list of open windows, newest
// at the head and at most one per key, and the calls that open and remove them.

#include <list>
#include <memory>

#include <QWidget>

#include "device/ChannelRecord.h"
#include "views/timebar/TimeBarWindow.h"

namespace keyscope {

// Each window is owned through its entry.
using TimeBarWindowList = std::list<std::unique_ptr<TimeBarWindow>>;

// What every new window is given: its close and end-of-scroll handlers, the
// context both receive, and the owner window (the dashboard passes itself, so
// that its modal loop does not block the windows). A list holding windows with
// an owner must be destroyed before the owner's QWidget part is.
struct TimeBarHandlers {
    ChannelHandler onClosed = nullptr;
    ChannelHandler onScrollEnd = nullptr;
    void* context = nullptr;
    QWidget* owner = nullptr;
};

// Brings the window showing a key of record's name to the front, or creates
// one, shows it and adds it at the head. Returns that window; null for a null
// record.
TimeBarWindow* openTimeBarWindow(TimeBarWindowList& windows, ChannelRecord* record,
                                 const TimeBarHandlers& handlers);

// Removes the first window showing a key of record's name; no match, no change.
// The window is hidden at once and destroyed when control returns to the event
// loop, because this is normally called from inside that window's close event.
void removeTimeBarWindow(TimeBarWindowList& windows, const ChannelRecord* record);

// After a successful poll: update every window, from the head.
void updateTimeBarWindows(const TimeBarWindowList& windows);

}  // namespace keyscope
