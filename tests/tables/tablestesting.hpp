// Shared set-up of the table tests: a fresh directory, units opened on files in either
// access form, and file contents written or read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra::testkit {

class TablesTest : public CleanRun {
 protected:
  // A unit on the file `name` (replaced) in the given form.
  int openfile(const std::string& name, FileForm form) {
    const int unit = getunit();
    EXPECT_EQ(openunit(unit, (dir_ / name).string(), form, OpenStatus::replace), 0);
    return unit;
  }
  // A unit on a file holding text, ready to read.
  int textfile(const std::string& name, const std::string& text) {
    writefile(dir_ / name, text);
    const int unit = getunit();
    EXPECT_EQ(openunit(unit, (dir_ / name).string(), FileForm::formatted, OpenStatus::old), 0);
    return unit;
  }
  static void rewind(int unit) { std::rewind(unitstream(unit)); }
  std::string contents(int unit, const std::string& name) {
    std::fflush(unitstream(unit));
    return readfile(dir_ / name);
  }
  TempDir dir_;
};

// Both access forms, for the saved-form round trips.
inline constexpr FileForm kBothForms[] = {FileForm::unformatted, FileForm::formatted};

}  // namespace kelpra::testkit
