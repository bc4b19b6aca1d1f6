// The line that says why an existing device node refused to open.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "device/AccessDiagnosis.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(AccessDiagnosis_DeniedLine, NamesTheNodeTheReasonAndTheFixForEachKindOfNode) {
    // node, error, the reason and the fix it names
    const std::tuple<std::string, int, const char*, const char*> cases[] = {
        {"/dev/hidraw3", EACCES, "EACCES", "udev rule 70-keyscope.rules"},
        {"/dev/sg2", EACCES, "EACCES", "ICE board's vendor and model"},
        {"/dev/ttyUSB0", EACCES, "EACCES", "group dialout"},
        {"/dev/ttyACM1", EPERM, "EPERM", "group dialout"},
        {"/dev/board", EACCES, "EACCES", "ask the administrator"},
    };
    for (const auto& [path, error, reason, fix] : cases)
        EXPECT_THAT(accessDeniedLine(path, error),
                    AllOf(HasSubstr(path + ": permission denied"), HasSubstr(reason),
                          HasSubstr(fix), Not(HasSubstr("\n"))))
            << path;
    for (const int other : {0, ENOENT, EBUSY, ENODEV})
        EXPECT_EQ(accessDeniedLine("/dev/hidraw3", other), "") << other;
}

class AccessDiagnosisOnFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("keyscope-access-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "ttyUSB9") << "x";
        fs::permissions(dir_ / "ttyUSB9", fs::perms::none);
        fs::create_symlink(dir_ / "ttyUSB9", dir_ / "board");
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(AccessDiagnosisOnFiles, ALinkIsJudgedByTheNodeItNames) {
    const std::string link = (dir_ / "board").string();
    EXPECT_THAT(accessDeniedLine(link, EACCES),
                AllOf(HasSubstr(link + " (" + (dir_ / "ttyUSB9").string() + ")"),
                      HasSubstr("group dialout")));
}

TEST_F(AccessDiagnosisOnFiles, ANodeWhoseModeRefusesTheUserIsExplained) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens any file: no refusal to explain";
    const std::string node = (dir_ / "ttyUSB9").string();
    ASSERT_LT(::open(node.c_str(), O_RDWR), 0);
    EXPECT_THAT(accessDeniedLine(node, errno), HasSubstr(node + ": permission denied (EACCES)"));
}

}  // namespace
}  // namespace keyscope
