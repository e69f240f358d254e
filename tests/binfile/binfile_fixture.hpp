// Shared set-up of the result-file tests: a clean report state and unit pool around every
// test, a temporary directory, and a helper that runs a stopping call and returns its report.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {

class BinFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    freeunitall();
    testing_only::reseterrorstate();
  }
  void TearDown() override {
    EXPECT_FALSE(unitused(kFirstUnit)) << "a unit was left taken";
    freeunitall();
    testing_only::reseterrorstate();
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void writebytes(const std::string& name, const std::string& bytes) const { testkit::writefile(dir_ / name, bytes); }

  // Runs f, which must stop the run, and returns what it wrote to standard error.
  template <class F>
  static std::string stopreport(F&& f) {
    ::testing::internal::CaptureStderr();
    bool stopped = false;
    try {
      f();
    } catch (const RunStopped& stop) {
      stopped = stop.exitstatus == 1;
    }
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stopped) << "the call did not stop the run; stderr:\n" << err;
    return err;
  }

  testkit::TempDir dir_;
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kelpra
