#include "app/record/RecorderOptions.h"

#include <cerrno>
#include <cstdlib>

#include "device/SerialPort.h"

namespace keyscope {

const char* const kRecorderUsage =
    "usage: keyscope-record [--hid | --serial PORT [--baud RATE] |\n"
    "                        --ice CHIP ADDR COUNT IRAM WIDTH]\n"
    "                       [--output FILE] [--diff] [--samples N] [--seconds S]\n"
    "                       [--stats FILE] [--touch-threshold N]\n"
    "  --hid            the USB HID board (default)\n"
    "  --serial PORT    a serial board on COMn or a device path; --baud 1200|2400|4800|9600\n"
    "  --ice ...        an ICE target, read like the dashboard's command line\n"
    "  --output FILE    write the CSV rows to FILE instead of standard output\n"
    "  --diff           record maxValue - value instead of raw counts\n"
    "  --samples N      stop after N rows; --seconds S  stop after S seconds\n"
    "  --stats FILE     write each key's noise, signal and SNR as CSV to FILE\n"
    "  --touch-threshold N  difference (counts) from which a sample counts as touched\n"
    "                   on serial and ICE boards (default 30); HID boards name the key\n"
    "Ctrl-C stops the recording with the file complete.\n";

namespace {

bool readLong(const std::string& text, long& out) {
    errno = 0;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0;
}

bool readDouble(const std::string& text, double& out) {
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0;
}

}  // namespace

ParsedOptions parseRecorderOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    RecorderOptions options;
    bool linkChosen = false;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message);
        return parsed;
    };
    auto chooseLink = [&](RecordLink link) {
        if (linkChosen) {
            return false;
        }
        linkChosen = true;
        options.link = link;
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto needs = [&](std::size_t count) { return i + count < args.size(); };
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--hid") {
            if (!chooseLink(RecordLink::Hid))
                return fail("choose one of --hid, --serial, --ice");
        } else if (arg == "--serial") {
            if (!needs(1))
                return fail("--serial needs a port (COMn or a device path)");
            if (!chooseLink(RecordLink::Serial))
                return fail("choose one of --hid, --serial, --ice");
            options.port = args[++i];
        } else if (arg == "--baud") {
            long baud = 0;
            if (!needs(1) || !readLong(args[i + 1], baud) || baudIndexFor(baud) < 0) {
                return fail("--baud must be 1200, 2400, 4800 or 9600");
            }
            options.baud = static_cast<int>(baud);
            ++i;
        } else if (arg == "--ice") {
            if (!needs(5))
                return fail("--ice needs CHIP ADDR COUNT IRAM WIDTH");
            if (!chooseLink(RecordLink::Ice))
                return fail("choose one of --hid, --serial, --ice");
            std::string line = args[i + 1];
            for (std::size_t f = 2; f <= 5; ++f)
                line += " " + args[i + f];
            options.ice = parseTargetCommandLine(line);
            i += 5;
        } else if (arg == "--output" || arg == "-o") {
            if (!needs(1))
                return fail("--output needs a file name");
            options.output = args[++i];
        } else if (arg == "--diff") {
            options.diff = true;
        } else if (arg == "--samples") {
            long n = 0;
            if (!needs(1) || !readLong(args[i + 1], n) || n <= 0) {
                return fail("--samples needs a positive whole number");
            }
            options.samples = n;
            ++i;
        } else if (arg == "--seconds") {
            double s = 0;
            if (!needs(1) || !readDouble(args[i + 1], s) || !(s > 0)) {
                return fail("--seconds needs a positive number");
            }
            options.seconds = s;
            ++i;
        } else if (arg == "--stats") {
            if (!needs(1))
                return fail("--stats needs a file name");
            options.stats = args[++i];
        } else if (arg == "--touch-threshold") {
            long n = 0;
            if (!needs(1) || !readLong(args[i + 1], n) || n < 0 || n > 65535) {
                return fail("--touch-threshold needs a whole number of counts from 0 to 65535");
            }
            options.touchThreshold = static_cast<std::int32_t>(n);
            ++i;
        } else {
            return fail("unknown option '" + arg + "' (see --help)");
        }
    }
    if (options.link != RecordLink::Serial && options.baud != 9600) {
        return fail("--baud applies to --serial only");
    }
    if (!options.stats.empty() && options.stats == options.output) {
        return fail("--stats and --output must name different files");
    }
    parsed.options = options;
    return parsed;
}

}  // namespace keyscope
