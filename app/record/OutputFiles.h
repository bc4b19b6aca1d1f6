#pragma once
// The files a recording writes, as the user names them.

#include <atomic>
#include <cstdio>
#include <string>

namespace keyscope {

// True when both names reach one file: through links, "./" and "..", hard
// links. Names of files that do not exist yet are compared once resolved.
bool namesSameFile(const std::string& first, const std::string& second);
// True when the name reaches the file open on the descriptor (standard output
// redirected into it).
bool nameIsDescriptor(const std::string& name, int fd);

// Creates (empties) the file for writing and returns it, or null with errno
// set. A FIFO waits for its reader, but gives up with EINTR once `interrupted`
// is set, within kWaitStepMs: no open outlives Ctrl-C.
std::FILE* createOutputFile(const std::string& path, const std::atomic<bool>& interrupted);

inline constexpr int kWaitStepMs = 100;

}  // namespace keyscope
