// The keyscope program run as a user runs it: on its own X server (Xvfb),
// driven with xdotool against the simulated serial board, saving its history.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "dashboard/XvfbSession.h"

namespace keyscope {
namespace {

using namespace xvfb;

std::vector<std::string> splitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ','))
        fields.push_back(field);
    return fields;
}

class DashboardProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveProgram("Xvfb") || !haveProgram("xdotool")) {
            GTEST_SKIP() << "needs Xvfb and xdotool";
        }
        session_ = std::make_unique<Session>("keyscope-dash-e2e");
        ASSERT_TRUE(session_->startServer()) << "Xvfb did not start";
    }

    void TearDown() override {
        if (session_ && HasFailure()) {
            session_->keepDirectory();  // the logs tell what went wrong
        }
        session_.reset();
    }

    // Opens the Device popup by a click on its title, the first on the menu bar.
    void openDeviceMenu(const std::string& window) {
        session_->xdotool("mousemove --window " + window + " 20 8 click 1");
        std::this_thread::sleep_for(600ms);
    }

    std::unique_ptr<Session> session_;
};

TEST_F(DashboardProcess, ConnectSerialPortThenSaveDataWritesTheHistory) {
    Session& s = *session_;
    s.startProgram({});
    const std::string main = s.waitForWindow("^Keyscope - KR48/KR44 Series Touch \\(Raw Mode\\)$");
    ASSERT_FALSE(main.empty()) << "no dashboard window";

    // Device > Connect Serial Port: the keys skip the grayed items.
    openDeviceMenu(main);
    s.xdotool("key Down Down Return");
    ASSERT_FALSE(s.waitForWindow("^LQ-24 Setup UART Dialog$").empty());
    s.xdotool("key Return");  // "Connect" with COM1 at 9600
    ASSERT_FALSE(s.waitForWindow("^Keyscope$").empty()) << "no Enable TK Pin dialog";
    s.xdotool("key Return");  // OK with every key
    ASSERT_FALSE(s.waitForWindow("\\(Difference Mode\\)$").empty()) << "not connected";
    std::this_thread::sleep_for(2500ms);

    // SaveData, the fourth item right of Device on the bar.
    openDeviceMenu(main);
    s.xdotool("key Right Right Right Right Return");

    std::vector<fs::path> saved;
    for (int i = 0; i < 50 && saved.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        for (const auto& entry : fs::directory_iterator(s.directory())) {
            if (entry.path().extension() == ".csv") {
                saved.push_back(entry.path());
            }
        }
    }
    ASSERT_EQ(saved.size(), 1u) << "no CSV file";
    EXPECT_EQ(saved[0].filename().string().size(), std::string("20260101_1200.csv").size());

    std::this_thread::sleep_for(300ms);  // the save runs to its end inside the command
    std::ifstream in(saved[0], std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    std::istringstream lines(content);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line,
              "Times,Tk0,Tk1,Tk2,Tk3,Tk4,Tk5,Tk6,Tk7,Tk8,Tk9,Tk10,Tk11,Tk12,Tk13,Tk14,Tk15\r");
    int rows = 0;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << "row " << rows;
        line.pop_back();
        const auto fields = splitCsv(line);
        ASSERT_EQ(fields.size(), 17u) << line;
        EXPECT_EQ(fields[0], std::to_string(rows));
        for (std::size_t k = 1; k < fields.size(); ++k) {
            // Differences from the reference: small, and only negative by a little.
            const int value = std::stoi(fields[k]);
            EXPECT_GT(value, -1000) << line;
            EXPECT_LT(value, 1000) << line;
        }
        ++rows;
    }
    // About 2.5 s of 50 ms polls; well more than a handful, never beyond the history.
    EXPECT_GE(rows, 10);
    EXPECT_LE(rows, 300);

    // Device > Exit, the last item, ends the dashboard and the program with it.
    openDeviceMenu(main);
    s.xdotool("key Up Return");
    const auto code = s.waitForProgramEnd(5s);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
}

}  // namespace
}  // namespace keyscope
