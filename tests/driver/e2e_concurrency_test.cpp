// Runs side by side: a second kelpra run in a directory, or where its prefix points, is refused
// before it writes anything, a directory that cannot be locked is warned of once, and one log
// for both streams keeps the order in which the run wrote them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/driver/e2e_kit.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

// A second run in the directory is refused before it writes anything, whatever its prefix and
// whatever files of the first run were deleted; the first, held at its observation file after
// closing its data sets, then ends normally with every time once.
TEST(E2eConcurrency, SecondRunInTheDirectoryIsRefused) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(
      "tecplot binary mode\nend\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\nend\nwrite olf domain file\nend\n");
  HeldRun first(model, model.dir / "abc.observed_heads");
  ASSERT_TRUE(first.waiting());
  fs::remove(model.dir / "scratch_plot");
  const std::string echo = model.file("abco.kelpra.eco"), pm = model.file("abco.pm.szplt");
  for (const char* prefix : {"abc\n", "xyz\n"}) {
    writefile(model.dir / "batch.pfx", prefix);
    const ProcessResult second = model.run();
    EXPECT_EQ(second.exitstatus, 1);
    EXPECT_TRUE(has(second.err,
                    "Another kelpra run is working in this directory.\n"
                    "Wait until it has ended; this run has written nothing.\n"))
        << second.err;
  }
  EXPECT_FALSE(model.exists("xyzo.kelpra.eco"));
  EXPECT_FALSE(model.exists("scratch_plot"));
  EXPECT_EQ(model.file("abco.kelpra.eco"), echo);
  EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
  writefile(model.dir / "batch.pfx", "abc\n");
  EXPECT_EQ(first.finish("1\n0.5 0.5 0.5 1.75\n"), 0);
  expecttimesonce(model, 2);
}

// A directory that cannot be locked (here: not readable) is warned of once, although the
// prefix's directory is the same one. The run needs a user whom the permissions bind.
TEST(E2eConcurrency, UnlockableDirectoryIsWarnedOfOnce) {
  Model model;
  model.heads(1, 1.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(::chmod(model.dir.path().c_str(), 0333), 0);
  const fs::path program = testkit::builtprogram("driver/kelpra");
  const ProcessResult r =
      ::geteuid() == 0
          ? testkit::runprocess("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", program},
                                model.dir.path())
          : testkit::runprocess(program, {}, model.dir.path());
  ::chmod(model.dir.path().c_str(), 0755);
  if (!has(r.out, "Normal exit")) GTEST_SKIP() << "kelpra could not run as another user here: " << r.err;
  const std::string why = "This run is not guarded against a second kelpra run in this directory: the directory "
                          "cannot be locked (Permission denied).";
  const std::size_t first = r.err.find(why);
  EXPECT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("cannot be locked", first + why.size()), std::string::npos) << r.err;
}

// A prefix may point into another directory: a run there and a run whose prefix points there
// exclude each other in either order, and a prefix naming the run's own directory by another
// name does not refuse the run itself.
TEST(E2eConcurrency, RunsMeetingWhereThePrefixPointsAreRefused) {
  const std::string control =
      "end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\nend\nwrite olf domain file\nend\n";
  for (const bool heldpointsthere : {false, true}) {
    SCOPED_TRACE(heldpointsthere ? "the held run's prefix points there" : "the second run's prefix points there");
    Model target, elsewhere;
    target.heads(1, 1.0);
    target.control(control);
    const std::string pointing = "'" + target.dir.path().string() + "/abc'\n";
    writefile(elsewhere.dir / "batch.pfx", pointing);
    const Model& heldat = heldpointsthere ? elsewhere : target;
    const Model& second = heldpointsthere ? target : elsewhere;
    HeldRun first(heldat, target.dir / "abc.observed_heads");
    ASSERT_TRUE(first.waiting());
    const std::string echo = target.file("abco.kelpra.eco"), pm = target.file("abco.pm.dat.tmp");
    const ProcessResult r = second.run();
    EXPECT_EQ(r.exitstatus, 1);
    EXPECT_TRUE(has(r.err, "Wait until it has ended; this run has written nothing.\n")) << r.err;
    EXPECT_FALSE(second.exists("scratch_plot"));
    EXPECT_EQ(target.file("abco.kelpra.eco"), echo);
    EXPECT_TRUE(target.file("abco.pm.dat.tmp") == pm);
    EXPECT_EQ(first.finish("1\n0.5 0.5 0.5 1.75\n"), 0);
  }
  Model self;
  self.heads(1, 1.0);
  writefile(self.dir / "batch.pfx", "'" + self.dir.path().string() + "/./abc'\n");
  EXPECT_EQ(self.run().exitstatus, 0);
  EXPECT_TRUE(self.exists("abco.pm.dat"));
}

// Standard output and standard error sent to one file keep the order in which the run wrote
// them: the banner, the warning box, the progress lines, then the error box.
TEST(E2eConcurrency, OneLogForBothStreamsKeepsTheOrder) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  const fs::path olf2 = model.dir / "abco.head_olf.0002";
  fs::resize_file(olf2, fs::file_size(olf2) - 8);
  const std::string command = "exec '" + fs::absolute(testkit::builtprogram("driver/kelpra")).string() + "' > log 2>&1";
  const ProcessResult r = testkit::runprocess("/bin/sh", {"-c", command}, model.dir.path());
  EXPECT_EQ(r.exitstatus, 1);
  const std::string log = model.file("log");
  std::vector<std::size_t> at;
  for (const char* part : {"Kelpra has been deprecated", "Time 0001: 1", "Time 0002: 2", "HALTING EXECUTION"}) {
    at.push_back(log.find(part));
    EXPECT_NE(at.back(), std::string::npos) << part << " in\n" << log;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << log;
  EXPECT_LT(log.find_first_not_of("\n "), at[0]);  // the banner comes first
}

}  // namespace
}  // namespace kelpra
