#pragma once

#include <termios.h>

#include "device/SerialDevice.h"

namespace keyscope {

// A serial port through POSIX termios. The port is held exclusively (TIOCEXCL
// and an advisory lock) so that two programs never share it; reads never wait
// (VMIN 0, VTIME 0, O_NONBLOCK). A pulled adapter or a closed pseudo-terminal
// master reads as a hang-up (POLLHUP, POLLERR, EIO), not as "nothing arrived".
class TermiosSerialDevice final : public SerialDevice {
  public:
    TermiosSerialDevice() = default;
    ~TermiosSerialDevice() override;
    TermiosSerialDevice(const TermiosSerialDevice&) = delete;
    TermiosSerialDevice& operator=(const TermiosSerialDevice&) = delete;

    bool open(const std::string& path) override;
    bool readConfig() override;
    bool writeConfig(int baud) override;
    bool setNonBlockingReads() override;
    long read(std::uint8_t* buffer, std::size_t length) override;
    bool close() override;
    std::string lastError() const override { return lastError_; }

  private:
    // Keeps the failed operation with errno's reason; returns false.
    bool failed(const char* operation, int error);

    int fd_ = -1;
    termios settings_{};
    std::string path_;  // of the port last opened, for lastError
    std::string lastError_;
};

}  // namespace keyscope
