// keyscope: the touch-key dashboard. Started by a user it waits for a connect
// command; started with an ICE target on its command line it connects at once;
// started with --replay FILE it plays a recording on the simulated board.

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dashboard/DashboardDialog.h"
#include "dashboard/ReplaySession.h"
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
    // QApplication has taken its own options out of argv.
    const ReplayArguments replay = parseReplayArguments({argv + 1, argv + argc});
    if (!replay.error.empty()) {
        std::fprintf(stderr, "keyscope: %s\n", replay.error.c_str());
        return 2;
    }
    const auto session =
        replay.file ? std::make_unique<ReplaySession>(*replay.file, replay.speed) : nullptr;
    {
        DashboardDialog dashboard(
            {systemBoardCollaborators(pauser, messages, notifier), session.get()});
        messages.setOwner(&dashboard);
        dashboard.initialise(session ? std::string() : commandLine(argc, argv));
        if (session) {
            session->start(dashboard);
        }
        dashboard.exec();
        messages.setOwner(nullptr);
    }
    return 0;
}
