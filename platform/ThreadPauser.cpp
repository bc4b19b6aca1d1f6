#include "platform/ThreadPauser.h"

#include <chrono>
#include <thread>

namespace keyscope {

void ThreadPauser::pause(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace keyscope
