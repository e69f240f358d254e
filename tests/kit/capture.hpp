// Test helpers that run a piece of code and return what it wrote to the screen or reported
// when it stopped the run.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/errors.hpp"

namespace kelpra::testkit {

// Runs f and returns what it wrote to standard output.
template <class F>
std::string screen(F&& f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

// Runs f, expects it to stop the run, and returns what went to standard error.
template <class F>
std::string stoperr(F&& f) {
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(f(), RunStopped);
  return ::testing::internal::GetCapturedStderr();
}

// As stoperr, with standard output captured and dropped as well.
template <class F>
std::string quietstoperr(F&& f) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(f(), RunStopped);
  ::testing::internal::GetCapturedStdout();
  return ::testing::internal::GetCapturedStderr();
}

// How a piece of code ended: the exit status it stopped the run with (-1 when it returned),
// and what it wrote to standard output and standard error.
struct Ending {
  int status = -1;
  std::string out;
  std::string err;
};
template <class F>
Ending ending(F&& f) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Ending e;
  try {
    f();
  } catch (const RunStopped& stop) {
    e.status = stop.exitstatus;
  }
  e.out = ::testing::internal::GetCapturedStdout();
  e.err = ::testing::internal::GetCapturedStderr();
  return e;
}

// Runs f, which must stop the run with status 1, and returns what went to standard error;
// with quiet, standard output is captured and dropped as well (otherwise it is passed on).
template <class F>
std::string stopreport(F&& f, bool quiet = false) {
  const Ending e = ending(f);
  if (!quiet) std::fputs(e.out.c_str(), stdout);
  EXPECT_EQ(e.status, 1) << e.err;
  return e.err;
}

// Runs f, expects it to stop the run with a report that holds `fragment` (any report when
// `fragment` is empty), then clears the error state for the next report.
template <class F>
void expectstop(F&& f, const std::string& fragment = {}) {
  const std::string err = stoperr(f);
  if (!fragment.empty()) {
    EXPECT_NE(err.find(fragment), std::string::npos) << err;
  }
  testing_only::reseterrorstate();
}

}  // namespace kelpra::testkit
