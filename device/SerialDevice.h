#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keyscope {

// The operating-system side of one serial port, one call per platform step so
// that every failure message of the port can be reached. All calls return
// true on success; lastError() tells why the last one failed.
class SerialDevice {
  public:
    static constexpr long kReadHungUp = -2;

    virtual ~SerialDevice() = default;
    // Opens the named port exclusively for reading and writing; no handle is held on failure.
    [[nodiscard]] virtual bool open(const std::string& path) = 0;
    [[nodiscard]] virtual bool readConfig() = 0;  // fetch the current line settings
    // 8 data bits, no parity, one stop bit, raw; baud 0 keeps the port's current rate.
    [[nodiscard]] virtual bool writeConfig(int baud) = 0;
    // Reads return at once with what has arrived.
    [[nodiscard]] virtual bool setNonBlockingReads() = 0;
    // Reads what has arrived, at most length bytes; 0 when nothing is waiting,
    // kReadHungUp when the other end has gone (the handle is useless until
    // reopened), -1 on any other failure.
    [[nodiscard]] virtual long read(std::uint8_t* buffer, std::size_t length) = 0;
    // Releases the handle; false when the system refused. Callers that give a
    // port up whatever happens may ignore the result.
    virtual bool close() = 0;
    // The operation, the port and the system's reason of the last failure
    // ("open /dev/ttyUSB0: Device or resource busy"), for standard error.
    virtual std::string lastError() const { return {}; }
};

}  // namespace keyscope
