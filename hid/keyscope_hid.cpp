// The hidapi-backed HID module. Framing (docs/hid-protocol.md): every read is
// a 64-byte request whose first byte names the report wanted and whose second
// carries a tag; the board answers with one 64-byte input report that repeats
// the request byte in byte 0 and the tag in byte 63. Anything else that arrives
// (a late answer to an earlier request, a report nobody asked for) is passed
// over. A write is the write report with its first byte replaced by the write
// command. Reports are unnumbered (report id 0).

#include "hid/keyscope_hid.h"

#include <hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "device/AccessDiagnosis.h"
#include "hid/ReportDescriptor.h"

namespace {

constexpr int kReportSize = 64;
constexpr int kAnswerTimeoutMs = 500;
constexpr int kTagByte = 63;
// A device that never stops sending is no board we can talk to.
constexpr int kMaxDrainedReports = 256;

enum Command : unsigned char {
    kRequestData = 0x01,
    kRequestMax = 0x02,
    kRequestKey = 0x03,
    kWrite = 0x04,
};

enum Result : int {
    kOk = 0,
    kNotOpen = 1,  // also bad arguments and a refused open
    kDeviceFailed = 2,
    kNoAnswer = 3,
};

// The one board this module talks to; the program is single-threaded.
struct Board {
    hid_device* device = nullptr;
    int productId = 0;
    unsigned char tag = 0;
};

Board& board() {
    static Board instance;
    return instance;
}

void closeBoard() {
    if (board().device) {
        hid_close(board().device);
        board().device = nullptr;
        board().productId = 0;
    }
}

// KEYSCOPE_HID_VID: one to four hex digits, "0x" allowed. Unset gives 0 (no
// vendor chosen); a malformed value gives nothing, after saying so.
std::optional<unsigned short> configuredVendor() {
    const char* text = std::getenv("KEYSCOPE_HID_VID");
    if (!text || !*text) {
        return 0;
    }
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits += 2;
    }
    const std::size_t length = std::strlen(digits);
    const unsigned long value = std::strtoul(digits, nullptr, 16);
    if (length == 0 || length > 4 || std::strspn(digits, "0123456789abcdefABCDEF") != length ||
        value == 0) {
        std::fprintf(stderr,
                     "keyscope-hid: KEYSCOPE_HID_VID=%s is not a USB vendor id "
                     "(1 to 4 hex digits, e.g. 04d8); no HID device is opened\n",
                     text);
        return std::nullopt;
    }
    return static_cast<unsigned short>(value);
}

// Reads and drops every input report already waiting; false when the device failed.
bool drain(hid_device* device) {
    unsigned char stale[kReportSize];
    for (int i = 0; i < kMaxDrainedReports; ++i) {
        const int got = hid_read_timeout(device, stale, sizeof stale, 0);
        if (got <= 0) {
            return got == 0;
        }
    }
    return true;
}

// Sends one 64-byte output report: hidapi wants the report id in front.
bool send(const unsigned char* payload) {
    unsigned char frame[kReportSize + 1] = {};
    std::memcpy(frame + 1, payload, kReportSize);
    return hid_write(board().device, frame, sizeof frame) == sizeof frame;
}

int failDevice() {
    closeBoard();  // unplugged or broken: the next open searches the bus again
    return kDeviceFailed;
}

int request(Command command, unsigned char* report) {
    if (!board().device || !report) {
        return kNotOpen;
    }
    if (!drain(board().device)) {
        return failDevice();
    }
    board().tag = static_cast<unsigned char>(board().tag % 255 + 1);
    unsigned char payload[kReportSize] = {command, board().tag};
    if (!send(payload)) {
        return failDevice();
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return kNoAnswer;
        }
        unsigned char answer[kReportSize] = {};
        const int got =
            hid_read_timeout(board().device, answer, sizeof answer, static_cast<int>(left));
        if (got == 0) {
            return kNoAnswer;
        }
        if (got != kReportSize) {
            return failDevice();  // failed, or a report of another size: not our board
        }
        if (answer[0] == command && answer[kTagByte] == board().tag) {
            std::memcpy(report, answer, kReportSize);
            return kOk;
        }
    }
}

// A device is taken only when identified as a board: its product id, the
// configured vendor when there is one, and 64-byte reports in its descriptor.
std::vector<std::string> boardsOnTheBus(unsigned short vendor, int productId, std::string& listed) {
    std::vector<std::string> paths;
    hid_device_info* found = hid_enumerate(vendor, static_cast<unsigned short>(productId));
    for (hid_device_info* info = found; info; info = info->next) {
        if (info->product_id != productId || (vendor != 0 && info->vendor_id != vendor) ||
            !info->path) {
            continue;
        }
        const std::vector<std::uint8_t> descriptor = keyscope::hid::reportDescriptorOf(info->path);
        if (!keyscope::hid::declaresBoardReports(descriptor.data(), descriptor.size())) {
            continue;
        }
        char vid[16];
        std::snprintf(vid, sizeof vid, "%04x", info->vendor_id);
        listed += std::string(listed.empty() ? "" : ", ") + info->path + " (vendor " + vid + ")";
        paths.emplace_back(info->path);
    }
    hid_free_enumeration(found);
    return paths;
}

// The module may be unloaded while a board is open.
__attribute__((destructor)) void releaseOnUnload() {
    closeBoard();
    hid_exit();
}

}  // namespace

extern "C" {

int vnHidOpen(int deviceId, int, int) {
    const std::optional<unsigned short> vendor = configuredVendor();
    if (!vendor) {
        closeBoard();
        return kNotOpen;
    }
    // The program reopens without closing: an open board with the same id is
    // kept, with whatever it sent meanwhile dropped. One that fails is searched for again.
    if (board().device && board().productId == deviceId && drain(board().device)) {
        return kOk;
    }
    closeBoard();
    if (hid_init() != 0) {
        return kNotOpen;
    }
    std::string listed;
    const std::vector<std::string> paths = boardsOnTheBus(*vendor, deviceId, listed);
    if (*vendor == 0 && paths.size() > 1) {
        std::fprintf(stderr,
                     "keyscope-hid: %zu devices answer as a board with product id %04x: %s; "
                     "set KEYSCOPE_HID_VID to the board's vendor id to choose one\n",
                     paths.size(), static_cast<unsigned>(deviceId), listed.c_str());
    } else {
        for (const std::string& path : paths) {
            if (hid_device* device = hid_open_path(path.c_str())) {
                board().device = device;
                board().productId = deviceId;
                if (drain(device)) {
                    return kOk;
                }
                closeBoard();
            } else if (::access(path.c_str(), R_OK | W_OK) != 0) {
                // hidapi keeps no errno; ask the node itself why it refused.
                keyscope::reportToStandardError(keyscope::accessDeniedLine(path, errno));
            }
        }
    }
    hid_exit();  // nothing to talk to: give back the library's bus state
    return kNotOpen;
}

int vnHidRead(int size, unsigned char* report) {
    return size < kReportSize ? kNotOpen : request(kRequestData, report);
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
        return kNotOpen;
    }
    unsigned char payload[kReportSize];
    std::memcpy(payload, report, kReportSize);
    payload[0] = kWrite;
    if (!send(payload)) {
        return failDevice();
    }
    return kOk;
}

}  // extern "C"
