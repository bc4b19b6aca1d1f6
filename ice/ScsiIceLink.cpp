#include "ice/ScsiIceLink.h"

#include <algorithm>
#include <cstring>

#include "device/AccessDiagnosis.h"

namespace keyscope {
namespace {

constexpr std::string_view kNoBoardText = "Can not found any Vorn ICE board device. ";
constexpr std::string_view kNoBoardCaption = "fail";

}  // namespace

ScsiIceLink::ScsiIceLink(IceContext& context, Messages& messages)
    : context_(context), messages_(messages) {
    deviceHandles_.fill(kInvalidDevice);
}

void ScsiIceLink::showFailure(std::string_view text) {
    lastFailure_ = context_.transport.access().lastError();
    said_.say(lastFailure_);
    messages_.plain(text, lastFailure_);
}

ScsiIceLink::~ScsiIceLink() {
    releaseIceLink();
}

void ScsiIceLink::closeTableEntry(int index) {
    IceDeviceTable& table = context_.table;
    const DeviceValue value = table.entries[index];
    if (value != kInvalidDevice && table.usePassThroughFiles != 0) {
        context_.transport.access().closeDevice(static_cast<int>(value));
    }
    table.entries[index] = kInvalidDevice;
}

int ScsiIceLink::openIceLink(std::uint32_t selector) {
    IceDeviceTable& table = context_.table;
    // An open that follows an open without a release (the board connection's
    // open failing after the link opened) would otherwise leak those devices.
    for (int i = 0; i < kIceTableEntries; ++i) {
        closeTableEntry(i);
    }
    table.count = 0;
    table.usePassThroughFiles = 0;
    table.backend = context_.systemFamily();
    deviceHandles_.fill(kInvalidDevice);

    const IceTargetChoice choice = iceTargetFor(selector);
    int found = scanDevices(choice.signature);
    if (found == 0) {
        // Also when the first scan already looked for this signature.
        found = scanDevices(kFallbackSignature);
    }
    responseBuffer_.fill(0);
    contextBlock_.fill(0);
    for (int i = 0; i < found; ++i) {
        deviceHandles_[i] = table.entries[i];
        selectTarget(deviceHandles_[i], selector, choice.targetByte);  // result not looked at
    }
    if (found != 0) {
        said_.linkBack();
        return 1;
    }
    lastFailure_.clear();
    for (const std::string& line : context_.transport.access().refusedNodeLines()) {
        said_.say(line);  // beside the box
        lastFailure_ += (lastFailure_.empty() ? "" : "\n") + line;
    }
    messages_.show(kNoBoardText, kNoBoardCaption, MessageIcon::Information, lastFailure_);
    return 0;
}

int ScsiIceLink::scanDevices(std::string_view signature) {
    IceDeviceTable& table = context_.table;
    table.count = 0;
    table.iceSignature.fill(0);
    std::copy_n(signature.begin(), std::min(signature.size(), table.iceSignature.size() - 1),
                table.iceSignature.begin());
    for (int i = 0; i < kIceTableEntries; ++i) {
        closeTableEntry(i);
    }

    if (table.backend == ScsiBackendFamily::Aspi) {
        // Devices behind the ASPI layer are not enumerated: the scan only brings the layer up.
        context_.transport.initializeAspi();
        return 0;
    }

    table.usePassThroughFiles = 1;
    ScsiDeviceAccess& access = context_.transport.access();
    std::vector<std::string> paths = access.candidatePaths();
    if (paths.size() > static_cast<std::size_t>(kMaxScanCandidates)) {
        paths.resize(kMaxScanCandidates);
    }
    for (const std::string& path : paths) {
        const int fd = access.openDevice(path);
        if (fd < 0) {
            continue;
        }
        std::array<std::uint8_t, kInquiryLength> answer{};
        const int ok =
            context_.transport.sendScsiCommand(static_cast<DeviceValue>(fd), inquiryCdb(),
                                               answer.data(), kInquiryLength, ScsiDirection::In);
        const bool matches =
            ok != 0 && std::memcmp(answer.data() + kSignatureOffset, table.iceSignature.data(),
                                   kSignatureLength) == 0;
        if (matches && table.count < kMaxIceDevices) {
            table.entries[table.count] = static_cast<DeviceValue>(fd);
            ++table.count;
        } else {
            access.closeDevice(fd);
        }
    }
    return table.count;
}

int ScsiIceLink::releaseIceLink() {
    // A scan registers at most kMaxIceDevices, so these are all there are.
    for (int i = 0; i < kMaxIceDevices; ++i) {
        closeTableEntry(i);
    }
    context_.table.count = 0;
    deviceHandles_.fill(kInvalidDevice);
    return 1;
}

int ScsiIceLink::selectTarget(DeviceValue device, std::uint32_t selector, std::uint8_t targetByte) {
    return context_.transport.sendCommandOut(device, selectTargetCdb(selector, targetByte), 0,
                                             nullptr);
}

int ScsiIceLink::sendNoData(IceSubCommand sub) {
    return context_.transport.sendCommandOut(device(), iceCdb(kIceOpNoDataOrOut, sub), 0, nullptr);
}

int ScsiIceLink::enterIceMode() {
    return sendNoData(IceSubCommand::EnterIceMode);
}
int ScsiIceLink::resetChip() {
    return sendNoData(IceSubCommand::ResetChip);
}
int ScsiIceLink::setHwBreak() {
    return sendNoData(IceSubCommand::SetHwBreak);
}

int ScsiIceLink::readPc() {
    responseBuffer_.fill(0);
    return context_.transport.sendCommandIn(device(), iceCdb(kIceOpDataIn, IceSubCommand::ReadPc),
                                            1, responseBuffer_.data());
}

int ScsiIceLink::setHwReturn() {
    return context_.transport.sendCommandOut(
        device(), setHwReturnCdb(hwReturnAddress(responseBuffer_)), 1, contextBlock_.data());
}

int ScsiIceLink::readReserveData(std::uint16_t address, std::uint8_t space, std::uint8_t length) {
    responseBuffer_.fill(0);
    const int ok = context_.transport.sendCommandIn(
        device(), readReserveDataCdb(address, space, length), 1, responseBuffer_.data());
    if (ok == 0) {
        readIceStatus();  // the board expects its status to be fetched after a failed read
    }
    return ok;
}

std::uint8_t ScsiIceLink::readIceStatus() {
    IceBlock answer;
    answer.fill(0xFF);
    if (context_.transport.sendCommandIn(
            device(), iceCdb(kIceOpDataIn, IceSubCommand::ReadIceStatus), 1, answer.data()) == 0) {
        return 0xFF;
    }
    return answer[0];
}

int ScsiIceLink::readIceBlock(std::uint8_t* out, std::uint16_t address, std::uint16_t,
                              std::uint32_t iramSpace) {
    if (out == nullptr) {
        return 0;
    }
    deriveContext(responseBuffer_, contextBlock_, ContextDerivation::BeforeRead);

    if (!context_.iceStarted) {
        context_.iceStarted = true;
        if (enterIceMode() == 0) {
            showFailure("Enter ICE mode FAIL!");
            return 0;
        }
        if (resetChip() == 0) {
            showFailure("Chip Reset FAIL!");
            return 0;
        }
        if (setHwBreak() == 0) {
            showFailure("Set HW break FAIL!");
            return 0;
        }
        if (readPc() == 0) {
            showFailure("Read PC Fail!");
            return 0;
        }
        // The context block here is the one derived above, before the read-PC answer.
        if (setHwReturn() == 0) {
            showFailure("Set HW Return FAIL!");
            return 0;
        }
    }

    if (readReserveData(address, static_cast<std::uint8_t>(iramSpace), kReadLength) == 0) {
        showFailure("Read Reserve Data Fail!");
        return 0;
    }
    deriveContext(responseBuffer_, contextBlock_, ContextDerivation::AfterRead);
    std::copy_n(responseBuffer_.begin() + kMemoryOffset, kMemoryBytes, out);
    restoreIramBytes(out, address, iramSpace, responseBuffer_);

    // The data is already in hand: a failed return only earns its message.
    if (setHwReturn() == 0) {
        showFailure("Set HW Return FAIL!");
    }
    return 1;
}

}  // namespace keyscope
