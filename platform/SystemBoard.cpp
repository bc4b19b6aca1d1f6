#include "platform/SystemBoard.h"

#include <cstdlib>
#include <cstring>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"
#include "ice/SystemIceLink.h"
#include "sim/SimIceDevice.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope {

bool simulationRequested() {
    const char* value = std::getenv("KEYSCOPE_SIMULATE");
    return value && std::strcmp(value, "1") == 0;
}

BoardCollaborators systemBoardCollaborators(Pauser& pauser, Messages& messages,
                                            CloseNotifier& notifier) {
    BoardCollaborators parts;
    parts.hid = std::make_unique<HidLibrary>(hidModulePath());
    const bool simulated = simulationRequested();
    if (simulated) {
        // Every COM entry reaches the simulated board's own pseudo-terminal.
        parts.serial = makeSimulatedSerialDevice(std::make_unique<TermiosSerialDevice>());
        parts.comPorts = [](std::int32_t comIndex) -> std::optional<std::string> {
            return comIndex >= 0 ? std::optional<std::string>("COM" + std::to_string(comIndex + 1))
                                 : std::nullopt;
        };
    } else {
        parts.serial = std::make_unique<TermiosSerialDevice>();
    }
    parts.ice = makeSystemIceLink(messages, pauser, simulated ? makeSimulatedIceAccess() : nullptr);
    parts.pauser = &pauser;
    parts.messages = &messages;
    parts.notifier = &notifier;
    return parts;
}

}  // namespace keyscope
