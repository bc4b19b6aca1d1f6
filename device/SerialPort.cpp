#include "device/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "device/AccessDiagnosis.h"
#include "device/NumberText.h"

namespace keyscope {

namespace {
constexpr int kBaudRates[] = {1200, 2400, 4800, 9600};
}  // namespace

int baudForIndex(std::int32_t baudIndex) {
    return baudIndex >= 0 && baudIndex < 4 ? kBaudRates[baudIndex] : 0;
}

std::int32_t baudIndexFor(long baud) {
    for (std::int32_t index = 0; index < 4; ++index) {
        if (kBaudRates[index] == baud) {
            return index;
        }
    }
    return -1;
}

namespace {

// System ports of one family ("ttyUSB"), in numeric order of their suffix.
std::vector<std::string> portsOfFamily(std::string_view family) {
    std::vector<std::pair<unsigned long, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(family)) {
            continue;
        }
        // Digits only: "ttyS0" is a port of its family, "ttyS0-lock" is not.
        const auto number =
            wholeNumber<unsigned long>(std::string_view(name).substr(family.size()));
        if (number) {
            found.emplace_back(*number, entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& item : found) {
        paths.push_back(std::move(item.second));
    }
    return paths;
}

// Entry comIndex of a COM table; no entry, or an empty one, gives no path.
std::optional<std::string> entryOf(const std::vector<std::string>& table, std::int32_t comIndex) {
    if (comIndex < 0 || static_cast<std::size_t>(comIndex) >= table.size() ||
        table[comIndex].empty()) {
        return std::nullopt;
    }
    return table[comIndex];
}

}  // namespace

std::optional<std::string> comPortPath(std::int32_t comIndex) {
    if (comIndex < 0) {
        return std::nullopt;
    }
    std::vector<std::string> table;
    for (const char* family : {"ttyUSB", "ttyACM", "ttyS"}) {
        auto paths = portsOfFamily(family);
        table.insert(table.end(), paths.begin(), paths.end());
    }
    return entryOf(table, comIndex);
}

SerialPort::PathResolver comPortTable(std::vector<std::string> listed) {
    if (listed.empty()) {
        return comPortPath;
    }
    return
        [listed = std::move(listed)](std::int32_t comIndex) { return entryOf(listed, comIndex); };
}

std::int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SerialPort::SerialPort(std::unique_ptr<SerialDevice> device, Messages& messages,
                       PathResolver resolver, Clock clock)
    : device_(std::move(device)),
      messages_(messages),
      resolver_(std::move(resolver)),
      clock_(std::move(clock)) {}

SerialPort::~SerialPort() {
    closePort();
}

int SerialPort::openPort(const SerialSettings& settings) {
    if (portOpen_) {
        return 1;
    }
    lastFailure_.clear();
    if (handleHeld_) {
        messages_.plain("Serial Port has already open.");
        return 0;
    }
    const auto path = resolver_(settings.comIndex);
    if (!device_ || !path) {
        lastFailure_ = "open COM" + std::to_string(settings.comIndex + 1) +
                       ": no such serial port on this system";
        said_.say(lastFailure_);
        messages_.plain("Could not open Com port!", lastFailure_);
        return 0;
    }
    if (!device_->open(*path)) {
        showDeviceFailure("Could not open Com port!");
        return 0;
    }
    handleHeld_ = true;
    if (!device_->readConfig()) {
        showDeviceFailure("Get configuration serial port has problem.");
        return 0;
    }
    if (!device_->writeConfig(baudForIndex(settings.baudIndex))) {
        showDeviceFailure("Set configuration serial port has problem.");
        return 0;
    }
    if (!device_->setNonBlockingReads()) {
        showDeviceFailure("Set serial port timeout has problem.");
        return 0;
    }
    portOpen_ = true;
    hungUp_ = false;
    said_.linkBack();
    path_ = *path;
    baud_ = baudForIndex(settings.baudIndex);
    return 1;
}

int SerialPort::closePort() {
    if (!portOpen_) {
        return 1;
    }
    if (!device_->close()) {
        showDeviceFailure("Serial Port Closed false.");
        return 0;
    }
    handleHeld_ = false;
    portOpen_ = false;
    hungUp_ = false;
    return 1;
}

void SerialPort::showDeviceFailure(const char* text) {
    lastFailure_ = device_->lastError();
    said_.say(lastFailure_);
    messages_.plain(text, lastFailure_);
}

void SerialPort::showReadFailure() {
    // A poll under the open box would otherwise stack one box per tick.
    if (readBoxOpen_) {
        return;
    }
    readBoxOpen_ = true;
    showDeviceFailure("Reading of serial communication has problem.");
    readBoxOpen_ = false;
}

bool SerialPort::reopenAfterHangUp() {
    const std::int64_t now = clock_();
    if (now - lastReopenMs_ < kReopenIntervalMs) {
        return false;
    }
    lastReopenMs_ = now;
    if (!device_->open(path_)) {
        // A port that stays away repeats the same refusal: said once.
        said_.say(device_->lastError());
        return false;
    }
    if (device_->readConfig() && device_->writeConfig(baud_) && device_->setNonBlockingReads()) {
        hungUp_ = false;
        said_.linkBack();  // the next hang-up is a new loss, said again
        return true;
    }
    device_->close();
    return false;
}

int SerialPort::readPort(std::uint8_t* buffer, std::size_t length, std::size_t& received) {
    received = 0;
    if (!portOpen_ || (hungUp_ && !reopenAfterHangUp())) {
        return 0;
    }
    const long count = device_->read(buffer, length);
    if (count == SerialDevice::kReadHungUp) {
        // The descriptor of a vanished adapter never reads again; the same path may come back.
        device_->close();
        hungUp_ = true;
        lastReopenMs_ = clock_();
    }
    if (count < 0) {
        showReadFailure();
        return 0;
    }
    received = static_cast<std::size_t>(count);
    if (received > 0) {
        buffer[received] = 0;
    }
    return 1;
}

}  // namespace keyscope
