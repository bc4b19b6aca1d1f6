// keyscope: the touch-key dashboard. Started by a user it waits for a connect
// command; started with an ICE target on its command line it connects at once;
// started with --replay FILE it plays a recording on the simulated board.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dashboard/DashboardDialog.h"
#include "dashboard/ReplaySession.h"
#include "keyscope_version.h"
#include "platform/QtMessages.h"
#include "platform/SystemBoard.h"
#include "platform/ThreadPauser.h"
#include "platform/X11CloseNotifier.h"

namespace {

const char* const kUsage =
    "Usage: keyscope [CHIP ADDRESS COUNT IRAM [WIDTH [WINDOW MESSAGE PARAM [PERCENT]]]]\n"
    "       keyscope --replay FILE [--speed X]\n"
    "Touch-key dashboard: shows the live counts of a touch-key demo board.\n"
    "\n"
    "Started plainly it waits for Device > Connect (USB HID) or Connect Serial Port.\n"
    "Started with an ICE target it connects to the ICE board at once:\n"
    "  CHIP      chip code, e.g. 6620\n"
    "  ADDRESS   address of the key table in the target's memory, e.g. 0x30\n"
    "  COUNT     number of keys (at most 16)\n"
    "  IRAM      the memory space: IRAM\n"
    "  WIDTH     bytes per key count, 1 or 2\n"
    "  WINDOW MESSAGE PARAM  X11 window (hexadecimal) told by a ClientMessage\n"
    "            whenever the connection closes, with its message type and datum\n"
    "  PERCENT   initial trigger percentage\n"
    "Fields are separated by single spaces; an empty argument leaves a field empty.\n"
    "\n"
    "--replay plays a recording of keyscope-record on the simulated board, at X\n"
    "times its pace (0.25 to 16), steered from its Replay window. A file it cannot\n"
    "play is refused before any window opens, with exit status 2.\n"
    "\n"
    "Options (alone on the command line):\n"
    "  -h, --help     Displays this help.\n"
    "  -v, --version  Displays version information.\n"
    "\n"
    "KEYSCOPE_SIMULATE=1 connects every link to a simulated board.\n"
    "See keyscope(1) for the environment and device access.\n";

// --help and --version are answered before the application object exists, so
// they need no display. Anything else is the dashboard's own command line.
bool answeredInfoRequest(int argc, char** argv) {
    if (argc != 2) {
        return false;
    }
    const char* arg = argv[1];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return true;
    }
    if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0) {
        std::puts("keyscope " KEYSCOPE_VERSION);
        return true;
    }
    return false;
}

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
    if (answeredInfoRequest(argc, argv)) {
        return 0;
    }
    // The application exists before the first window and outlives the last one.
    QApplication app(argc, argv);
    using namespace keyscope;
    ThreadPauser pauser;
    QtMessages messages;
    X11CloseNotifier notifier;
    SystemBoardConfig config = systemBoardConfigFromEnvironment();
    // QApplication has taken its own options out of argv.
    const ReplayArguments replay = parseReplayArguments({argv + 1, argv + argc});
    if (!replay.error.empty()) {
        std::fprintf(stderr, "keyscope: %s\n", replay.error.c_str());
        return 2;
    }
    // A file the board would refuse stops here, before any window, with its reason where a
    // desktop user sees it too: never as the board's open failure.
    if (const std::string refused =
            replay.file ? replayRefusal(*replay.file, config.sim.hidKind) : std::string();
        !refused.empty()) {
        const std::string line = "replay refused: " + refused;
        std::fprintf(stderr, "keyscope: %s\n", line.c_str());
        messages.show(line, kDashboardCaption, MessageIcon::Exclamation);
        return 2;
    }
    const auto session = replay.file ? std::make_unique<ReplaySession>(*replay.file, replay.speed,
                                                                       config.sim.replay.loop)
                                     : nullptr;
    if (session) {
        // Every link reaches the simulated board, over HID through its own module.
        config.simulate = true;
        config.hidLibrary.clear();
        config.sim.replay = session->replay();
    }
    {
        DashboardDialog dashboard(
            {systemBoardCollaborators(config, pauser, messages, notifier), nullptr, &notifier});
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
