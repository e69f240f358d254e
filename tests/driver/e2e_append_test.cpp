// Whole runs in append mode: each run continues its data sets after the stored output time,
// says what it does and writes every output time once, also after a run stopped or killed
// midway; a run that cannot continue a data set changes none.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/driver/e2e_kit.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/savedheader.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

// ---- Append mode ---------------------------------------------------------------------------

class E2eAppendMode : public ::testing::Test {
 protected:
  void SetUp() override {
    model.heads(1, 1.0);
    model.heads(2, 2.0);
    model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
    run1 = model.run();
    afterrun1 = readdataset(model.dir / "abco.pm.szplt");
    model.heads(3, 3.0);
    model.heads(4, 4.0);
    run2 = model.run();
  }
  Model model;
  ProcessResult run1, run2;
  TecplotFile afterrun1;
};

TEST_F(E2eAppendMode, EachRunStartsAfterTheStoredIndex) {
  EXPECT_EQ(run1.exitstatus, 0) << run1.err;
  EXPECT_EQ(run2.exitstatus, 0) << run2.err;
  const std::string start1 = "\nAppending to Tecplot output\nStarting at time index 0001\n\n";
  EXPECT_TRUE(has(run1.out, start1));
  EXPECT_TRUE(has(run1.out, "\nTime 0001: 1\nTime 0002: 2\nWarning: No output file found with extension: 0003\n\n"));
  EXPECT_TRUE(has(run2.out, "\nAppending to Tecplot output\nStarting at time index 0003\n\n"));
  EXPECT_TRUE(has(run2.out,
                  "\nTime 0003: 3\nTime 0004: 4\nWarning: No output file found with extension: 0005\n\n"));
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "Starting at time index 0003\n"));
  // Append mode only flushes at the end: no closing message.
  EXPECT_FALSE(has(run1.out, "Closing tecplot file"));
  EXPECT_FALSE(has(run2.out, "Closing tecplot file"));
  EXPECT_FALSE(has(run2.err, "temporary files found"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));
}

