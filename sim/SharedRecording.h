#pragma once
// The recordings this process has read, by path. However many links and
// sessions replay a file, it is opened, read and parsed once per process: a
// pipe (`<(...)`) can be read only once, and a large file is parsed once. What
// the first read gave, a refusal included, is what every later call gets.
//
// Across the loadable HID module: the module links its own copy of this
// library, whose own cache would read the file a second time. So a program
// exports one C function, kSharedRecordingSymbol, from its executable (every
// executable that links keyscope_sim does; see sim/CMakeLists.txt), and every
// copy of sharedRecording looks it up with dlsym(RTLD_DEFAULT) and asks it,
// falling back to its own cache when the host program exports none.
//
// The exported function's contract: it takes the path and the caller's
// sizeof(RecordingLoad), and returns the path's entry, or null when the size
// differs (a module built apart from the program, which then reads on its own).
// An entry never changes once read and lives until the process ends, so a
// caller may keep pointers into it.

#include <cstddef>
#include <string>
#include <string_view>

#include "sim/Recording.h"

namespace keyscope::sim {

inline constexpr const char* kSharedRecordingSymbol = "keyscope_sim_shared_recording_v1";

// The recording at `path`, read by the first call for it in this process. A
// call while another thread reads the same path waits for that read.
// The path by value: a reference parameter bound to a temporary would make the
// returned reference look dangling to the compiler, though the cache owns it.
const RecordingLoad& sharedRecording(std::string_view path);

}  // namespace keyscope::sim

extern "C" __attribute__((visibility("default"))) const keyscope::sim::RecordingLoad*
keyscope_sim_shared_recording_v1(const char* path, std::size_t loadSize);
