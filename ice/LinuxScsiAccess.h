#pragma once
// The Linux SCSI generic nodes (/dev/sg0, /dev/sg1, ...) and their SG_IO ioctl.

#include <string>
#include <utility>
#include <vector>

#include "ice/ScsiTransport.h"

namespace keyscope {

class LinuxScsiAccess final : public ScsiDeviceAccess {
  public:
    // The existing /dev/sgN nodes in numeric order.
    std::vector<std::string> candidatePaths() override;
    int openDevice(const std::string& path) override;
    void closeDevice(int fd) override;
    int sgIo(int fd, sg_io_hdr_t& hdr) override;

    // Tells standard error which nodes of the last scan refused to open and why.
    // Called when no ICE board was found: one of them may be the board.
    void reportRefusedNodes() const;

  private:
    std::vector<std::pair<std::string, int>> refused_;  // path, errno; since candidatePaths()
};

// The sgN names among the given directory entries, in numeric order; other names are ignored.
std::vector<std::string> sortScsiGenericNames(const std::vector<std::string>& names);

}  // namespace keyscope
