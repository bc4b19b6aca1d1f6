// The close notification reaches an X11 window on a private Xvfb server.
#include <gtest/gtest.h>
// Xlib after gtest: its macros (None, Bool) clash with gtest's names.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/X11CloseNotifier.h"

namespace keyscope {
namespace {

// Starts Xvfb on a display it picks itself and stops it at the end.
class PrivateXServer {
  public:
    PrivateXServer() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24",
                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb writes the number and then a newline; the pipe stays open until
        // the server stops, or the second write would kill it.
        readEnd_ = fds[0];
        std::string number;
        char c = 0;
        while (::read(readEnd_, &c, 1) == 1 && c != '\n')
            number += c;
        if (!number.empty())
            display_ = ":" + number;
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (readEnd_ >= 0)
            ::close(readEnd_);
    }
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    int readEnd_ = -1;
    std::string display_;
};

TEST(X11CloseNotifier, DeliversTheMessageAndParameterToTheWindow) {
    PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
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
