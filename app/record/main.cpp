// keyscope-record: records the live key counts of a demo board as CSV rows,
// without a window, for long captures and scripts.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/record/OutputFiles.h"
#include "app/record/Recorder.h"
#include "device/HidLibrary.h"
#include "device/NumberText.h"
#include "platform/StreamMessages.h"
#include "platform/SystemBoard.h"
#include "platform/ThreadPauser.h"

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) {
    interrupted = true;
}

int fail(const std::string& message, int code) {
    std::fprintf(stderr, "keyscope-record: %s\n", message.c_str());
    return code;
}

// "COM3" names entry 2 of the port table; anything else is a device path.
std::optional<std::int32_t> comIndexOf(const std::string& port) {
    if (port.size() < 4 || port.compare(0, 3, "COM") != 0) {
        return std::nullopt;
    }
    const std::optional<unsigned> n = keyscope::wholeNumber<unsigned>(port.substr(3));
    return n && *n >= 1 && *n <= 255 ? std::optional<std::int32_t>(*n - 1) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace keyscope;
    const ParsedOptions parsed =
        parseRecorderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.info.empty()) {
        std::fputs(parsed.info.c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        return fail(parsed.error, 2);
    }
    const RecorderOptions& options = *parsed.options;

    if (options.output.empty() && !options.stats.empty() &&
        nameIsDescriptor(options.stats, STDOUT_FILENO)) {
        return fail("--stats " + options.stats + " and standard output name the same file", 2);
    }

    ThreadPauser pauser;
    StreamMessages messages(stderr);
    NoCloseNotifier notifier;
    BoardCollaborators parts = systemBoardCollaborators(pauser, messages, notifier);
    SerialSettings serial;
    if (options.link == RecordLink::Serial) {
        const auto table = parts.comPorts;
        SerialPort::PathResolver resolver;
        if (const auto index = comIndexOf(options.port)) {
            if (!table(*index)) {
                return fail("unknown serial port " + options.port, 2);
            }
            resolver = [table, index](std::int32_t) { return table(*index); };
        } else {
            resolver = [path = options.port](std::int32_t) {
                return std::optional<std::string>(path);
            };
        }
        parts.comPorts = resolver;
        serial.baudIndex = baudIndexFor(options.baud);
    }
    BoardConnection board(std::move(parts));
    board.setSerialSettings(&serial);

    struct sigaction action {};
    action.sa_handler = onSignal;
    // Board calls interrupted half-way would fail and read as a lost board; the
    // loop looks at the flag between polls. Waits on files the user named
    // (a FIFO) look at it too, so none outlives Ctrl-C.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away (`| head`) fails the write instead of ending the
    // process, so that the statistics and the summary are still written.
    std::signal(SIGPIPE, SIG_IGN);

    const auto origin = std::chrono::steady_clock::now();
    auto clock = [origin] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - origin)
            .count();
    };
    const bool showProgress = isatty(STDERR_FILENO) == 1;
    Recorder recorder(board, pauser, clock, options);
    if (!recorder.open()) {
        HidLibrary probe(hidModulePath());
        if (options.link == RecordLink::Hid && !probe.load()) {
            return 1;  // the failed open said why, in the loader's words
        }
        return fail("cannot open the board", 1);
    }

    // Created only now: a board that does not open leaves existing files as they were.
    std::FILE* out = stdout;
    if (!options.output.empty() && !(out = createOutputFile(options.output, interrupted))) {
        return fail("cannot create " + options.output + ": " + std::strerror(errno), 1);
    }
    std::FILE* statsFile = nullptr;
    if (!options.stats.empty() && !(statsFile = createOutputFile(options.stats, interrupted))) {
        const std::string reason = std::strerror(errno);
        if (out != stdout) {
            std::fclose(out);
        }
        return fail("cannot create " + options.stats + ": " + reason, 1);
    }

    const RecordEnd end = recorder.record(
        out, interrupted,
        [&](long rows, double pollsPerSecond) {
            if (showProgress) {
                std::fprintf(stderr, "\rrows %ld, %.1f polls/s ", rows, pollsPerSecond);
            }
        },
        [&](const std::string& line) {
            std::fprintf(stderr, "%skeyscope-record: %s\n", showProgress ? "\n" : "", line.c_str());
        });
    if (showProgress) {
        std::fputs("\n", stderr);
    }
    // A reader that went away has its rows; what is left in the buffer is no one's.
    const bool outputClosed = end == RecordEnd::OutputClosed;
    const bool closed =
        (out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0) || outputClosed;

    const std::string giveUp = std::to_string(Recorder::kGiveUpMs / 1000) + " s";
    int code = 0;
    switch (end) {
        case RecordEnd::LinkLost: {
            char when[32];
            std::snprintf(when, sizeof when, "%.2f s",
                          static_cast<double>(recorder.lastLossMs()) / 1000.0);
            code = fail(std::string("the board link was lost at ") + when +
                            " and could not be reopened within " + giveUp,
                        1);
            break;
        }
        case RecordEnd::NoSamples:
            code = fail("the board gave no samples for " + giveUp, 1);
            break;
        case RecordEnd::WriteFailed:
            code = fail("cannot write " + (options.output.empty() ? "the output" : options.output) +
                            ": " + std::strerror(errno),
                        1);
            break;
        default:
            break;
    }
    if (!closed && code == 0) {
        code = fail("cannot finish " + options.output + ": " + std::strerror(errno), 1);
    }
    if (statsFile != nullptr) {
        const std::string table = recorder.statisticsCsv();
        const bool written = std::fputs(table.c_str(), statsFile) >= 0;
        if ((std::fclose(statsFile) != 0 || !written) && code == 0) {
            code = fail("cannot write " + options.stats + ": " + std::strerror(errno), 1);
        }
    }
    std::fprintf(stderr, "%ld rows; links lost: %d, reconnected: %d\n%s", recorder.rows(),
                 recorder.lostLinks(), recorder.reconnects(), recorder.summary().c_str());
    return code;
}
