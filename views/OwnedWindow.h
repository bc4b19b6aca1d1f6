#pragma once
// Windows the dashboard opens beside itself (time-bar windows, Key Statistics,
// any later tool window) are top-level windows with their own title, size and
// place, owned by the dashboard: constructed with it as their parent and these
// flags, so that a window manager keeps them in front of the dashboard, even a
// maximized one that stays on top, and minimises them with it.

#include <QWidget>

namespace keyscope {

// The dialog type, because on X11 Qt writes WM_TRANSIENT_FOR (the owner the
// window manager sees) only for dialog-like windows: a plain Qt::Window with a
// parent gets none and opens behind a dashboard that stays on top. The buttons
// are named, so the type adds no help button and takes none away.
inline constexpr Qt::WindowFlags kOwnedWindowFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
    Qt::WindowCloseButtonHint;

}  // namespace keyscope