TEST_F(E2eAppendMode, NothingNewLeavesEverythingAsItWas) {
  struct stat before {};
  ::stat((model.dir / "abco.pm.szplt").c_str(), &before);
  const ProcessResult run3 = model.run();
  EXPECT_EQ(run3.exitstatus, 0) << run3.err;
  EXPECT_TRUE(has(run3.out,
                  "Starting at time index 0005\n\nWarning: No output file found with extension: 0005\n"
                  "No more data to append\n\n" + kNormalExit));
  EXPECT_FALSE(has(run3.out, "Creating tecplot file"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));
  // The data set already holds what its temporary files hold: it is not written again.
  struct stat after {};
  ::stat((model.dir / "abco.pm.szplt").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(E2eAppendMode, DataSetHoldsEveryTimeOnce) {
  // Every append run leaves a readable data set and keeps the writer's temporary files for
  // the next one to continue.
  ASSERT_EQ(afterrun1.zones.size(), 2U);
  EXPECT_EQ(afterrun1.zones[1].solutiontime, 2.0);
  EXPECT_TRUE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(model.exists("abco.olf.szplt.szhdr"));
  const TecplotFile pm = readdataset(model.dir / "abco.pm.szplt");
  ASSERT_EQ(pm.zones.size(), 4U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(pm.zones[i].solutiontime, static_cast<double>(i + 1));
    EXPECT_EQ(pm.zones[i].values[7], model.pmheads(static_cast<int>(i + 1))) << "zone " << i + 1;
    EXPECT_EQ(pm.zones[i].values[0], model.pm.x) << "zone " << i + 1;
    EXPECT_EQ(pm.zones[i].connectivity, afterrun1.zones[0].connectivity) << "zone " << i + 1;
  }
  const TecplotFile olf = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(olf.zones.size(), 4U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(olf.zones[i].solutiontime, static_cast<double>(i + 1));
    EXPECT_EQ(olf.zones[i].values[5], model.olfheads(static_cast<int>(i + 1))) << "zone " << i + 1;
  }
}

TEST_F(E2eAppendMode, RunWithoutAppendMovesTheLeftOversAsideAndStartsAfresh) {
  model.control(std::string("tecplot binary mode\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err,
                  "Tecplot szplt temporary files found (abco.pm.szplt.szhdr, etc.)\n"
                  "They are moved aside to abco.pm.szplt.szhdr.old and abco.pm.szplt.szdat.old; the data set is "
                  "written anew.\n"));
  EXPECT_TRUE(has(r.err, "Tecplot szplt temporary files found (abco.olf.szplt.szhdr, etc.)\n"));
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(model.exists("abco.pm.szplt.szdat.old"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));  // neither read nor written
  expecttimesonce(model, 4);

  // A second append series and normal run keep the first pair and set theirs aside beside it;
  // a lone temporary takes the suffix of a pair no other file holds.
  const std::string firstheader = model.file("abco.pm.szplt.szhdr.old");
  fs::remove(model.dir / "abco.tec_append");
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  model.control(std::string("tecplot binary mode\nend\n") + std::string(kDomainBlocks));
  EXPECT_TRUE(has(model.run().err, "They are moved aside to abco.pm.szplt.szhdr.old2 and abco.pm.szplt.szdat.old2;"));
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old"), firstheader);
  writefile(model.dir / "abco.pm.szplt.szdat", "zones");
  const ProcessResult lone = model.run();
  EXPECT_TRUE(has(lone.err,
                  "Tecplot szplt temporary file found (abco.pm.szplt.szdat)\n"
                  "It is moved aside to abco.pm.szplt.szdat.old3; the data set is written anew.\n"))
      << lone.err;
  EXPECT_EQ(model.file("abco.pm.szplt.szdat.old3"), "zones");
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr.old3"));
}

// A pair set aside takes one suffix that neither of its files holds, and so does a lone file: a
// lone data file set aside before makes both files of the next pair ".old2", and a lone header
// after them ".old3". A special plot's temporary files are set aside as well, a link to nothing
// among them.
TEST(E2eAppend, SetAsidePairSharesOneSuffix) {
  Model model;
  model.heads(1, 1.0);
  model.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks) + "plot pm depth below ground surface\n");
  writefile(model.dir / "abco.pm.szplt.szdat", "lone data");
  writefile(model.dir / "abco.pm_DepthToSurf.szplt.szdat", "plot zones");
  fs::create_symlink("gone", model.dir / "abco.pm_DepthToSurf.szplt.szhdr");
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_EQ(model.file("abco.pm.szplt.szdat.old"), "lone data");
  EXPECT_EQ(model.file("abco.pm_DepthToSurf.szplt.szdat.old"), "plot zones");
  EXPECT_TRUE(fs::is_symlink(model.dir / "abco.pm_DepthToSurf.szplt.szhdr.old"));
  writefile(model.dir / "abco.pm.szplt.szhdr", "header");
  writefile(model.dir / "abco.pm.szplt.szdat", "zones");
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old2"), "header");
  EXPECT_EQ(model.file("abco.pm.szplt.szdat.old2"), "zones");
  writefile(model.dir / "abco.pm.szplt.szhdr", "lone header");
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old3"), "lone header");
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr.old"));
}

