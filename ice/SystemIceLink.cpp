#include "ice/SystemIceLink.h"

#include "ice/LinuxScsiAccess.h"
#include "ice/ScsiIceLink.h"

namespace keyscope {
namespace {

// Owns everything the link refers to; members are built in declaration order.
class SystemIceLink final : public IceLink {
  public:
    SystemIceLink(std::unique_ptr<ScsiDeviceAccess> access, Messages& messages, Pauser& pauser)
        : access_(std::move(access)),
          context_(*access_, aspiLoader_, pauser, ScsiBackendFamily::PassThrough),
          link_(context_, messages) {}

    int openIceLink(std::uint32_t selector) override { return link_.openIceLink(selector); }
    int releaseIceLink() override { return link_.releaseIceLink(); }
    int readIceBlock(std::uint8_t* out, std::uint16_t address, std::uint16_t length,
                     std::uint32_t iramSpace) override {
        return link_.readIceBlock(out, address, length, iramSpace);
    }
    std::string lastFailure() const override { return link_.lastFailure(); }

  private:
    std::unique_ptr<ScsiDeviceAccess> access_;
    DlAspiLoader aspiLoader_;
    IceContext context_;
    ScsiIceLink link_;
};

}  // namespace

std::unique_ptr<IceLink> makeSystemIceLink(Messages& messages, Pauser& pauser,
                                           std::unique_ptr<ScsiDeviceAccess> access) {
    if (!access) {
        access = std::make_unique<LinuxScsiAccess>();
    }
    return std::make_unique<SystemIceLink>(std::move(access), messages, pauser);
}

}  // namespace keyscope
