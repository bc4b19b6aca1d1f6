#pragma once
// Command line of keyscope-record.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dashboard/CommandLine.h"
#include "device/KeyStatistics.h"
#include "device/SnrTest.h"

namespace keyscope {

enum class RecordLink { Hid, Serial, Ice };

struct RecorderOptions {
    RecordLink link = RecordLink::Hid;
    std::string port;               // serial: "COMn" or a device path
    int baud = 9600;                // serial: 1200, 2400, 4800 or 9600
    TargetCommandLine ice;          // ICE: read exactly as the dashboard reads its command line
    std::string output;             // CSV file; empty = standard output
    bool diff = false;              // maxValue - value instead of raw counts
    bool utc = false;               // a first column with each row's wall-clock time
    std::optional<long> samples;    // stop after this many rows
    std::optional<double> seconds;  // stop after this long
    std::string stats;              // key statistics CSV; empty = none
    // Difference at which a sample counts as touched on boards whose key code names no key.
    std::int32_t touchThreshold = kDefaultTouchThreshold;
    // --snr-test: the guided SNR test instead of a recording, its results on
    // standard output and, with a report file, a PDF, CSV or JSON of them.
    bool snrTest = false;
    SnrSettings snr;
    std::string report;
};

// Parsed options; or the one-line error that explains the first bad argument;
// or, for --help and --version, the text to print before ending with success.
struct ParsedOptions {
    std::optional<RecorderOptions> options;
    std::string error;
    std::string info;
};

// Reads the arguments after the program name. Needs no application object.
ParsedOptions parseRecorderOptions(const std::vector<std::string>& args);

}  // namespace keyscope
