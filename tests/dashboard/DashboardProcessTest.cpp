// The keyscope program on its own X server, driven with xdotool against the simulated serial
// board, which hangs up like a pulled adapter and comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <utility>

#include "support/XvfbSession.h"

namespace keyscope {
namespace {

using namespace xvfb;

TEST(DashboardProcess, SerialHangUpShowsOneBoxTheSamplesReturnAndSaveDataWritesTheHistory) {
    if (!haveProgram("Xvfb") || !haveProgram("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool";
    Session s("keyscope-dash-e2e");
    s.keepDirectory();  // until the end: its logs tell what went wrong
    ASSERT_TRUE(s.startServer()) << "Xvfb did not start";
    s.startProgram({}, "KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=2 KEYSCOPE_SIM_SERIAL_RETURN_AFTER=2");
    const std::string main = s.waitForWindow("^Keyscope - KR48/KR44 Series Touch \\(Raw Mode\\)$");
    ASSERT_FALSE(main.empty()) << "no dashboard window; logs in " << s.directory();
    // A click on Device, the first title on the menu bar, opens its popup; the keys go to it
    // once it shows.
    const auto inDeviceMenu = [&](const std::string& keys) {
        const std::size_t shown = s.programWindows().size();
        s.xdotool("mousemove --window " + main + " 20 8 click 1");
        ASSERT_TRUE(eventually([&] { return s.programWindows().size() > shown; })) << "no menu";
        s.xdotool("key " + keys);
    };
    // The rows SaveData (fourth right of Device) writes, once the file has stopped growing;
    // the file's layout is CsvExport's test.
    const auto savedRows = [&] {
        inDeviceMenu("Right Right Right Right Return");
        fs::path saved;
        std::uintmax_t size = 0;
        const bool written = eventually([&] {
            for (const auto& entry : fs::directory_iterator(s.directory()))
                if (entry.path().extension() == ".csv")
                    saved = entry.path();
            std::error_code unknown;
            const std::uintmax_t now = saved.empty() ? 0 : fs::file_size(saved, unknown);
            return std::exchange(size, now) == now && now > 0;
        });
        EXPECT_TRUE(written) << "SaveData wrote no file";
        std::ifstream in(saved);
        const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
        fs::remove(saved);
        return static_cast<int>(lines) - 1;  // less the header
    };

    inDeviceMenu("Down Down Return");  // Connect Serial Port; the keys skip grayed items
    ASSERT_FALSE(s.waitForWindow("^LQ-24 Setup UART Dialog$").empty());
    s.xdotool("key Return");  // "Connect" with COM1 at 9600
    ASSERT_FALSE(s.waitForWindow("^Keyscope$").empty()) << "no Enable TK Pin dialog";
    s.xdotool("key Return");  // OK with every key
    ASSERT_FALSE(s.waitForWindow("\\(Difference Mode\\)$").empty()) << "not connected";

    ASSERT_FALSE(s.waitForWindow("^Keyscope$").empty()) << "no read box after the hang-up";
    // Polls that went on under the box would stack a second one within a few ticks.
    EXPECT_FALSE(eventually([&] { return s.windows("^Keyscope$").size() > 1; }, 1500ms))
        << "boxes stacked";
    s.xdotool("key Return");
    ASSERT_TRUE(eventually([&] { return s.windows("^Keyscope$").empty(); })) << "the box stayed";

    const int before = savedRows();  // about 2 s of frames before the hang-up
    EXPECT_GE(before, 10);
    // The board returns 2 s after the hang-up and the stream runs again.
    int after = 0;
    EXPECT_TRUE(eventually([&] { return (after = savedRows()) >= before + 10; }, 20s))
        << "no samples after the return: " << before << " rows, then " << after;
    EXPECT_TRUE(s.windows("^Keyscope$").empty()) << "a box after the return";

    inDeviceMenu("Up Return");  // Exit, the last item, ends the program
    const auto code = s.waitForProgramEnd(5s);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
    if (!HasFailure())
        fs::remove_all(s.directory());
}

// A replay file the board would refuse ends the program before any window, with its reason
// on standard error and in a box, and exit status 2; never as a failed open of the board.
TEST(DashboardProcess, ARefusedReplayFileSaysWhyAndExitsWithStatus2BeforeAnyWindow) {
    if (!haveProgram("Xvfb") || !haveProgram("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool";
    Session s("keyscope-dash-refused");
    ASSERT_TRUE(s.startServer()) << "Xvfb did not start";
    std::ofstream(s.directory() / "diff.csv") << "elapsed_ms,dTK0,key_code\n0,5,0\n";
    s.startProgram({"--replay", "diff.csv"});
    const std::string box = s.waitForWindow("^Keyscope$");
    ASSERT_FALSE(box.empty()) << "no box";
    EXPECT_TRUE(s.windows("^(Keyscope - |Replay - )").empty()) << "a window before the check";
    s.xdotool("key --window " + box + " Return");
    const auto code = s.waitForProgramEnd(5s);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 2);
    std::ifstream log(s.directory() / "keyscope.log");
    const std::string said{std::istreambuf_iterator<char>(log), {}};
    EXPECT_NE(said.find("keyscope: replay refused: diff.csv:1: a --diff recording"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("Open Touch Demoboard Fail"), std::string::npos);
}

}  // namespace
}  // namespace keyscope
