#include "ice/ScsiTransport.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace keyscope {
namespace {

void putLe16(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* at, std::uint32_t v) {
    putLe16(at, v);
    putLe16(at + 2, v >> 16);
}

bool hasData(ScsiDirection direction, std::uint32_t length, ScsiDirection wanted) {
    return direction == wanted && length != 0;
}

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

std::uint8_t passThroughDataIn(ScsiDirection direction, std::uint32_t length) {
    // SCSI_IOCTL_DATA_IN only when data comes back; a command without data goes "out".
    return hasData(direction, length, ScsiDirection::In) ? 1 : 0;
}

std::uint8_t aspiFlags(ScsiDirection direction, std::uint32_t length) {
    return hasData(direction, length, ScsiDirection::In) ? kSrbDirIn : kSrbDirOut;
}

int sgDirection(ScsiDirection direction, std::uint32_t length) {
    if (length == 0) {
        return SG_DXFER_NONE;
    }
    return direction == ScsiDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
}

std::optional<PassThroughRequest> buildPassThroughRequest(const Cdb& cdb, const std::uint8_t* data,
                                                          std::uint32_t length,
                                                          ScsiDirection direction) {
    if (length > kPassThroughMaxData || (length != 0 && data == nullptr)) {
        return std::nullopt;
    }
    PassThroughRequest request;
    request.buffer.assign(kPassThroughBufferSize, 0);
    std::uint8_t* b = request.buffer.data();
    if (hasData(direction, length, ScsiDirection::Out)) {
        std::memcpy(b + kPassThroughDataOffset, data, length);
    }
    putLe16(b + 0, kPassThroughHeaderSize);  // Length
    b[6] = kCdbLength;                       // CdbLength
    b[8] = passThroughDataIn(direction, length);
    putLe32(b + 12, length);                  // DataTransferLength
    putLe32(b + 16, kScsiTimeoutSeconds);     // TimeOutValue
    putLe32(b + 20, kPassThroughDataOffset);  // DataBufferOffset
    std::copy_n(cdb.begin(), kCdbLength, b + 28);

    request.inputSize = kPassThroughHeaderSize;
    request.outputSize = kPassThroughHeaderSize;
    if (hasData(direction, length, ScsiDirection::In)) {
        request.outputSize = kPassThroughDataOffset + length;
    } else if (hasData(direction, length, ScsiDirection::Out)) {
        request.inputSize = kPassThroughDataOffset + length;
    }
    return request;
}

bool passThroughSucceeded(bool controlCallOk, const PassThroughRequest& request) {
    return controlCallOk && request.buffer.size() > 2 && request.buffer[2] == 0;
}

std::array<std::uint8_t, kAspiExecSize> buildAspiExecRequest(DeviceValue device, const Cdb& cdb,
                                                             std::uint32_t bufferAddress,
                                                             std::uint32_t length,
                                                             ScsiDirection direction) {
    std::array<std::uint8_t, kAspiExecSize> srb{};
    srb[0] = kScExecScsiCmd;
    srb[2] = static_cast<std::uint8_t>(device >> 8);  // SRB_HaId
    srb[3] = aspiFlags(direction, length);
    srb[8] = static_cast<std::uint8_t>(device);        // SRB_Target
    srb[9] = static_cast<std::uint8_t>(device >> 16);  // SRB_Lun
    putLe32(&srb[12], length);                         // SRB_BufLen
    putLe32(&srb[16], bufferAddress);                  // SRB_BufPointer
    srb[21] = kCdbLength;                              // SRB_CDBLen
    std::copy_n(cdb.begin(), kCdbLength, &srb[48]);    // CDBByte
    return srb;
}

std::array<std::uint8_t, kAspiHaInquirySize> buildAspiHaInquiry() {
    std::array<std::uint8_t, kAspiHaInquirySize> srb{};
    srb[0] = kScHaInquiry;
    srb[2] = 0;  // host adapter 0
    return srb;
}

std::array<std::uint8_t, kAspiTimeoutsSize> buildAspiGetTimeouts() {
    std::array<std::uint8_t, kAspiTimeoutsSize> srb{};
    srb[0] = kScGetSetTimeouts;
    srb[2] = 0xFF;  // every adapter,
    srb[3] = 0x08;  // get
    srb[8] = 0xFF;  // every target,
    srb[9] = 0xFF;  // every unit
    return srb;
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

    const int rc = access_.sgIo(fd, hdr);
    const bool ok = rc == 0 && hdr.status == 0 && hdr.host_status == 0 && hdr.driver_status == 0;
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
