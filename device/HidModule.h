#pragma once

#include <cstdint>
#include <string>

#include "device/HidReport.h"

namespace keyscope {

inline constexpr int kReportSize = report::kSize;
inline constexpr int kHidDeviceTyped = report::kDeviceTyped;
inline constexpr int kHidDevicePlain = report::kDevicePlain;

// A product id as the board's documents write it, 292 as "0x0124".
std::string hidProductIdText(int deviceId);

// The board's HID access, one call per call of the loadable module. Each call
// returns true on success; the module's own 0-means-success is converted where
// it is loaded (HidLibrary). Report buffers are kReportSize bytes, zeroed by the caller.
class HidModule {
  public:
    virtual ~HidModule() = default;
    [[nodiscard]] virtual bool open(int deviceId, int reserved1, int reserved2) = 0;
    [[nodiscard]] virtual bool read(int size, std::uint8_t* report) = 0;  // plain board: any report
    [[nodiscard]] virtual bool readData(std::uint8_t* report) = 0;  // typed board: data report
    [[nodiscard]] virtual bool readMax(std::uint8_t* report) = 0;   // typed board: max values
    [[nodiscard]] virtual bool readKey(std::uint8_t* report) = 0;   // typed board: key values
    [[nodiscard]] virtual bool write(std::uint8_t* report) = 0;     // key values and chip settings
    // Why the last failed call failed, for standard error; empty when unknown.
    virtual std::string lastError() const { return {}; }
};

// Stand-in where no module was given: every call fails, so the HID open fails
// with its usual message.
class NoHidModule final : public HidModule {
  public:
    bool open(int, int, int) override { return false; }
    bool read(int, std::uint8_t*) override { return false; }
    bool readData(std::uint8_t*) override { return false; }
    bool readMax(std::uint8_t*) override { return false; }
    bool readKey(std::uint8_t*) override { return false; }
    bool write(std::uint8_t*) override { return false; }
    std::string lastError() const override { return "no HID module"; }
};

}  // namespace keyscope
