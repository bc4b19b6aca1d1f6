#pragma once

#include <memory>

#include "device/IceLink.h"
#include "device/Messages.h"
#include "device/Pauser.h"

namespace keyscope {

// The ICE link the program uses: the SCSI generic devices of this system, or,
// with KEYSCOPE_SIMULATE=1, one simulated ICE board behind the same transport.
// The link owns the program's ICE state. messages and pauser must outlive it.
std::unique_ptr<IceLink> makeSystemIceLink(Messages& messages, Pauser& pauser);

}  // namespace keyscope
