#include "platform/SystemBoard.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"
#include "ice/SystemIceLink.h"
#include "sim/SimIceDevice.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope {

std::string SystemBoardConfig::hidModule() const {
    return hidModulePath(hidLibrary, simulate);
}

SystemBoardConfig systemBoardConfigFromEnvironment() {
    const auto variable = [](const char* name) -> const char* { return std::getenv(name); };
    SystemBoardConfig config;
    const char* simulate = variable("KEYSCOPE_SIMULATE");
    config.simulate = simulate && std::strcmp(simulate, "1") == 0;
    if (const char* library = variable("KEYSCOPE_HID_LIBRARY"); library && *library) {
        config.hidLibrary = library;
    }
    if (const char* listed = variable("KEYSCOPE_SERIAL_PORTS"); listed && *listed) {
        std::string_view rest(listed);
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            config.serialPorts.emplace_back(rest.substr(0, colon));
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    config.sim = sim::simConfigFrom(variable);
    return config;
}

BoardCollaborators systemBoardCollaborators(const SystemBoardConfig& config, Pauser& pauser,
                                            Messages& messages, CloseNotifier& notifier) {
    BoardCollaborators parts;
    // Whichever module is loaded: KEYSCOPE_HID_LIBRARY may name the simulated one too.
    sim::offerToHidModule(config.sim);
    parts.hid = std::make_unique<HidLibrary>(config.hidModule());
    if (config.simulate) {
        // Every COM entry reaches the simulated board's own pseudo-terminal.
        parts.serial =
            makeSimulatedSerialDevice(std::make_unique<TermiosSerialDevice>(), config.sim);
        parts.comPorts = [](std::int32_t comIndex) -> std::optional<std::string> {
            return comIndex >= 0 ? std::optional<std::string>("COM" + std::to_string(comIndex + 1))
                                 : std::nullopt;
        };
    } else {
        parts.serial = std::make_unique<TermiosSerialDevice>();
        parts.comPorts = comPortTable(config.serialPorts);
    }
    parts.ice = makeSystemIceLink(messages, pauser,
                                  config.simulate ? makeSimulatedIceAccess(config.sim) : nullptr);
    parts.pauser = &pauser;
    parts.messages = &messages;
    parts.notifier = &notifier;
    return parts;
}

}  // namespace keyscope
