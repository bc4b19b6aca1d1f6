#pragma once

#include <filesystem>
#include <string>

#include "device/HidModule.h"

namespace keyscope {

inline constexpr const char* kHidModuleFile = "libkeyscope-hid.so";
inline constexpr const char* kSimHidModuleFile = "libkeyscope-simhid.so";
// How lastError() begins when the module could not be loaded.
inline constexpr const char* kCannotLoad = "cannot load the HID module: ";

// Where an installed program's modules live, from the program's own folder
// (<prefix>/bin/../lib/keyscope), so a relocated prefix keeps working.
inline constexpr const char* kInstalledModuleFolder = "../lib/keyscope";

// The module file for a program in programFolder: beside the program when it is
// there (the build tree), else in the installed module folder; when neither
// holds it, the path beside the program, so the load error names that.
std::string hidModuleIn(const std::filesystem::path& programFolder, const char* file);

// The module to load: `library` (the program's KEYSCOPE_HID_LIBRARY) when it
// names one; else the simulated board's when `simulated` (KEYSCOPE_SIMULATE=1);
// else the hidapi module, each found beside this program by hidModuleIn.
std::string hidModulePath(const std::string& library, bool simulated);

// The HID module loaded at run time, the one place where its 0-means-success
// becomes true/false. Loading happens at the first open and is retried at every
// open until it succeeds; a module that cannot be loaded or lacks one of the six
// functions makes every call fail, never crash. The module's vnHidLastError is
// optional.
class HidLibrary final : public HidModule {
  public:
    explicit HidLibrary(std::string path);
    ~HidLibrary() override;
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    bool open(int deviceId, int reserved1, int reserved2) override;
    bool read(int size, std::uint8_t* report) override;
    bool readData(std::uint8_t* report) override;
    bool readMax(std::uint8_t* report) override;
    bool readKey(std::uint8_t* report) override;
    bool write(std::uint8_t* report) override;
    // The failed call (an open names the product id in hexadecimal, 0x0124),
    // the module's path and the module's reason (vnHidLastError) or, from a
    // module without one, "the module failed"; kCannotLoad and the load error
    // when the module is not loaded; empty after a success.
    std::string lastError() const override { return lastError_; }

    [[nodiscard]] bool load();  // true when the module and all six functions are in hand
    const std::string& path() const { return path_; }
    // Why the last load failed, empty when it did not.
    const std::string& loadError() const { return loadError_; }

  private:
    // Converts a module result (0 = success), keeping the reason of a failure.
    bool succeeded(const char* operation, int result);

    using OpenFn = int (*)(int, int, int);
    using ReadFn = int (*)(int, unsigned char*);
    using ReportFn = int (*)(unsigned char*);
    using LastErrorFn = const char* (*)();

    std::string path_;
    std::string loadError_;
    std::string lastError_;
    void* handle_ = nullptr;
    OpenFn open_ = nullptr;
    ReadFn read_ = nullptr;
    ReportFn readData_ = nullptr;
    ReportFn readMax_ = nullptr;
    ReportFn readKey_ = nullptr;
    ReportFn write_ = nullptr;
    LastErrorFn lastErrorOf_ = nullptr;  // optional
};

}  // namespace keyscope