TEST(E2eAppend, AppendWithoutBinaryModeIsIgnored) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("tecplot binary append\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_FALSE(has(r.out, "Appending to Tecplot output"));
  EXPECT_FALSE(model.exists("abco.tec_append"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 1U);
}

// An append run says what it does: which data sets it continues and after which output time,
// that it appended nothing only where it did not, why a window took no new output time, and
// whose values stand in for a result file missing at its first output time.
TEST(E2eAppend, RunsSayWhatTheyDo) {
  struct Case {
    std::string name;
    std::string window;  // global lines of the second run
    int added;           // new output times
    bool withpm;         // pm has result files at them
    std::vector<std::string> said, unsaid;
    bool olfgone = false;  // olf's data set and its temporary files are gone
  };
  const Case cases[] = {
      {"continued", "", 1, true,
       {"Continuing tecplot file abco.pm after output time 0002\n",
        "Continuing tecplot file abco.olf after output time 0002\n", "Time 0003"},
       {"Creating tecplot file", "No more data to append", "after the other data sets"}},
      {"nothing new", "", 0, true, {"No more data to append"}, {"No new output time"}},
      {"nothing new, olf's data set gone", "", 0, true,
       {"No more data to append",
        "The data set abco.olf.szplt and its temporary files do not exist.\nThe next output time, 0003, starts it; "
        "this run has no new output time to write."},
       {},
       true},
      {"a window that takes no new time", "truncate time domain\n100 200\n", 2, true,
       {"No more data to append",
        "No new output time lies in the time window of \"truncate time domain\" (100 to 200): the new output times "
        "0003 to 0004 (times 3 to 4) lie outside it.\nThe data sets are left as they are."},
       {}},
      {"a pm result file missing", "", 1, false,
       {"Warning: file not found -> appending at time index 0001",
        "A result file of output time 0003 does not exist:\n  abco.head_pm.0003\nIts variables take the values of "
        "output time 0001 (abco.head_pm.0001) in the zone of output time 0003."},
       {"No more data to append"}},
      {"a pm result file missing, the window beginning at a stored output time's time",
       "truncate time domain\n2 10\n", 1, false,
       {"Warning: file not found -> appending at time index 0002",
        "Its variables take the values of output time 0002 (abco.head_pm.0002) in the zone of output time 0003."},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    writeseries(model);
    if (HasFatalFailure()) return;
    for (int i = 3; i < 3 + c.added; ++i) model.heads(i, i, c.withpm);
    if (c.olfgone) {
      for (const char* name : {"abco.olf.szplt", "abco.olf.szplt.szhdr", "abco.olf.szplt.szdat"}) {
        fs::remove(model.dir / name);
      }
    }
    model.control("tecplot binary mode\ntecplot binary append\n" + c.window + "end\n" + std::string(kDomainBlocks));
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 0) << r.err;
    const std::string text = r.out + r.err;
    for (const std::string& s : c.said) EXPECT_TRUE(has(text, s)) << s << "\n" << text;
    for (const std::string& s : c.unsaid) EXPECT_FALSE(has(text, s)) << s << "\n" << text;
  }
}

// The special plots of an append run are written whole each time: no temporary files of theirs
// are kept for a next run.
TEST(E2eAppend, SpecialPlotsAreWrittenWhole) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks) +
                "plot pm zone isopach structure\nplot pm depth below ground surface\n");
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(model.run().exitstatus, 0);
    for (const char* name : {"abco.pm_Isopach.szplt", "abco.pm_DepthToSurf.szplt"}) {
      EXPECT_TRUE(model.exists(name)) << name;
      EXPECT_FALSE(model.exists(std::string(name) + ".szhdr")) << name;
    }
  }
}

// The warning of an "olf" data set new to an append series, which holds one zone at the time.
void expectwrittenanew(const ProcessResult& r, const Model& model, const std::string& index, double time) {
  EXPECT_TRUE(has(r.err,
                  "The data set abco.olf.szplt and its temporary files do not exist.\n"
                  "The data set is written anew from output time " + index + ".\n"))
      << r.err;
  const TecplotFile f = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(f.zones.size(), 1u);
  EXPECT_EQ(f.zones[0].solutiontime, time);
}

// A data set new to an append series starts where this run's set-up happens, also when the
// time window passes over the first output time after the stored one.
TEST(E2eAppend, NewDataSetStartsAtTheFirstTimeInTheWindow) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string(kAppendControl) + "write pm domain file\nend\n");
  ASSERT_EQ(model.run().exitstatus, 0);
  model.heads(2, 2.0);
  model.heads(3, 3.0);
  model.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n2.5 10\nend\n" +
                std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  expectwrittenanew(r, model, "0003", 3.0);
}

