#include "FakeHidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "hid/ReportDescriptor.h"

using namespace keyscope::fakehid;

struct hid_device_ {
    std::shared_ptr<Device> device;
};

namespace {
// Never destroyed: the module closes its handle when it is unloaded, after statics go.
std::vector<std::shared_ptr<Device>>& bus() {
    static auto* devices = new std::vector<std::shared_ptr<Device>>;
    return *devices;
}
}  // namespace

namespace keyscope::fakehid {

void resetBus() {
    for (const auto& device : bus())
        device->unplugged = true;
    bus().clear();
}

std::shared_ptr<Device> plug(std::string path, unsigned short vendor, unsigned short product,
                             Bytes descriptor) {
    bus().push_back(std::make_shared<Device>(
        Device{std::move(path), vendor, product, std::move(descriptor), {}, {}, {}}));
    return bus().back();
}

}  // namespace keyscope::fakehid

std::vector<std::uint8_t> keyscope::hid::reportDescriptorOf(const std::string& devicePath) {
    for (const auto& device : bus())
        if (device->path == devicePath)
            return device->descriptor;
    return {};
}

extern "C" {

int hid_init() {
    return 0;
}

int hid_exit() {
    return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor, unsigned short product) {
    hid_device_info* first = nullptr;
    for (auto it = bus().rbegin(); it != bus().rend(); ++it) {
        if ((vendor && (*it)->vendor != vendor) || (product && (*it)->product != product))
            continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup((*it)->path.c_str());
        info->vendor_id = (*it)->vendor;
        info->product_id = (*it)->product;
        info->next = std::exchange(first, info);
    }
    return first;
}

void hid_free_enumeration(hid_device_info* devices) {
    while (devices) {
        std::free(devices->path);
        std::free(std::exchange(devices, devices->next));
    }
}

hid_device* hid_open_path(const char* path) {
    for (const auto& device : bus())
        if (device->path == path && !device->unplugged && ++device->opens)
            return new hid_device_{device};
    return nullptr;
}

void hid_close(hid_device* handle) {
    ++handle->device->closes;
    delete handle;
}

int hid_write(hid_device* handle, const unsigned char* data, size_t length) {
    Device& device = *handle->device;
    if (device.unplugged || length < 1)
        return -1;
    device.written.emplace_back(data + 1, data + length);  // without the report id
    if (device.board)
        device.board(device, device.written.back());
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* handle, unsigned char* data, size_t length, int) {
    Device& device = *handle->device;
    if (device.unplugged)
        return -1;
    if (device.input.empty())
        return 0;  // the time-out passes at once
    const Bytes report = std::move(device.input.front());
    device.input.pop_front();
    if (report == kFailedRead)
        return -1;
    std::memcpy(data, report.data(), std::min(length, report.size()));
    return static_cast<int>(std::min(length, report.size()));
}

}  // extern "C"
