#pragma once
// Why a transport step failed: the step, the device and the system's reason,
// and for a node that exists but refused to open, what grants access. The
// message boxes keep their fixed texts; these lines go to standard error beside
// them, so a busy port, a missing one and a forbidden one read apart.
// Standard library only: the HID module links it too.

#include <string>
#include <string_view>

namespace keyscope {

// One line, without the program name, for an open of path that failed with
// error: the node, the reason and the fix (the udev rule for hidraw and SCSI
// generic nodes, group dialout for serial ports). Empty unless error is a
// refusal (EACCES or EPERM). A symbolic link is judged by the node it names.
std::string accessDeniedLine(const std::string& path, int error);

// What a transport keeps as its last error: the operation, the path and the
// system's reason for error ("open /dev/ttyUSB0: Device or resource busy").
// A refusal carries accessDeniedLine instead, so the fix comes with it.
std::string transportError(std::string_view operation, const std::string& path, int error);

// Writes line to standard error after the program's name, when it is not empty.
void reportToStandardError(const std::string& line);

// A link's failure lines, said once per loss: a line equal to the last one said
// stays quiet, so a link that keeps failing the same way while it is lost (a
// reopen tried every second) says it once. linkBack() when the link works
// again, so that the next loss says its reason again. Each link keeps its own,
// so one link's lines never silence another's.
class FailureReport {
  public:
    void say(const std::string& line);
    void linkBack() { lastSaid_.clear(); }

  private:
    std::string lastSaid_;
};

}  // namespace keyscope
