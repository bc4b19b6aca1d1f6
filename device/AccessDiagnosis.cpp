#include "device/AccessDiagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace keyscope {

namespace {

constexpr const char* kRuleFile = "70-keyscope.rules";

std::string fixFor(const std::string& node) {
    const std::string name = std::filesystem::path(node).filename().string();
    if (name.starts_with("hidraw")) {
        return std::string("install the udev rule ") + kRuleFile +
               ", which gives the board's HID nodes to the logged-in user, then re-plug the board";
    }
    if (name.starts_with("sg")) {
        // A file of the user's own: upgrades replace the packaged rule.
        return "SCSI generic nodes belong to root; fill in the ICE board's vendor and model in "
               "/etc/udev/rules.d/71-keyscope-ice.rules (copy the template from "
               "/usr/share/keyscope/), then re-plug the board";
    }
    if (name.starts_with("tty")) {
        return "serial ports belong to group dialout; join it (sudo adduser $USER dialout) and "
               "log in again";
    }
    return "ask the administrator for read and write access to it";
}

}  // namespace

std::string accessDeniedLine(const std::string& path, int error) {
    if (error != EACCES && error != EPERM) {
        return {};
    }
    std::error_code ignored;
    std::string node = std::filesystem::canonical(path, ignored).string();
    if (node.empty()) {
        node = path;
    }
    std::string line = path;
    if (node != path) {
        line += " (" + node + ")";
    }
    line += std::string(": permission denied (") + (error == EACCES ? "EACCES" : "EPERM") +
            "): this user may not open the device node; " + fixFor(node);
    return line;
}

std::string transportError(std::string_view operation, const std::string& path, int error) {
    const std::string denied = accessDeniedLine(path, error);
    return std::string(operation) + " " +
           (denied.empty() ? path + ": " + std::strerror(error) : denied);
}

void reportToStandardError(const std::string& line) {
    if (!line.empty()) {
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
    }
}

void FailureReport::say(const std::string& line) {
    if (line.empty() || line == lastSaid_) {
        return;
    }
    lastSaid_ = line;
    reportToStandardError(line);
}

}  // namespace keyscope
