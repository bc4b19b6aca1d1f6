#pragma once

#include <cstdint>

#include "device/HidReport.h"

namespace keyscope {

inline constexpr int kReportSize = report::kSize;
inline constexpr int kHidDeviceTyped = report::kDeviceTyped;
inline constexpr int kHidDevicePlain = report::kDevicePlain;

// The board's HID access module. Each call returns 0 on success and non-zero on
// failure; report buffers are kReportSize bytes, zeroed by the caller.
class HidModule {
  public:
    virtual ~HidModule() = default;
    virtual int open(int deviceId, int reserved1, int reserved2) = 0;
    virtual int read(int size, std::uint8_t* report) = 0;  // plain board: any report
    virtual int readData(std::uint8_t* report) = 0;        // typed board: data report
    virtual int readMax(std::uint8_t* report) = 0;         // typed board: max-value report
    virtual int readKey(std::uint8_t* report) = 0;         // typed board: key-value report
    virtual int write(std::uint8_t* report) = 0;           // key values and chip settings
};

// Stand-in where no module was given: every call fails, so the HID open fails
// with its usual message.
class NoHidModule final : public HidModule {
  public:
    static constexpr int kNoModule = -1;
    int open(int, int, int) override { return kNoModule; }
    int read(int, std::uint8_t*) override { return kNoModule; }
    int readData(std::uint8_t*) override { return kNoModule; }
    int readMax(std::uint8_t*) override { return kNoModule; }
    int readKey(std::uint8_t*) override { return kNoModule; }
    int write(std::uint8_t*) override { return kNoModule; }
};

}  // namespace keyscope
