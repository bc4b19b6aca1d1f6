#include "app/record/RecorderOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cmath>
#include <functional>
#include <type_traits>

#include "app/record/OutputFiles.h"
#include "dashboard/SnrReport.h"
#include "device/NumberText.h"
#include "device/SerialPort.h"
#include "keyscope_version.h"

namespace keyscope {

namespace {

using Apply = std::function<bool(const std::string& value, RecorderOptions& options)>;

// Which runs an option belongs to.
enum class Use { Any, Recording, SnrTest };

// One option of the command line: its names, the name of its value (empty for
// a switch), its help line, the message for a missing or unreadable value, how
// its value lands in the options (false: the value is unreadable), and which
// runs it belongs to.
struct OptionRow {
    QStringList names;
    QString valueName;
    QString help;
    std::string badValue;
    Apply apply;
    Use use = Use::Any;
};

// A number within [low, high] in `field`, times `scale` (seconds to milliseconds).
template <typename Field>
Apply boundedNumber(Field SnrSettings::*field, double low, double high, double scale = 1) {
    return [=](const std::string& text, RecorderOptions& o) {
        const auto value = decimalNumber(text);
        if (!value || !(*value >= low && *value <= high))
            return false;
        if constexpr (std::is_floating_point_v<Field>)
            o.snr.*field = *value * scale;
        else
            o.snr.*field = static_cast<Field>(std::llround(*value * scale));
        return true;
    };
}

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
         keeps(&RecorderOptions::output),
         Use::Recording},
        {{"diff"},
         {},
         "Record maxValue - value instead of raw counts (columns dTK0 to dTK15).",
         {},
         turnsOn(&RecorderOptions::diff),
         Use::Recording},
        {{"utc"},
         {},
         "Add a first column utc: each row's wall-clock time, ISO 8601 UTC.",
         {},
         turnsOn(&RecorderOptions::utc),
         Use::Recording},
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
         },
         Use::Recording},
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
         },
         Use::Recording},
        {{"stats"},
         "FILE",
         "Write each key's noise, signal and SNR as CSV to FILE.",
         "--stats needs a file name",
         keeps(&RecorderOptions::stats),
         Use::Recording},
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
         },
         Use::Recording},
        {{"snr-test"},
         {},
         "Run the guided SNR test instead of recording: hands off the keys, then touch each "
         "key in turn; each key's noise, signal, SNR and PASS/FAIL and a suggested trigger "
         "level go to standard output. Exit status 0 when every key passes, 3 when one fails.",
         {},
         turnsOn(&RecorderOptions::snrTest)},
        {{"quiet-seconds"},
         "S",
         "SNR test: seconds of the hands-off phase (default 5).",
         "--quiet-seconds needs a number of seconds from 1 to 600",
         boundedNumber(&SnrSettings::quietMs, kMinQuietMs / 1000.0, kMaxQuietMs / 1000.0, 1000),
         Use::SnrTest},
        {{"touched-readings"},
         "N",
         "SNR test: touched readings needed of every key (default 10).",
         "--touched-readings needs a whole number from 5 to 1000",
         [](const std::string& text, RecorderOptions& o) {
             const auto n = wholeNumber<long>(text);
             if (!n || *n < kMinTouchedReadings || *n > kMaxTouchedReadings)
                 return false;
             o.snr.touchedReadings = *n;
             return true;
         },
         Use::SnrTest},
        {{"snr-limit"},
         "X",
         "SNR test: the SNR at which a key passes (default 5).",
         "--snr-limit needs a number from 0.1 to 1000",
         boundedNumber(&SnrSettings::snrLimit, kMinSnrLimit, kMaxSnrLimit),
         Use::SnrTest},
        {{"touch-timeout"},
         "S",
         "SNR test: seconds the touch phase waits at most (default 60).",
         "--touch-timeout needs a number of seconds from 1 to 3600",
         boundedNumber(&SnrSettings::touchTimeoutMs, kMinTouchTimeoutMs / 1000.0,
                       kMaxTouchTimeoutMs / 1000.0, 1000),
         Use::SnrTest},
        {{"report"},
         "FILE",
         "SNR test: also write the results to FILE, a PDF, CSV or JSON by its extension.",
         "--report needs a file name ending .pdf, .csv or .json",
         [](const std::string& path, RecorderOptions& o) {
             o.report = path;
             return snrReportFormatOf(path).has_value();
         },
         Use::SnrTest},
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
    const bool snrTest = parser.isSet("snr-test");
    for (const OptionRow& row : optionTable()) {
        if (!parser.isSet(row.names.front()))
            continue;
        const std::string name = dashed(row.names.back());
        if (row.use == Use::Recording && snrTest)
            return fail(name + " does not apply to --snr-test");
        if (row.use == Use::SnrTest && !snrTest)
            return fail(name + " applies to --snr-test only");
        if (row.names.front() == "hid" || row.names.front() == "serial" ||
            row.names.front() == "ice")
            ++links;
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
