// Append mode: the append file, its reading and writing, and the start-up search for the
// first index inside the time window.
#include "driver/appendmode.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "driver/resume.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::framedrecord;
using testkit::le_i4;
using testkit::readfile;
using testkit::stoperr;
using testkit::writefile;

class AppendModeTest : public testkit::EchoPlotRun {
 protected:
  std::string appendfile() const { return plot_data.prefix + "o.tec_append"; }
  // A head file of "pm" whose header carries the time.
  void headfile(int index, const std::string& time) {
    char ext[8];
    std::snprintf(ext, sizeof ext, "%04d", index);
    testkit::writeresult_r8(plot_data.prefix + "o.head_pm." + ext, time + " Heads", std::vector<double>{1.0, 2.0});
  }
};

TEST_F(AppendModeTest, FileNameFollowsThePrefix) { EXPECT_EQ(tecappendfilename(), plot_data.prefix + "o.tec_append"); }

TEST_F(AppendModeTest, WrittenIndexIsOneFramedRecordAndReadsBack) {
  writetecplotappend(15);
  EXPECT_EQ(readfile(appendfile()), framedrecord(le_i4(15)));
  EXPECT_EQ(readtecplotappend(), 15);
  // A later write replaces the file from its start.
  writetecplotappend(3);
  EXPECT_EQ(readfile(appendfile()), framedrecord(le_i4(3)));
  EXPECT_EQ(readtecplotappend(), 3);
}

TEST_F(AppendModeTest, MissingFileReadsAsZero) { EXPECT_EQ(readtecplotappend(), 0); }

// A failed write is warned of once, with the system's reason, and the run goes on.
TEST_F(AppendModeTest, UnwritableFileIsWarnedOfOnce) {
  plot_data.prefix = (dir_ / "nosuchdir" / "abc").string();
  inittecplotappend();
  ::testing::internal::CaptureStderr();
  writetecplotappend(7);
  writetecplotappend(8);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Failed to write the last output-time index 0007 to the append file: " + appendfile() +
                     "\nReason: " + appendfile() + ".tmp: No such file or directory\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("0008"), std::string::npos);
  EXPECT_EQ(readtecplotappend(), 0);
}

// The append file is only a hint: whatever it holds, it is warned of, with what it holds, and
// never read without bound or waited on.
TEST_F(AppendModeTest, AppendFileThatCannotServeIsWarnedOf) {
  const struct {
    std::function<void(const std::string&)> make;
    std::string trouble;
  } cases[] = {
      {[](const std::string& f) { writefile(f, framedrecord(le_i4(12)).substr(0, 6)); },
       "it holds 6 bytes that are not one record of an output-time index"},
      {[](const std::string& f) { writefile(f, ""); }, "it is empty"},
      {[](const std::string& f) { writefile(f, framedrecord(le_i4(12), 4, 8)); },
       "it holds 12 bytes that are not one record of an output-time index"},
      {[](const std::string& f) { writefile(f, framedrecord("ab")); },
       "it holds 10 bytes that are not one record of an output-time index"},
      {[](const std::string& f) { writefile(f, framedrecord(le_i4(-3))); }, "it holds -3, which is no output-time index"},
      {[](const std::string& f) { writefile(f, framedrecord(le_i4(2147483647))); },
       "it holds 2147483647, which is no output-time index"},
      {[](const std::string& f) { std::filesystem::create_directory(f); }, "it is a directory"},
      {[](const std::string& f) { ::mkfifo(f.c_str(), 0600); }, "it is a FIFO"},
      {[](const std::string& f) { std::filesystem::create_symlink("/dev/zero", f); },
       "it is a link to /dev/zero, a device"},
      {[](const std::string& f) { std::filesystem::create_symlink("/nowhere/at/all", f); },
       "it is a link to /nowhere/at/all, which does not exist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trouble);
    std::filesystem::remove_all(appendfile());
    c.make(appendfile());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    inittecplotappend();
    resumetecplotappend({});
    ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("The append file " + appendfile() + " cannot be read: " + c.trouble +
                       ".\nNo data set has temporary files to continue"),
              std::string::npos)
        << err;
    EXPECT_EQ(plot_data.tecappendnfile, 1);
    EXPECT_EQ(readtecplotappend(), 0);
  }
}

