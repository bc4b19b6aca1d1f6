// The close notification reaches an X11 window on a private Xvfb server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/X11CloseNotifier.h"
#include "support/XvfbSession.h"
// Xlib last: its macros (None, Bool) clash with names in the headers above.
#include <X11/Xlib.h>

namespace keyscope {
namespace {

TEST(X11CloseNotifier, DeliversTheMessageAndParameterToTheWindow) {
    xvfb::Session server("keyscope-x11-notify");
    ASSERT_TRUE(server.startServer()) << "Xvfb did not start";
    ::setenv("DISPLAY", server.display().c_str(), 1);
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XSync(display, False);

    X11CloseNotifier notifier;
    notifier.notify(window, 0x8001, 42);
    notifier.notify(0xDEAD0, 1, 2);  // a window that does not exist is not fatal

    XEvent event{};
    bool received = false;
    for (int tries = 0; tries < 100 && !received; ++tries) {
        if (XCheckTypedWindowEvent(display, window, ClientMessage, &event)) {
            received = true;
        } else {
            ::usleep(10000);
        }
    }
    ASSERT_TRUE(received);
    EXPECT_EQ(event.xclient.message_type, 0x8001u);
    EXPECT_EQ(event.xclient.data.l[0], 42);
    EXPECT_EQ(event.xclient.data.l[1], 0);
    XCloseDisplay(display);
    ::unsetenv("DISPLAY");
}

TEST(X11CloseNotifier, NoDisplayOrNoWindowDoesNothing) {
    ::unsetenv("DISPLAY");
    X11CloseNotifier notifier;
    notifier.notify(0x400001, 1, 2);
    ::setenv("DISPLAY", ":9999", 1);
    notifier.notify(0x400001, 1, 2);
    notifier.notify(0, 1, 2);
    ::unsetenv("DISPLAY");
    SUCCEED();
}

}  // namespace
}  // namespace keyscope
