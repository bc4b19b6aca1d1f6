// keyscope: the touch-key dashboard. Started by a user it waits for a connect
// command; started with an ICE target on its command line it connects at once.

#include <QApplication>
#include <string>

#include "dashboard/DashboardDialog.h"
#include "platform/QtMessages.h"
#include "platform/SystemBoard.h"
#include "platform/ThreadPauser.h"
#include "platform/X11CloseNotifier.h"

namespace {

// The arguments as one line, each separated by a single space, as the dashboard
// reads its fields; an empty argument leaves an empty field.
std::string commandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    // The application exists before the first window and outlives the last one.
    QApplication app(argc, argv);
    using namespace keyscope;
    ThreadPauser pauser;
    QtMessages messages;
    X11CloseNotifier notifier;
    {
        DashboardDialog dashboard({systemBoardCollaborators(pauser, messages, notifier), nullptr});
        messages.setOwner(&dashboard);
        // QApplication has taken its own options out of argv.
        dashboard.initialise(commandLine(argc, argv));
        dashboard.exec();
        messages.setOwner(nullptr);
    }
    return 0;
}
