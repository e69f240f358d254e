// Test fixtures that put the process-wide state back before and after every test.
#pragma once

#include <gtest/gtest.h>

#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra::testkit {

// Frees every file unit and clears the error state before and after each test.
class CleanRun : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    freeunitall();
    testing_only::reseterrorstate();
  }
};

}  // namespace kelpra::testkit
