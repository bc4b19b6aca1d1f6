// The keyscope program run as a user runs it: on its own X server (Xvfb),
// driven with xdotool against the simulated serial board, saving its history.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts a program with extra environment entries; stdout and stderr go to `log`.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const fs::path& directory, const fs::path& log, int keepFd = -1) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    for (const std::string& entry : environment) {
        const auto eq = entry.find('=');
        if (eq == entry.size() - 1) {
            unsetenv(entry.substr(0, eq).c_str());
        } else {
            setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
        }
    }
    if (chdir(directory.c_str()) != 0) {
        _exit(127);
    }
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    for (int fd = 3; fd < 256; ++fd) {
        if (fd != keepFd) {
            close(fd);
        }
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits for a child; nullopt when it has not ended within `limit`.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (!waitFor(pid, 3s)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
}

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
        directory_ = fs::temp_directory_path() / ("keyscope-dash-e2e-" + std::to_string(getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);

        // Xvfb picks a free display itself and writes its number to the pipe.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24",
                       "-nolisten", "tcp"},
                      {}, directory_, directory_ / "xvfb.log", fds[1]);
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        char number[16] = {};
        if (poll(&ready, 1, 10000) == 1) {
            const ssize_t n = read(fds[0], number, sizeof number - 1);
            number[n > 0 ? n : 0] = '\0';
        }
        close(fds[0]);
        ASSERT_NE(number[0], '\0') << "Xvfb did not start";
        display_ = ":" + std::string(number, std::strcspn(number, "\n"));
    }

    void TearDown() override {
        stop(program_);
        stop(xvfb_);
        if (!HasFailure()) {
            fs::remove_all(directory_);
        }
    }

    void startProgram() {
        program_ = spawn({programPath()},
                         {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "KEYSCOPE_SIMULATE=1",
                          "KEYSCOPE_SIM_SEED=7", "KEYSCOPE_HID_LIBRARY=", "KEYSCOPE_SERIAL_PORTS="},
                         directory_, directory_ / "keyscope.log");
    }

    static std::string programPath() {
        return (fs::read_symlink("/proc/self/exe").parent_path() / "keyscope").string();
    }

    std::string xdotool(const std::string& arguments) {
        const std::string command =
            "DISPLAY=" + display_ + " xdotool " + arguments + " 2>/dev/null";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, pipe) != nullptr)
                output += buffer;
            pclose(pipe);
        }
        return output;
    }

    // The first window whose title matches `pattern`, waiting up to 10 s; empty if none.
    std::string waitForWindow(const std::string& pattern) {
        for (int i = 0; i < 100; ++i) {
            std::istringstream ids(xdotool("search --onlyvisible --name '" + pattern + "'"));
            std::string id;
            if (ids >> id) {
                return id;
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // Opens the Device popup by a click on its title, the first on the menu bar.
    void openDeviceMenu(const std::string& window) {
        xdotool("mousemove --window " + window + " 20 8 click 1");
        std::this_thread::sleep_for(600ms);
    }

    fs::path directory_;
    std::string display_;
    pid_t xvfb_ = -1;
    pid_t program_ = -1;
};

TEST_F(DashboardProcess, ConnectSerialPortThenSaveDataWritesTheHistory) {
    startProgram();
    const std::string main = waitForWindow("^Keyscope - KR48/KR44 Series Touch \\(Raw Mode\\)$");
    ASSERT_FALSE(main.empty()) << "no dashboard window";

    // Device > Connect Serial Port: the keys skip the grayed items.
    openDeviceMenu(main);
    xdotool("key Down Down Return");
    ASSERT_FALSE(waitForWindow("^LQ-24 Setup UART Dialog$").empty());
    xdotool("key Return");  // "Connect" with COM1 at 9600
    ASSERT_FALSE(waitForWindow("^Keyscope$").empty()) << "no Enable TK Pin dialog";
    xdotool("key Return");  // OK with every key
    ASSERT_FALSE(waitForWindow("\\(Difference Mode\\)$").empty()) << "not connected";
    std::this_thread::sleep_for(2500ms);

    // SaveData, the fourth item right of Device on the bar.
    openDeviceMenu(main);
    xdotool("key Right Right Right Right Return");

    std::vector<fs::path> saved;
    for (int i = 0; i < 50 && saved.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        for (const auto& entry : fs::directory_iterator(directory_)) {
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
    xdotool("key Up Return");
    const auto code = waitFor(program_, 5s);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
    program_ = -1;
}

}  // namespace
}  // namespace keyscope
