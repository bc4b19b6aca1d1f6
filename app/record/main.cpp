// keyscope-record: records the live key counts of a demo board as CSV rows,
// without a window, for long captures and scripts; or runs the guided SNR test.

#include <poll.h>
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
#include "app/record/SnrRun.h"
#include "dashboard/SnrReportFiles.h"
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

// Why a run ended without its board, or empty when it did not.
std::string linkFailure(keyscope::RecordEnd end, const keyscope::Recorder& recorder) {
    using keyscope::RecordEnd;
    const std::string giveUp = std::to_string(keyscope::Recorder::kGiveUpMs / 1000) + " s";
    if (end == RecordEnd::LinkLost) {
        char when[32];
        std::snprintf(when, sizeof when, "%.2f s",
                      static_cast<double>(recorder.lastLossMs()) / 1000.0);
        return std::string("the board link was lost at ") + when +
               " and could not be reopened within " + giveUp;
    }
    return end == RecordEnd::NoSamples ? "the board gave no samples for " + giveUp : "";
}

// The link as the report names it.
std::string linkDescription(const keyscope::RecorderOptions& options) {
    switch (options.link) {
        case keyscope::RecordLink::Hid:
            return "USB HID";
        case keyscope::RecordLink::Serial:
            return keyscope::serialLinkText(options.port, options.baud);
        case keyscope::RecordLink::Ice:
            return keyscope::iceLinkText(options.ice.channelCount, options.ice.address,
                                         options.ice.iramSpace != 0);
    }
    return {};
}

// Enter on a terminal: whatever else was typed on the line is dropped with it.
bool enterPressed() {
    bool enter = false;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (::poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0) {
        char typed[64];
        const ssize_t n = ::read(STDIN_FILENO, typed, sizeof typed);
        if (n <= 0) {
            break;
        }
        enter = enter || std::memchr(typed, '\n', static_cast<std::size_t>(n)) != nullptr;
    }
    return enter;
}

// The SNR test on the open board: prompts and the live line on standard error,
// the results table on standard output, the report file if one was named.
int runSnrTest(keyscope::Recorder& recorder, const keyscope::BoardConnection& board,
               const keyscope::RecorderOptions& options, keyscope::Messages& messages) {
    using namespace keyscope;
    const bool terminal = isatty(STDERR_FILENO) == 1;
    bool liveShown = false;
    std::string lastLive;
    SnrRunIo io;
    io.say = [&](const std::string& line) {
        std::fprintf(stderr, "%skeyscope-record: %s\n", liveShown ? "\n" : "", line.c_str());
        liveShown = false;
    };
    io.live = [&](const std::string& keys, std::int64_t msLeft) {
        if (terminal) {
            std::fprintf(stderr, "\rstill to touch: %s (%lld s left)\033[K", keys.c_str(),
                         static_cast<long long>((msLeft + 999) / 1000));
            liveShown = true;
        } else if (keys != lastLive) {
            std::fprintf(stderr, "keyscope-record: still to touch: %s\n", keys.c_str());
        }
        lastLive = keys;
    };
    // Standard input that is no terminal is never read: a script's closed input ends nothing.
    if (isatty(STDIN_FILENO) == 1) {
        io.finishRequested = enterPressed;
    }
    SnrRun run(recorder, board, options.snr,
               options.link == RecordLink::Ice ? static_cast<int>(options.ice.channelCount)
                                               : kChannelCount);
    const RecordEnd end = run.run(interrupted, io);
    if (liveShown) {
        std::fputs("\n", stderr);
    }
    if (end == RecordEnd::Interrupted) {
        return fail("SNR test interrupted; nothing written", 130);
    }
    if (end != RecordEnd::Finished) {
        const std::string why = linkFailure(end, recorder);
        return fail(why.empty() ? "the SNR test ended without its board" : why, 1);
    }
    const SnrResults results = run.test().results();
    std::fputs(snrTable(results).c_str(), stdout);
    std::fflush(stdout);
    if (!options.report.empty()) {
        const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        const SnrReport report = snrReportFor(board, linkDescription(options), results, now);
        if (writeSnrReport(options.report, *snrReportFormatOf(options.report), report, messages) !=
            CsvSave::Saved) {
            return 1;
        }
    }
    return results.allPassed() ? 0 : 3;
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
    const SystemBoardConfig config = systemBoardConfigFromEnvironment();
    BoardCollaborators parts = systemBoardCollaborators(config, pauser, messages, notifier);
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
        HidLibrary probe(config.hidModule());
        if (options.link == RecordLink::Hid && !probe.load()) {
            return 1;  // the failed open said why, in the loader's words
        }
        return fail("cannot open the board", 1);
    }
    if (options.snrTest) {
        return runSnrTest(recorder, board, options, messages);
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

    int code = 0;
    switch (end) {
        case RecordEnd::LinkLost:
        case RecordEnd::NoSamples:
            code = fail(linkFailure(end, recorder), 1);
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
