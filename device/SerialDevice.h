#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keyscope {

// The operating-system side of one serial port, one call per platform step so
// that every failure message of the port can be reached. All calls return
// true on success.
class SerialDevice {
  public:
    static constexpr long kReadHungUp = -2;

    virtual ~SerialDevice() = default;
    // Opens the named port exclusively for reading and writing; no handle is held on failure.
    virtual bool open(const std::string& path) = 0;
    virtual bool readConfig() = 0;  // fetch the current line settings
    // 8 data bits, no parity, one stop bit, raw; baud 0 keeps the port's current rate.
    virtual bool writeConfig(int baud) = 0;
    virtual bool setNonBlockingReads() = 0;  // reads return at once with what has arrived
    // Reads what has arrived, at most length bytes; 0 when nothing is waiting,
    // kReadHungUp when the other end has gone (the handle is useless until
    // reopened), -1 on any other failure.
    virtual long read(std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool close() = 0;  // releases the handle; false when the system refused
};

}  // namespace keyscope
