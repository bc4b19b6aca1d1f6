// Message boxes belong to the window the user works in; the close notification reaches an
// X11 window on a private Xvfb server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "platform/QtMessages.h"
#include "platform/X11CloseNotifier.h"
#include "support/XvfbSession.h"
// Xlib last: its macros (None, Bool) clash with names in the headers above and below.
#include <X11/Xlib.h>
#undef None

namespace keyscope {
namespace {

// The parent and detailed text of the next message box to show, which is then dismissed.
void dismissNextBox(QWidget*& parent, QString& detail) {
    QTimer::singleShot(0, [&parent, &detail] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        parent = box->parentWidget();
        detail = box->detailedText();
        box->done(QMessageBox::Ok);
    });
}

// A reason given with the box is its detailed text, behind "Show Details...".
TEST(QtMessages, ABoxBelongsToTheModalDialogThatRunsElseToTheOwnerAndShowsItsReasonAsDetail) {
    QWidget owner;
    QtMessages messages(&owner);
    QWidget* parent = nullptr;
    QString detail;
    dismissNextBox(parent, detail);
    messages.plain("Could not open Com port!", "open /dev/ttyUSB0: Device or resource busy");
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(detail, "open /dev/ttyUSB0: Device or resource busy");

    QDialog settings;
    QTimer::singleShot(0, &settings, [&] {
        dismissNextBox(parent, detail);
        messages.show("from the dialog", "Keyscope - KR48CX36", MessageIcon::Exclamation);
        settings.done(QDialog::Accepted);
    });
    settings.exec();
    EXPECT_EQ(parent, &settings);
    EXPECT_TRUE(detail.isEmpty());
}

TEST(X11CloseNotifier, DeliversTheMessageAndParameterAndSurvivesBadWindowsAndNoDisplay) {
    xvfb::Session server("keyscope-x11-notify");
    ASSERT_TRUE(server.startServer()) << "Xvfb did not start";
    ::setenv("DISPLAY", server.display().c_str(), 1);
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XSync(display, False);
    const auto nextParam = [&]() -> long {
        XEvent event{};
        for (int tries = 0; tries < 100; ++tries, ::usleep(10000))
            if (XCheckTypedWindowEvent(display, window, ClientMessage, &event)) {
                EXPECT_EQ(std::tuple(event.xclient.message_type, event.xclient.data.l[1]),
                          std::tuple(0x8001u, 0));
                return event.xclient.data.l[0];
            }
        return -1;
    };

    X11CloseNotifier notifier;
    const auto notify = [&](std::uint64_t target, std::uint32_t param) {
        notifier.setTarget({target, 0x8001, param});
        notifier.notify();
    };
    notify(window, 42);
    EXPECT_EQ(nextParam(), 42);
    // A stale window id must not end the program through Xlib's default error handler, and
    // window 0 sends nothing.
    notify(0xDEAD0, 1);
    notify(0, 2);
    notify(window, 43);
    EXPECT_EQ(nextParam(), 43);
    for (const char* unreachable : {"", ":9999"}) {
        ::setenv("DISPLAY", unreachable, 1);
        notify(window, 44);
    }
    EXPECT_EQ(nextParam(), -1);
    XCloseDisplay(display);
    ::unsetenv("DISPLAY");
}

}  // namespace
}  // namespace keyscope
