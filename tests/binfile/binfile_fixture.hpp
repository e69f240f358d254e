// Shared set-up of the result-file tests: a clean report state and unit pool around every
// test, a temporary directory, and the kit's stopreport for calls that must stop the run.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {

// stopreport(f): f must stop the run with status 1; returns what it wrote to standard error.
using testkit::stopreport;

class BinFileTest : public testkit::CleanRun {
 protected:
  void TearDown() override {
    EXPECT_FALSE(unitused(kFirstUnit)) << "a unit was left taken";
    CleanRun::TearDown();
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void writebytes(const std::string& name, const std::string& bytes) const { testkit::writefile(dir_ / name, bytes); }

  testkit::TempDir dir_;
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kelpra
