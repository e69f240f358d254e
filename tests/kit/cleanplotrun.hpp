// Test fixtures that also put the plot data back; only for tests that link the plot library.
#pragma once

#include <cstdio>
#include <string>

#include "plot/plotdata.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra::testkit {

// CleanRun that also resets the plot data before and after each test.
class CleanPlotRun : public CleanRun {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    CleanRun::reset();
    testing_only::resetplotdata();
  }
};

// CleanPlotRun whose model prefix is "abc" in a fresh directory, with the echo file
// "abco.kelpra.eco" there open on plot_data.ieco.
class EchoPlotRun : public CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = (dir_ / "abc").string();
    echo_ = (dir_ / "abco.kelpra.eco").string();
    plot_data.ieco = getunit();
    ASSERT_EQ(openunit(plot_data.ieco, echo_, FileForm::formatted, OpenStatus::replace), 0);
  }
  // What the echo file holds so far.
  std::string echo() {
    std::fflush(unitstream(plot_data.ieco));
    return readfile(echo_);
  }

  TempDir dir_;
  std::string echo_;
};

}  // namespace kelpra::testkit