// An output-time index past what the index width holds ends the loop with a warning and a
// normal exit, so the data sets written so far are complete. The series reaches 9998 with the
// earlier result files deleted, as its temporary files record.
TEST(E2eIndexWidth, LastIndexOfTheWidthEndsTheRunNormally) {
  Model model;
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  model.heads(1, 5.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  fs::remove(model.dir / "abco.head_pm.0001");
  fs::remove(model.dir / "abco.head_olf.0001");
  for (const char* name : {"abco.pm.szplt.szhdr", "abco.olf.szplt.szhdr"}) {
    testkit::SavedHeader header;
    ASSERT_TRUE(testkit::readsavedheader(model.dir / name, header));
    header.zones.at(0).outputindex = 9998;
    testkit::writesavedheader(model.dir / name, header);
  }
  testkit::writefile(model.dir / "abco.tec_append", appendrecord(9998));
  // Without output time 9999 nothing is new; the index after it, past the width, is not sought.
  const ProcessResult none = model.run();
  EXPECT_EQ(none.exitstatus, 0) << none.err;
  EXPECT_TRUE(has(none.out, "No more data to append")) << none.out;
  model.heads(9999, 6.0);
  // A window that passes over the last output time the width holds leaves the series as it is.
  const std::string pm = model.file("abco.pm.szplt");
  model.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n100 200\nend\n" +
                std::string(kDomainBlocks));
  const ProcessResult passed = model.run();
  EXPECT_EQ(passed.exitstatus, 0) << passed.err;
  EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Starting at time index 9999\n"));
  EXPECT_TRUE(has(r.out, "Time 9999: 6\n"));
  EXPECT_FALSE(has(r.err, "WARNING MESSAGE ***\n*********************************\n\nThe append file"));
  EXPECT_TRUE(has(r.err, "Output-time index 10000 does not fit in 4 digits: later output times are not read."));
  EXPECT_TRUE(has(r.out, "---- Normal exit ----"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(9999));
  const TecplotFile f = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(f.zones.size(), 2u);
  EXPECT_EQ(f.zones[1].solutiontime, 6.0);
}

// ---- Runs stopped or killed midway ---------------------------------------------------------

TEST(E2eAppendStops, StopInTheMiddleOfATimeLeavesNoZoneTwice) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  EXPECT_EQ(model.run().exitstatus, 0);
  // "pm" takes time 3, then the "olf" values of time 3 end short and stop the run.
  model.heads(3, 3.0);
  const fs::path olf3 = model.dir / "abco.head_olf.0003";
  fs::resize_file(olf3, fs::file_size(olf3) - 8);
  EXPECT_EQ(model.run().exitstatus, 1);
  model.heads(3, 3.0);
  EXPECT_EQ(model.run().exitstatus, 0);
  expecttimesonce(model, 3);
}

TEST(E2eAppendStops, KillBetweenFlushesLosesNoTime) {
  Model model;
  for (int i = 1; i <= 3; ++i) model.heads(i, i);
  model.control("tecplot binary mode\ntecplot binary flush interval\n2\ntecplot binary append\nend\n" +
                std::string(kDomainBlocks));
  // The run waits at the pipe of time 4 once times 1 to 3 are written, time 3 not yet flushed.
  const fs::path pipe = model.dir / "abco.head_pm.0004";
  HeldRun held(model, pipe);
  ASSERT_TRUE(held.waiting());
  held.kill();
  fs::remove(pipe);
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(2));
  // The run ends inside a flush interval, after output time 5: its close flushes it, and the
  // append file names it.
  model.heads(4, 4.0);
  model.heads(5, 5.0);
  EXPECT_EQ(model.run().exitstatus, 0);
  expecttimesonce(model, 5);
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(5));
}

// A run without append mode after a killed one writes every time once, not after the zones
// the killed run left in its temporary files, which it deletes: they say they are of a run
// without append mode, so no series needs them.
TEST(E2eAppendStops, RunAfterAKilledRunStartsAfresh) {
  Model model;
  for (int i = 1; i <= 2; ++i) model.heads(i, i);
  model.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks));
  const fs::path pipe = model.dir / "abco.head_pm.0003";
  {
    HeldRun held(model, pipe);
    ASSERT_TRUE(held.waiting());
  }
  fs::remove(pipe);
  ASSERT_TRUE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "Time 0002: 2\n"));  // each line is written at once
  model.heads(3, 3.0);
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err, "Tecplot szplt temporary files found (abco.pm.szplt.szhdr, etc.), left by a run without "
                         "append mode.\nThey are deleted; the data set is written anew."))
      << r.err;
  for (const auto& entry : fs::directory_iterator(model.dir.path())) {
    EXPECT_FALSE(entry.path().filename().string().find(".old") != std::string::npos) << entry.path();
  }
  expecttimesonce(model, 3);
}

