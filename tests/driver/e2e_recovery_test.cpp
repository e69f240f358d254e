// Whole runs after runs that were stopped, killed or could not write: append series that
// never repeat or lose an output time, data sets that a failed write leaves as they were,
// linked data sets, and the reports of such runs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/driver/e2e_kit.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

// A model whose append series holds the times 1 and 2.
struct Series : Model {
  Series() {
    heads(1, 1.0);
    heads(2, 2.0);
    control(std::string(kAppendControl) + std::string(kDomainBlocks));
    EXPECT_EQ(run().exitstatus, 0);
  }
  void binaryrun() const { control("tecplot binary mode\nend\n" + std::string(kDomainBlocks)); }
  void appendrun() const { control(std::string(kAppendControl) + std::string(kDomainBlocks)); }
};

const std::string kStoredTwo = "The append file abco.tec_append names output time 0002 as the last one written, but "
                               "the temporary files of the data sets end at output time 0003.\n"
                               "The run goes by the temporary files: it continues after output time 0003.\n";

// Whatever came between, the next append run continues after the last zone of the temporary
// files, so the data sets hold every time once.
TEST(E2eRecovery, AppendRunContinuesWhatItsTemporaryFilesHold) {
  struct Case {
    const char* name;
    void (*between)(const Series&);  // runs with time 3 there and time 4 broken or missing
    const char* warning;
  };
  const Case cases[] = {
      {"a binary run without append mode stopped at time 4",
       [](const Series& m) {
         m.binaryrun();
         writefile(m.dir / "abco.head_pm.0004", "no result file");
         EXPECT_EQ(m.run().exitstatus, 1);
       },
       kStoredTwo.c_str()},
      {"an append run ended between its flush and the index",
       [](const Series& m) {
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.tec_append", appendrecord(2));
       },
       kStoredTwo.c_str()},
      {"an append run that could not write the index",
       [](const Series& m) {
         fs::create_directory(m.dir / "abco.tec_append.tmp");
         const ProcessResult r = m.run();
         EXPECT_EQ(r.exitstatus, 0);
         const std::string warning = "Failed to write the last output-time index 0003 to the append file: "
                                     "abco.tec_append\nReason: abco.tec_append.tmp: Is a directory\n";
         EXPECT_TRUE(has(r.err, warning)) << r.err;
         EXPECT_TRUE(has(m.file("abco.kelpra.eco"), warning));
         fs::remove(m.dir / "abco.tec_append.tmp");
       },
       kStoredTwo.c_str()},
      {"an append run killed while it waits for time 4",
       [](const Series& m) {
         const HeldRun held(m, m.dir / "abco.head_pm.0004");
         EXPECT_TRUE(held.waiting());
         fs::remove(m.dir / "abco.head_pm.0004");
       },
       ""},
      {"an append file naming an output time whose files are gone",
       [](const Series& m) { writefile(m.dir / "abco.tec_append", appendrecord(7)); },
       "The append file abco.tec_append names output time 0007 as the last one written, but the temporary files of "
       "the data sets end at output time 0002.\n"},
      {"an append run stopped by a time stamp that is no number",
       [](const Series& m) {
         m.writer.result_r8("head", "pm", 3, "soon heads", m.pmheads(3));
         m.writer.result_r8("head", "olf", 3, "soon heads", m.olfheads(3));
         EXPECT_EQ(m.run().exitstatus, 1);
         m.heads(3, 3.0);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Series model;
    model.heads(3, 3.0);
    model.appendrun();
    c.between(model);
    model.heads(4, 4.0);
    model.appendrun();
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 0) << r.err;
    EXPECT_TRUE(has(r.err, c.warning)) << r.err;
    EXPECT_EQ(has(r.err, "The append file"), *c.warning != '\0') << r.err;
    expecttimesonce(model, 4);
    EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));
  }
}

