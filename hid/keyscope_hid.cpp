// The hidapi-backed HID module. Framing (docs/hid-protocol.md): every read is
// a 64-byte request whose first byte names the report wanted and whose second
// carries a tag; the board answers with one 64-byte input report that repeats
// the request byte in byte 0 and the tag in byte 63. Anything else that arrives
// (a late answer to an earlier request, a report nobody asked for) is passed
// over. A write is the write report with its first byte replaced by the write
// command. Reports are unnumbered (report id 0). Every failure keeps its
// reason for vnHidLastError, so the program can say why beside its message.

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
    std::string path;  // of the open device, for the reasons of failures
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

// Why the last call failed; empty after a success.
std::string& lastFailure() {
    static std::string text;
    return text;
}

int succeed() {
    lastFailure().clear();
    return kOk;
}

int fail(int result, std::string reason) {
    lastFailure() = std::move(reason);
    return result;
}

// Product ids as the board's documentation writes them: 0x0124.
std::string productIdText(int productId) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(productId) & 0xFFFFu);
    return text;
}

std::string vendorIdText(unsigned short vendor) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", vendor);
    return text;
}

// KEYSCOPE_HID_VID: one to four hex digits, "0x" allowed. Unset gives 0 (no
// vendor chosen); a malformed value gives nothing and says why in `why`.
std::optional<unsigned short> configuredVendor(std::string& why) {
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
        why = std::string("KEYSCOPE_HID_VID=") + text +
              " is not a USB vendor id (1 to 4 hex digits, e.g. 04d8); no HID device is opened";
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

int failDevice(const std::string& what) {
    std::string reason = board().path + ": " + what;
    closeBoard();  // unplugged or broken: the next open searches the bus again
    return fail(kDeviceFailed, std::move(reason));
}

// The failure of a call that needs an open board and a report buffer, if any.
std::optional<int> unusable(const unsigned char* report) {
    if (!board().device) {
        return fail(kNotOpen, "no HID board is open");
    }
    if (!report) {
        return fail(kNotOpen, "no report buffer");
    }
    return std::nullopt;
}

int request(Command command, unsigned char* report) {
    if (const std::optional<int> failed = unusable(report)) {
        return *failed;
    }
    if (!drain(board().device)) {
        return failDevice("reading the reports that waited failed (unplugged?)");
    }
    board().tag = static_cast<unsigned char>(board().tag % 255 + 1);
    unsigned char payload[kReportSize] = {command, board().tag};
    if (!send(payload)) {
        return failDevice("writing the request failed (unplugged?)");
    }
    const auto noAnswer = [command] {
        char text[64];
        std::snprintf(text, sizeof text, ": no answer to request 0x%02x within %d ms", command,
                      kAnswerTimeoutMs);
        return fail(kNoAnswer, board().path + text);
    };
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return noAnswer();
        }
        unsigned char answer[kReportSize] = {};
        const int got =
            hid_read_timeout(board().device, answer, sizeof answer, static_cast<int>(left));
        if (got == 0) {
            return noAnswer();
        }
        if (got < 0) {
            return failDevice("reading the answer failed (unplugged?)");
        }
        if (got != kReportSize) {  // not our board
            return failDevice("an input report of " + std::to_string(got) + " bytes, not " +
                              std::to_string(kReportSize));
        }
        if (answer[0] == command && answer[kTagByte] == board().tag) {
            std::memcpy(report, answer, kReportSize);
            return succeed();
        }
    }
}

// What the bus holds with the product id (and the vendor, when configured):
// the devices identified as a board and the others, each listed as
// "/dev/hidraw1 (vendor 04d8)".
struct BusSearch {
    std::vector<std::string> boards;
    std::string boardList, otherList;
};

void addToList(std::string& list, const char* path, unsigned short vendor) {
    list += std::string(list.empty() ? "" : ", ") + path + " (vendor " + vendorIdText(vendor) + ")";
}

