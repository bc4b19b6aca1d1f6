#pragma once
// The simulated HID demo board behind the loadable HID module: one of the
// three board kinds, answering the module's six calls from a SignalModel.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/ReplaySignal.h"
#include "sim/SignalModel.h"

namespace keyscope::sim {

enum class HidKind {
    Typed16,  // answers 292; 16-bit counts in 0x85 (TK0..TK7) / 0xC5 (TK8..TK15) pairs
    Typed8,   // answers 292; 8-bit counts in 0x55 reports
    Plain,    // answers only 296; one plain report form for every read
};

// "typed16", "typed8" or "plain"; anything else gives no kind.
std::optional<HidKind> hidKindFromName(std::string_view name);

inline constexpr int kSimReportSize = 64;

// Every call returns 0 on success and non-zero on failure, as the module's
// calls do; a null report pointer is a failure. Reads fail until an open
// succeeds; open may be called again on an open board and keeps its state.
//
// Time is the board's own: each data report (each 0x85/0xC5 pair) moves the
// signal on by one 50 ms poll, so the same seed and the same calls give the
// same reports however fast or slow the caller polls.
//
// With a replay the counts, key code and reference counts come from the
// recording instead of the signal model, one replay step per data report
// after those the connection reads while it opens (one on a typed board; on
// the plain board three, the first of them carrying the reference counts).
// Once the replay has ended (it does not loop), every other data report
// carries no counts, as a reader takes them: no type on a typed board, a first
// count of 0 on the plain one. The reads still succeed, so the link stays up
// and the reading program takes no samples, as from a board gone quiet.
//
// The plain kind has one report form, so its max-value and key-value answers
// are the data report too (counts in bytes 1..16, settings in 17, 19 and 20);
// a write shows there only in the settings bytes.
class SimHidBoard {
  public:
    static constexpr std::int64_t kPollMs = 50;

    // failAfterDataReads < 0: never fails. Otherwise, once that many data reads
    // have succeeded, every later call fails (open included), as an unplugged board.
    // The finger stays off the keys for quietFirstMs of the board's time.
    SimHidBoard(HidKind kind, std::uint64_t seed, int failAfterDataReads = -1,
                std::unique_ptr<ReplaySignal> replay = nullptr, std::int64_t quietFirstMs = 0);

    int open(int deviceId, int reserved1, int reserved2);
    int read(int size, std::uint8_t* report);  // plain kind only; size at least 64
    int readData(std::uint8_t* report);        // typed kinds only
    int readMax(std::uint8_t* report);         // typed kinds only
    int readKey(std::uint8_t* report);         // typed kinds only
    int write(const std::uint8_t* report);

    // Why the last failed call failed, one line for the module's vnHidLastError.
    const std::string& lastError() const { return lastError_; }

    HidKind kind() const { return kind_; }
    bool isOpen() const { return open_; }
    std::int64_t clockMs() const { return clockMs_; }
    const SignalModel& model() const { return model_; }
    const ReplaySignal* replay() const { return replay_.get(); }
    // The largest count a report of this kind carries, and those reports as a
    // replay's refusal names them.
    static int maxCount(HidKind kind) { return kind == HidKind::Typed16 ? 0xFFFF : 0xFF; }
    static const char* carrier(HidKind kind) {
        return kind == HidKind::Typed16 ? "16-bit reports" : "this board's 8-bit reports";
    }

  private:
    // A 16-bit report pair waiting for its second half, one per read kind.
    struct Pending {
        bool waiting = false;
        std::array<std::uint16_t, kSimKeyCount> values{};
        std::uint8_t keyCode = 0;
    };

    bool usable() const;
    int fail(std::string reason);
    // Why a call with this report cannot be answered now; empty when it can.
    std::string refusal(const std::uint8_t* report) const;
    // One report of this kind from the sixteen values: a plain or 0x55 report,
    // or the next half of a 0x85/0xC5 pair (the second half comes from pending).
    void fillReport(std::uint8_t* report, Pending& pending,
                    const std::array<std::uint16_t, kSimKeyCount>& values, std::uint8_t keyCode);
    void fillCountlessReport(std::uint8_t* report) const;
    bool startsNewReport(const Pending& pending) const;
    int readDataReport(std::uint8_t* report);

    HidKind kind_;
    SignalModel model_;
    int failAfter_;
    int dataReads_ = 0;
    int reportsSinceOpen_ = 0;
    bool open_ = false;
    std::int64_t clockMs_ = 0;
    Pending data_;
    Pending max_;
    Pending key_;
    std::unique_ptr<ReplaySignal> replay_;
    std::string lastError_;
};

}  // namespace keyscope::sim
