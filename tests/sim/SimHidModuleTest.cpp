// The simulated HID module as the program reaches it: loaded with dlopen by
// the HID loader, driven by the real board connection, with kind and seed
// taken from the environment at the first open.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "QuietCollaborators.h"
#include "device/HidLibrary.h"
#include "sim/SignalModel.h"

namespace keyscope::sim {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSeed = 99;

// The module keeps its board for as long as it is loaded, so each connection
// loads its own copy of the file: a new path gives fresh module state.
class ModuleCopy {
  public:
    ModuleCopy() {
        static int serial = 0;
        path_ = fs::temp_directory_path() / ("keyscope-simhid-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(serial++) + ".so");
        fs::copy_file(KEYSCOPE_SIMHID_MODULE, path_, fs::copy_options::overwrite_existing);
    }
    ~ModuleCopy() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

  private:
    fs::path path_;
};

// One simulated HID board behind a real connection.
struct HidRig {
    ModuleCopy module;
    QuietCollaborators quiet;
    std::unique_ptr<BoardConnection> board;

    HidRig() {
        BoardCollaborators parts = quiet.parts();
        parts.hid = std::make_unique<HidLibrary>(module.path());
        board = std::make_unique<BoardConnection>(std::move(parts));
    }
};

class SimHidModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("KEYSCOPE_SIM_HID");
        ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
        ::setenv("KEYSCOPE_SIM_SEED", std::to_string(kSeed).c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KEYSCOPE_SIM_HID");
        ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
        ::unsetenv("KEYSCOPE_SIM_SEED");
    }
};

struct KindCase {
    const char* env;  // nullptr: unset
    std::int32_t linkMode;
    int byteValues;
    bool maxIsReference;  // typed boards report their references; a plain board only counts
};

TEST_F(SimHidModule, EachKindOpensWithItsIdAndReportForm) {
    const KindCase cases[] = {
        {nullptr, kLinkHidTyped, 0, true},  {"typed16", kLinkHidTyped, 0, true},
        {"typed8", kLinkHidTyped, 1, true}, {"plain", kLinkHidPlain, 1, false},
        {"bogus", kLinkHidTyped, 0, true},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.env ? c.env : "(unset)");
        if (c.env) {
            ::setenv("KEYSCOPE_SIM_HID", c.env, 1);
        } else {
            ::unsetenv("KEYSCOPE_SIM_HID");
        }
        HidRig rig;
        BoardConnection& board = *rig.board;
        ASSERT_EQ(board.open(kSelectorHid), 1);
        EXPECT_EQ(board.linkMode(), c.linkMode);
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(board.readCycle(), 1);
        }
        EXPECT_EQ(board.isByteValues(), c.byteValues);
        const SignalModel model(kSeed, c.byteValues ? CountWidth::Byte : CountWidth::Word);
        for (int k = 0; k < kSimKeyCount; ++k) {
            const ChannelRecord& record = *board.getChannel(k);
            ASSERT_EQ(record.samples.size(), 6u) << "key " << k;
            EXPECT_GE(record.value, model.minCount()) << "key " << k;
            EXPECT_LE(record.value, model.maxCount()) << "key " << k;
            if (c.maxIsReference) {
                EXPECT_EQ(record.maxValue, model.referenceCount(k)) << "key " << k;
            }
        }
        // The program reopens without closing the module's board.
        ASSERT_EQ(board.close(), 1);
        EXPECT_EQ(board.open(kSelectorHid), 1);
    }
}

TEST_F(SimHidModule, WriteChangesTheKeyValuesAndSettingsReadAfterwards) {
    for (const char* kind : {"typed16", "typed8"}) {
        SCOPED_TRACE(kind);
        ::setenv("KEYSCOPE_SIM_HID", kind, 1);
        HidRig rig;
        BoardConnection& board = *rig.board;
        ASSERT_EQ(board.open(kSelectorHid), 1);
        for (int k = 0; k < kSimKeyCount; ++k) {
            board.getChannel(k)->keyValue = 100 + k;
        }
        board.setTriggerLevel(0x42);
        board.setPreScale(5);
        board.setTktmr(0x84);
        ASSERT_EQ(board.writeKeyValues(), 1);
        for (int k = 0; k < kSimKeyCount; ++k) {
            board.getChannel(k)->keyValue = 0;
        }
        board.setTriggerLevel(0);
        ASSERT_EQ(board.readKeyValues(), 1);
        for (int k = 0; k < kSimKeyCount; ++k) {
            EXPECT_EQ(board.getChannel(k)->keyValue, 100 + k) << "key " << k;
        }
        EXPECT_EQ(board.getTriggerLevel(), 0x42);
        EXPECT_EQ(board.getPreScale(), 5);
        EXPECT_EQ(board.getTktmr(), 0x84);
    }
}

TEST_F(SimHidModule, SameSeedGivesTheSameSamples) {
    HidRig first;
    HidRig second;
    ASSERT_EQ(first.board->open(kSelectorHid), 1);
    ASSERT_EQ(second.board->open(kSelectorHid), 1);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(first.board->readCycle(), 1);
        ASSERT_EQ(second.board->readCycle(), 1);
    }
    bool touched = false;
    for (int k = 0; k < kSimKeyCount; ++k) {
        const auto& a = first.board->getChannel(k)->samples;
        const auto& b = second.board->getChannel(k)->samples;
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].value, b[i].value) << "key " << k << " sample " << i;
            ASSERT_EQ(a[i].keyCode, b[i].keyCode) << "key " << k << " sample " << i;
            touched = touched || a[i].keyCode != 0;
        }
    }
    EXPECT_TRUE(touched) << "five seconds of signal hold a touch";
}

TEST_F(SimHidModule, FailAfterLosesTheLinkAndRefusesTheReopen) {
    ::setenv("KEYSCOPE_SIM_HID", "typed8", 1);
    ::setenv("KEYSCOPE_SIM_FAIL_AFTER", "3", 1);
    HidRig rig;
    BoardConnection& board = *rig.board;
    ASSERT_EQ(board.open(kSelectorHid), 1);  // its read cycle is the first data read
    EXPECT_EQ(board.readCycle(), 1);
    EXPECT_EQ(board.readCycle(), 1);
    EXPECT_EQ(board.readCycle(), 0);
    ASSERT_EQ(board.close(), 1);
    EXPECT_EQ(board.open(kSelectorHid), 0);
}

TEST_F(SimHidModule, ExportsTheSixCallsAndNothingElse) {
    ModuleCopy module;
    void* handle = ::dlopen(module.path().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    for (const char* name : {"vnHidOpen", "vnHidRead", "vnHidReadData", "vnHidReadMax",
                             "vnHidReadKey", "vnHidWrite"}) {
        EXPECT_NE(::dlsym(handle, name), nullptr) << name;
    }
    EXPECT_EQ(::dlsym(handle, "_ZN8keyscope3sim11SimHidBoard4openEiii"), nullptr);
    EXPECT_EQ(::dlsym(handle, "_ZN8keyscope3sim19seedFromEnvironmentEv"), nullptr);
    ::dlclose(handle);
}

}  // namespace
}  // namespace keyscope::sim
