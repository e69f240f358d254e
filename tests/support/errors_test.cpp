// Report boxes checked on a real process: exact text, both destinations, exit status.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/errors.hpp"
#include "support/interrupt.hpp"
#include "support/warnings.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::ProcessResult;
using testkit::TempDir;

ProcessResult probe(std::vector<std::string> args) {
  return testkit::runprocess(testkit::builtprogram("tests/support/report_probe"), args);
}

std::string box(const std::string& headline, const std::string& body) {
  const std::string stars(headline.size(), '*');
  return "\n" + stars + "\n" + headline + "\n" + stars + "\n\n" + body + "\n\n";
}

const std::string kFatal = "*** FATAL ERROR, HALTING EXECUTION ***";
const std::string kInput = "*** INPUT ERROR, HALTING EXECUTION ***";

TEST(StoppingReports, FatalErrorBoxOnStandardErrorAndStatusOne) {
  const auto r = probe({"-", "fatal", "Something broke   "});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box(kFatal, "Something broke"));
  EXPECT_EQ(r.out, "");
}

TEST(StoppingReports, LogUnitGetsTheSameBoxFirst) {
  TempDir dir;
  const auto log = (dir / "run.eco").string();
  const auto r = probe({log, "input", "bad line\nsecond line"});
  EXPECT_EQ(r.exitstatus, 1);
  const std::string expected = box(kInput, "bad line\nsecond line");
  EXPECT_EQ(r.err, expected);
  // The log file was closed (and so flushed) by the report itself.
  EXPECT_EQ(testkit::readfile(log), expected);
}

