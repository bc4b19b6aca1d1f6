// The hidapi-backed HID module. Framing (docs/hid-protocol.md): every read is
// a 64-byte request whose first byte names the report wanted, answered by one
// 64-byte input report; a write is the write report with its first byte
// replaced by the write command. Reports are unnumbered (report id 0).

#include "hid/keyscope_hid.h"

#include <hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "device/AccessDiagnosis.h"

namespace {

constexpr int kReportSize = 64;
constexpr int kAnswerTimeoutMs = 500;

enum Command : unsigned char {
    kRequestData = 0x01,
    kRequestMax = 0x02,
    kRequestKey = 0x03,
    kWrite = 0x04,
};

// The one board this module talks to; the program is single-threaded.
struct Board {
    hid_device* device = nullptr;
    int productId = 0;
};

Board& board() {
    static Board instance;
    return instance;
}

unsigned short vendorFilter() {
    const char* vid = std::getenv("KEYSCOPE_HID_VID");
    return vid ? static_cast<unsigned short>(std::strtoul(vid, nullptr, 16)) : 0;
}

void closeBoard() {
    if (board().device) {
        hid_close(board().device);
        board().device = nullptr;
        board().productId = 0;
    }
}

// Sends one 64-byte output report: hidapi wants the report id in front.
bool send(const unsigned char* payload) {
    unsigned char frame[kReportSize + 1] = {};
    std::memcpy(frame + 1, payload, kReportSize);
    return hid_write(board().device, frame, sizeof frame) == sizeof frame;
}

int request(Command command, unsigned char* report) {
    if (!board().device || !report) {
        return 1;
    }
    unsigned char payload[kReportSize] = {command};
    if (!send(payload)) {
        closeBoard();  // unplugged: the next open searches the bus again
        return 2;
    }
    const int got = hid_read_timeout(board().device, report, kReportSize, kAnswerTimeoutMs);
    if (got < 0) {
        closeBoard();
        return 2;
    }
    return got == kReportSize ? 0 : 3;
}

// The module may be unloaded while a board is open.
__attribute__((destructor)) void releaseOnUnload() {
    closeBoard();
    hid_exit();
}

}  // namespace

extern "C" {

int vnHidOpen(int deviceId, int, int) {
    // The program reopens without closing; an open board with the same id is kept.
    if (board().device && board().productId == deviceId) {
        return 0;
    }
    closeBoard();
    if (hid_init() != 0) {
        return 1;
    }
    hid_device_info* found = hid_enumerate(vendorFilter(), static_cast<unsigned short>(deviceId));
    int result = 1;
    for (hid_device_info* info = found; info; info = info->next) {
        if (info->product_id != deviceId) {
            continue;
        }
        if (hid_device* device = hid_open_path(info->path)) {
            board().device = device;
            board().productId = deviceId;
            result = 0;
            break;
        }
        // hidapi keeps no errno; ask the node itself why it refused.
        if (::access(info->path, R_OK | W_OK) != 0) {
            keyscope::reportAccessDenied(info->path, errno);
        }
    }
    hid_free_enumeration(found);
    if (result != 0) {
        hid_exit();  // nothing to talk to: give back the library's bus state
    }
    return result;
}

int vnHidRead(int size, unsigned char* report) {
    return size < kReportSize ? 1 : request(kRequestData, report);
}

int vnHidReadData(unsigned char* report) {
    return request(kRequestData, report);
}

int vnHidReadMax(unsigned char* report) {
    return request(kRequestMax, report);
}

int vnHidReadKey(unsigned char* report) {
    return request(kRequestKey, report);
}

int vnHidWrite(unsigned char* report) {
    if (!board().device || !report) {
        return 1;
    }
    unsigned char payload[kReportSize];
    std::memcpy(payload, report, kReportSize);
    payload[0] = kWrite;
    if (!send(payload)) {
        closeBoard();
        return 2;
    }
    return 0;
}

}  // extern "C"