// Without temporary files to continue, an append file left from an earlier series is warned
// of and the series starts anew.
TEST_F(AppendModeTest, StartMessagesNameTheFirstIndexOfANewSeries) {
  writetecplotappend(12);
  inittecplotappend();
  EXPECT_EQ(plot_data.tecappendnfile, 13);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  resumetecplotappend({});
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string lines = "\nAppending to Tecplot output\nStarting at time index 0001\n\n";
  EXPECT_EQ(out, lines);
  EXPECT_NE(echo().find(lines), std::string::npos);
  EXPECT_NE(err.find("names output time 0012 as the last one written, but no data set has temporary files to "
                     "continue.\nIt is left from an earlier append series: the data sets are written anew from the "
                     "first output time.\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(plot_data.tecappendnfile, 1);
  EXPECT_EQ(plot_data.tecappendnfile0, 1);
}

TEST_F(AppendModeTest, FirstRunStartsAtOneAndWidthSixShowsSixDigits) {
  plot_data.outputtimeindexwidth = 6;
  plot_data.fextwidth = 7;
  ::testing::internal::CaptureStdout();
  inittecplotappend();
  resumetecplotappend({});
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Starting at time index 000001\n"), std::string::npos);
  EXPECT_EQ(plot_data.tecappendnfile, 1);
}

TEST_F(AppendModeTest, FirstIndexInsideTheClosedTimeWindow) {
  plot_data.truncate_time_domain = true;
  plot_data.tmin_trunc = 100.0;
  plot_data.tmax_trunc = 200.0;
  ::testing::internal::CaptureStdout();
  inittecplotappend();
  EXPECT_EQ(plot_data.tecappendnfile0, 1);
  headfile(1, "50.0");
  headfile(2, "150.0");
  inittecplotappend();
  EXPECT_EQ(plot_data.tecappendnfile0, 2);
  headfile(2, "20.0");
  inittecplotappend();
  EXPECT_EQ(plot_data.tecappendnfile0, 3);  // index 3 has no file
  headfile(3, "200.0");
  inittecplotappend();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(plot_data.tecappendnfile0, 3);
}

// Indices the width cannot name are left to the main loop, which warns and ends the run: the
// set-up neither stops nor names them, whether the append file reached the last one or the
// window search runs past it.
TEST_F(AppendModeTest, IndexBeyondTheWidthIsLeftToTheMainLoop) {
  writetecplotappend(9999);
  const testkit::Ending stored = testkit::ending([] { inittecplotappend(); });
  EXPECT_EQ(stored.status, -1) << stored.err;  // no stop
  EXPECT_EQ(plot_data.tecappendnfile, 10000);
  std::remove(appendfile().c_str());
  plot_data.truncate_time_domain = true;
  plot_data.tmin_trunc = 1.0e9;
  for (int i = 1; i <= 9999; ++i) headfile(i, "1.0");
  const testkit::Ending window = testkit::ending([] {
    inittecplotappend();
    resumetecplotappend({});
  });
  EXPECT_EQ(window.status, -1) << window.err;
  EXPECT_EQ(plot_data.tecappendnfile0, 10000);
}

TEST_F(AppendModeTest, TimeThatIsNoNumberStopsTheWindowSearch) {
  plot_data.truncate_time_domain = true;
  plot_data.tmax_trunc = 1.0;
  headfile(1, "soon");
  const std::string err = stoperr([] { inittecplotappend(); });
  EXPECT_FALSE(err.empty());
}

}  // namespace
}  // namespace kelpra
