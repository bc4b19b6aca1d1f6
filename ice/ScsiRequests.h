#pragma once
// The request blocks of the Windows backends, built byte by byte: the
// SCSI_PASS_THROUGH request and the ASPI request blocks (SRBs). Pure functions
// of their arguments, so their layouts are checked without either system.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "ice/ScsiTransport.h"

namespace keyscope {

// ASPI status, command and direction codes.
inline constexpr std::uint8_t kSsPending = 0x00;
inline constexpr std::uint8_t kSsComp = 0x01;
inline constexpr std::uint8_t kSsNoAdapters = 0xE8;
inline constexpr std::uint8_t kScExecScsiCmd = 0x02;
inline constexpr std::uint8_t kScHaInquiry = 0x00;
inline constexpr std::uint8_t kScGetSetTimeouts = 0x08;
inline constexpr std::uint8_t kSrbDirIn = 0x08;
inline constexpr std::uint8_t kSrbDirOut = 0x10;

// The Windows SCSI_PASS_THROUGH request in its 32-bit layout, header at 0,
// data at kPassThroughDataOffset, in a buffer of kPassThroughBufferSize bytes.
inline constexpr std::size_t kPassThroughBufferSize = 66128;
inline constexpr std::size_t kPassThroughZeroed = 592;
inline constexpr std::uint32_t kPassThroughHeaderSize = 44;
inline constexpr std::uint32_t kPassThroughDataOffset = 80;
inline constexpr std::uint32_t kPassThroughMaxData = 66048;
inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;

struct PassThroughRequest {
    std::vector<std::uint8_t> buffer;  // kPassThroughBufferSize bytes
    std::uint32_t inputSize = 0;
    std::uint32_t outputSize = 0;
};

// Null when the data does not fit the working buffer.
std::optional<PassThroughRequest> buildPassThroughRequest(const Cdb& cdb, const std::uint8_t* data,
                                                          std::uint32_t length,
                                                          ScsiDirection direction);
// Success needs the control call to succeed and the returned ScsiStatus to be 0.
bool passThroughSucceeded(bool controlCallOk, const PassThroughRequest& request);

// The ASPI SRB_ExecSCSICmd block (256 bytes); bufferAddress is the data
// pointer as the 32-bit layer sees it.
inline constexpr std::size_t kAspiExecSize = 256;
std::array<std::uint8_t, kAspiExecSize> buildAspiExecRequest(DeviceValue device, const Cdb& cdb,
                                                             std::uint32_t bufferAddress,
                                                             std::uint32_t length,
                                                             ScsiDirection direction);
inline constexpr std::size_t kAspiHaInquirySize = 60;
std::array<std::uint8_t, kAspiHaInquirySize> buildAspiHaInquiry();
inline constexpr std::size_t kAspiTimeoutsSize = 14;
std::array<std::uint8_t, kAspiTimeoutsSize> buildAspiGetTimeouts();

// Direction codes of the two Windows backends for a command of this direction and length.
std::uint8_t passThroughDataIn(ScsiDirection direction, std::uint32_t length);
std::uint8_t aspiFlags(ScsiDirection direction, std::uint32_t length);

}  // namespace keyscope
