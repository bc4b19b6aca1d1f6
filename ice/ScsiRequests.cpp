#include "ice/ScsiRequests.h"

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

}  // namespace

std::uint8_t passThroughDataIn(ScsiDirection direction, std::uint32_t length) {
    // SCSI_IOCTL_DATA_IN only when data comes back; a command without data goes "out".
    return hasData(direction, length, ScsiDirection::In) ? 1 : 0;
}

std::uint8_t aspiFlags(ScsiDirection direction, std::uint32_t length) {
    return hasData(direction, length, ScsiDirection::In) ? kSrbDirIn : kSrbDirOut;
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

}  // namespace keyscope
