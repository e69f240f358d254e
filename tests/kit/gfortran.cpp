#include "tests/kit/gfortran.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/kit/process.hpp"

namespace kelpra::testkit {
namespace fs = std::filesystem;

std::optional<fs::path> findgfortran() {
  for (const fs::path& candidate : onsearchpath("gfortran", "/usr/bin:/bin")) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::string runfortran(const fs::path& gfortran, const std::string& source, const std::string& input) {
  TempDir dir;
  writefile(dir / "oracle.f90", source);
  const ProcessResult built =
      runprocess(gfortran, {"-ffree-line-length-none", "-o", "oracle", "oracle.f90"}, dir.path());
  if (built.exitstatus != 0) {
    ADD_FAILURE() << "gfortran failed:\n" << built.err << "\n" << source;
    return {};
  }
  const ProcessResult run = runprocess(dir / "oracle", {}, dir.path(), input);
  if (run.exitstatus != 0) {
    ADD_FAILURE() << "the Fortran program failed:\n" << run.err;
    return {};
  }
  return run.out;
}

}  // namespace kelpra::testkit
