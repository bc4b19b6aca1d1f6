#include "platform/X11CloseNotifier.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace keyscope {

namespace {
// Xlib's default handler ends the program on a bad window id; a stale id from
// the command line must not.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}
}  // namespace

void X11CloseNotifier::send(const CloseTarget& target) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        return;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        return;
    }
    const auto window = static_cast<Window>(target.window);
    const auto previous = XSetErrorHandler(ignoreXError);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = static_cast<Atom>(target.message);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(target.param);
    event.xclient.data.l[1] = 0;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
}

}  // namespace keyscope
