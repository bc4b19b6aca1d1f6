// The keyscope program run as a user runs it: on its own X server (Xvfb),
// driven with xdotool against the simulated serial board, saving its history.
#include <gtest/gtest.h>

#include <fstream>

#include "support/XvfbSession.h"

namespace keyscope {
namespace {

using namespace xvfb;

// The dashboard on its own X server, driven through its menu.
struct Dashboard {
    Session s;
    std::string main;

    // Starts it and connects the simulated serial board on COM1 at 9600 with every key.
    explicit Dashboard(const std::string& tag, const std::string& environment = {}) : s(tag) {
        s.keepDirectory();  // until the end: its logs tell what went wrong
        if (!s.startServer())
            return;
        s.startProgram({}, environment);
        main = s.waitForWindow("^Keyscope - KR48/KR44 Series Touch \\(Raw Mode\\)$");
        if (main.empty())
            return;
        inDeviceMenu("Down Down Return");  // Connect Serial Port; the keys skip grayed items
        if (s.waitForWindow("^LQ-24 Setup UART Dialog$").empty())
            return;
        s.xdotool("key Return");                    // "Connect" with COM1 at 9600
        if (s.waitForWindow("^Keyscope$").empty())  // the Enable TK Pin dialog
            return;
        s.xdotool("key Return");  // OK with every key
        if (s.waitForWindow("\\(Difference Mode\\)$").empty())
            main.clear();
    }
    bool connected() const { return !main.empty(); }

    // A click on Device, the first title on the menu bar, opens its popup.
    void inDeviceMenu(const std::string& keys) {
        s.xdotool("mousemove --window " + main + " 20 8 click 1");
        std::this_thread::sleep_for(600ms);
        s.xdotool("key " + keys);
    }

    // SaveData, fourth right of Device; the file it wrote, empty if none came.
    fs::path saveData() {
        for (const auto& entry : fs::directory_iterator(s.directory()))
            if (entry.path().extension() == ".csv")
                fs::remove(entry.path());
        inDeviceMenu("Right Right Right Right Return");
        for (int i = 0; i < 50; ++i, std::this_thread::sleep_for(100ms))
            for (const auto& entry : fs::directory_iterator(s.directory()))
                if (entry.path().extension() == ".csv") {
                    std::this_thread::sleep_for(300ms);  // the save runs to its end in the command
                    return entry.path();
                }
        return {};
    }

    // Exit, the last item of Device, ends the program: its exit code.
    std::optional<int> exit() {
        inDeviceMenu("Up Return");
        return s.waitForProgramEnd(5s);
    }
};

int rowsIn(const fs::path& csv) {
    std::ifstream in(csv, std::ios::binary);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines - 1;  // the header
}

TEST(DashboardProcess, ConnectSerialPortThenSaveDataWritesTheHistory) {
    if (!haveProgram("Xvfb") || !haveProgram("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool";
    Dashboard d("keyscope-dash-e2e");
    ASSERT_TRUE(d.connected()) << "not connected; logs in " << d.s.directory();
    std::this_thread::sleep_for(2500ms);
    const fs::path saved = d.saveData();
    ASSERT_FALSE(saved.empty()) << "no CSV file";
    EXPECT_EQ(saved.filename().string().size(), std::string("20260101_1200.csv").size());

    std::ifstream in(saved, std::ios::binary);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line,
              "Times,Tk0,Tk1,Tk2,Tk3,Tk4,Tk5,Tk6,Tk7,Tk8,Tk9,Tk10,Tk11,Tk12,Tk13,Tk14,Tk15\r");
    int rows = 0;
    for (; std::getline(in, line); ++rows) {
        ASSERT_EQ(line.back(), '\r') << "row " << rows;
        std::istringstream fields(line);
        std::vector<int> values;
        for (std::string field; std::getline(fields, field, ',');)
            values.push_back(std::stoi(field));
        ASSERT_EQ(values.size(), 17u) << line;
        EXPECT_EQ(values[0], rows);
        // Differences, not the raw counts (700 and more on the simulated serial board).
        for (int value : values)
            EXPECT_LT(std::abs(value), 700) << line;
    }
    // About 2.5 s of 50 ms polls: more than a handful, never beyond the history.
    EXPECT_GE(rows, 10);
    EXPECT_LE(rows, 300);

    const auto code = d.exit();
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
    if (!HasFailure())
        fs::remove_all(d.s.directory());
}

// A pulled adapter that is plugged back: one read box, then the stream goes on.
TEST(DashboardProcess, SerialHangUpShowsOneBoxAndTheSamplesReturn) {
    if (!haveProgram("Xvfb") || !haveProgram("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool";
    Dashboard d("keyscope-dash-hangup",
                "KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=2 KEYSCOPE_SIM_SERIAL_RETURN_AFTER=2");
    ASSERT_TRUE(d.connected()) << "not connected; logs in " << d.s.directory();
    const std::string box = d.s.waitForWindow("^Keyscope$");
    ASSERT_FALSE(box.empty()) << "no read box after the hang-up";
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(d.s.windows("^Keyscope$").size(), 1u) << "boxes stacked";
    d.s.xdotool("key Return");
    for (int i = 0; i < 30 && !d.s.windows("^Keyscope$").empty(); ++i)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(d.s.windows("^Keyscope$").empty()) << "the box did not go";

    const int before = rowsIn(d.saveData());
    std::this_thread::sleep_for(3000ms);  // past the return, and the stream runs again
    const int after = rowsIn(d.saveData());
    EXPECT_GE(after, before + 10) << "no samples after the return";
    EXPECT_TRUE(d.s.windows("^Keyscope$").empty()) << "a box after the return";
    const auto code = d.exit();
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
    if (!HasFailure())
        fs::remove_all(d.s.directory());
}

}  // namespace
}  // namespace keyscope
