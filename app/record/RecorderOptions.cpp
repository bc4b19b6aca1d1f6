#include "app/record/RecorderOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <functional>

#include "app/record/OutputFiles.h"
#include "device/NumberText.h"
#include "device/SerialPort.h"
#include "keyscope_version.h"

namespace keyscope {

namespace {

using Apply = std::function<bool(const std::string& value, RecorderOptions& options)>;

// One option of the command line: its names, the name of its value (empty for
// a switch), its help line, the message for a missing or unreadable value, and
// how its value lands in the options (false: the value is unreadable).
struct OptionRow {
    QStringList names;
    QString valueName;
    QString help;
    std::string badValue;
    Apply apply;
};

// A switch that turns `field` on.
Apply turnsOn(bool RecorderOptions::*field) {
    return [field](const std::string&, RecorderOptions& o) {
        o.*field = true;
        return true;
    };
}

// A value kept as typed in `field`.
Apply keeps(std::string RecorderOptions::*field) {
    return [field](const std::string& value, RecorderOptions& o) {
        o.*field = value;
        return true;
    };
}

// Every option, in the order help lists them and values are read.
const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> rows = {
        {{"hid"},
         {},
         "Record the USB HID board (the default).",
         {},
         [](const std::string&, RecorderOptions& o) {
             o.link = RecordLink::Hid;
             return true;
         }},
        {{"serial"},
         "PORT",
         "Record a serial board on COMn or a device path.",
         "--serial needs a port (COMn or a device path)",
         [](const std::string& port, RecorderOptions& o) {
             o.link = RecordLink::Serial;
             o.port = port;
             return true;
         }},
        {{"baud"},
         "RATE",
         "Serial rate: 1200, 2400, 4800 or 9600 (default 9600).",
         "--baud must be 1200, 2400, 4800 or 9600",
         [](const std::string& text, RecorderOptions& o) {
             const auto baud = wholeNumber<long>(text);
             if (!baud || baudIndexFor(*baud) < 0)
                 return false;
             o.baud = static_cast<int>(*baud);
             return true;
         }},
        {{"ice"},
         {},
         "Record an ICE target: CHIP ADDR COUNT IRAM WIDTH follow, read like the "
         "dashboard's command line.",
         {},
         [](const std::string&, RecorderOptions& o) {
             o.link = RecordLink::Ice;
             return true;
         }},
        {{"o", "output"},
         "FILE",
         "Write the CSV rows to FILE instead of standard output.",
         "--output needs a file name",
         keeps(&RecorderOptions::output)},
        {{"diff"},
         {},
         "Record maxValue - value instead of raw counts (columns dTK0 to dTK15).",
         {},
         turnsOn(&RecorderOptions::diff)},
        {{"utc"},
         {},
         "Add a first column utc: each row's wall-clock time, ISO 8601 UTC.",
         {},
         turnsOn(&RecorderOptions::utc)},
        {{"samples"},
         "N",
         "Stop after N rows.",
         "--samples needs a positive whole number",
         [](const std::string& text, RecorderOptions& o) {
             const auto n = wholeNumber<long>(text);
             if (!n || *n <= 0)
                 return false;
             o.samples = n;
             return true;
         }},
        {{"seconds"},
         "S",
         "Stop after S seconds.",
         "--seconds needs a positive number",
         [](const std::string& text, RecorderOptions& o) {
             const auto s = decimalNumber(text);
             if (!s || !(*s > 0))
                 return false;
             o.seconds = s;
             return true;
         }},
        {{"stats"},
         "FILE",
         "Write each key's noise, signal and SNR as CSV to FILE.",
         "--stats needs a file name",
         keeps(&RecorderOptions::stats)},
        {{"touch-threshold"},
         "N",
         "Difference (counts) from which a sample counts as touched on serial and ICE "
         "boards (default 30); HID boards name the pressed key.",
         "--touch-threshold needs a whole number of counts from 0 to 65535",
         [](const std::string& text, RecorderOptions& o) {
             const auto n = wholeNumber<long>(text);
             if (!n || *n < 0 || *n > 65535)
                 return false;
             o.touchThreshold = static_cast<std::int32_t>(*n);
             return true;
         }},
    };
    return rows;
}

constexpr int kIceFields = 5;

std::string dashed(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + name.toStdString();
}

const OptionRow* optionNamed(const std::string& arg) {
    for (const OptionRow& row : optionTable()) {
        for (const QString& name : row.names) {
            if (arg == dashed(name))
                return &row;
        }
    }
    return nullptr;
}

}  // namespace

