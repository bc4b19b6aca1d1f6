// The line that says why an existing device node refused to open.
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
using ::testing::AllOf, ::testing::HasSubstr, ::testing::Not;

TEST(AccessDiagnosis_DeniedLine, NamesTheNodeTheReasonAndTheFixForEachKindOfNode) {
    // node, error, the reason and the fix it names
    const std::tuple<std::string, int, const char*, const char*> cases[] = {
        {"/dev/hidraw3", EACCES, "EACCES", "udev rule 70-keyscope.rules"},
        {"/dev/sg2", EACCES, "EACCES", "vendor and model in /etc/udev/rules.d/71-keyscope-ice"},
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

TEST(AccessDiagnosis_DeniedLine, ALinkIsJudgedByTheNodeItNames) {
    const fs::path dir =
        fs::temp_directory_path() / ("keyscope-access-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "ttyUSB9") << "x";
    fs::create_symlink(dir / "ttyUSB9", dir / "board");
    const std::string link = (dir / "board").string();
    EXPECT_THAT(accessDeniedLine(link, EACCES),
                AllOf(HasSubstr(link + " (" + (dir / "ttyUSB9").string() + ")"),
                      HasSubstr("group dialout")));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace keyscope
