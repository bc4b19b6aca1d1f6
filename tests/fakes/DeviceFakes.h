#pragma once
// Fakes for every collaborator of the board connection. They write one shared
// journal of events so tests can check the order of pauses, reads and writes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/BoardConnection.h"
#include "fakes/RecordingMessages.h"
#include "platform/CloseTarget.h"

namespace keyscope::fakes {

using Journal = std::vector<std::string>;
using Report = std::array<std::uint8_t, kReportSize>;

// Hands the front of a queue out, or `empty` when there is none.
template <typename T>
T takeFront(std::deque<T>& queue, T empty) {
    if (queue.empty())
        return empty;
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
}

// The shared journal every fake writes to, or its own for a fake used alone.
struct Journaling {
    Journaling() : journal_(own_) {}
    explicit Journaling(Journal& journal) : journal_(journal) {}
    void log(std::string event) { journal_.push_back(std::move(event)); }
    Journal own_;
    Journal& journal_;
};

class RecordingPauser final : public Pauser, Journaling {
  public:
    using Journaling::Journaling;
    void pause(int ms) override {
        pauses.push_back(ms);
        log("pause " + std::to_string(ms));
        if (onPause)
            onPause();
    }
    std::vector<int> pauses;
    std::function<void()> onPause;
};

// Records what reaches the target it was given, as the X11 notifier sends it.
class RecordingNotifier final : public TargetedCloseNotifier, Journaling {
  public:
    using Journaling::Journaling;
    std::function<void()> onNotify;

  protected:
    void send(const CloseTarget& target) override {
        log("notify " + std::to_string(target.window) + " " + std::to_string(target.message) + " " +
            std::to_string(target.param));
        if (onNotify)
            onNotify();
    }
};

// A HID module answering from queues of scripted reports; an empty queue or a
// queued failure makes the call fail, and lastError names the failed call.
class ScriptedHid final : public HidModule, Journaling {
  public:
    using Journaling::Journaling;
    struct Answer {
        bool ok = true;
        Report report{};
    };
    std::vector<int> answeringIds;           // device ids whose open succeeds
    std::map<int, std::string> openReasons;  // why the others fail; unset: "failed"
    std::deque<Answer> plain, data, max, key;
    std::deque<bool> writes;  // results of successive writes; empty = success
    std::vector<Report> written;
    int unzeroedCalls = 0;  // reads handed a report that was not zeroed

    bool open(int id, int, int) override {
        log("open " + std::to_string(id));
        return result(std::find(answeringIds.begin(), answeringIds.end(), id) != answeringIds.end(),
                      "open " + hidProductIdText(id) + " " +
                          (openReasons.count(id) != 0 ? openReasons[id] : "failed"));
    }
    bool read(int size, std::uint8_t* report) override {
        return take("read " + std::to_string(size), plain, report);
    }
    bool readData(std::uint8_t* report) override { return take("readData", data, report); }
    bool readMax(std::uint8_t* report) override { return take("readMax", max, report); }
    bool readKey(std::uint8_t* report) override { return take("readKey", key, report); }
    bool write(std::uint8_t* report) override {
        log("write");
        std::copy_n(report, kReportSize, written.emplace_back().begin());
        return result(takeFront(writes, true), "write failed");
    }
    std::string lastError() const override { return lastError_; }

  private:
    bool result(bool ok, std::string failure) {
        lastError_ = ok ? "" : std::move(failure);
        return ok;
    }
    bool take(const std::string& what, std::deque<Answer>& queue, std::uint8_t* report) {
        log(what);
        if (std::any_of(report, report + kReportSize, [](std::uint8_t b) { return b != 0; }))
            ++unzeroedCalls;
        if (queue.empty())
            return result(false, what + " failed");
        const Answer answer = takeFront(queue, {});
        // A failed call may have written part of a report too.
        std::memcpy(report, answer.report.data(), kReportSize);
        return result(answer.ok, what + " failed");
    }
    std::string lastError_;
};

// A serial device whose steps fail on demand and whose reads hand out queued
// chunks; lastError names the failed step.
class ScriptedSerial final : public SerialDevice, Journaling {
  public:
    using Journaling::Journaling;
    bool failOpen = false, failReadConfig = false, failWriteConfig = false, failTimeouts = false,
         failClose = false, failRead = false;
    bool hungUp = false;                           // reads report a hang-up
    std::deque<std::vector<std::uint8_t>> chunks;  // one per read; empty = nothing waiting
    std::string openedPath;
    int configuredBaud = -1;

