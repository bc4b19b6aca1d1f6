#pragma once
// The headless recorder's poll loop: open, then one read cycle every 50 ms as
// the dashboard polls, reconnecting after a failed read, one CSV row per poll
// that took samples. Unlike the dashboard it gives up on a board that is gone:
// a link that is lost (a failed read, a serial port that hung up) and not back
// within kGiveUpMs, or a board that gives no sample for kGiveUpMs while its
// link is up, ends the recording.

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "app/record/RecorderOptions.h"
#include "device/BoardConnection.h"
#include "device/KeyStatistics.h"

namespace keyscope {

enum class RecordEnd {
    SampleLimit,
    TimeLimit,
    Interrupted,
    OpenFailed,
    LinkLost,   // lost and not back within kGiveUpMs
    NoSamples,  // no row for kGiveUpMs while the link was up
    WriteFailed,
    OutputClosed,  // the reader of the output went away (a pipe's head), ends as an interruption
    Finished,      // a poll's caller had what it wanted (the SNR test's end)
};

class Recorder {
  public:
    using Clock = std::function<std::int64_t()>;  // milliseconds, monotonic
    using Progress = std::function<void(long rows, double pollsPerSecond)>;
    using Notice = std::function<void(const std::string& line)>;
    // A poll's caller, told the elapsed milliseconds: nothing to go on, or the end of the run.
    using Step = std::function<std::optional<RecordEnd>(std::int64_t elapsedMs)>;

    static constexpr std::int64_t kGiveUpMs = 5000;
    static constexpr int kReopenEveryMs = 1000;  // between reopen attempts of a lost link

    // The board and pauser must outlive the recorder. wallClock gives
    // milliseconds since 1970 for the utc column; unset, the system clock.
    Recorder(BoardConnection& board, Pauser& pauser, Clock clock, RecorderOptions options,
             Clock wallClock = {});

    // Opens the board on the chosen link; false when it does not open. Apart so
    // that a caller creates its files only once there is something to record.
    [[nodiscard]] bool open();
    // After a successful open: writes the header, the open's own reading as the
    // first row (elapsed 0), then runs until a limit, an interruption or a
    // failure; every row written is flushed and out is not closed. Each lost
    // link and each reconnect is told to notice, with its elapsed time.
    RecordEnd record(std::FILE* out, const std::atomic<bool>& interrupted,
                     const Progress& progress = {}, const Notice& notice = {});
    // open() then record().
    RecordEnd run(std::FILE* out, const std::atomic<bool>& interrupted,
                  const Progress& progress = {}, const Notice& notice = {});
    // After a successful open: the poll loop of record(), its pauses, reconnects
    // and give-ups, writing nothing itself. Before each poll `beforePoll`, after
    // each poll that took samples `tookSamples` may end the run; elapsed time
    // counts from this call.
    RecordEnd poll(const std::atomic<bool>& interrupted, const Step& beforePoll,
                   const Step& tookSamples, const Notice& notice = {});

    long rows() const { return rows_; }
    int lostLinks() const { return lostLinks_; }
    int reconnects() const { return reconnects_; }
    std::int64_t lastLossMs() const { return lastLossMs_; }  // elapsed time of the last loss
    const std::array<KeyStats, kChannelCount>& stats() const { return stats_; }
    // Noise, signal and SNR of each key over the raw counts of the recording.
    const std::array<TouchStats, kChannelCount>& touchStats() const { return touchStats_; }
    // Summary table of the recorded keys, one line per key that has values;
    // a key whose SNR is known and below 5 is marked.
    std::string summary() const;
    // The same table as CSV, one line for each of the sixteen keys; its span is
    // the recording, from the open's reading to the last row.
    std::string statisticsCsv() const;
    std::uint32_t selector() const;

  private:
    // Writes and flushes one line of the output; false when the output refused it.
    bool put(const std::string& line);
    bool writeHeader();
    bool writeRow(std::int64_t elapsedMs);
    // A failed write: a reader that went away ends the recording as Ctrl-C does.
    static RecordEnd writeFailure();
    bool linkDown() const;

    BoardConnection& board_;
    Pauser& pauser_;
    Clock clock_;
    Clock wallClock_;
    RecorderOptions options_;
    std::FILE* out_ = nullptr;
    long rows_ = 0;
    long polls_ = 0;
    int lostLinks_ = 0;
    int reconnects_ = 0;
    std::int64_t lastLossMs_ = 0;
    std::int64_t startedAtMs_ = 0;  // wall clock, when recording began
    std::int64_t lastRowMs_ = 0;    // elapsed time of the last row written
    std::array<KeyStats, kChannelCount> stats_;
    std::array<TouchStats, kChannelCount> touchStats_;
    TouchRule touchRule_;
};

}  // namespace keyscope
