#pragma once
// Fakes for every collaborator of the board connection. They write one shared
// journal of events so tests can check the order of pauses, reads and writes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/BoardConnection.h"
#include "fakes/RecordingMessages.h"

namespace keyscope::fakes {

using Journal = std::vector<std::string>;
using Report = std::array<std::uint8_t, kReportSize>;

class RecordingPauser final : public Pauser {
  public:
    explicit RecordingPauser(Journal& journal) : journal_(journal) {}
    void pause(int ms) override {
        pauses.push_back(ms);
        journal_.push_back("pause " + std::to_string(ms));
    }
    std::vector<int> pauses;

  private:
    Journal& journal_;
};

class RecordingNotifier final : public CloseNotifier {
  public:
    explicit RecordingNotifier(Journal& journal) : journal_(journal) {}
    void notify(std::uint64_t window, std::uint32_t message, std::uint32_t param) override {
        journal_.push_back("notify " + std::to_string(window) + " " + std::to_string(message) +
                           " " + std::to_string(param));
        if (onNotify)
            onNotify();
    }
    std::function<void()> onNotify;

  private:
    Journal& journal_;
};

// A HID module answering from queues of scripted reports; an empty queue or a
// queued failure makes the call fail.
class ScriptedHid final : public HidModule {
  public:
    explicit ScriptedHid(Journal& journal) : journal_(journal) {}

    struct Answer {
        bool ok = true;
        Report report{};
    };
    std::vector<int> answeringIds;  // device ids whose open succeeds
    std::deque<Answer> plain, data, max, key;
    std::deque<bool> writes;  // results of successive writes; empty = success
    std::vector<Report> written;
    int unzeroedCalls = 0;  // reads handed a report that was not zeroed

    bool open(int id, int, int) override {
        journal_.push_back("open " + std::to_string(id));
        return std::find(answeringIds.begin(), answeringIds.end(), id) != answeringIds.end();
    }
    bool read(int size, std::uint8_t* report) override {
        journal_.push_back("read " + std::to_string(size));
        return take(plain, report);
    }
    bool readData(std::uint8_t* report) override { return logged("readData", data, report); }
    bool readMax(std::uint8_t* report) override { return logged("readMax", max, report); }
    bool readKey(std::uint8_t* report) override { return logged("readKey", key, report); }
    bool write(std::uint8_t* report) override {
        journal_.push_back("write");
        Report copy;
        std::memcpy(copy.data(), report, kReportSize);
        written.push_back(copy);
        if (writes.empty())
            return true;
        const bool ok = writes.front();
        writes.pop_front();
        return ok;
    }

  private:
    bool logged(const char* what, std::deque<Answer>& queue, std::uint8_t* report) {
        journal_.push_back(what);
        return take(queue, report);
    }
    bool take(std::deque<Answer>& queue, std::uint8_t* report) {
        if (std::any_of(report, report + kReportSize, [](std::uint8_t b) { return b != 0; }))
            ++unzeroedCalls;
        if (queue.empty())
            return false;
        const Answer answer = queue.front();
        queue.pop_front();
        // A failed call may have written part of a report too.
        std::memcpy(report, answer.report.data(), kReportSize);
        return answer.ok;
    }
    Journal& journal_;
};

// A serial device whose steps fail on demand and whose reads hand out queued chunks.
class ScriptedSerial final : public SerialDevice {
  public:
    explicit ScriptedSerial(Journal& journal) : journal_(journal) {}

    bool failOpen = false, failReadConfig = false, failWriteConfig = false, failTimeouts = false,
         failClose = false;
    std::deque<std::vector<std::uint8_t>> chunks;  // one per read; empty = nothing waiting
    bool failRead = false;
    bool hungUp = false;  // reads report a hang-up
    std::string openedPath;
    int configuredBaud = -1;

    bool open(const std::string& path) override {
        journal_.push_back("serial open " + path);
        if (failOpen)
            return false;
        openedPath = path;
        return true;
    }
    bool readConfig() override { return !failReadConfig; }
    bool writeConfig(int baud) override {
        configuredBaud = baud;
        return !failWriteConfig;
    }
    bool setNonBlockingReads() override { return !failTimeouts; }
    long read(std::uint8_t* buffer, std::size_t length) override {
        journal_.push_back("serial read");
        if (hungUp)
            return kReadHungUp;
        if (failRead)
            return -1;
        if (chunks.empty())
            return 0;
        auto chunk = chunks.front();
        chunks.pop_front();
        const std::size_t n = std::min(length, chunk.size());
        std::memcpy(buffer, chunk.data(), n);
        return static_cast<long>(n);
    }
    bool close() override {
        journal_.push_back("serial close");
        return !failClose;
    }

