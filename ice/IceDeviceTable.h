#pragma once
// The program-wide ICE state: the SCSI transport (with its ASPI library), the
// table of devices the last scan found, and the once-per-run start-up flag.
// One IceContext exists per program; the ICE link refers to it.

#include <array>
#include <cstdint>

#include "ice/ScsiTransport.h"

namespace keyscope {

// Which backend the system offers. Linux always passes through; the ASPI
// family only exists so that its scan path can be exercised.
enum class ScsiBackendFamily { PassThrough, Aspi };

inline constexpr int kIceTableEntries = 32;
inline constexpr int kMaxScanCandidates = 30;
// The link keeps four devices and its release covers four, so a scan registers
// at most four: a fifth matching device is closed at once like a non-matching
// one, which leaves no handle that nothing would ever close.
inline constexpr int kMaxIceDevices = 4;

struct IceDeviceTable {
    std::array<DeviceValue, kIceTableEntries> entries = filled();
    std::uint8_t count = 0;
    std::array<char, 9> iceSignature{};  // up to 8 characters and a terminating zero
    // Set when the entries are descriptors opened by the scan: only then does a release close them.
    std::uint32_t usePassThroughFiles = 0;
    ScsiBackendFamily backend = ScsiBackendFamily::PassThrough;

  private:
    static std::array<DeviceValue, kIceTableEntries> filled() {
        std::array<DeviceValue, kIceTableEntries> a{};
        a.fill(kInvalidDevice);
        return a;
    }
};

class IceContext {
  public:
    // access, loader and pauser must outlive the context. family is what the
    // system query answers at every open.
    IceContext(ScsiDeviceAccess& access, AspiLoader& loader, Pauser& pauser,
               ScsiBackendFamily family = ScsiBackendFamily::PassThrough)
        : transport(access, loader, pauser), family_(family) {}

    ScsiBackendFamily systemFamily() const { return family_; }

    ScsiTransport transport;
    IceDeviceTable table;
    // Set before the first memory read's start-up sequence and never cleared,
    // so a failed step is not retried and a reconnect does not repeat it.
    bool iceStarted = false;

  private:
    ScsiBackendFamily family_;
};

}  // namespace keyscope
