#pragma once
// One QApplication for the whole test binary, created before the first test and
// destroyed after the last, as widgets need.

#include <memory>

#include <gtest/gtest.h>
#include <QApplication>

namespace keyscope::testing {

class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "timebar_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

}  // namespace keyscope::testing