  private:
    Journal& journal_;
};

// An ICE link answering memory reads from queued 65-byte images.
class ScriptedIce final : public IceLink {
  public:
    explicit ScriptedIce(Journal& journal) : journal_(journal) {}
    int openResult = 1;
    int releaseResult = 1;
    std::deque<std::optional<std::array<std::uint8_t, 65>>> images;  // nullopt = failed read
    struct Request {
        std::uint16_t address, length;
        std::uint32_t iram;
    };
    std::vector<Request> requests;

    int openIceLink(std::uint32_t selector) override {
        journal_.push_back("ice open " + std::to_string(selector));
        return openResult;
    }
    int releaseIceLink() override {
        journal_.push_back("ice release");
        return releaseResult;
    }
    int readIceBlock(std::uint8_t* out, std::uint16_t address, std::uint16_t length,
                     std::uint32_t iram) override {
        journal_.push_back("ice read");
        requests.push_back({address, length, iram});
        if (images.empty() || !images.front()) {
            if (!images.empty())
                images.pop_front();
            return 0;
        }
        std::memcpy(out, images.front()->data(), 65);
        images.pop_front();
        return 1;
    }

  private:
    Journal& journal_;
};

// Fakes for every collaborator of a board connection, with handles to drive
// and inspect them.
struct FakeLinks {
    Journal journal;
    RecordingPauser pauser{journal};
    RecordingMessages messages;
    RecordingNotifier notifier{journal};
    ScriptedHid* hid = nullptr;
    ScriptedSerial* serial = nullptr;
    ScriptedIce* ice = nullptr;
    std::int64_t nowMs = 0;  // the connection's clock

    // New transport fakes for one connection; the handles point at them.
    BoardCollaborators collaborators() {
        auto hidFake = std::make_unique<ScriptedHid>(journal);
        auto serialFake = std::make_unique<ScriptedSerial>(journal);
        auto iceFake = std::make_unique<ScriptedIce>(journal);
        hid = hidFake.get();
        serial = serialFake.get();
        ice = iceFake.get();
        BoardCollaborators parts;
        parts.hid = std::move(hidFake);
        parts.serial = std::move(serialFake);
        parts.ice = std::move(iceFake);
        parts.pauser = &pauser;
        parts.messages = &messages;
        parts.notifier = &notifier;
        parts.comPorts = [](std::int32_t index) -> std::optional<std::string> {
            return "/dev/fakeCOM" + std::to_string(index + 1);
        };
        parts.clock = [this] { return nowMs; };
        return parts;
    }
};

// A board connection wired to fakes.
struct FakeBoard : FakeLinks {
    SerialSettings serialSettings;
    std::unique_ptr<BoardConnection> board = std::make_unique<BoardConnection>(collaborators());

    FakeBoard() { board->setSerialSettings(&serialSettings); }
};

// Typed report helpers.
inline Report typedReport(std::uint8_t type, std::initializer_list<int> values, int keyCode = 0) {
    Report r{};
    r[22] = type;
    r[18] = static_cast<std::uint8_t>(keyCode);
    int i = 0;
    for (int v : values) {
        if (type == 0x55) {
            r[1 + i] = static_cast<std::uint8_t>(v);
        } else {
            r[1 + 2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            r[2 + 2 * i] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
        ++i;
    }
    return r;
}

inline Report plainReport(std::initializer_list<int> counts, int keyCode = 0) {
    Report r{};
    int i = 0;
    for (int v : counts)
        r[1 + i++] = static_cast<std::uint8_t>(v);
    r[18] = static_cast<std::uint8_t>(keyCode);
    return r;
}

// A 65-byte ICE memory image of 16-bit counts from byte 1, high byte first.
inline std::array<std::uint8_t, 65> iceWords(std::initializer_list<int> values) {
    std::array<std::uint8_t, 65> image{};
    int at = 1;
    for (int v : values) {
        image[at++] = static_cast<std::uint8_t>(v >> 8);
        image[at++] = static_cast<std::uint8_t>(v);
    }
    return image;
}

}  // namespace keyscope::fakes
