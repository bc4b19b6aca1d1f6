#pragma once

#include <memory>

#include "device/IceLink.h"
#include "device/Messages.h"
#include "device/Pauser.h"
#include "ice/ScsiTransport.h"

namespace keyscope {

// The ICE link the program uses, over the given SCSI access (the simulated ICE
// board, say); without one, over the SCSI generic nodes of this system. The
// link owns the program's ICE state. messages and pauser must outlive it.
std::unique_ptr<IceLink> makeSystemIceLink(Messages& messages, Pauser& pauser,
                                           std::unique_ptr<ScsiDeviceAccess> access = nullptr);

}  // namespace keyscope
