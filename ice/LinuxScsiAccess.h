#pragma once
// The Linux SCSI generic nodes (/dev/sg0, /dev/sg1, ...) and their SG_IO ioctl.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ice/ScsiTransport.h"

namespace keyscope {

class LinuxScsiAccess final : public ScsiDeviceAccess {
  public:
    // open(2) as the nodes are opened: path and flags, a descriptor or -1 with errno.
    using OpenCall = std::function<int(const char* path, int flags)>;

    LinuxScsiAccess();
    explicit LinuxScsiAccess(OpenCall openCall) : open_(std::move(openCall)) {}

    // The existing /dev/sgN nodes in numeric order.
    std::vector<std::string> candidatePaths() override;
    // O_NONBLOCK: a node held exclusively elsewhere, or in error recovery after
    // a board was pulled, fails at once instead of holding the window thread.
    // SG_IO on the descriptor still waits for its command.
    int openDevice(const std::string& path) override;
    void closeDevice(int fd) override;
    bool sgIo(int fd, sg_io_hdr& hdr) override;
    std::string lastError() const override { return lastError_; }
    std::vector<std::string> refusedNodeLines() const override;

  private:
    OpenCall open_;
    std::vector<std::pair<std::string, int>> refused_;  // path, errno; since candidatePaths()
    std::map<int, std::string> openPaths_;              // descriptor to node, for lastError
    std::string lastError_;
};

// The sgN names among the given directory entries, in numeric order; other names are ignored.
std::vector<std::string> sortScsiGenericNames(const std::vector<std::string>& names);

}  // namespace keyscope
