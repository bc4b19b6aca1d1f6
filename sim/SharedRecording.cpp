#include "sim/SharedRecording.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace keyscope::sim {

namespace {

struct Entry {
    std::once_flag read;
    RecordingLoad load;
};

// This copy's own cache. Never destroyed: entries are handed out until the
// process ends, to callers whose statics may outlive this one's.
const RecordingLoad& ownRecording(const char* path) {
    struct Cache {
        std::mutex mutex;
        std::map<std::string, std::unique_ptr<Entry>, std::less<>> entries;
    };
    static Cache& cache = *new Cache;
    Entry* entry = nullptr;
    {
        std::lock_guard lock(cache.mutex);
        std::unique_ptr<Entry>& slot = cache.entries[path];
        if (!slot) {
            slot = std::make_unique<Entry>();
        }
        entry = slot.get();
    }
    // Outside the cache's lock: a FIFO may wait for its writer, and other paths must not.
    std::call_once(entry->read, [&] { entry->load = loadRecording(path); });
    return entry->load;
}

using SharedFunction = const RecordingLoad* (*)(const char*, std::size_t);

}  // namespace

const RecordingLoad& sharedRecording(std::string_view pathView) {
    const std::string path(pathView);
    static const auto host =
        reinterpret_cast<SharedFunction>(::dlsym(RTLD_DEFAULT, kSharedRecordingSymbol));
    if (host != nullptr) {
        if (const RecordingLoad* load = host(path.c_str(), sizeof(RecordingLoad))) {
            return *load;
        }
    }
    return ownRecording(path.c_str());
}

}  // namespace keyscope::sim

const keyscope::sim::RecordingLoad* keyscope_sim_shared_recording_v1(const char* path,
                                                                     std::size_t loadSize) {
    if (path == nullptr || loadSize != sizeof(keyscope::sim::RecordingLoad)) {
        return nullptr;
    }
    return &keyscope::sim::ownRecording(path);
}