    bool open(const std::string& path) override {
        log("serial open " + path);
        openedPath = failOpen ? openedPath : path;
        return result(!failOpen, "open " + path + " failed");
    }
    bool readConfig() override { return result(!failReadConfig, "read config failed"); }
    bool writeConfig(int baud) override {
        configuredBaud = baud;
        return result(!failWriteConfig, "write config failed");
    }
    bool setNonBlockingReads() override { return result(!failTimeouts, "set timeouts failed"); }
    long read(std::uint8_t* buffer, std::size_t length) override {
        log("serial read");
        if (hungUp || failRead) {
            result(false, hungUp ? "the other end hung up" : "read failed");
            return hungUp ? kReadHungUp : -1;
        }
        const auto chunk = takeFront(chunks, {});
        const std::size_t n = std::min(length, chunk.size());
        std::copy_n(chunk.begin(), n, buffer);  // no memcpy: an empty chunk's data() is null
        return static_cast<long>(n);
    }
    bool close() override {
        log("serial close");
        return failClose ? result(false, "close failed") : true;  // keeps the read's reason
    }
    std::string lastError() const override { return lastError_; }

  private:
    bool result(bool ok, std::string failure) {
        lastError_ = ok ? "" : std::move(failure);
        return ok;
    }
    std::string lastError_;
};

// An ICE link answering memory reads from queued 65-byte images.
class ScriptedIce final : public IceLink, Journaling {
  public:
    using Journaling::Journaling;
    int openResult = 1, releaseResult = 1;
    std::deque<std::optional<std::array<std::uint8_t, 65>>> images;  // nullopt = failed read
    struct Request {
        std::uint16_t address, length;
        std::uint32_t iram;
    };
    std::vector<Request> requests;

    int openIceLink(std::uint32_t selector) override {
        log("ice open " + std::to_string(selector));
        return openResult;
    }
    int releaseIceLink() override {
        log("ice release");
        return releaseResult;
    }
    int readIceBlock(std::uint8_t* out, std::uint16_t address, std::uint16_t length,
                     std::uint32_t iram) override {
        log("ice read");
        requests.push_back({address, length, iram});
        const auto image = takeFront(images, {});
        if (image)
            std::memcpy(out, image->data(), image->size());
        return image.has_value() ? 1 : 0;
    }
};

// Fakes for every collaborator of a board connection, with handles to drive and inspect them.
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
        return BoardCollaborators{
            std::unique_ptr<HidModule>(hid = new ScriptedHid(journal)),
            std::unique_ptr<SerialDevice>(serial = new ScriptedSerial(journal)),
            std::unique_ptr<IceLink>(ice = new ScriptedIce(journal)),
            &pauser,
            &messages,
            &notifier,
            [](std::int32_t index) -> std::optional<std::string> {
                return "/dev/fakeCOM" + std::to_string(index + 1);
            },
            [this] { return nowMs; }};
    }
};

// A board connection wired to fakes.
struct FakeBoard : FakeLinks {
    SerialSettings serialSettings;
    std::unique_ptr<BoardConnection> board = std::make_unique<BoardConnection>(collaborators());

    FakeBoard() { board->setSerialSettings(&serialSettings); }
};

// A typed report: byte counts for type 0x55, else 16-bit counts low byte first.
inline Report typedReport(std::uint8_t type, std::initializer_list<int> values, int keyCode = 0) {
    Report r{};
    r[22] = type;
    r[18] = static_cast<std::uint8_t>(keyCode);
    int at = 1;
    for (int v : values)
        for (int byte = 0; byte < (type == 0x55 ? 1 : 2); ++byte)
            r[at++] = static_cast<std::uint8_t>(v >> 8 * byte);
    return r;
}

// A plain board's report: byte counts and no type.
inline Report plainReport(std::initializer_list<int> counts, int keyCode = 0) {
    Report r = typedReport(0x55, counts, keyCode);
    r[22] = 0;
    return r;
}

// A 65-byte ICE memory image of 16-bit counts from byte 1, high byte first.
inline std::array<std::uint8_t, 65> iceWords(std::initializer_list<int> values) {
    std::array<std::uint8_t, 65> image{};
    int at = 1;
    for (int v : values)
        for (int shift : {8, 0})
            image[at++] = static_cast<std::uint8_t>(v >> shift);
    return image;
}

}  // namespace keyscope::fakes
