// The hidapi-backed HID module over a fake hidapi: which device it takes, and
// that every answer it hands back belongs to its request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeHidapi.h"
#include "hid/ReportDescriptor.h"
#include "hid/keyscope_hid.h"

namespace keyscope {
namespace {

using namespace fakehid;
using ::testing::HasSubstr;

constexpr int kTyped = 292;

class HidModule : public ::testing::Test {
  protected:
    void SetUp() override {
        resetBus();
        ::unsetenv("KEYSCOPE_HID_VID");
    }
    void TearDown() override { ::unsetenv("KEYSCOPE_HID_VID"); }
    unsigned char report[64] = {};
};

TEST_F(HidModule, EachAnswerBelongsToItsRequestPastLateStrayAndQueuedReports) {
    auto board = plug("/dev/hidraw1", 0x04d8, kTyped);
    ASSERT_EQ(vnHidOpen(kTyped, 0, 0), 0);
    EXPECT_EQ(vnHidReadMax(report), 3);  // no answer within the time-out
    EXPECT_STREQ(vnHidLastError(), "/dev/hidraw1: no answer to request 0x02 within 500 ms");
    const Bytes missed = board->written.back();
    answerAtOnce(*board, missed, 0x22);  // ... until now, before the next request
    board->board = [](Device& d, const Bytes& request) {
        Bytes late(64, 0x33);  // an answer of the same kind to an earlier request
        late[0] = request[0];
        late[63] = static_cast<std::uint8_t>(request[1] - 1);
        d.input.push_back(late);
        d.input.push_back(Bytes(64, 0x02));  // a report of another kind
        answerAtOnce(d, request, 0x44);
    };
    using Read = int (*)(unsigned char*);
    const std::pair<Read, int> reads[] = {
        {vnHidReadKey, 0x03}, {vnHidReadData, 0x01}, {vnHidReadData, 0x01}, {vnHidReadMax, 0x02}};
    for (const auto& [read, command] : reads) {
        std::fill(std::begin(report), std::end(report), 0);
        ASSERT_EQ(read(report), 0);
        EXPECT_STREQ(vnHidLastError(), "");
        EXPECT_EQ(std::tuple(report[0], report[1], report[63]),
                  std::tuple(command, 0x44, board->written.back()[1]));
    }
    EXPECT_NE(board->written.back()[1], missed[1]);  // every request carries its own tag

    board->input.push_back(Bytes(64, 0x55));  // what came while nobody asked
    EXPECT_EQ(vnHidOpen(kTyped, 0, 0), 0);
    EXPECT_EQ(board->opens, 1);         // the handle is kept ...
    EXPECT_TRUE(board->input.empty());  // ... and starts with an empty queue
    report[0] = 0x77;
    EXPECT_EQ(vnHidWrite(report), 0);
    EXPECT_EQ(board->written.back()[0], 0x04);
}

TEST_F(HidModule, AShortOrFailedReadClosesTheHandleAndTheNextOpenSearchesAgain) {
    const std::pair<Bytes, const char*> cases[] = {
        {Bytes(10, 0x01), "/dev/hidraw1: an input report of 10 bytes, not 64"},
        {kFailedRead, "/dev/hidraw1: reading the answer failed (unplugged?)"},
    };
    for (const auto& [bad, reason] : cases) {
        resetBus();
        auto board = plug("/dev/hidraw1", 0x04d8, kTyped);
        ASSERT_EQ(vnHidOpen(kTyped, 0, 0), 0);
        board->board = [answer = bad](Device& d, const Bytes&) { d.input.push_back(answer); };
        EXPECT_EQ(vnHidReadData(report), 2);
        EXPECT_STREQ(vnHidLastError(), reason);
        EXPECT_EQ(board->closes, 1);
        EXPECT_EQ(vnHidReadData(report), 1);  // nothing open
        EXPECT_STREQ(vnHidLastError(), "no HID board is open");
        EXPECT_EQ(vnHidOpen(kTyped, 0, 0), 0);
        EXPECT_EQ(board->opens, 2);
    }
}

// A refused open says why through vnHidLastError, product ids written as the documents write
// them; the program puts the reason on its own line, so the module writes nothing itself.
TEST_F(HidModule, OnlyADeviceIdentifiedAsABoardIsOpenedAndAnyOtherOutcomeSaysWhy) {
    using Plugged = std::tuple<const char*, unsigned short, unsigned short, int>;  // report bytes
    const Plugged a{"/dev/hidraw1", 0x1234, kTyped, 64}, b{"/dev/hidraw2", 0x04d8, kTyped, 64};
    const Plugged keyboard{"/dev/hidraw1", 0x1234, kTyped, 8};     // a keyboard, say
    const Plugged other{"/dev/hidraw1", 0x1234, 296, 64};          // another product
    const Plugged gone{"/dev/keyscope-none", 0x04d8, kTyped, 64};  // listed, but will not open
    const std::string none = "no HID device with product id 0x0124 ",
                      notABoard = none +
                                  "is identified as a board (unnumbered 64-byte input and "
                                  "output reports): /dev/hidraw1 (vendor 1234)",
                      two =
                          "2 devices answer as a board with product id 0x0124: /dev/hidraw1 "
                          "(vendor 1234), /dev/hidraw2 (vendor 04d8); set KEYSCOPE_HID_VID";
    // KEYSCOPE_HID_VID (null: unset), the bus, the path opened (null: none), the reason
    const std::tuple<const char*, std::vector<Plugged>, const char*, std::string> cases[] = {
        {nullptr, {a}, "/dev/hidraw1", ""},
        {"xyz", {a}, nullptr, "KEYSCOPE_HID_VID=xyz is not a USB vendor id"},
        {"0x", {a}, nullptr, "not a USB vendor id"},
        {nullptr, {keyboard}, nullptr, notABoard},
        {nullptr, {other}, nullptr, none + "on the bus"},
        {"04d8", {a}, nullptr, none + "and vendor id 04d8 on the bus"},
        {nullptr, {a, b}, nullptr, two},
        {"0x04D8", {a, b}, "/dev/hidraw2", ""},
        {nullptr, {gone}, nullptr, "open /dev/keyscope-none: No such file or directory"},
    };
    for (const auto& [vid, plugged, opened, reason] : cases) {
        SCOPED_TRACE(std::string(vid ? vid : "unset") + ", " + std::to_string(plugged.size()));
        resetBus();
        vid ? ::setenv("KEYSCOPE_HID_VID", vid, 1) : ::unsetenv("KEYSCOPE_HID_VID");
        std::vector<std::shared_ptr<Device>> devices;
        for (const auto& [path, vendor, product, bytes] : plugged)
            devices.push_back(plug(path, vendor, product, reportDescriptor(bytes)));
        if (plugged.front() == gone)
            devices.front()->unplugged = true;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(vnHidOpen(kTyped, 0, 0), opened ? 0 : 1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        for (const auto& device : devices)
            EXPECT_EQ(std::tuple(device->opens, device->written.size()),
                      std::tuple(opened && device->path == opened ? 1 : 0, 0u));
        EXPECT_THAT(vnHidLastError(), HasSubstr(reason));
        EXPECT_EQ(*vnHidLastError() == '\0', reason.empty()) << vnHidLastError();
    }
}

TEST(ReportDescriptor, OnlyUnnumbered64ByteInputAndOutputReportsMakeABoard) {
    const Bytes board = reportDescriptor(64);
    Bytes numbered = board;
    numbered.insert(numbered.begin() + 7, {0x85, 0x01});  // report id 1
    Bytes pushed = board;  // the output's count comes back from a push before a change
    pushed.insert(pushed.begin() + 15, {0xA4, 0x95, 0x10, 0xB4});
    const std::pair<Bytes, bool> cases[] = {
        {board, true},
        {reportDescriptor(32), false},
        {numbered, false},
        {pushed, true},
        {Bytes(board.begin(), board.end() - 2), false},  // cut inside the output item
        {{0xB4}, false},                                 // a pop with nothing pushed
        {{0xFE, 0x02, 0x10, 0x00, 0x00}, false},         // one long item
    };
    for (const auto& [descriptor, isBoard] : cases)
        EXPECT_EQ(hid::declaresBoardReports(descriptor.data(), descriptor.size()), isBoard)
            << descriptor.size() << " bytes";
    EXPECT_FALSE(hid::declaresBoardReports(nullptr, 4));
}

}  // namespace
}  // namespace keyscope