// A device is taken only when identified as a board: its product id, the
// configured vendor when there is one, and 64-byte reports in its descriptor.
BusSearch searchBus(unsigned short vendor, int productId) {
    BusSearch search;
    hid_device_info* found = hid_enumerate(vendor, static_cast<unsigned short>(productId));
    for (hid_device_info* info = found; info; info = info->next) {
        if (info->product_id != productId || (vendor != 0 && info->vendor_id != vendor) ||
            !info->path) {
            continue;
        }
        const std::vector<std::uint8_t> descriptor = keyscope::hid::reportDescriptorOf(info->path);
        if (!keyscope::hid::declaresBoardReports(descriptor.data(), descriptor.size())) {
            addToList(search.otherList, info->path, info->vendor_id);
            continue;
        }
        addToList(search.boardList, info->path, info->vendor_id);
        search.boards.emplace_back(info->path);
    }
    hid_free_enumeration(found);
    return search;
}

// Opens the first of the identified boards that opens; the reasons of those
// that did not go to `why`.
bool openFirst(const std::vector<std::string>& paths, int productId, std::string& why) {
    for (const std::string& path : paths) {
        why += why.empty() ? "" : "; ";
        if (hid_device* device = hid_open_path(path.c_str())) {
            board().device = device;
            board().productId = productId;
            board().path = path;
            if (drain(device)) {
                return true;
            }
            closeBoard();
            why += path + ": reading the reports that waited failed";
        } else if (::access(path.c_str(), R_OK | W_OK) != 0) {
            // hidapi keeps no errno; ask the node itself why it refused.
            why += keyscope::transportError("open", path, errno);
        } else {
            why += "open " + path + ": hidapi could not open it";
        }
    }
    return false;
}

// The module may be unloaded while a board is open.
__attribute__((destructor)) void releaseOnUnload() {
    closeBoard();
    hid_exit();
}

}  // namespace

extern "C" {

int vnHidOpen(int deviceId, int, int) {
    std::string why;
    const std::optional<unsigned short> vendor = configuredVendor(why);
    if (!vendor) {
        closeBoard();
        return fail(kNotOpen, why);
    }
    // The program reopens without closing: an open board with the same id is
    // kept, with whatever it sent meanwhile dropped. One that fails is searched for again.
    if (board().device && board().productId == deviceId && drain(board().device)) {
        return succeed();
    }
    closeBoard();
    if (hid_init() != 0) {
        return fail(kNotOpen, "hidapi could not start");
    }
    const std::string product = "product id " + productIdText(deviceId);
    const BusSearch search = searchBus(*vendor, deviceId);
    if (search.boards.empty()) {
        why = search.otherList.empty()
                  ? "no HID device with " + product +
                        (*vendor != 0 ? " and vendor id " + vendorIdText(*vendor) : "") +
                        " on the bus"
                  : "no HID device with " + product +
                        " is identified as a board (unnumbered 64-byte input and output "
                        "reports): " +
                        search.otherList;
    } else if (*vendor == 0 && search.boards.size() > 1) {
        why = std::to_string(search.boards.size()) + " devices answer as a board with " + product +
              ": " + search.boardList +
              "; set KEYSCOPE_HID_VID to the board's vendor id to choose one";
    } else if (openFirst(search.boards, deviceId, why)) {
        return succeed();
    }
    hid_exit();  // nothing to talk to: give back the library's bus state
    return fail(kNotOpen, why);
}

int vnHidRead(int size, unsigned char* report) {
    if (size < kReportSize) {
        return fail(kNotOpen, "a read of " + std::to_string(size) + " bytes is shorter than the " +
                                  std::to_string(kReportSize) + "-byte reports");
    }
    return request(kRequestData, report);
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
    if (const std::optional<int> failed = unusable(report)) {
        return *failed;
    }
    unsigned char payload[kReportSize];
    std::memcpy(payload, report, kReportSize);
    payload[0] = kWrite;
    if (!send(payload)) {
        return failDevice("writing the report failed (unplugged?)");
    }
    return succeed();
}

const char* vnHidLastError(void) {
    return lastFailure().c_str();
}

}  // extern "C"
