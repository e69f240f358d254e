// Shared kit of the end-to-end tests: the small layered model "abc" laid down in a temporary
// directory, runs of the kelpra program on it, readers of the data sets it writes and a run
// held at a named pipe.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/tecplot_reader.hpp"

namespace kelpra::e2ekit {

namespace fs = std::filesystem;
using testkit::LayeredMesh;
using testkit::LinkedDomain;
using testkit::ModelWriter;
using testkit::ProcessResult;
using testkit::TecplotFile;
using testkit::TempDir;
using testkit::readfile;
using testkit::writefile;

inline constexpr std::string_view kTitle = "E2E model";
inline const std::string kNormalExit = "\n\n\n" + std::string(20, ' ') + "---- Normal exit ----\n\n\n";
inline const std::string kDeprecation =
    "\n*********************************\n"
    "***      WARNING MESSAGE      ***\n"
    "*********************************\n\n"
    "Kelpra has been deprecated and will be removed in a future release.\n"
    "We recommend using tnqvist for post-processing going forward.\n\n";
inline const std::string kPmVariables =
    R"(VARIABLES = "X","Y","Z","Zone","Layer Number","Column Number","Thickness","Head","Pressure Head","Depth2GWT","Depth2GWT2D")";
inline const std::string kOlfVariables = R"(VARIABLES = "X","Y","Z","Zone","3DNode#","Head","Depth","LogDepth")";
// Blocks that request both plot files and nothing else.
inline constexpr std::string_view kDomainBlocks = "write pm domain file\nend\nwrite olf domain file\nend\n";

inline bool has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

inline std::string numbertext(double value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

inline std::vector<std::string> splitlines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    lines.emplace_back(text.substr(0, eol));
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
  return lines;
}

// A run must never end through a signal or a sanitizer report, whatever its status.
inline void expectclean(const ProcessResult& r) {
  EXPECT_LT(r.exitstatus, 128) << r.err;
  EXPECT_FALSE(has(r.err, "Sanitizer")) << r.err;
  EXPECT_FALSE(has(r.err, "runtime error")) << r.err;
}

// ---- ASCII data sets --------------------------------------------------------------------

struct DatArray {
  std::string label;
  std::vector<std::string> lines;
};
struct DatZone {
  std::string line;  // the ZONE line
  std::string dt;    // the DT line
  std::vector<DatArray> arrays;
  const DatArray* find(std::string_view label) const {
    for (const DatArray& a : arrays) {
      if (a.label == label) return &a;
    }
    return nullptr;
  }
};
struct DatFile {
  std::vector<std::string> header;  // every line before the first zone
  std::vector<DatZone> zones;
  std::string line(std::size_t i) const { return i < header.size() ? header[i] : std::string(); }
};

inline DatFile parsedat(const std::string& text) {
  DatFile f;
  for (std::string& line : splitlines(text)) {
    if (line.starts_with("ZONE ")) {
      f.zones.push_back({std::move(line), {}, {}});
    } else if (f.zones.empty()) {
      f.header.push_back(std::move(line));
    } else if (line.starts_with("DT=(")) {
      f.zones.back().dt = std::move(line);
    } else if (line.starts_with("# ")) {
      f.zones.back().arrays.push_back({line.substr(2), {}});
    } else if (!f.zones.back().arrays.empty()) {
      f.zones.back().arrays.back().lines.push_back(std::move(line));
    } else {
      ADD_FAILURE() << "value line before any label: " << line;
    }
  }
  return f;
}

// Real values: 26-character fields, at most five to a line.
inline std::vector<double> reals(const DatArray* array) {
  std::vector<double> values;
  if (array == nullptr) {
    ADD_FAILURE() << "array missing";
    return values;
  }
  for (const std::string& line : array->lines) {
    EXPECT_TRUE(!line.empty() && line.size() % 26 == 0 && line.size() <= 130) << '[' << line << ']';
    for (std::size_t at = 0; at + 26 <= line.size(); at += 26) {
      const std::string field = line.substr(at, 26);
      char* end = nullptr;
      values.push_back(std::strtod(field.c_str(), &end));
      EXPECT_EQ(std::string_view(end).find_first_not_of(' '), std::string_view::npos) << '[' << field << ']';
    }
  }
  return values;
}

inline std::vector<std::int32_t> integers(const DatArray* array) {
  std::vector<std::int32_t> values;
  if (array == nullptr) {
    ADD_FAILURE() << "array missing";
    return values;
  }
  for (const std::string& line : array->lines) {
    const char* p = line.c_str();
    char* end = nullptr;
    for (long v = std::strtol(p, &end, 10); end != p; v = std::strtol(p, &end, 10)) {
      values.push_back(static_cast<std::int32_t>(v));
      p = end;
    }
  }
  return values;
}

inline std::string withoutdate(const std::string& text) {
  std::string out;
  for (const std::string& line : splitlines(text)) {
    if (!line.starts_with("DATASETAUXDATA Date_Created=")) out += line + '\n';
  }
  return out;
}

// ---- The model ---------------------------------------------------------------------------

// A small layered model "abc": "pm" of 2 x 2 x 2 bricks (27 nodes, 8 elements) and an "olf"
// surface with nodes of its own (9 nodes, 4 elements).
class Model {
 public:
  explicit Model(std::int32_t cellsx = 2, std::int32_t cellsy = 2, std::int32_t layers = 3) {
    writefile(dir / "abc.vorn", "e2e model\n");
    writefile(dir / "batch.pfx", "abc\n");
    writer.gen({std::string(kTitle)});
    pm = writer.pm(cellsx, cellsy, layers);
    olf = writer.olf(pm);
  }
  // Writes the mesh files again from a changed "pm" mesh (the "olf" files follow its top).
  void rewritepm(const LayeredMesh& mesh) {
    pm = mesh;
    writer.pmfiles(pm, pm.cellsx + 1, pm.cellsy + 1, pm.layers);
    olf = writer.olf(pm);
  }

