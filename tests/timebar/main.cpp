#include "QtTestApp.h"

// gtest takes ownership of the environment it is given.
[[maybe_unused]] static ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new keyscope::testing::QtApplicationEnvironment);
