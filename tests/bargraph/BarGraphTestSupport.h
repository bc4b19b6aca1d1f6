#pragma once
// Shared set-up for the bar-graph tests: sixteen named records and one QApplication.

#include <gtest/gtest.h>

#include <QApplication>

#include <array>
#include <memory>
#include <string>

#include "device/ChannelRecord.h"

namespace keyscope::test {

inline std::array<ChannelRecord, kChannelCount> makeRecords() {
    std::array<ChannelRecord, kChannelCount> records;
    for (int i = 0; i < kChannelCount; ++i) {
        records[i].name = "TK" + std::to_string(i);
    }
    return records;
}

// Base of the widget suites: one application per suite. It is destroyed in
// TearDownTestSuite, not by a static destructor at exit, which would run after Qt's own
// globals are gone.
class ApplicationSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "bargraph_tests";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) {
            application() = std::make_unique<QApplication>(argc, argv);
        }
    }
    static void TearDownTestSuite() { application().reset(); }

  private:
    static std::unique_ptr<QApplication>& application() {
        static std::unique_ptr<QApplication> app;
        return app;
    }
};

}  // namespace keyscope::test