  std::vector<double> pmheads(int index) const {
    std::vector<double> h(pm.x.size());
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = 2.5 + 0.1 * pm.x[i] - 0.03 * pm.y[i] - 0.125 * index;
    return h;
  }
  std::vector<double> olfheads(int index) const {
    const std::vector<double> p = pmheads(index);
    std::vector<double> h(olf.dom2pm.size());
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = p[static_cast<std::size_t>(olf.dom2pm[i] - 1)] + 0.6;
    return h;
  }
  // Head files of both domains for the output-time index, stamped with `time`.
  void heads(int index, double time, bool withpm = true, bool witholf = true) const {
    const std::string text = numbertext(time) + " heads";
    if (withpm) writer.result_r8("head", "pm", index, text, pmheads(index));
    if (witholf) writer.result_r8("head", "olf", index, text, olfheads(index));
  }
  void control(std::string_view text) const { writefile(dir / "abc.plot.control", std::string(text)); }

  ProcessResult run(const std::vector<std::string>& args = {}, const std::string& input = {}) const {
    ProcessResult r = testkit::runprocess(testkit::builtprogram("driver/kelpra"), args, dir.path(), input);
    expectclean(r);
    return r;
  }
  // A run under strace, which injects the faults that `inject` names, such as {"-P",
  // "abco.pm.szplt", "-e", "inject=openat:error=EACCES"}: names as the program opens them, in the
  // model directory.
  ProcessResult runinjected(const std::vector<std::string>& inject) const {
    ProcessResult r = traced(inject);
    expectclean(r);
    return r;
  }
  // The same for a run sent a signal ("inject=openat:signal=SIGINT"): it may end by that signal.
  ProcessResult runsignalled(const std::vector<std::string>& inject) const {
    ProcessResult r = traced(inject);
    EXPECT_FALSE(has(r.err, "Sanitizer") || has(r.err, "runtime error")) << r.err;
    return r;
  }
  ProcessResult traced(const std::vector<std::string>& inject) const {
    // The leak checker of a sanitizer build cannot run under a tracer.
    std::vector<std::string> args = {"-f", "-qq", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0"};
    args.insert(args.end(), inject.begin(), inject.end());
    args.push_back(testkit::builtprogram("driver/kelpra").string());
    return testkit::runprocess("/usr/bin/strace", args, dir.path());
  }
  std::string file(const std::string& name) const { return readfile(dir / name); }
  bool exists(const std::string& name) const { return fs::exists(dir / name); }
  DatFile dat(const std::string& name) const { return parsedat(file(name)); }

  TempDir dir;
  ModelWriter writer{dir.path(), "abc"};
  LayeredMesh pm;
  LinkedDomain olf;
};

inline constexpr std::string_view kAppendControl = "tecplot binary mode\ntecplot binary append\nend\n";

// An append series holding output times 1 and 2 of both domains, written by an append run.
inline void writeseries(Model& model) {
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
}

inline std::string appendrecord(std::int32_t index) {
  return testkit::framedrecord(testkit::le_i4(index));
}

inline TecplotFile readdataset(const fs::path& path) {
  TecplotFile f;
  std::string error;
  EXPECT_TRUE(testkit::readtecplot(path, f, error)) << path << ": " << error;
  return f;
}

// A run stopped in the middle of an output time or between flushes: the next append run
// writes every time exactly once in every data set.
inline void expecttimesonce(const Model& model, std::size_t times) {
  for (const char* name : {"abco.pm.szplt", "abco.olf.szplt"}) {
    const TecplotFile f = readdataset(model.dir / name);
    ASSERT_EQ(f.zones.size(), times) << name;
    for (std::size_t i = 0; i < times; ++i) EXPECT_EQ(f.zones[i].solutiontime, static_cast<double>(i + 1)) << name;
  }
}

// A kelpra run in the model directory, its output thrown away, that waits at the named pipe
// until the test writes to it or kills it.
class HeldRun {
 public:
  HeldRun(const Model& model, const fs::path& pipe) {
    if (::mkfifo(pipe.c_str(), 0600) != 0) return;
    const std::string program = testkit::builtprogram("driver/kelpra").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (::chdir(model.dir.path().c_str()) == 0) ::execl(program.c_str(), program.c_str(), nullptr);
      ::_exit(127);
    }
    for (int i = 0; i < 3000 && writer_ < 0; ++i) {
      writer_ = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);  // succeeds once the run reads it
      if (writer_ < 0) ::usleep(10000);
    }
  }
  ~HeldRun() { kill(); }
  bool waiting() const { return writer_ >= 0; }
  // Hands the run the pipe's contents and returns its exit status.
  int finish(const std::string& contents) {
    if (writer_ < 0 || ::write(writer_, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size())) {
      return -1;
    }
    ::close(writer_);
    writer_ = -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (writer_ >= 0) ::close(writer_);
    writer_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int writer_ = -1;
};

inline const std::string kFatal = "*** FATAL ERROR, HALTING EXECUTION ***";
inline const std::string kInput = "*** INPUT ERROR, HALTING EXECUTION ***";

// The run stopped with status 1, its report box the last thing on standard error and, where
// the echo file was opened, in the echo file. Returns the body of the report.
inline std::string expectstopped(const Model& model, const ProcessResult& r, const std::string& headline) {
  EXPECT_EQ(r.exitstatus, 1) << r.out << r.err;
  EXPECT_FALSE(has(r.out, "Normal exit"));
  const std::string stars(headline.size(), '*');
  const std::string top = "\n" + stars + "\n" + headline + "\n" + stars + "\n\n";
  const std::size_t at = r.err.rfind(top);
  if (at == std::string::npos || !r.err.ends_with("\n\n")) {
    ADD_FAILURE() << "no " << headline << " report at the end of:\n" << r.err;
    return {};
  }
  const std::string report = r.err.substr(at);
  if (model.exists("abco.kelpra.eco")) {
    const std::string eco = model.file("abco.kelpra.eco");
    EXPECT_TRUE(eco.ends_with(report)) << eco;
  }
  return report.substr(top.size(), report.size() - top.size() - 2);
}


}  // namespace kelpra::e2ekit
