// Test helpers: run a program and capture what it writes; temporary directories.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra::testkit {

struct ProcessResult {
  int exitstatus = -1;  // exit status, or 128 + signal number when killed by a signal
  bool signalled = false;  // ended by a signal, not by an exit
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `workdir`, feeding `input` on standard input.
ProcessResult runprocess(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& workdir = {}, const std::string& input = {});

// Path of a program built in the build tree (relative to the top build directory).
std::filesystem::path builtprogram(const std::string& relative);

// `program` in each directory of the search path, in order; an unset PATH reads as `fallback`.
std::vector<std::filesystem::path> onsearchpath(std::string_view program, std::string_view fallback = {});

std::string readfile(const std::filesystem::path& path);
void writefile(const std::filesystem::path& path, const std::string& text);

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace kelpra::testkit
