#include "FakeHidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hid/ReportDescriptor.h"

struct hid_device_ {
    std::shared_ptr<keyscope::fakehid::Device> device;
};

namespace keyscope::fakehid {
namespace {

// Never destroyed: the module closes its handle when it is unloaded, after statics go.
std::vector<std::shared_ptr<Device>>& bus() {
    static auto* devices = new std::vector<std::shared_ptr<Device>>;
    return *devices;
}

}  // namespace

Bytes reportDescriptor(int bytes) {
    const auto count = static_cast<std::uint8_t>(bytes);
    return {0x06, 0x00,  0xFF,                          // usage page: vendor defined
            0x09, 0x01,  0xA1, 0x01,                    // application collection
            0x15, 0x00,  0x26, 0xFF, 0x00, 0x75, 0x08,  // bytes 0..255
            0x95, count, 0x09, 0x01, 0x81, 0x02,        // input report
            0x95, count, 0x09, 0x01, 0x91, 0x02,        // output report
            0xC0};
}

void answerAtOnce(Device& device, const Bytes& request, std::uint8_t fill) {
    Bytes answer(64, fill);
    answer[0] = request.at(0);
    answer[63] = request.at(1);
    device.input.push_back(answer);
}

void resetBus() {
    for (const auto& device : bus())
        device->unplugged = true;
    bus().clear();
}

std::shared_ptr<Device> plug(std::string path, unsigned short vendor, unsigned short product,
                             Bytes descriptor) {
    auto device = std::make_shared<Device>();
    device->path = std::move(path);
    device->vendor = vendor;
    device->product = product;
    device->descriptor = std::move(descriptor);
    bus().push_back(device);
    return device;
}

}  // namespace keyscope::fakehid

using keyscope::fakehid::bus;

namespace keyscope::hid {

std::vector<std::uint8_t> reportDescriptorOf(const std::string& devicePath) {
    for (const auto& device : bus())
        if (device->path == devicePath)
            return device->descriptor;
    return {};
}

}  // namespace keyscope::hid

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
        const auto& device = **it;
        if ((vendor != 0 && device.vendor != vendor) || (product != 0 && device.product != product))
            continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(device.path.c_str());
        info->vendor_id = device.vendor;
        info->product_id = device.product;
        info->next = first;
        first = info;
    }
    return first;
}

void hid_free_enumeration(hid_device_info* devices) {
    while (devices) {
        hid_device_info* next = devices->next;
        std::free(devices->path);
        std::free(devices);
        devices = next;
    }
}

hid_device* hid_open_path(const char* path) {
    for (const auto& device : bus()) {
        if (device->path == path && !device->unplugged) {
            ++device->opens;
            return new hid_device_{device};
        }
    }
    return nullptr;
}

void hid_close(hid_device* handle) {
    if (handle) {
        ++handle->device->closes;
        delete handle;
    }
}

int hid_write(hid_device* handle, const unsigned char* data, size_t length) {
    auto& device = *handle->device;
    if (device.unplugged || length < 1)
        return -1;
    const keyscope::fakehid::Bytes report(data + 1, data + length);  // without the report id
    device.written.push_back(report);
    if (device.board)
        device.board(device, report);
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* handle, unsigned char* data, size_t length, int) {
    auto& device = *handle->device;
    if (device.unplugged)
        return -1;
    if (device.input.empty())
        return 0;  // the time-out passes at once
    const keyscope::fakehid::Bytes report = device.input.front();
    device.input.pop_front();
    if (report == keyscope::fakehid::kFailedRead)
        return -1;
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

}  // extern "C"
