#pragma once
// A board that streams key frames over a serial port. The stream carries no
// key values and no settings, and takes nothing back.

#include "device/BoardLink.h"
#include "device/SerialPort.h"

namespace keyscope {

class SerialLink final : public BoardLink {
  public:
    // The port is the connection's and stays open across closes; settings null
    // opens with the default ones.
    SerialLink(SerialPort& port, const SerialSettings* settings, LinkContext context)
        : port_(port), settings_(settings), context_(context) {}
    // The port's failure is the reason.
    [[nodiscard]] std::optional<LinkKind> open(std::uint32_t selector) override;
    // Every frame waiting; a failed read is no loss (the port says it and reopens).
    [[nodiscard]] bool readCycle() override;
    [[nodiscard]] bool readKeyValues(std::uint8_t*) override { return true; }
    [[nodiscard]] bool readMaxValues() override { return true; }
    [[nodiscard]] bool writeKeyValues(std::uint8_t*) override { return false; }

  private:
    SerialPort& port_;
    const SerialSettings* settings_;
    LinkContext context_;
};

}  // namespace keyscope
