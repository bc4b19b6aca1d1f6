// The whole keyscope program under Xvfb, polling the simulated ICE board with
// sixteen keys shown and four time-bar windows open, for 30 seconds; a second
// run adds the Key Statistics window, refreshed twice a second; a third adds
// the SNR test window instead, running a test through the whole run (5 s hands
// off, then a touch phase that wants 1000 readings a key, so its grid moves to
// the end). Reports the program's CPU use per second of wall time and its
// resident memory at 10 s, 20 s and 30 s. Targets: under 5% of one core, the
// SNR test window within 0.5 points of the run without it, and no growth of
// resident memory once the 300-sample histories are full (after 15 s).
//
// Not a micro-benchmark: one iteration, and the numbers are the counters.
#include <benchmark/benchmark.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "support/XvfbSession.h"

namespace keyscope {
namespace {

using namespace xvfb;

// User plus system time of a process, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return 0.0;
    }
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    return 0.0;
}

// Opens the time-bar window of key `key`: the bar graph's columns are 50
// pixels wide from x 100, and a click counts only on a column under the pointer.
bool openTimeBar(const Session& session, const std::string& window, int key) {
    const std::string x = std::to_string(100 + 50 * key + 25);
    session.xdotool("mousemove --window " + window + " " + x + " 400");
    std::this_thread::sleep_for(150ms);
    session.xdotool("mousemove_relative 1 0");
    std::this_thread::sleep_for(150ms);
    session.xdotool("click 1");
    return !session.waitForWindow("^Keyscope - TK" + std::to_string(key) + "$").empty();
}

// Device > Key Statistics: over ICE the first item the keys reach in the popup.
bool openKeyStatistics(const Session& session, const std::string& window) {
    session.xdotool("mousemove --window " + window + " 20 8 click 1");
    std::this_thread::sleep_for(600ms);
    session.xdotool("key Down Return");
    return !session.waitForWindow("^Keyscope - Key Statistics$").empty();
}

// The SNR test's settings where the program's QSettings looks (XDG_CONFIG_HOME), without
// the SNR limit: Start writes the form back whole, which is how the run knows it started.
const char kSnrSettings[] =
    "[snrTest]\nquietSeconds=5\ntouchedReadings=1000\ntouchTimeoutSeconds=600\n";

fs::path snrSettingsFile(const Session& session) {
    return session.directory() / "config" / "keyscope" / "keyscope.conf";
}

// Device > SNR Test..., the item after Key Statistics, then its Start button, at the
// bottom right of the window as its layout places it.
bool startSnrTest(const Session& session, const std::string& window) {
    session.xdotool("mousemove --window " + window + " 20 8 click 1");
    std::this_thread::sleep_for(600ms);
    session.xdotool("key Down Down Return");
    const std::string snr = session.waitForWindow("^Keyscope - SNR Test$");
    std::smatch size;
    const std::string geometry = session.xdotool("getwindowgeometry " + snr);
    if (snr.empty() || !std::regex_search(geometry, size, std::regex("([0-9]+)x([0-9]+)"))) {
        return false;
    }
    session.xdotool("mousemove --window " + snr + " " + std::to_string(std::stoi(size[1]) - 60) +
                    " " + std::to_string(std::stoi(size[2]) - 32) + " click 1");
    std::this_thread::sleep_for(500ms);
    std::ifstream in(snrSettingsFile(session));
    return std::string(std::istreambuf_iterator<char>(in), {}).find("snrLimit=") !=
           std::string::npos;
}

enum class ToolWindow { None, KeyStatistics, SnrTest };

void BM_DashboardUnderXvfb(benchmark::State& state, ToolWindow tool) {
    if (!haveProgram("Xvfb") || !haveProgram("xdotool")) {
        state.SkipWithError("needs Xvfb and xdotool");
        return;
    }
    for (auto _ : state) {
        Session session("keyscope-dash-bench");
        if (!session.startServer()) {
            state.SkipWithError("Xvfb did not start");
            return;
        }
        fs::create_directories(snrSettingsFile(session).parent_path());
        std::ofstream(snrSettingsFile(session)) << kSnrSettings;
        // Chip 6620, address 0x30, sixteen keys in internal RAM, two bytes per key.
        session.startProgram({"6620", "0x30", "16", "IRAM", "2"},
                             "XDG_CONFIG_HOME='" + (session.directory() / "config").string() + "'");
        const std::string main = session.waitForWindow("^Keyscope - KR48/KR44 Series Touch");
        if (main.empty()) {
            state.SkipWithError("no dashboard window");
            return;
        }
        std::this_thread::sleep_for(1s);
        for (int key = 0; key < 4; ++key) {
            if (!openTimeBar(session, main, key)) {
                state.SkipWithError("a time-bar window did not open");
                return;
            }
        }
        if (tool == ToolWindow::KeyStatistics && !openKeyStatistics(session, main)) {
            state.SkipWithError("the Key Statistics window did not open");
            return;
        }
        if (tool == ToolWindow::SnrTest && !startSnrTest(session, main)) {
            state.SkipWithError("the SNR test window did not open or start");
            return;
        }
        // Move the pointer off every window so no hover readout is drawn, and
        // let the new windows' first layout and paint pass before measuring.
        session.xdotool("mousemove 1270 790");
        std::this_thread::sleep_for(1s);

        const pid_t program = session.programPid();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds(program);
        const double serverStart = cpuSeconds(session.serverPid());
        const auto at = [&](int seconds) {
            std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
            return std::pair{cpuSeconds(program), residentKiB(program)};
        };
        const auto [cpu10, rss10] = at(10);
        const auto [cpu20, rss20] = at(20);
        const auto [cpu30, rss30] = at(30);
        const double serverCpu = cpuSeconds(session.serverPid()) - serverStart;
        state.SetIterationTime(30.0);

        state.counters["cpu_pct_0_10s"] = (cpu10 - cpuStart) / 10.0 * 100.0;
        state.counters["cpu_pct_10_30s"] = (cpu30 - cpu10) / 20.0 * 100.0;
        state.counters["cpu_pct_total"] = (cpu30 - cpuStart) / 30.0 * 100.0;
        state.counters["xvfb_cpu_pct"] = serverCpu / 30.0 * 100.0;
        state.counters["rss_kib_10s"] = rss10;
        state.counters["rss_kib_20s"] = rss20;
        state.counters["rss_kib_30s"] = rss30;
        state.counters["rss_growth_kib_20_30s"] = rss30 - rss20;
        state.counters["time_bar_windows"] =
            static_cast<double>(session.windows("^Keyscope - TK[0-9]+$").size());
    }
}

BENCHMARK_CAPTURE(BM_DashboardUnderXvfb, time_bars, ToolWindow::None)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_DashboardUnderXvfb, time_bars_and_key_statistics, ToolWindow::KeyStatistics)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_DashboardUnderXvfb, time_bars_and_snr_test, ToolWindow::SnrTest)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace keyscope

BENCHMARK_MAIN();
