#pragma once
// The owner's side of the time-bar windows: the list of open windows, newest
// at the head and at most one per key, and the calls that open and remove them.

#include <functional>
#include <list>
#include <memory>

#include <QWidget>

#include "device/ChannelRecord.h"
#include "views/timebar/TimeBarWindow.h"

namespace keyscope {

// Each window is owned through its entry.
using TimeBarWindowList = std::list<std::unique_ptr<TimeBarWindow>>;

// Connects a new window's closed and scrollEnded signals to its owner's handlers.
using TimeBarWiring = std::function<void(TimeBarWindow& window)>;

// Brings the window showing a key of record's name to the front, or creates
// one for the owner window, shows it, wires it and adds it at the head. The
// dashboard passes itself as owner, so that its modal loop does not block the
// windows and the window manager keeps them in front of it; a list holding
// windows with an owner must be destroyed before the owner's QWidget part is. Returns that window;
// null for a null record.
TimeBarWindow* openTimeBarWindow(TimeBarWindowList& windows, ChannelRecord* record, QWidget* owner,
                                 const TimeBarWiring& wire);

// Removes the first window showing a key of record's name; no match, no change.
// The window is hidden at once and destroyed when control returns to the event
// loop, because this is normally called from inside that window's close event.
void removeTimeBarWindow(TimeBarWindowList& windows, const ChannelRecord* record);

// After a successful poll: update every window, from the head.
void updateTimeBarWindows(const TimeBarWindowList& windows);

}  // namespace keyscope
