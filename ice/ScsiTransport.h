#pragma once
// One SCSI command to one device: a 12-byte CDB, an optional data phase of a
// fixed length in one direction, and a status. Two backends: the system's
// pass-through call (SG_IO on Linux) and the ASPI layer, which is used only
// while its library is loaded. Nothing here shows a message or throws: every
// failure is a 0 result and the callers decide what to tell the user.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/Pauser.h"

// The SG_IO request header of <scsi/sg.h>; only the access and the transport's
// source look inside it, so the header stays out of this one.
struct sg_io_hdr;

namespace keyscope {

// A device as the callers name it. Pass-through: the opened node's descriptor.
// ASPI: bits 0-7 target id, 8-15 host adapter, 16-23 logical unit.
using DeviceValue = std::uint32_t;
inline constexpr DeviceValue kInvalidDevice = 0xFFFFFFFF;  // names no device

// The caller's 16-byte command block; only the first kCdbLength bytes are sent.
using Cdb = std::array<std::uint8_t, 16>;
inline constexpr int kCdbLength = 12;
inline constexpr int kBlockSize = 64;  // one data block of the ICE commands
inline constexpr std::uint32_t kScsiTimeoutSeconds = 90;
inline constexpr std::uint32_t kScsiTimeoutMs = kScsiTimeoutSeconds * 1000;

enum class ScsiDirection { In, Out };  // In: device to host

// Whether a command of this direction and length moves data the wanted way.
inline bool hasData(ScsiDirection direction, std::uint32_t length, ScsiDirection wanted) {
    return direction == wanted && length != 0;
}
// The SG_IO direction code for a command of this direction and length.
int sgDirection(ScsiDirection direction, std::uint32_t length);

// The system below the ioctl: the candidate nodes, their handles and SG_IO.
// Tests and the simulated ICE board substitute their own.
class ScsiDeviceAccess {
  public:
    virtual ~ScsiDeviceAccess() = default;
    // Candidate node paths in scan order, at most kMaxScanCandidates are used.
    virtual std::vector<std::string> candidatePaths() = 0;
    // Opens a node for reading and writing; the descriptor, or -1 on failure.
    virtual int openDevice(const std::string& path) = 0;
    virtual void closeDevice(int fd) = 0;
    // ioctl(fd, SG_IO, &hdr): true when the call itself succeeded.
    [[nodiscard]] virtual bool sgIo(int fd, sg_io_hdr& hdr) = 0;
    // The operation, the node and the system's reason when the last open or
    // SG_IO call failed; empty after one succeeded.
    virtual std::string lastError() const { return {}; }
    // For standard error: which nodes of the last scan refused to open and why,
    // one line each; said when no ICE board was found, as one may be the board.
    virtual std::vector<std::string> refusedNodeLines() const { return {}; }
};

// ---- ASPI layer ----

inline constexpr int kAspiPollLimit = 90000;  // 1 ms each: the 90-second timeout

// Entry points of a loaded ASPI library. Freed when the object is destroyed.
class AspiLibrary {
  public:
    virtual ~AspiLibrary() = default;
    // Whether the library exports the named entry point.
    virtual bool hasEntry(std::string_view name) const = 0;
    virtual std::uint32_t getSupportInfo() = 0;
    // Submits a request block; completion shows in its status byte (offset 1),
    // which the layer may change after the call returns. A 32-bit layer finds
    // the data through the block's buffer pointer; data is passed as well
    // because that 32-bit field cannot hold a 64-bit address.
    virtual std::uint32_t sendCommand(std::uint8_t* srb, std::uint8_t* data) = 0;
};

class AspiLoader {
  public:
    virtual ~AspiLoader() = default;
    // The loaded library, or null when it cannot be loaded.
    virtual std::unique_ptr<AspiLibrary> load(const char* name) = 0;
};

// Loads through dlopen. The ASPI layer does not exist on Linux, so the load
// fails there and every command goes through pass-through.
class DlAspiLoader final : public AspiLoader {
  public:
    std::unique_ptr<AspiLibrary> load(const char* name) override;
};

// ---- the transport ----

class ScsiTransport {
  public:
    // All three must outlive the transport.
    ScsiTransport(ScsiDeviceAccess& access, AspiLoader& aspiLoader, Pauser& pauser);

    // 1 on success, 0 on failure. The invalid device fails without any system call.
    // Incoming data reaches data only when the command succeeded.
    [[nodiscard]] int sendScsiCommand(DeviceValue device, const Cdb& cdb, std::uint8_t* data,
                                      std::uint32_t length, ScsiDirection direction);
    // blocks x 64 bytes host to device; blocks 0 means no data phase.
    [[nodiscard]] int sendCommandOut(DeviceValue device, const Cdb& cdb, int blocks,
                                     std::uint8_t* data);
    // blocks x 64 bytes device to host.
    [[nodiscard]] int sendCommandIn(DeviceValue device, const Cdb& cdb, int blocks,
                                    std::uint8_t* data);

    // Loads and checks the ASPI layer; aspiLoaded() is true afterwards exactly when
    // that succeeded. A library loaded before is freed first.
    void initializeAspi();
    bool aspiLoaded() const { return aspi_ != nullptr; }

    ScsiDeviceAccess& access() { return access_; }

  private:
    int sendPassThrough(int fd, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                        ScsiDirection direction);
    int sendAspi(DeviceValue device, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                 ScsiDirection direction);
    // Waits for the layer to leave SS_PENDING; the final status, or SS_PENDING on timeout.
    std::uint8_t awaitAspi(const std::uint8_t* srb);

    ScsiDeviceAccess& access_;
    AspiLoader& aspiLoader_;
    Pauser& pauser_;
    std::unique_ptr<AspiLibrary> aspi_;
};

}  // namespace keyscope