TEST(StoppingReports, OnlyTheFirstErrorIsWrittenButBothStop) {
  const auto r = probe({"-", "twoerrors", "first", "second"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box(kFatal, "first"));
}

TEST(StoppingReports, BlankMessageGivesEmptyBody) {
  const auto r = probe({"-", "fatal", "     "});
  EXPECT_EQ(r.err, box(kFatal, ""));
}

TEST(StoppingReports, StatusVariants) {
  auto r = probe({"-", "fatalstat", "29", "Failed to open file: abc"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box(kFatal,
                       "Failed to open file: abc\nError detail: File with the specified name could not be "
                       "found\nError number: 29"));
  r = probe({"-", "fatalstat", "-1", "x"});
  EXPECT_EQ(r.err, box(kFatal, "x\nError detail: End-of-file encountered on read\nError number: -1"));
  r = probe({"-", "inputstat", "151", "y  "});
  EXPECT_EQ(r.err, box(kInput, "y\nError number: 151"));
}

TEST(StoppingReports, AllocationError) {
  auto r = probe({"-", "alloc", "0", "Title array"});
  EXPECT_EQ(r.exitstatus, 3);  // returned: nothing reported
  EXPECT_EQ(r.err, "");
  r = probe({"-", "alloc", "41", "Title array"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box("*** ALLOCATION ERROR, HALTING EXECUTION ***",
                       "Allocation failed: Title array\nError detail: Insufficient virtual memory\n"
                       "Error number: 41"));
  r = probe({"-", "alloc", "151", "Title array"});
  EXPECT_EQ(r.err, box("*** ALLOCATION ERROR, HALTING EXECUTION ***",
                       "Allocation failed: Title array\nError number: 151"));
}

TEST(StoppingReports, DimensioningError) {
  auto r = probe({"-", "size", "5", "5", "nodes"});
  EXPECT_EQ(r.exitstatus, 3);
  EXPECT_EQ(r.err, "");
  r = probe({"-", "size", "6", "5", "nodes"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box("*** DIMENSIONING ERROR, HALTING EXECUTION ***",
                       " Pre-processor request exceeds default array size\n\n nodes\n"
                       "   Default value:   5\n   Requested value: 6\n\n"
                       " Increase the default value in file array_sizes.default"));
}

TEST(StoppingReports, InstructionReporters) {
  auto r = probe({"-", "unknown", "Plot control  ", "frobnicate  "});
  EXPECT_EQ(r.err, box(kInput, "Plot control: Unrecognized instruction.\nInstruction: frobnicate"));
  r = probe({"-", "conflict", "tecplot ascii", "tecplot binary"});
  EXPECT_EQ(r.err, box(kInput, "Command conflict: \"tecplot ascii\" \"tecplot binary\""));
  r = probe({"-", "obsolete", "   "});
  EXPECT_EQ(r.err, box(kInput,
                       "This command is obsolete and no longer supported.\n"
                       "Please remove this command and rerun vorn."));
  r = probe({"-", "obsolete", "new command"});
  EXPECT_EQ(r.err, box(kInput,
                       "This command is obsolete and no longer supported.\n"
                       "Please use this command instead: new command"));
  EXPECT_EQ(r.exitstatus, 1);
}

TEST(Warnings, WarningBoxAndTheRunGoesOn) {
  TempDir dir;
  const auto log = (dir / "run.eco").string();
  const auto r = probe({log, "warning", "careful"});
  EXPECT_EQ(r.exitstatus, 0);
  EXPECT_EQ(r.out, "run goes on\n");
  const std::string expected = box("***      WARNING MESSAGE      ***", "careful");
  EXPECT_EQ(r.err, expected);
  EXPECT_EQ(testkit::readfile(log), expected);
}

TEST(Warnings, QueuedWarningsAreListedBeforeTheBox) {
  auto r = probe({"-", "queued", "stop", "one", "two", "three"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err,
            "\nThere were 3 warnings raised.\n\n"
            "1. Type: Generic Warning\nMessage: one\n\n"
            "2. Type: Generic Warning\nMessage: two\n\n"
            "3. Type: Generic Warning\nMessage: three\n\n" +
                box(kFatal, "stop"));
  r = probe({"-", "queued", "stop", "only"});
  EXPECT_EQ(r.err, "\nThere was 1 warning raised.\n\n1. Type: Generic Warning\nMessage: only\n\n" +
                       box(kFatal, "stop"));
  r = probe({"-", "queued", "stop"});
  EXPECT_EQ(r.err, "\nNo warnings were raised.\n\n" + box(kFatal, "stop"));
}

TEST(Warnings, QueuedSummaryGoesToTheLogUnitAsWell) {
  TempDir dir;
  const auto log = (dir / "run.eco").string();
  const auto r = probe({log, "queued", "stop", "one", "two"});
  EXPECT_EQ(r.exitstatus, 1);
  const std::string expected =
      "\nThere were 2 warnings raised.\n\n"
      "1. Type: Generic Warning\nMessage: one\n\n"
      "2. Type: Generic Warning\nMessage: two\n\n" +
      box(kFatal, "stop");
  EXPECT_EQ(r.err, expected);
  EXPECT_EQ(testkit::readfile(log), expected);
}

TEST(Warnings, ImmediateWarningNamesTheCommandAndNoSummaryFollows) {
  const auto r = probe({"-", "immediate", "read heads", "bad value"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box("***      WARNING MESSAGE      ***",
                       "Type: Input Warning\nIssuing command: read heads\nMessage: bad value") +
                       box(kFatal, "stop"));
}

// The queue itself, in process: at the start-up level warnings are only collected.
class WarningQueue : public ::testing::Test {
 protected:
  void SetUp() override { testing_only::resetwarnings(); }
  void TearDown() override { testing_only::resetwarnings(); }
};

TEST_F(WarningQueue, StructuredTextsAndTheCurrentCommand) {
  setcurrentcmd("read heads   ");
  inputwarn("bad value  ");
  clearcurrentcmd();
  genericwarn("no command");
  deprecationwarn("old cmd  ");
  deprecationwarn("old cmd", "new cmd  ");
  deprecationwarn("old cmd", "   ");
  const std::string deprecated =
      "Type: Deprecation Warning\nIssuing command: old cmd\nMessage: The command \"old cmd\" has been "
      "deprecated and will be removed in a future release.";
  const std::vector<std::string> expected = {
      "Type: Input Warning\nIssuing command: read heads\nMessage: bad value",
      "Type: Generic Warning\nMessage: no command",
      deprecated,
      deprecated + "\n         Please consider the command(s): \"new cmd\"",
      deprecated + "\n         Please consider the command(s): \"\"",
  };
  EXPECT_EQ(queuedwarnings(), expected);
}

TEST_F(WarningQueue, OffDropsWarnings) {
  warnoff();
  genericwarn("ignored");
  EXPECT_TRUE(queuedwarnings().empty());
}

TEST_F(WarningQueue, CapacityGrowsByHalf) {
  std::vector<std::size_t> capacities;
  for (int i = 0; i < 27; ++i) {
    push("w");
    if (capacities.empty() || capacities.back() != queuedwarnings().capacity()) {
      capacities.push_back(queuedwarnings().capacity());
    }
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{1, 2, 3, 5, 8, 12, 18, 27}));
}

TEST(FileUnitReports, MissingFileAndBadFrees) {
  TempDir dir;
  auto r = probe({"-", "openmissing", (dir / "nothere  ").string()});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_EQ(r.err, box(kFatal, "File not found: " + (dir / "nothere").string()));
  r = probe({"-", "freeunit", "5"});
  EXPECT_EQ(r.err, box(kFatal, "File unit 5 outside of range [1100,20000]"));
  r = probe({"-", "freeunit", "20001"});
  EXPECT_EQ(r.err, box(kFatal, "File unit 20001 outside of range [1100,20000]"));
  r = probe({"-", "freeunit", "1100"});
  EXPECT_EQ(r.err, box(kFatal, "File unit 1100 already free"));
}

// A noted failure gives its reason to a report of its own file (or of one named after it)
// only, and once.
TEST(FileUnitReports, ReasonOnlyForTheFileThatFailed) {
  const struct {
    const char* noted;
    const char* reported;
    std::string reason;
  } cases[] = {
      {"a.dat", "a.dat", "Reason: No space left on device"},
      {"", "a.dat", "Reason: No space left on device"},
      {"a.dat.tmp", "a.dat", "Reason: a.dat.tmp: No space left on device"},
      {"other.dat", "a.dat", ""},
      {"a.datx", "a.dat", ""},
      {"a.dat", "", "Reason: a.dat: No space left on device"},
  };
  for (const auto& c : cases) {
    notesystemerror(ENOSPC, c.noted);
    EXPECT_EQ(systemreason(c.reported), c.reason) << c.noted << " " << c.reported;
    EXPECT_EQ(systemreason(c.reported), "");
  }
}

TEST(StatusText, TableAndUnknownCodes) {
  EXPECT_EQ(statustext(-2), "End-of-record encountered on read");
  EXPECT_EQ(statustext(603), "Number of open files allowed by OS exceeded");
  EXPECT_EQ(statustext(0), "");
  EXPECT_EQ(statustext(151), "");
}

// A stop signal ignored when the run began stays ignored (nohup, a script's background run), and
// a closing terminal's two SIGHUPs (the kernel's and the shell's) are one request to stop; another
// signal after a SIGHUP is a second request.
TEST(StopSignals, IgnoredOnesStayIgnoredAndAHangUpTwiceIsOneRequest) {
  struct Case {
    bool ignored;  // SIGHUP ignored when the run began
    int sent;      // SIGHUPs sent
    int status;    // 1: the check does not stop the run, 2: it stops it by SIGHUP, 128 + N: ended by signal N
    bool again = false;  // one more while the stop is reported
    int then = 0;        // a signal sent after them
  };
  for (const Case c : {Case{true, 1, 1}, Case{false, 2, 2}, Case{false, 1, 2, true},
                       Case{false, 1, 128 + SIGTERM, false, SIGTERM}}) {
    SCOPED_TRACE(c.sent);
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::dup2(null, 1);
      if (c.ignored) ::signal(SIGHUP, SIG_IGN);
      catchstopsignals();
      for (int i = 0; i < c.sent; ++i) ::raise(SIGHUP);
      if (c.then != 0) ::raise(c.then);
      try {
        checkstop();
      } catch (const RunStopped& stop) {
        if (c.again) ::raise(SIGHUP);
        _exit(stop.signal == SIGHUP ? 2 : 4);
      }
      _exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), c.status) << status;
  }
}

// A stop signal is only noted: the run stops at its next check, and the stop carries the
// signal. A second one, or one while an error report stops the run, ends the process at once.
TEST(StopSignals, FirstStopsAtTheNextCheckAnotherEndsAtOnce) {
  enum Before { signalled, checked, errorreport };
  const auto child = [](Before before) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::dup2(null, 1);
      catchstopsignals();
      try {
        if (before == errorreport) fatalerror("a fault");
        ::raise(SIGTERM);
        if (before == checked) {
          checkstop();
          _exit(3);  // the check must stop the run
        }
      } catch (const RunStopped& stop) {
        if (before == checked && (stop.signal != SIGTERM || stop.exitstatus != 128 + SIGTERM)) _exit(4);
      }
      ::raise(SIGINT);
      _exit(5);  // not reached
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  };
  for (const Before before : {signalled, checked, errorreport}) {
    SCOPED_TRACE(before);
    const int status = child(before);
    EXPECT_TRUE(WIFSIGNALED(status)) << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
  }
}

}  // namespace
}  // namespace kelpra
