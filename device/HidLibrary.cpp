#include "device/HidLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace keyscope {

namespace {

constexpr int kNotLoaded = -1;

std::filesystem::path programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(".") : exe.parent_path();
}

}  // namespace

std::string hidProductIdText(int deviceId) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(deviceId));
    return text;
}

std::string hidModuleIn(const std::filesystem::path& programFolder, const char* file) {
    const std::filesystem::path beside = programFolder / file;
    const std::filesystem::path installed = programFolder / kInstalledModuleFolder / file;
    std::error_code error;
    return (std::filesystem::exists(beside, error) || !std::filesystem::exists(installed, error)
                ? beside
                : installed)
        .lexically_normal()
        .string();
}

std::string hidModulePath(const std::string& library, bool simulated) {
    if (!library.empty()) {
        return library;
    }
    return hidModuleIn(programFolder(), simulated ? kSimHidModuleFile : kHidModuleFile);
}

HidLibrary::HidLibrary(std::string path) : path_(std::move(path)) {}

HidLibrary::~HidLibrary() {
    if (handle_) {
        dlclose(handle_);
    }
}

bool HidLibrary::load() {
    if (handle_) {
        return true;
    }
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        loadError_ = why ? why : "cannot load " + path_;
        return false;
    }
    auto symbol = [&](const char* name) {
        void* address = dlsym(handle, name);
        if (!address && loadError_.empty()) {
            loadError_ = path_ + ": no function " + name;
        }
        return address;
    };
    loadError_.clear();
    open_ = reinterpret_cast<OpenFn>(symbol("vnHidOpen"));
    read_ = reinterpret_cast<ReadFn>(symbol("vnHidRead"));
    readData_ = reinterpret_cast<ReportFn>(symbol("vnHidReadData"));
    readMax_ = reinterpret_cast<ReportFn>(symbol("vnHidReadMax"));
    readKey_ = reinterpret_cast<ReportFn>(symbol("vnHidReadKey"));
    write_ = reinterpret_cast<ReportFn>(symbol("vnHidWrite"));
    // Optional: a module from before it still loads, its failures said without a reason.
    lastErrorOf_ = reinterpret_cast<LastErrorFn>(dlsym(handle, "vnHidLastError"));
    if (!loadError_.empty()) {
        dlclose(handle);
        open_ = nullptr;
        read_ = nullptr;
        readData_ = readMax_ = readKey_ = write_ = nullptr;
        lastErrorOf_ = nullptr;
        return false;
    }
    handle_ = handle;
    return true;
}

bool HidLibrary::succeeded(const char* operation, int result) {
    if (result == 0) {
        lastError_.clear();
        return true;
    }
    if (!handle_) {
        // The load error names the module and the reason already.
        lastError_ = kCannotLoad + (loadError_.empty() ? path_ : loadError_);
    } else {
        const char* reason = lastErrorOf_ != nullptr ? lastErrorOf_() : nullptr;
        lastError_ = std::string(operation) + " (" + path_ +
                     "): " + (reason != nullptr && *reason != '\0' ? reason : "the module failed");
    }
    return false;
}

bool HidLibrary::open(int deviceId, int reserved1, int reserved2) {
    const std::string operation = "open HID board " + hidProductIdText(deviceId);
    return succeeded(operation.c_str(),
                     load() ? open_(deviceId, reserved1, reserved2) : kNotLoaded);
}

bool HidLibrary::read(int size, std::uint8_t* report) {
    return succeeded("read HID report", handle_ ? read_(size, report) : kNotLoaded);
}

bool HidLibrary::readData(std::uint8_t* report) {
    return succeeded("read HID data report", handle_ ? readData_(report) : kNotLoaded);
}

bool HidLibrary::readMax(std::uint8_t* report) {
    return succeeded("read HID max-value report", handle_ ? readMax_(report) : kNotLoaded);
}

bool HidLibrary::readKey(std::uint8_t* report) {
    return succeeded("read HID key-value report", handle_ ? readKey_(report) : kNotLoaded);
}

bool HidLibrary::write(std::uint8_t* report) {
    return succeeded("write HID report", handle_ ? write_(report) : kNotLoaded);
}

}  // namespace keyscope
