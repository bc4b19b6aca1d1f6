#include "ice/ScsiTransport.h"

#include <dlfcn.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cstring>

#include "ice/ScsiRequests.h"

namespace keyscope {
namespace {

class DlAspiLibrary final : public AspiLibrary {
  public:
    explicit DlAspiLibrary(void* handle) : handle_(handle) {
        supportInfo_ = reinterpret_cast<SupportInfoFn>(dlsym(handle_, "GetASPI32SupportInfo"));
        sendCommand_ = reinterpret_cast<SendCommandFn>(dlsym(handle_, "SendASPI32Command"));
    }
    ~DlAspiLibrary() override { dlclose(handle_); }
    DlAspiLibrary(const DlAspiLibrary&) = delete;
    DlAspiLibrary& operator=(const DlAspiLibrary&) = delete;

    bool hasEntry(std::string_view name) const override {
        return dlsym(handle_, std::string(name).c_str()) != nullptr;
    }
    std::uint32_t getSupportInfo() override { return supportInfo_ ? supportInfo_() : 0; }
    std::uint32_t sendCommand(std::uint8_t* srb, std::uint8_t*) override {
        return sendCommand_ ? sendCommand_(srb) : 0;
    }

  private:
    using SupportInfoFn = std::uint32_t (*)();
    using SendCommandFn = std::uint32_t (*)(void*);
    void* handle_;
    SupportInfoFn supportInfo_ = nullptr;
    SendCommandFn sendCommand_ = nullptr;
};

}  // namespace

std::unique_ptr<AspiLibrary> DlAspiLoader::load(const char* name) {
    void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<DlAspiLibrary>(handle);
}

int sgDirection(ScsiDirection direction, std::uint32_t length) {
    if (length == 0) {
        return SG_DXFER_NONE;
    }
    return direction == ScsiDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
}

ScsiTransport::ScsiTransport(ScsiDeviceAccess& access, AspiLoader& aspiLoader, Pauser& pauser)
    : access_(access), aspiLoader_(aspiLoader), pauser_(pauser) {}

int ScsiTransport::sendScsiCommand(DeviceValue device, const Cdb& cdb, std::uint8_t* data,
                                   std::uint32_t length, ScsiDirection direction) {
    if (device == kInvalidDevice) {
        return 0;
    }
    if (length != 0 && data == nullptr) {
        return 0;
    }
    if (aspi_) {
        return sendAspi(device, cdb, data, length, direction);
    }
    return sendPassThrough(static_cast<int>(device), cdb, data, length, direction);
}

int ScsiTransport::sendCommandOut(DeviceValue device, const Cdb& cdb, int blocks,
                                  std::uint8_t* data) {
    if (blocks < 0) {
        return 0;
    }
    return sendScsiCommand(device, cdb, data, static_cast<std::uint32_t>(blocks) * kBlockSize,
                           ScsiDirection::Out);
}

int ScsiTransport::sendCommandIn(DeviceValue device, const Cdb& cdb, int blocks,
                                 std::uint8_t* data) {
    if (blocks < 0) {
        return 0;
    }
    return sendScsiCommand(device, cdb, data, static_cast<std::uint32_t>(blocks) * kBlockSize,
                           ScsiDirection::In);
}

int ScsiTransport::sendPassThrough(int fd, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                                   ScsiDirection direction) {
    // The same bound as the system's pass-through working buffer.
    if (length > kPassThroughMaxData) {
        return 0;
    }
    // Incoming data lands here first so that a failed command leaves the caller's buffer alone.
    std::vector<std::uint8_t> scratch(length);
    if (hasData(direction, length, ScsiDirection::Out)) {
        std::memcpy(scratch.data(), data, length);
    }
    Cdb sent = cdb;
    sg_io_hdr_t hdr{};
    hdr.interface_id = 'S';
    hdr.dxfer_direction = sgDirection(direction, length);
    hdr.cmd_len = kCdbLength;
    hdr.mx_sb_len = 0;  // sense data is never requested
    hdr.dxfer_len = length;
    hdr.dxferp = length != 0 ? scratch.data() : nullptr;
    hdr.cmdp = sent.data();
    hdr.sbp = nullptr;
    hdr.timeout = kScsiTimeoutMs;

    const bool called = access_.sgIo(fd, hdr);
    const bool ok = called && hdr.status == 0 && hdr.host_status == 0 && hdr.driver_status == 0;
    if (ok && hasData(direction, length, ScsiDirection::In)) {
        std::memcpy(data, scratch.data(), length);
    }
    return ok ? 1 : 0;
}

int ScsiTransport::sendAspi(DeviceValue device, const Cdb& cdb, std::uint8_t* data,
                            std::uint32_t length, ScsiDirection direction) {
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
    auto srb = buildAspiExecRequest(device, cdb, address, length, direction);
    aspi_->sendCommand(srb.data(), data);
    return awaitAspi(srb.data()) == kSsComp ? 1 : 0;
}

std::uint8_t ScsiTransport::awaitAspi(const std::uint8_t* srb) {
    // The layer completes the request behind our back: read the status afresh each poll.
    const volatile std::uint8_t* status = srb + 1;
    for (int polls = 0;; ++polls) {
        const std::uint8_t now = *status;
        if (now != kSsPending) {
            return now;
        }
        if (polls == kAspiPollLimit) {
            return kSsPending;
        }
        pauser_.pause(1);
    }
}

void ScsiTransport::initializeAspi() {
    aspi_.reset();
    std::unique_ptr<AspiLibrary> library = aspiLoader_.load("WNASPI32.dll");
    if (!library) {
        return;
    }
    // GetASPI32Buffer, FreeASPI32Buffer and TranslateASPI32Address are never
    // called, so their absence does not matter.
    if (!library->hasEntry("GetASPI32SupportInfo") || !library->hasEntry("SendASPI32Command")) {
        return;
    }
    const std::uint8_t status = static_cast<std::uint8_t>(library->getSupportInfo() >> 8);
    if (status != kSsComp && status != kSsNoAdapters) {
        return;
    }
    auto inquiry = buildAspiHaInquiry();
    library->sendCommand(inquiry.data(), nullptr);
    if (inquiry[1] != kSsComp) {
        return;
    }
    auto timeouts = buildAspiGetTimeouts();
    library->sendCommand(timeouts.data(), nullptr);
    aspi_ = std::move(library);
}

}  // namespace keyscope
