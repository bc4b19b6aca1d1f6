#pragma once
// Runs the keyscope program on a private X server (Xvfb) and drives it with
// xdotool, for the end-to-end test and the whole-program benchmark. Every
// process started here is ended by the session's destructor.

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
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace keyscope::xvfb {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts a program in `directory`; "NAME=value" entries are set, "NAME=" entries
// removed from its environment; stdout and stderr go to `log`. Descriptors
// other than 0-2 and `keepFd` are closed in the child.
inline pid_t spawn(const std::vector<std::string>& argv,
                   const std::vector<std::string>& environment, const fs::path& directory,
                   const fs::path& log, int keepFd = -1) {
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
    for (int fd = 3; fd < 1024; ++fd) {
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

// The child's exit code (-1 for a signal); nullopt when it has not ended within `limit`.
inline std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
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

inline void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (!waitFor(pid, 3s)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
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
        if (removeDirectory_) {
            fs::remove_all(directory_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts Xvfb, which picks a free display itself and writes its number to
    // a pipe. False when it did not come up within 10 s.
    bool startServer() {
        int fds[2];
        if (pipe(fds) != 0) {
            return false;
        }
        server_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                         "1280x800x24", "-nolisten", "tcp"},
                        {}, directory_, directory_ / "xvfb.log", fds[1]);
        close(fds[1]);
        // The number and its line end come in separate writes; Xvfb gives up if
        // the pipe closes between them, so read up to the line end.
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && poll(&ready, 1, 10000) == 1) {
            char buffer[16];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        number = number.substr(0, number.find('\n'));
        if (number.empty()) {
            return false;
        }
        display_ = ":" + number;
        return true;
    }

    // Starts the program beside the running binary on the simulated board.
    void startProgram(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{
            (fs::read_symlink("/proc/self/exe").parent_path() / "keyscope").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        program_ = spawn(argv,
                         {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "KEYSCOPE_SIMULATE=1",
                          "KEYSCOPE_SIM_SEED=7", "KEYSCOPE_HID_LIBRARY=", "KEYSCOPE_SERIAL_PORTS="},
                         directory_, directory_ / "keyscope.log");
    }

    std::string xdotool(const std::string& arguments) const {
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

    // Ids of the visible windows whose title matches the extended regular
    // expression (xdotool matches without regard to case).
    std::vector<std::string> windows(const std::string& pattern) const {
        std::istringstream ids(xdotool("search --onlyvisible --name '" + pattern + "'"));
        std::vector<std::string> found;
        for (std::string id; ids >> id;)
            found.push_back(id);
        return found;
    }

    // The first matching window, waiting up to 10 s; empty if none appeared.
    std::string waitForWindow(const std::string& pattern) const {
        for (int i = 0; i < 100; ++i) {
            if (const auto found = windows(pattern); !found.empty()) {
                return found.front();
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // Takes the program's end over from the session: its exit code, or nullopt.
    std::optional<int> waitForProgramEnd(std::chrono::milliseconds limit) {
        const auto code = waitFor(program_, limit);
        if (code) {
            program_ = -1;
        }
        return code;
    }

    void keepDirectory() { removeDirectory_ = false; }
    const fs::path& directory() const { return directory_; }
    const std::string& display() const { return display_; }
    pid_t programPid() const { return program_; }
    pid_t serverPid() const { return server_; }

  private:
    fs::path directory_;
    std::string display_;
    pid_t server_ = -1;
    pid_t program_ = -1;
    bool removeDirectory_ = true;
};

}  // namespace keyscope::xvfb
