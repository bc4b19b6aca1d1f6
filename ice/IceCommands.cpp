#include "ice/IceCommands.h"

namespace keyscope {

Cdb iceCdb(std::uint8_t opcode, IceSubCommand sub, std::uint8_t p7, std::uint8_t p8,
           std::uint8_t p10, std::uint8_t p11) {
    return Cdb{opcode, 0x11, 0x31, 0x0F, 0x30, 0x00, static_cast<std::uint8_t>(sub),
               p7,     p8,   0x00, p10,  p11};
}

Cdb selectTargetCdb(std::uint32_t selector, std::uint8_t targetByte) {
    return iceCdb(kIceOpNoDataOrOut, IceSubCommand::SelectTarget,
                  static_cast<std::uint8_t>(selector), targetByte);
}

Cdb setHwReturnCdb(std::uint16_t address) {
    return iceCdb(kIceOpNoDataOrOut, IceSubCommand::SetHwReturn,
                  static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address));
}

Cdb readReserveDataCdb(std::uint16_t address, std::uint8_t space, std::uint8_t length) {
    return iceCdb(kIceOpDataIn, IceSubCommand::ReadReserveData,
                  static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                  space, static_cast<std::uint8_t>(length & 0x3F));
}

Cdb inquiryCdb() {
    return Cdb{0x12, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(kInquiryLength)};
}

IceTargetChoice iceTargetFor(std::uint32_t selector) {
    switch (selector) {
        case 0:
            return {"ICEBRD-C", 0};
        case 1:
            return {"ICEBRD-B", 0};
        case 3:
            return {"ICEBRD-D", 6};
        case 4:
            return {"ICEBRD-A", 4};
        default:
            return {"ICEBRD-D", 0};
    }
}

void deriveContext(const IceBlock& r, IceBlock& context, ContextDerivation derivation) {
    const bool before = derivation == ContextDerivation::BeforeRead;
    context[0] = r[15];
    context[1] = r[16];
    context[2] = r[13];
    context[3] = r[14];
    context[4] = before ? r[3] : r[2];
    context[5] = before ? r[4] : r[3];
    context[6] = static_cast<std::uint8_t>(r[7] - 2);
    context[7] = r[12];
    context[8] = r[8];
    context[9] = r[1];
    context[10] = r[0];
    context[11] = r[11];
}

std::uint16_t hwReturnAddress(const IceBlock& response) {
    return static_cast<std::uint16_t>(response[9] | (response[10] << 8));
}

void restoreIramBytes(std::uint8_t* out, std::uint16_t address, std::uint32_t iramSpace,
                      const IceBlock& response) {
    constexpr std::uint16_t kFirst = 0x11;
    constexpr std::uint16_t kLast = 0x14;
    if (iramSpace != 1 || address > kLast) {
        return;
    }
    for (std::uint16_t location = kFirst; location <= kLast; ++location) {
        if (location >= address) {
            out[location - address] = response[2 + (location - kFirst)];
        }
    }
}

}  // namespace keyscope