ParsedOptions parseRecorderOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message);
        return parsed;
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Records the live key counts of a touch-key demo board as CSV rows, one per poll "
        "(every 50 ms) that brought new samples. Ctrl-C stops the recording with the file "
        "complete.");
    // Qt's own help option also offers Qt's options, which this program has not.
    const QCommandLineOption help({"h", "help"}, "Displays this help.");
    const QCommandLineOption version({"v", "version"}, "Displays version information.");
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionRow& row : optionTable()) {
        parser.addOption(QCommandLineOption(row.names, row.help, row.valueName));
    }
    parser.addPositionalArgument("TARGET", "With --ice: CHIP ADDR COUNT IRAM WIDTH.",
                                 "[CHIP ADDR COUNT IRAM WIDTH]");

    QStringList arguments{"keyscope-record"};
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    if (!parser.parse(arguments)) {
        // The parser's own texts name no fix; say which option and what it wants.
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string name = args[i].substr(0, args[i].find('='));
            const OptionRow* row = optionNamed(name);
            const bool builtIn =
                name == "-h" || name == "--help" || name == "-v" || name == "--version";
            if (!row && !builtIn && name.size() > 1 && name[0] == '-')
                return fail("unknown option '" + args[i] + "' (see --help)");
            if (row && !row->valueName.isEmpty() && name == args[i] && ++i == args.size())
                return fail(row->badValue);
        }
        return fail(parser.errorText().toStdString());
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot know the program's name.
        parsed.info =
            parser.helpText().replace("<executable_name>", "keyscope-record").toStdString();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.info = std::string("keyscope-record ") + KEYSCOPE_VERSION + "\n";
        return parsed;
    }

    RecorderOptions options;
    int links = 0;
    for (const OptionRow& row : optionTable()) {
        if (!parser.isSet(row.names.front()))
            continue;
        links += row.names.front() == "hid" || row.names.front() == "serial" ||
                 row.names.front() == "ice";
        // A switch has no value to ask for; newer parsers say so on standard error.
        const std::string value =
            row.valueName.isEmpty() ? std::string() : parser.value(row.names.front()).toStdString();
        if (!row.apply(value, options))
            return fail(row.badValue);
    }
    if (links > 1) {
        return fail("choose one of --hid, --serial, --ice");
    }
    const QStringList fields = parser.positionalArguments();
    if (options.link == RecordLink::Ice) {
        if (fields.size() < kIceFields)
            return fail("--ice needs CHIP ADDR COUNT IRAM WIDTH");
        options.ice = parseTargetCommandLine(fields.mid(0, kIceFields).join(' ').toStdString());
    }
    const int used = options.link == RecordLink::Ice ? kIceFields : 0;
    if (fields.size() > used) {
        return fail("unknown option '" + fields[used].toStdString() + "' (see --help)");
    }
    if (options.link != RecordLink::Serial && options.baud != 9600) {
        return fail("--baud applies to --serial only");
    }
    if (!options.stats.empty() && !options.output.empty() &&
        namesSameFile(options.stats, options.output)) {
        return fail("--stats " + options.stats + " and --output " + options.output +
                    " name the same file");
    }
    parsed.options = options;
    return parsed;
}

}  // namespace keyscope
