#pragma once
// The serial device of the simulated board: every port it is asked to open is
// a pseudo-terminal with a SerialStreamer on its far end, opened, configured
// and read through the wrapped real device, so the real termios path runs.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "device/SerialDevice.h"
#include "sim/SerialStreamer.h"
#include "sim/SimConfig.h"

namespace keyscope::sim {

class SimulatedSerialDevice final : public SerialDevice {
  public:
    // The finger stays off the keys for the first quietFirstMs of the signal.
    SimulatedSerialDevice(std::unique_ptr<SerialDevice> real, std::uint64_t seed,
                          SerialFaults faults = {}, std::int64_t quietFirstMs = 0,
                          ReplayConfig replay = {});
    ~SimulatedSerialDevice() override;
    SimulatedSerialDevice(const SimulatedSerialDevice&) = delete;
    SimulatedSerialDevice& operator=(const SimulatedSerialDevice&) = delete;

    // The path is not used: any port reaches the simulated board. Starts the
    // streamer and opens its terminal; false, with nothing running, when either
    // fails, while the board is away after a hang-up, or when the recording
    // to replay is refused (the refusal goes to standard error). A replay is
    // loaded at the first open and goes on across later ones.
    bool open(const std::string& path) override;
    bool readConfig() override;
    // Configures the terminal, then paces the streamer at this rate (0 keeps it).
    bool writeConfig(int baud) override;
    bool setNonBlockingReads() override;
    // Once the hang-up time has come, the board's side of the terminal closes
    // first, so this read meets the hang-up as a port's read would.
    long read(std::uint8_t* buffer, std::size_t length) override;
    // Closes the terminal and stops the streamer; the result is the real close's.
    bool close() override;
    // The real device's reason; a board away after a hang-up or a refused
    // replay says so instead.
    std::string lastError() const override;

    // The terminal's device path while open, empty otherwise.
    const std::string& terminalPath() const { return terminalPath_; }

  private:
    using Clock = std::chrono::steady_clock;
    static Clock::duration seconds(double value);

    std::unique_ptr<SerialDevice> real_;
    ReplayConfig replayConfig_;
    ReplayRequest replay_;  // before the streamer, which refers to it
    std::string reportedRefusal_;
    SerialStreamer streamer_;
    std::string terminalPath_;
    std::string openError_;  // why the last open failed before the real device's open
    SerialFaults faults_;
    std::optional<Clock::time_point> upSince_;   // the first open, or the one after a return
    std::optional<Clock::time_point> hungUpAt_;  // while the board is away
    int hangUps_ = 0;
};

}  // namespace keyscope::sim

namespace keyscope {

// Wraps the real serial device (a TermiosSerialDevice) so that its ports are
// the simulated board's, as `config` asks. Chosen by the caller when
// KEYSCOPE_SIMULATE=1.
std::unique_ptr<SerialDevice> makeSimulatedSerialDevice(std::unique_ptr<SerialDevice> real,
                                                        const sim::SimConfig& config);

}  // namespace keyscope