// Temporary files of the data sets that end at different times, or at a time no result file
// has, stop the run before any file changes.
TEST(E2eRecovery, TemporaryFilesThatDisagreeStopTheRun) {
  Series model;
  const std::string olfheader = model.file("abco.olf.szplt.szhdr");
  model.heads(3, 3.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  writefile(model.dir / "abco.olf.szplt.szhdr", olfheader);  // olf back at time 2
  model.heads(4, 4.0);
  const std::string pm = model.file("abco.pm.szplt"), olf = model.file("abco.olf.szplt");
  EXPECT_EQ(expectstopped(model, model.run(), kFatal),
            "The temporary files of the data sets end at different output times:\n"
            "  abco.pm.szplt.szhdr and abco.pm.szplt.szdat: 0003\n"
            "  abco.olf.szplt.szhdr and abco.olf.szplt.szdat: 0002\n"
            "No data set was changed. Move the temporary files (*.szplt.szhdr and .szdat) of every data set aside "
            "to write the data sets anew.");
  model.heads(2, 2.5);  // the time of olf's last zone is gone
  const std::string report = expectstopped(model, model.run(), kFatal);
  EXPECT_TRUE(has(report, "abco.olf.szplt.szdat end at the solution time 2, which no result file of the model has."))
      << report;
  // Damaged temporary files are refused, never set aside for a new series.
  writefile(model.dir / "abco.pm.szplt.szhdr", "damaged");
  writefile(model.dir / "abco.olf.szplt.szhdr", "damaged");
  EXPECT_TRUE(expectstopped(model, model.run(), kFatal)
                  .starts_with("Failed to append to the data set abco.pm.szplt: its temporary files "
                               "abco.pm.szplt.szhdr and abco.pm.szplt.szdat are damaged.\nThe append series goes on "
                               "after output time 0003.\n"));
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr.old"));
  EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
  EXPECT_TRUE(model.file("abco.olf.szplt") == olf);
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(3));
}

// An append data set that cannot be put together ends the run with exit status 1 and keeps its
// temporary files; the next append run, with nothing new, puts it together from them.
TEST(E2eRecovery, AppendDataSetThatCannotBePutTogether) {
  Series model;
  fs::remove(model.dir / "abco.pm.szplt");
  fs::create_directory(model.dir / "abco.pm.szplt");
  model.heads(3, 3.0);
  const std::string report = expectstopped(model, model.run(), kFatal);
  EXPECT_TRUE(has(report, "Tecplot close file for pm domain: abco.pm.szplt could not be written.\n"
                          "Reason: Is a directory\n"
                          "Its temporary files abco.pm.szplt.szhdr and abco.pm.szplt.szdat hold every output time "
                          "written; the next append run puts abco.pm.szplt together from them."))
      << report;
  fs::remove(model.dir / "abco.pm.szplt");
  const std::string olf = model.file("abco.olf.szplt");
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "No more data to append\n"));
  EXPECT_TRUE(has(r.err, "The data set abco.pm.szplt did not hold what its temporary files hold"));
  EXPECT_FALSE(has(r.err, "abco.olf.szplt did not hold"));
  EXPECT_TRUE(model.file("abco.olf.szplt") == olf);
  expecttimesonce(model, 3);
}

// Caps the size of the files the processes started meanwhile may write.
class FileSizeCap {
 public:
  explicit FileSizeCap(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit cap = saved_;
    cap.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &cap);
  }
  ~FileSizeCap() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeCap(const FileSizeCap&) = delete;
  FileSizeCap& operator=(const FileSizeCap&) = delete;

 private:
  rlimit saved_{};
};

