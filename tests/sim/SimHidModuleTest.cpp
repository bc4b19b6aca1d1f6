// The simulated HID module as the program sees it: loaded with dlopen, kind
// and seed taken from the environment at the first open.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using Report = std::array<unsigned char, 64>;

// The module keeps its board for as long as it is loaded, so each test loads
// its own copy of the file: dlopen of a new path gives fresh module state.
class LoadedModule {
  public:
    LoadedModule() {
        static int serial = 0;
        path_ = fs::temp_directory_path() / ("keyscope-simhid-test-" + std::to_string(::getpid()) +
                                             "-" + std::to_string(serial++) + ".so");
        fs::copy_file(KEYSCOPE_SIMHID_MODULE, path_, fs::copy_options::overwrite_existing);
        handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            open = reinterpret_cast<decltype(open)>(::dlsym(handle_, "vnHidOpen"));
            read = reinterpret_cast<decltype(read)>(::dlsym(handle_, "vnHidRead"));
            readData = reinterpret_cast<decltype(readData)>(::dlsym(handle_, "vnHidReadData"));
            readMax = reinterpret_cast<decltype(readMax)>(::dlsym(handle_, "vnHidReadMax"));
            readKey = reinterpret_cast<decltype(readKey)>(::dlsym(handle_, "vnHidReadKey"));
            write = reinterpret_cast<decltype(write)>(::dlsym(handle_, "vnHidWrite"));
        }
    }
    ~LoadedModule() {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool complete() const {
        return handle_ != nullptr && open && read && readData && readMax && readKey && write;
    }
    void* handle() const { return handle_; }

    int (*open)(int, int, int) = nullptr;
    int (*read)(int, unsigned char*) = nullptr;
    int (*readData)(unsigned char*) = nullptr;
    int (*readMax)(unsigned char*) = nullptr;
    int (*readKey)(unsigned char*) = nullptr;
    int (*write)(unsigned char*) = nullptr;

  private:
    fs::path path_;
    void* handle_ = nullptr;
};

class SimHidModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("KEYSCOPE_SIM_HID");
        ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
        ::setenv("KEYSCOPE_SIM_SEED", "99", 1);
    }
    void TearDown() override {
        ::unsetenv("KEYSCOPE_SIM_HID");
        ::unsetenv("KEYSCOPE_SIM_SEED");
        ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
    }
};

struct KindCase {
    const char* env;  // nullptr: unset
    int answersTo;
    int refuses;
    int dataType;  // byte 22 of the first data report; -1: the typed read is refused
};

TEST_F(SimHidModule, KindFromTheEnvironmentAnswersItsIdAndReportType) {
    const KindCase cases[] = {
        {nullptr, 292, 296, 0x85}, {"typed16", 292, 296, 0x85}, {"typed8", 292, 296, 0x55},
        {"plain", 296, 292, -1},   {"bogus", 292, 296, 0x85},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.env ? c.env : "(unset)");
        if (c.env) {
            ::setenv("KEYSCOPE_SIM_HID", c.env, 1);
        } else {
            ::unsetenv("KEYSCOPE_SIM_HID");
        }
        LoadedModule module;
        ASSERT_TRUE(module.complete()) << ::dlerror();
        Report r{};
        EXPECT_NE(module.readData(r.data()), 0) << "no read before an open";
        EXPECT_NE(module.open(c.refuses, 0, 0), 0);
        ASSERT_EQ(module.open(c.answersTo, 0, 0), 0);
        ASSERT_EQ(module.open(c.answersTo, 0, 0), 0) << "a reopen is tolerated";
        if (c.dataType < 0) {
            EXPECT_NE(module.readData(r.data()), 0);
            ASSERT_EQ(module.read(64, r.data()), 0);
            EXPECT_EQ(r[22], 0);
        } else {
            EXPECT_NE(module.read(64, r.data()), 0);
            ASSERT_EQ(module.readData(r.data()), 0);
            EXPECT_EQ(r[22], c.dataType);
            ASSERT_EQ(module.readMax(r.data()), 0);
            EXPECT_EQ(r[22], c.dataType);
            ASSERT_EQ(module.readKey(r.data()), 0);
            EXPECT_EQ(r[22], c.dataType);
        }
    }
}

TEST_F(SimHidModule, WriteChangesLaterKeyValueReports) {
    ::setenv("KEYSCOPE_SIM_HID", "typed8", 1);
    LoadedModule module;
    ASSERT_TRUE(module.complete());
    ASSERT_EQ(module.open(292, 0, 0), 0);
    Report w{};
    for (int k = 0; k < 16; ++k) {
        w[1 + k] = static_cast<unsigned char>(10 + k);
    }
    w[17] = 33;
    w[19] = 2;
    w[20] = 0x84;
    ASSERT_EQ(module.write(w.data()), 0);
    Report r{};
    ASSERT_EQ(module.readKey(r.data()), 0);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(r[1 + k], 10 + k);
    }
    EXPECT_EQ(r[17], 33);
    EXPECT_EQ(r[19], 2);
    EXPECT_EQ(r[20], 0x84);
}

TEST_F(SimHidModule, SameSeedGivesTheSameReports) {
    LoadedModule first;
    LoadedModule second;
    ASSERT_TRUE(first.complete() && second.complete());
    ASSERT_EQ(first.open(292, 0, 0), 0);
    ASSERT_EQ(second.open(292, 0, 0), 0);
    for (int i = 0; i < 100; ++i) {
        Report a{}, b{};
        ASSERT_EQ(first.readData(a.data()), 0);
        ASSERT_EQ(second.readData(b.data()), 0);
        ASSERT_EQ(a, b) << "report " << i;
    }
}

TEST_F(SimHidModule, FailAfterMakesReadsAndReopenFail) {
    ::setenv("KEYSCOPE_SIM_FAIL_AFTER", "4", 1);
    LoadedModule module;
    ASSERT_TRUE(module.complete());
    ASSERT_EQ(module.open(292, 0, 0), 0);
    Report r{};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(module.readData(r.data()), 0);
    }
    EXPECT_NE(module.readData(r.data()), 0);
    EXPECT_NE(module.open(292, 0, 0), 0);
}

TEST_F(SimHidModule, ExportsNothingButTheSixCalls) {
    LoadedModule module;
    ASSERT_TRUE(module.complete());
    EXPECT_EQ(::dlsym(module.handle(), "_ZN8keyscope3sim11SimHidBoard4openEiii"), nullptr);
    EXPECT_EQ(::dlsym(module.handle(), "_ZN8keyscope3sim19seedFromEnvironmentEv"), nullptr);
}

}  // namespace