// An append run that cannot continue a data set stops before it changes any: the data sets
// stay byte for byte as the earlier run left them.
TEST(E2eAppendStops, MissingOrOtherTemporariesStopBeforeAnyDataSetChanges) {
  struct Case {
    const char* name;
    std::vector<std::string> removed;
    const char* olfline;  // an olf instruction of the second run
    const char* reason;
  };
  const Case cases[] = {
      {"pm temporaries gone", {"abco.pm.szplt.szhdr", "abco.pm.szplt.szdat"}, "",
       "abco.pm.szplt: its temporary files abco.pm.szplt.szhdr and abco.pm.szplt.szdat are missing."},
      {"olf data gone", {"abco.olf.szplt.szdat"}, "",
       "abco.olf.szplt: its temporary file abco.olf.szplt.szdat is missing."},
      {"olf of other variables", {}, "no olf heads\n",
       "abco.olf.szplt: its temporary files abco.olf.szplt.szhdr and abco.olf.szplt.szdat hold a data set of "
       "other variables."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    writeseries(model);
    if (HasFatalFailure()) return;
    for (const std::string& name : c.removed) fs::remove(model.dir / name);
    const std::string pm = model.file("abco.pm.szplt"), olf = model.file("abco.olf.szplt");
    model.heads(3, 3.0);
    model.control(std::string(kAppendControl) + "write pm domain file\nend\nwrite olf domain file\n" + c.olfline +
                  "end\n");
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 1);
    EXPECT_TRUE(has(r.err, std::string("Failed to append to the data set ") + c.reason +
                               "\nThe append series goes on after output time 0002.\nMove "))
        << r.err;
    EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
    EXPECT_TRUE(model.file("abco.olf.szplt") == olf);
    EXPECT_EQ(model.file("abco.tec_append"), appendrecord(2));
  }
}

// A killed ASCII run leaves the earlier data set whole beside its own temporary file, which
// the next run replaces.
TEST(E2eAsciiStops, KilledRunLeavesTheEarlierDataSetWhole) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const std::string pm = model.file("abco.pm.dat"), olf = model.file("abco.olf.dat");
  ASSERT_EQ(model.dat("abco.pm.dat").zones.size(), 2u);
  const fs::path pipe = model.dir / "abco.head_pm.0003";
  {
    HeldRun held(model, pipe);
    ASSERT_TRUE(held.waiting());
  }
  fs::remove(pipe);
  EXPECT_EQ(model.file("abco.pm.dat"), pm);
  EXPECT_EQ(model.file("abco.olf.dat"), olf);
  EXPECT_TRUE(model.exists("abco.pm.dat.tmp"));
  model.heads(3, 3.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_FALSE(model.exists("abco.pm.dat.tmp"));
  EXPECT_FALSE(model.exists("abco.olf.dat.tmp"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 3u);
  // An error stop puts what was written in place, but never in place of more: "pm" holds time
  // 3; "olf", stopped before it, keeps the earlier data set of three.
  const std::string olfthree = model.file("abco.olf.dat");
  const fs::path olf3 = model.dir / "abco.head_olf.0003";
  fs::resize_file(olf3, fs::file_size(olf3) - 8);
  ASSERT_EQ(model.run().exitstatus, 1);
  EXPECT_FALSE(model.exists("abco.pm.dat.tmp"));
  EXPECT_FALSE(model.exists("abco.olf.dat.tmp"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 3u);
  EXPECT_EQ(model.file("abco.olf.dat"), olfthree);
}

}  // namespace
}  // namespace kelpra
