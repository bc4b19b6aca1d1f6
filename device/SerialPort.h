#pragma once
// The receive-only serial link to a board that streams key frames.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/AccessDiagnosis.h"
#include "device/Messages.h"
#include "device/SerialDevice.h"

namespace keyscope {

// The dashboard's serial choice, held by the dashboard for the run.
struct SerialSettings {
    std::int32_t comIndex = 0;  // 0 is "COM1"
    std::int32_t baudIndex =
        3;  // 0 = 1200, 1 = 2400, 2 = 4800, 3 = 9600; other values keep the rate
};

// Baud rate for a baud index, 0 for "keep the port's rate".
int baudForIndex(std::int32_t baudIndex);
// The baud index of a rate in the table, -1 for any other rate.
std::int32_t baudIndexFor(long baud);

// Maps "COMn" (n = comIndex + 1) to a device path: entry comIndex of the
// system's ports in the order /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*, each in
// numeric order. No entry gives no path.
std::optional<std::string> comPortPath(std::int32_t comIndex);

// Milliseconds of a monotonic clock.
std::int64_t steadyMilliseconds();

// States: closed (no handle), half-open (handle held, configuration failed),
// open. Only destruction or closePort leaves open. Every failure shows its
// message in a plain box at the moment it happens, but never a second read
// failure box while the first is still open; the device's reason for a failure
// is the box's detail, and goes to standard error beside the box once per
// loss: the same reason again is said only after the port worked in between.
//
// An open port whose other end hangs up (adapter pulled) fails that read with
// its message and gives up its handle; it stays open for its callers, and
// later reads quietly try the same device path again, at most once every
// kReopenIntervalMs, failing until the port is back.
class SerialPort {
  public:
    using PathResolver = std::function<std::optional<std::string>(std::int32_t comIndex)>;
    using Clock = std::function<std::int64_t()>;  // milliseconds, monotonic

    static constexpr std::int64_t kReopenIntervalMs = 1000;

    SerialPort(std::unique_ptr<SerialDevice> device, Messages& messages,
               PathResolver resolver = comPortPath, Clock clock = steadyMilliseconds);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 1 when the port is open (at once, with no system call, if it already was), 0 on failure.
    [[nodiscard]] int openPort(const SerialSettings& settings);
    // 1 when closed (also when it was not open), 0 when the system refused.
    int closePort();
    // Reads at most length bytes; buffer holds length + 1 so that a zero byte can
    // follow the received ones. 1 on success (also with nothing received), 0 when
    // the port is not open or the read failed.
    [[nodiscard]] int readPort(std::uint8_t* buffer, std::size_t length, std::size_t& received);

    bool isPortOpen() const { return portOpen_; }
    bool isHandleHeld() const { return handleHeld_; }
    // True from a hang-up until the port is back.
    bool isHungUp() const { return hungUp_; }
    // The reason of the latest failure shown, as its box's detail has it.
    const std::string& lastFailure() const { return lastFailure_; }

  private:
    // The device's reason to standard error, then the fixed text in a box with it as detail.
    void showDeviceFailure(const char* text);
    void showReadFailure();
    bool reopenAfterHangUp();

    std::unique_ptr<SerialDevice> device_;
    Messages& messages_;
    PathResolver resolver_;
    Clock clock_;
    bool portOpen_ = false;
    bool handleHeld_ = false;
    bool hungUp_ = false;
    bool readBoxOpen_ = false;
    std::string path_;  // of the open port, for a reopen after a hang-up
    int baud_ = 0;
    std::int64_t lastReopenMs_ = 0;
    FailureReport said_;  // the device's reasons on standard error
    std::string lastFailure_;
};

// The COM table a program was given (its KEYSCOPE_SERIAL_PORTS, split at the
// colons): "COMn" is entry comIndex of `listed`, an empty entry or none giving
// no path. An empty table is the system's (comPortPath).
SerialPort::PathResolver comPortTable(std::vector<std::string> listed);

}  // namespace keyscope
