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

void X11CloseNotifier::notify(std::uint64_t window, std::uint32_t message, std::uint32_t param) {
    const char* name = std::getenv("DISPLAY");
    if (window == 0 || !name || !*name) {
        return;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        return;
    }
    const auto previous = XSetErrorHandler(ignoreXError);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = static_cast<Atom>(message);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(param);
    event.xclient.data.l[1] = 0;
    XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event);
    XFlush(display);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
}

}  // namespace keyscope