// A write that fails never replaces the earlier data set, and the report says why and what
// was kept.
TEST(E2eRecovery, FailedWriteKeepsTheEarlierDataSet) {
  Model model(12, 12, 4);
  model.heads(1, 1.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const std::string pm = model.file("abco.pm.dat");
  ASSERT_GT(pm.size(), 64000u);
  model.heads(2, 2.0);
  ProcessResult r;
  {
    const FileSizeCap cap(48000);
    r = model.run();
  }
  const std::string report = expectstopped(model, r, kFatal);
  EXPECT_TRUE(report.starts_with("Error writing file: abco.pm.dat\nReason: File too large\n")) << report;
  EXPECT_TRUE(has(report, "\n\nThe earlier abco.pm.dat is kept: a write to it failed, and what this run wrote of it "
                          "is removed.\nabco.olf.dat is left as an earlier run wrote it: this run stopped before "
                          "writing to it."))
      << report;
  EXPECT_TRUE(model.file("abco.pm.dat") == pm);
  EXPECT_FALSE(model.exists("abco.pm.dat.tmp"));
}

// A data set whose name is a symbolic link is written where the link points, beside its
// target; the link stays.
TEST(E2eRecovery, LinkedDataSetsStayLinks) {
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "ASCII");
    Model model;
    model.heads(1, 1.0);
    model.control((binary ? "tecplot binary mode\nend\n" : "end\n") + std::string(kDomainBlocks));
    const std::string name = binary ? "abco.pm.szplt" : "abco.pm.dat";
    fs::create_directory(model.dir / "disk");
    writefile(model.dir / "disk" / "pm", "earlier");
    fs::create_symlink("disk/pm", model.dir / name);
    struct stat before {};
    ::stat((model.dir / "disk" / "pm").c_str(), &before);
    ASSERT_EQ(model.run().exitstatus, 0);
    EXPECT_TRUE(fs::is_symlink(model.dir / name));
    // The target was replaced by a complete successor, not written over in place.
    struct stat after {};
    ::stat((model.dir / "disk" / "pm").c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);
    const std::string written = model.file("disk/pm");
    EXPECT_TRUE(binary ? readdataset(model.dir / name).zones.size() == 1 : written.starts_with("TITLE = "));
    EXPECT_FALSE(model.exists(name + ".tmp"));
    EXPECT_FALSE(model.exists(name + ".new"));
    EXPECT_FALSE(fs::exists(model.dir / "disk" / "pm.tmp"));
  }
}

// A run without a data set says why; a failing open names the file and the system's reason;
// an append run whose window takes no output time up to the index width is the window error.
TEST(E2eRecovery, RunsThatWriteNothingSaySo) {
  Model model;
  model.heads(1, 1.0);
  model.control("end\nwrite pm domian file\nend\n");
  const ProcessResult none = model.run();
  EXPECT_EQ(none.exitstatus, 0) << none.err;
  const std::string why =
      "No data set was written: the plot control file abc.plot.control switches on no domain of the model.\n"
      "A domain is written by its block \"write <domain> domain file\" ... \"end\"; the model's domains are pm, "
      "olf.\n";
  EXPECT_TRUE(has(none.err, why)) << none.err;
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), why));

  model.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks));
  fs::create_directory(model.dir / "abco.pm.szplt.szhdr.new");
  EXPECT_EQ(expectstopped(model, model.run(), kFatal),
            "Failed to open file: abco.pm\nReason: abco.pm.szplt.szhdr.new: Is a directory\nError number: 4");
  fs::remove(model.dir / "abco.pm.szplt.szhdr.new");
  fs::remove(model.dir / "abco.pm.szplt.szdat");  // left by the failed open

  for (int i = 2; i <= 9999; ++i) model.writer.result_r8("head", "pm", i, "1 heads", model.pmheads(1));
  model.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n100 200\nend\n" +
                std::string(kDomainBlocks));
  EXPECT_TRUE(has(expectstopped(model, model.run(), kInput),
                  "No output time lies in the time window of \"truncate time domain\" (100 to 200)."));
  EXPECT_FALSE(model.exists("abco.tec_append"));
}

}  // namespace
}  // namespace kelpra
