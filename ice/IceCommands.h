#pragma once
// The ICE board's vendor command set as command blocks, and the pure
// arithmetic on its answers. Sending them is ScsiIceLink's business.

#include <array>
#include <cstdint>
#include <string_view>

#include "ice/ScsiTransport.h"

namespace keyscope {

using IceBlock = std::array<std::uint8_t, kBlockSize>;

inline constexpr std::uint8_t kIceOpNoDataOrOut = 0xD2;
inline constexpr std::uint8_t kIceOpDataIn = 0xD3;

enum class IceSubCommand : std::uint8_t {
    ReadPc = 0x01,
    EnterIceMode = 0x02,
    ReadIceStatus = 0x03,
    ResetChip = 0x05,
    SetHwBreak = 0x07,
    ReadReserveData = 0x09,
    SelectTarget = 0x0F,
    SetHwReturn = 0x15,
};

// D2/D3 11 31 0F 30 00 sub p7 p8 00 p10 p11, then four bytes that are never sent.
Cdb iceCdb(std::uint8_t opcode, IceSubCommand sub, std::uint8_t p7 = 0, std::uint8_t p8 = 0,
           std::uint8_t p10 = 0, std::uint8_t p11 = 0);
Cdb selectTargetCdb(std::uint32_t selector, std::uint8_t targetByte);
Cdb setHwReturnCdb(std::uint16_t address);
// The length travels as length AND 0x3F.
Cdb readReserveDataCdb(std::uint16_t address, std::uint8_t space, std::uint8_t length);
Cdb inquiryCdb();  // standard INQUIRY for kInquiryLength bytes

inline constexpr std::uint32_t kInquiryLength = 56;
inline constexpr std::size_t kSignatureOffset = 36;  // first byte after vendor, product, revision
inline constexpr std::size_t kSignatureLength = 8;

// The signature of the first scan and the target byte of the select-target
// command for a chip selector.
struct IceTargetChoice {
    std::string_view signature;
    std::uint8_t targetByte;
};
IceTargetChoice iceTargetFor(std::uint32_t selector);
inline constexpr std::string_view kFallbackSignature = "ICEBRD-D";

// Two derivations of the context block that setHwReturn sends: before a memory
// read context bytes 4 and 5 take r3 and r4; after it they take r2 and r3.
// Only bytes 0 to 11 are written.
enum class ContextDerivation { BeforeRead, AfterRead };
void deriveContext(const IceBlock& response, IceBlock& context, ContextDerivation derivation);

// The address setHwReturn carries: r9 low byte, r10 high byte.
std::uint16_t hwReturnAddress(const IceBlock& response);

// Memory bytes in a read answer: out byte i is target memory at address + i.
inline constexpr std::size_t kMemoryOffset = 16;
inline constexpr std::size_t kMemoryBytes = 33;
inline constexpr std::uint8_t kReadLength = 32;  // what every memory read asks for

// The board's own use clobbers internal-RAM locations 0x11 to 0x14 while it
// reads; their true contents come back in r2 to r5. Puts them into out, which
// holds kMemoryBytes bytes read from address.
void restoreIramBytes(std::uint8_t* out, std::uint16_t address, std::uint32_t iramSpace,
                      const IceBlock& response);

}  // namespace keyscope
