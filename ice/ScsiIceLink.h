#pragma once
// The ICE board link: finds ICE boards among the SCSI generic devices by their
// INQUIRY signature and reads target memory through the board's debug commands.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/AccessDiagnosis.h"
#include "device/IceLink.h"
#include "device/Messages.h"
#include "ice/IceCommands.h"
#include "ice/IceDeviceTable.h"

namespace keyscope {

class ScsiIceLink final : public IceLink {
  public:
    // context and messages must outlive the link.
    ScsiIceLink(IceContext& context, Messages& messages);
    // Releases the link.
    ~ScsiIceLink() override;
    ScsiIceLink(const ScsiIceLink&) = delete;
    ScsiIceLink& operator=(const ScsiIceLink&) = delete;

    // 1 when at least one board was found and registered; otherwise shows the
    // "fail" message once, with the nodes that refused access as its detail,
    // and returns 0 with no device handle left open.
    int openIceLink(std::uint32_t selector) override;
    // Closes the registered devices; always 1.
    int releaseIceLink() override;
    std::string lastFailure() const override { return lastFailure_; }
    // Reads 33 bytes of target memory from address into out[0..32]; out must hold
    // 65 bytes zeroed by the caller. length is accepted and not used: every read
    // asks for 32 bytes. 1 when memory was read (also when the closing
    // setHwReturn failed); 0 with out untouched otherwise. Shows its own messages.
    int readIceBlock(std::uint8_t* out, std::uint16_t address, std::uint16_t length,
                     std::uint32_t iramSpace) override;

    // One scan over the candidate devices for signature; the number registered.
    int scanDevices(std::string_view signature);

    // The ICE commands, sent to the first registered device (selectTarget to the
    // one given). Each returns 1 on success, 0 on failure, and shows nothing.
    int selectTarget(DeviceValue device, std::uint32_t selector, std::uint8_t targetByte);
    int enterIceMode();
    int resetChip();
    int setHwBreak();
    int readPc();       // into responseBuffer
    int setHwReturn();  // sends contextBlock to the address r9/r10 of responseBuffer
    // Into responseBuffer; on failure readIceStatus is sent once before returning 0.
    int readReserveData(std::uint16_t address, std::uint8_t space, std::uint8_t length);
    // The first answer byte, or 0xFF when the command failed.
    std::uint8_t readIceStatus();

    const std::array<DeviceValue, kMaxIceDevices>& deviceHandles() const { return deviceHandles_; }
    const IceBlock& responseBuffer() const { return responseBuffer_; }
    const IceBlock& contextBlock() const { return contextBlock_; }

  private:
    // The access's reason to standard error (once per loss), then the fixed text in a
    // box with the reason as its detail.
    void showFailure(std::string_view text);
    void closeTableEntry(int index);
    int sendNoData(IceSubCommand sub);
    DeviceValue device() const { return deviceHandles_[0]; }

    IceContext& context_;
    Messages& messages_;
    std::array<DeviceValue, kMaxIceDevices> deviceHandles_;
    IceBlock responseBuffer_{};
    IceBlock contextBlock_{};
    FailureReport said_;  // the access's reasons on standard error
    std::string lastFailure_;
};

}  // namespace keyscope
