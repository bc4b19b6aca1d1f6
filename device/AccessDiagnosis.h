#pragma once
// Why a device node that exists could not be opened, and what grants access.
// The message boxes keep their fixed texts; this line goes to standard error
// beside them, so a user who lacks access learns which node refused and the fix.
// Standard library only: the HID module links it too.

#include <string>

namespace keyscope {

// One line, without the program name, for an open of path that failed with
// error: the node, the reason and the fix (the udev rule for hidraw and SCSI
// generic nodes, group dialout for serial ports). Empty unless error is a
// refusal (EACCES or EPERM). A symbolic link is judged by the node it names.
std::string accessDeniedLine(const std::string& path, int error);

// Writes accessDeniedLine to standard error after the program's name, when it
// is not empty. The same line twice in a row is written once, so reconnect
// loops do not repeat it.
void reportAccessDenied(const std::string& path, int error);

}  // namespace keyscope
