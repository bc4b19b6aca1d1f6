#pragma once
// A private X server (Xvfb) for tests and benchmarks, on which the keyscope
// program can run and be driven with xdotool. The session's destructor ends
// every process it started.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace keyscope::xvfb {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line that ends in `exec`, so the id is the program's.
inline pid_t spawnShell(const std::string& command) {
    pid_t pid = -1;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return pid;
}

// The child's exit code (-1 for a signal), or nullopt when it still runs after `limit`.
inline std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() > end)
            return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
}

// Checks `done` every 100 ms until it holds (true) or `limit` has passed (false): tests wait
// on what they can observe, with a bound far above what a loaded machine needs.
template <class Done>
bool eventually(Done done, std::chrono::milliseconds limit = 10s) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(100ms);
    }
}

class Session {
  public:
    // A fresh working folder under the temporary directory, named from `tag`.
    explicit Session(const std::string& tag)
        : directory_(fs::temp_directory_path() / (tag + "-" + std::to_string(getpid()))) {
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    ~Session() {
        stop(program_);
        stop(server_);
        if (removeDirectory_)
            fs::remove_all(directory_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts Xvfb and waits until a client can connect; false if that never
    // came. The display is chosen from the process id far above the low numbers
    // other servers take first: a server of a parallel test that ends on the
    // same display can remove the new one's socket. A display in use: the next.
    bool startServer() {
        if (!haveProgram("xdotool"))
            return startOneServer(firstDisplay());  // nothing to ask the server with
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (startOneServer(firstDisplay() + 17 * attempt) &&
                eventually([this] { return !xdotool("getdisplaygeometry").empty(); }, 3s))
                return true;
            stop(server_);
        }
        return false;
    }

    // Starts the program beside the running binary on the simulated board,
    // with `environment` ("NAME=value ...") added.
    void startProgram(const std::vector<std::string>& arguments,
                      const std::string& environment = {}) {
        std::string command =
            "env -u KEYSCOPE_HID_LIBRARY -u KEYSCOPE_SERIAL_PORTS DISPLAY=" + display_ +
            " QT_QPA_PLATFORM=xcb KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SEED=7 " + environment + " '" +
            (fs::read_symlink("/proc/self/exe").parent_path() / "keyscope").string() + "'";
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        program_ = spawnShell(inFolder("keyscope.log", command));
    }

    std::string xdotool(const std::string& arguments) const {
        std::string output;
        const std::string command =
            "DISPLAY=" + display_ + " xdotool " + arguments + " 2>/dev/null";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            for (char buffer[256]; fgets(buffer, sizeof buffer, pipe) != nullptr;)
                output += buffer;
            pclose(pipe);
        }
        return output;
    }

    // Ids of the visible windows whose title matches the extended regular
    // expression (xdotool ignores case).
    std::vector<std::string> windows(const std::string& pattern) const {
        std::istringstream ids(xdotool("search --onlyvisible --name '" + pattern + "'"));
        return {std::istream_iterator<std::string>(ids), {}};
    }

    // Ids of the program's visible windows, popup menus included.
    std::vector<std::string> programWindows() const {
        std::istringstream ids(xdotool("search --onlyvisible --pid " + std::to_string(program_)));
        return {std::istream_iterator<std::string>(ids), {}};
    }

    // The first matching window, waiting up to 10 s; empty if none appeared.
    std::string waitForWindow(const std::string& pattern) const {
        std::vector<std::string> found;
        eventually([&] { return !(found = windows(pattern)).empty(); });
        return found.empty() ? std::string() : found.front();
    }

    // Takes the program's end over from the session: its exit code, or nullopt.
    std::optional<int> waitForProgramEnd(std::chrono::milliseconds limit) {
        const auto code = waitFor(program_, limit);
        program_ = code ? -1 : program_;
        return code;
    }

    const std::string& display() const { return display_; }
    void keepDirectory() { removeDirectory_ = false; }
    const fs::path& directory() const { return directory_; }
    pid_t programPid() const { return program_; }
    pid_t serverPid() const { return server_; }

  private:
    static int firstDisplay() { return 200 + (getpid() * 7) % 500; }

    // Xvfb on :display, which it writes to a pipe once it takes clients. -noreset:
    // by default the server resets when its last client leaves, and a client
    // that connects during the reset (the program, right after the readiness
    // probe) is refused.
    bool startOneServer(int display) {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        server_ =
            spawnShell(inFolder("xvfb.log", "Xvfb :" + std::to_string(display) + " -displayfd " +
                                                std::to_string(fds[1]) +
                                                " -screen 0 1280x800x24 -nolisten tcp -noreset"));
        close(fds[1]);
        // Read up to the line end: Xvfb gives up if the pipe closes before it.
        FILE* in = fdopen(fds[0], "r");
        char number[16] = "";
        const bool read = in != nullptr && fgets(number, sizeof number, in) != nullptr &&
                          std::atoi(number) == display;
        if (in != nullptr)
            fclose(in);
        display_ = ":" + std::to_string(display);
        return read;
    }

    // Ends a process the session started: TERM, and KILL when it still runs after 3 s.
    static void stop(pid_t& pid) {
        if (pid > 0 && kill(pid, SIGTERM) == 0 && !waitFor(pid, 3s) && kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::string inFolder(const std::string& log, const std::string& command) const {
        return "cd '" + directory_.string() + "' && exec " + command + " >" + log + " 2>&1";
    }

    fs::path directory_;
    std::string display_;
    pid_t server_ = -1;
    pid_t program_ = -1;
    bool removeDirectory_ = true;
};

}  // namespace keyscope::xvfb
