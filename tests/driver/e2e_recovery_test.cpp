// Whole runs after runs that were stopped, killed or could not write: append series that
// never repeat or lose an output time, data sets that a failed write leaves as they were,
// linked data sets, and the reports of such runs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/driver/e2e_kit.hpp"
#include "plot/tecio.hpp"
#include "tests/kit/savedheader.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

// A model whose append series holds the times 1 and 2.
struct Series : Model {
  explicit Series(std::int32_t cellsx = 2) : Model(cellsx) {
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

// The append series goes on with a comparison of pm's heads.
void comparing(const Series& m) {
  writefile(m.dir / "abc.observed_heads", "1\n0.5 0.5 0.5 3\n");
  m.control(std::string(kAppendControl) + "write pm domain file\ncompare heads 3d domain\n-1.0E+20 1.0E+20\n"
            "-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\nend\nwrite olf domain file\nend\n");
}

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
         const ProcessResult r = m.runinjected({"-P", "abco.tec_append.tmp", "-e", "inject=openat:error=EISDIR"});
         EXPECT_EQ(r.exitstatus, 0);
         const std::string warning = "Failed to write the last output-time index 0003 to the append file: "
                                     "abco.tec_append\nReason: abco.tec_append.tmp: Is a directory\n";
         EXPECT_TRUE(has(r.err, warning)) << r.err;
         EXPECT_TRUE(has(m.file("abco.kelpra.eco"), warning));
       },
       kStoredTwo.c_str()},
      {"an append run that could not write the record of its comparisons",
       [](const Series& m) {
         comparing(m);
         // Its lines are written at its close, to a descriptor that the tracer knows by its full path.
         const std::string record = (m.dir / "abco.compare_times.tmp").string();
         const ProcessResult r = m.runinjected({"-P", record, "-e", "inject=write:error=ENOSPC"});
         EXPECT_EQ(r.exitstatus, 0);
         EXPECT_TRUE(has(r.err, "Failed to write abco.compare_times, the record of the output time each comparison "
                                "file holds: ")) << r.err;
         EXPECT_FALSE(m.exists("abco.compare_times"));
       },
       ""},
      {"an append run killed while it waits for time 4",
       [](const Series& m) {
         const HeldRun held(m, m.dir / "abco.head_pm.0004");
         EXPECT_TRUE(held.waiting());
         fs::remove(m.dir / "abco.head_pm.0004");
       },
       ""},
      {"the first flush of a new series reached pm only, the append file gone",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.olf.szplt.szhdr", 1);
         fs::remove(m.dir / "abco.tec_append");
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

// The solution times of a data set's zones.
std::vector<double> timesof(const Model& model, const std::string& name) {
  std::vector<double> times;
  for (const auto& zone : readdataset(model.dir / name).zones) times.push_back(zone.solutiontime);
  return times;
}

// The temporary files of both data sets rewritten as `change` says.
template <class Change>
void rewriteheaders(const Model& model, Change change) {
  for (const char* name : {"abco.pm.szplt.szhdr", "abco.olf.szplt.szhdr"}) {
    testkit::SavedHeader header;
    ASSERT_TRUE(testkit::readsavedheader(model.dir / name, header));
    change(header);
    testkit::writesavedheader(model.dir / name, header);
  }
}

// The temporary files of both data sets rewritten in the layout of earlier versions.
void toearlierversion(const Model& model) {
  rewriteheaders(model, [](testkit::SavedHeader& header) {
    header.indexed = false;
    header.title = "E2E\tmodel";  // stored as it came
  });
}

// Every file of the series and its results removed: the model as it was before its first run.
void removeseries(const Model& m) {
  for (const auto& entry : fs::directory_iterator(m.dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("abco.pm.") || name.starts_with("abco.olf.") || name.starts_with("abco.head_") ||
        name == "abco.tec_append") {
      fs::remove(entry.path());
    }
  }
}

// An append series begun from the meshes alone: its first run found no result file.
// Removes the temporary files of both data sets and the files named.
void removetemporaries(const Model& m, std::initializer_list<const char*> more) {
  for (const char* name : {"abco.pm.szplt.szhdr", "abco.pm.szplt.szdat", "abco.olf.szplt.szhdr", "abco.olf.szplt.szdat"}) {
    fs::remove(m.dir / name);
  }
  for (const char* name : more) fs::remove(m.dir / name);
}

void meshesonlyseries(const Series& m) {
  removeseries(m);
  EXPECT_EQ(m.run().exitstatus, 0);
  EXPECT_FALSE(m.exists("abco.tec_append"));  // the series has not begun
}

// Output time 0003, whose result files the caller laid down, is written to both data sets; then
// the header of `behind` is put back: a run stopped between their flushes left the other ahead.
void flushahead(const Series& m, const std::string& behind) {
  const std::string header = m.file(behind + ".szplt.szhdr");
  EXPECT_EQ(m.run().exitstatus, 0);
  writefile(m.dir / (behind + ".szplt.szhdr"), header);
}

// The zones record their output times: time stamps that repeat or go back, a changed time
// conversion with the results gone, a stale or unreadable append file and temporary files out
// of step all end with each output time once in every data set.
TEST(E2eRecovery, AppendSeriesGoesByTheRecordedOutputTimes) {
  struct Case {
    const char* name;
    void (*between)(const Series&);
    std::vector<double> times;
    const char* warning;
    std::vector<double> olftimes = {};  // where they differ from pm's
  };
  const Case cases[] = {
      {"two output times share a time stamp, the append file missing",
       [](const Series& m) {
         m.heads(3, 2.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         fs::remove(m.dir / "abco.tec_append");
         m.heads(4, 4.0);
       },
       {1, 2, 2, 4},
       "The append file abco.tec_append does not exist, but the temporary files of the data sets end at output time "
       "0003."},
      {"a restarted simulation whose time goes back",
       [](const Series& m) {
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(4, 1.0);
         m.heads(5, 5.0);
         writefile(m.dir / "abco.tec_append", appendrecord(2));
       },
       {1, 2, 3, 1, 5},
       "names output time 0002 as the last one written, but the temporary files of the data sets end at output time "
       "0003."},
      {"result files deleted after the conversion, new ones added",
       [](const Series& m) {
         for (const char* name : {"abco.head_pm.0001", "abco.head_olf.0001", "abco.head_pm.0002", "abco.head_olf.0002"}) {
           fs::remove(m.dir / name);
         }
         m.heads(3, 3.0);
       },
       {1, 2, 3}, ""},
      {"temporary files of an earlier version, the append file agreeing",
       [](const Series& m) {
         toearlierversion(m);
         m.heads(3, 3.0);
       },
       {1, 2, 3}, ""},
      {"temporary files of the second layout",
       [](const Series& m) {
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.sourced = false; });
         m.heads(3, 3.0);
       },
       {1, 2, 3}, ""},
      {"temporary files of the third layout",
       [](const Series& m) {
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.origins = false; });
         m.heads(3, 3.0);
       },
       {1, 2, 3}, ""},
      {"an append file that is a FIFO",
       [](const Series& m) {
         fs::remove(m.dir / "abco.tec_append");
         ::mkfifo((m.dir / "abco.tec_append").c_str(), 0600);
         m.heads(3, 3.0);
       },
       {1, 2, 3},
       "Failed to write the last output-time index 0003 to the append file: abco.tec_append\nReason: it is a FIFO"},
      {"a run killed between the data sets' header renames",
       [](const Series& m) {
         const std::string olf = m.file("abco.olf.szplt.szhdr");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.szplt.szhdr", olf);
         m.heads(4, 4.0);
       },
       {1, 2, 3, 4},
       "The data set abco.pm.szplt ended at output time 0003, after the other data sets: a run was stopped between "
       "their flushes.\nIts output time 0003 is dropped from its temporary files; this run writes it again."},
      {"the first flush of a new series reached pm only, nothing new since",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.olf.szplt.szhdr", 1);
         fs::remove(m.dir / "abco.tec_append");
       },
       {1, 2}, "Its output times 0001, 0002 are dropped from its temporary files; this run writes them again."},
      {"a run without append mode killed while it set pm up anew",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.pm.szplt.szhdr", 0);
         fs::remove(m.dir / "abco.pm.szplt.szdat");
         m.heads(3, 3.0);
       },
       {1, 2, 3}, "Its output times 0001, 0002 are dropped from its temporary files; this run writes them again."},
      {"a new series killed while it set pm up, over data sets written without append mode",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.pm.szplt.szhdr", 0);
         for (const char* name : {"abco.pm.szplt.szdat", "abco.olf.szplt.szhdr", "abco.olf.szplt.szdat"}) {
           fs::remove(m.dir / name);
         }
         m.heads(3, 3.0);
       },
       {1, 2, 3}, ""},
      {"a series of an earlier version, killed between its first header renames",
       [](const Series& m) {
         toearlierversion(m);
         const std::string olf = m.file("abco.olf.szplt.szhdr");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.szplt.szhdr", olf);
         writefile(m.dir / "abco.tec_append", appendrecord(2));
       },
       {1, 2, 3}, "Its output time 0003 is dropped from its temporary files; this run writes it again."},
      {"a series begun from the meshes alone, its first output time's files arrived since",
       [](const Series& m) {
         meshesonlyseries(m);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
       },
       {1, 2}, "Creating tecplot file abco.pm\n"},
      {"a series begun from the meshes alone by an earlier version, still without results once",
       [](const Series& m) {
         meshesonlyseries(m);
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.origins = false; });
         EXPECT_EQ(m.run().exitstatus, 0);
         EXPECT_EQ(readdataset(m.dir / "abco.pm.szplt").zones.size(), 1U);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
       },
       {1, 2}, ""},
      {"pm a flush ahead of olf in a zone without pm result files",
       [](const Series& m) {
         m.heads(3, 3.0, false, true);
         flushahead(m, "abco.olf");
       },
       {1, 2, 3}, "Its output time 0003 is dropped from its temporary files; this run writes it again."},
      {"pm a flush ahead of olf, the time window just that output time",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.olf");
         m.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n3 3\nend\n" +
                   std::string(kDomainBlocks));
       },
       {1, 2, 3}, "Its output time 0003 is dropped from its temporary files; this run writes it again."},
      {"olf a flush ahead of pm, the pm result file of that output time gone",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.pm");
         fs::remove(m.dir / "abco.head_pm.0003");
       },
       {1, 2, 3}, "The data set abco.olf.szplt ended at output time 0003, after the other data sets"},
      {"pm a flush ahead of olf, its result file of that output time with bytes after its last record",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.olf");
         writefile(m.dir / "abco.head_pm.0003", m.file("abco.head_pm.0003") + "tail");
       },
       {1, 2, 3}, "Its output time 0003 is dropped from its temporary files; this run writes it again."},
      {"pm a flush ahead of olf, the result files of that output time of the earlier layout",
       [](const Series& m) {
         const auto legacy = testkit::Layout::legacy;
         testkit::writeresult_r8(m.writer.resultpath("head", "pm", 3), "3 heads", m.pmheads(3), legacy);
         testkit::writeresult_r8(m.writer.resultpath("head", "olf", 3), "3 heads", m.olfheads(3), legacy);
         flushahead(m, "abco.olf");
       },
       {1, 2, 3}, "Its output time 0003 is dropped from its temporary files; this run writes it again."},
      {"a series of the meshes alone, frac's aperture among them, its temporary files gone before a run still "
       "without results",
       [](const Series& m) {
         m.writer.frac(m.pm, true, 36);  // its nodes numbered after olf's
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) + "write frac domain file\nend\n");
         meshesonlyseries(m);
         for (const auto& entry : fs::directory_iterator(m.dir.path())) {
           if (entry.path().extension() == ".szhdr" || entry.path().extension() == ".szdat") fs::remove(entry.path());
         }
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
       },
       {1, 2}, ""},
      {"pm of the meshes alone beside olf's output times, its mesh changed since",
       [](const Series& m) {
         meshesonlyseries(m);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
         m.control(std::string(kAppendControl) + "write olf domain file\nend\n");
         EXPECT_EQ(m.run().exitstatus, 0);
         m.appendrun();
         m.writer.pm(2, 2, 3, testkit::ElementKind::prisms);
         m.heads(3, 3.0);
       },
       {3}, "Creating tecplot file abco.pm\n", {1, 2, 3}},
      {"pm of the meshes alone beside olf's output times, nothing new",
       [](const Series& m) {
         meshesonlyseries(m);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
         m.control(std::string(kAppendControl) + "write olf domain file\nend\n");
         EXPECT_EQ(m.run().exitstatus, 0);
         m.appendrun();
       },
       {0}, "No more data to append\n", {1, 2}},
      {"pm's set-up killed before it recorded its output time, its data set gone",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.pm.szplt.szhdr", 0);
         fs::remove(m.dir / "abco.pm.szplt");
         fs::remove(m.dir / "abco.pm.szplt.szdat");
         m.heads(3, 3.0);
       },
       {3}, "", {1, 2, 3}},
      {"a series of one zone of an earlier version, a pm result file missing since",
       [](const Series& m) {
         removeseries(m);
         m.heads(1, 1.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         toearlierversion(m);
         m.heads(2, 2.0);
         m.heads(3, 3.0, false, true);
       },
       {1, 2, 3}, "repeat the values of output time 0001 (zone 1) in zone 3 of the pm data set."},
      {"pm new to the series a flush after olf's end, taken back to no zone",
       [](const Series& m) {
         removeseries(m);
         m.heads(1, 1.0);
         m.control(std::string(kAppendControl) + "write olf domain file\nend\n");
         EXPECT_EQ(m.run().exitstatus, 0);
         const std::string olf = m.file("abco.olf.szplt.szhdr");
         m.heads(2, 2.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         m.appendrun();
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.szplt.szhdr", olf);
         m.heads(4, 4.0, false, true);
       },
       {2, 3, 4}, "repeat the values of output time 0002 (zone 1) in zone 3 of the pm data set.", {1, 2, 3, 4}},
      {"a data set with bytes added after its end, nothing new",
       [](const Series& m) { writefile(m.dir / "abco.olf.szplt", m.file("abco.olf.szplt") + "more"); },
       {1, 2}, "The data set abco.olf.szplt did not hold what its temporary files hold"},
      {"a series of the meshes alone with the depth below ground surface, still without results once",
       [](const Series& m) {
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) + "plot pm depth below ground surface\n");
         meshesonlyseries(m);
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
       },
       {1, 2}, ""},
      // The time stamp of an output time comes from the root whose file gave the one before.
      {"output time 0003 of pm alone, 0004's olf heads stamped otherwise",
       [](const Series& m) {
         m.heads(3, 3.0, true, false);
         m.heads(4, 4.0);
         m.writer.result_r8("head", "olf", 4, "99 heads", m.olfheads(4));
       },
       {1, 2, 3, 4}, ""},
      {"a title holding a tab",
       [](const Series& m) {
         m.writer.gen({"E2E\tmodel"});
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(4, 4.0);
       },
       {1, 2, 3, 4}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Series model;
    c.between(model);
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 0) << r.err;
    EXPECT_TRUE(has(r.out + r.err, c.warning)) << r.out << r.err;
    EXPECT_EQ(timesof(model, "abco.pm.szplt"), c.times);
    const std::vector<double>& olftimes = c.olftimes.empty() ? c.times : c.olftimes;
    EXPECT_EQ(timesof(model, "abco.olf.szplt"), olftimes);
    // An append file that is no plain file is warned of and left alone.
    if (fs::is_regular_file(fs::symlink_status(model.dir / "abco.tec_append"))) {
      EXPECT_EQ(model.file("abco.tec_append"), appendrecord(static_cast<std::int32_t>(olftimes.size())));
    }
  }
}

void replacewith(const Series& m, const char* name, const fs::path& other) {
  fs::remove(m.dir / name);
  fs::copy_file(other, m.dir / name);
}

// The same series gone on to output time 0003, its comparisons written.
void comparedseries(const Series& m) {
  comparing(m);
  m.heads(3, 3.0);
  EXPECT_EQ(m.run().exitstatus, 0);
}

// Then gone on to output time 0004 without comparisons, which are asked for again.
void behindseries(const Series& m) {
  comparedseries(m);
  m.appendrun();
  m.heads(4, 4.0);
  EXPECT_EQ(m.run().exitstatus, 0);
  comparing(m);
}

// Output times 0001 to 0003 written by a run without append mode (`global` its global block),
// then pm's result file of output time 0002 deleted, and olf's where `both`.
void thinned(const Series& m, const std::string& global, bool both) {
  m.heads(3, 3.0);
  m.control(global + std::string(kDomainBlocks));
  EXPECT_EQ(m.run().exitstatus, 0);
  fs::remove(m.writer.resultpath("head", "pm", 2));
  if (both) fs::remove(m.writer.resultpath("head", "olf", 2));
}

// A common-node olf over output times 0001 to 0003, each with its heads and the files `more`
// writes, converted by a run without append mode of the domain blocks `blocks`.
void commonnode(const Series& m, const std::string& blocks, void (*more)(const Series&, int)) {
  m.writer.olf(m.pm, testkit::SurfaceOptions{.multinode = false});
  removeseries(m);
  for (int i = 1; i <= 3; ++i) {
    m.heads(i, i);
    more(m, i);
  }
  m.control("end\n" + blocks);
  EXPECT_EQ(m.run().exitstatus, 0);
}

// Output times 0001 to `last`, stamped `times` where given (else each its index), written by a
// run without append mode (`global` its global block), then the result files of output times
// `from` to `to` deleted.
void gapped(const Series& m, const std::string& global, int last, int from, int to,
            const std::vector<double>& times = {}) {
  for (int i = 1; i <= last; ++i) m.heads(i, times.empty() ? i : times[static_cast<std::size_t>(i - 1)]);
  m.control(global + std::string(kDomainBlocks));
  EXPECT_EQ(m.run().exitstatus, 0);
  for (int i = from; i <= to; ++i) {
    for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, i));
  }
}

const std::string kComparedBlocks = "write pm domain file\ncompare heads 3d domain\n-1.0E+20 1.0E+20\n"
                                    "-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\nend\nwrite olf domain file\nend\n";

// Output times 0001 to `last` converted with a comparison of pm's heads (`global` the global
// block).
void compareduntil(const Series& m, int last, const std::string& global) {
  writefile(m.dir / "abc.observed_heads", "1\n0.5 0.5 0.5 3\n");
  for (int i = 3; i <= last; ++i) m.heads(i, i);
  m.control(global + kComparedBlocks);
  EXPECT_EQ(m.run().exitstatus, 0);
}

// Output times 0001 to 0004 so converted, then the result files of output time 0003 deleted and
// the control file's global block made `then`; the data sets of that format are deleted.
void comparedgap(const Series& m, const std::string& global, const std::string& then) {
  compareduntil(m, 4, global);
  for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 3));
  const std::string extension = has(then, "binary") ? ".szplt" : ".dat";
  for (const char* d : {"abco.pm", "abco.olf"}) fs::remove(m.dir / (d + extension));
  m.control(then + kComparedBlocks);
}

// A model without result files converted twice (`global` the global block) with both special
// plots on: the data sets of the meshes alone, the same both times.
void meshesalonetwice(const Series& m, const std::string& global) {
  removeseries(m);
  m.control(global + "write pm domain file\nplot pm depth below ground surface\nplot pm zone isopach structure\n"
                     "end\nwrite olf domain file\nend\n");
  // The creation date aside, which a binary data set holds among its values.
  const auto held = [&m, binary = has(global, "binary")] {
    if (!binary) return withoutdate(m.file("abco.pm.dat"));
    std::string variables;
    for (const std::string& v : readdataset(m.dir / "abco.pm.szplt").variables) variables += v + ",";
    return variables + std::to_string(readdataset(m.dir / "abco.pm.szplt").zones.size());
  };
  EXPECT_EQ(m.run().exitstatus, 0);
  const std::string first = held();
  EXPECT_EQ(m.run().exitstatus, 0);
  EXPECT_EQ(held(), first);
}

// The same, pm's data set `dataset` then written again over the missing file once already.
void thinnedtwice(const Series& m, const std::string& global, const char* dataset) {
  thinned(m, global, false);
  fs::remove(m.dir / dataset);
  EXPECT_EQ(m.run().exitstatus, 0);
}

// Where zone `k`'s mark, the line feed before its ZONE line, lies in an ASCII data set (1-based).
std::size_t zonemark(const std::string& text, int k) {
  std::size_t at = std::string::npos;
  for (int i = 0; i < k; ++i) at = text.find("\nZONE ", at + 1);
  return at;
}

// pm's ASCII data set rewritten as `change` says.
void changepm(const Series& m, void (*change)(std::string&)) {
  std::string text = m.file("abco.pm.dat");
  change(text);
  writefile(m.dir / "abco.pm.dat", text);
}

// What a run would not continue stops it with exit status 1 before any file of the series
// changes: each regular file keeps its bytes, each link its target.
TEST(E2eRecovery, RefusalsChangeNoFile) {
  struct Case {
    const char* name;
    void (*stage)(const Series&);
    const char* report;
    std::vector<std::string> inject = {};  // faults the run is started under
    bool input = false;                                           // an input error, not a fatal one
    bool copykept = false;  // the stop comes before scratch_plot, the last run's copy, is replaced
  };
  const Case cases[] = {
      // Without a listing, the output time after the gap is still looked for.
      {"ASCII data sets over a gap of one, the model's directory cannot be listed",
       [](const Series& m) { thinned(m, "end\n", true); }, "but output time 0003 has: this run would end",
       {"-e", "inject=getdents64:error=EIO"}},
      {"pm a flush ahead of olf, its own result file of that output time gone",
       [](const Series& m) {
         const std::string olf = m.file("abco.olf.szplt.szhdr");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.szplt.szhdr", olf);
         fs::remove(m.dir / "abco.head_pm.0003");
       },
       "  abco.pm.szplt: output time 0003, whose result file abco.head_pm.0003 is gone\nNo data set was changed."},
      {"a data set whose open fails",
       [](const Series& m) { m.heads(3, 3.0); },
       "The data set abco.pm.szplt cannot be read: Permission denied.\nIt is kept as it was",
       {"-P", "abco.pm.szplt", "-e", "inject=openat:error=EACCES"}},
      {"temporary files of an earlier version and a stale append file naming a shared time stamp",
       [](const Series& m) {
         toearlierversion(m);
         m.heads(3, 2.0);
         writefile(m.dir / "abco.tec_append", appendrecord(3));
       },
       "and the append file abco.tec_append names output time 0003, while they hold 2 output times."},
      {"pm a flush ahead of olf, its own result file of that output time cut short",
       [](const Series& m) {
         const std::string olf = m.file("abco.olf.szplt.szhdr");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.szplt.szhdr", olf);
         fs::resize_file(m.dir / "abco.head_pm.0003", fs::file_size(m.dir / "abco.head_pm.0003") / 2);
       },
       "  abco.pm.szplt: output time 0003, whose result file abco.head_pm.0003 cannot be read whole: the file ends "
       "after 156 of 312 bytes\nNo data set was changed."},
      {"a common-node olf a flush ahead of pm, the pm result file it took values from gone",
       [](const Series& m) {
         m.writer.olf(m.pm, testkit::SurfaceOptions{.multinode = false});
         removeseries(m);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         const std::string pm = m.file("abco.pm.szplt.szhdr");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.pm.szplt.szhdr", pm);
         fs::remove(m.dir / "abco.head_pm.0003");
       },
       "  abco.olf.szplt: output time 0003, whose result file abco.head_pm.0003 is gone\nNo data set was changed."},
      {"a zone without result files of its own, the time conversion changed since",
       [](const Series& m) {
         m.control(std::string(kAppendControl) + "write pm domain file\nend\n");
         m.heads(3, 3.0, false, true);
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(4, 4.0);
         m.control(std::string(kAppendControl) + "write pm domain file\nend\n" +
                   "simulation time unit conversion factor\n10 1\n");
       },
       "end at output time 0003, whose zone has the solution time 3, but the result files of output time 0003 now "
       "give the time 13."},
      {"an earlier version's series of one zone at time 0, the time conversion changed since",
       [](const Series& m) {
         removeseries(m);
         m.heads(1, 0.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.sourced = false; });
         m.heads(2, 2.0);
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) +
                   "simulation time unit conversion factor\n10 1\n");
       },
       "end at output time 0001, whose zone has the solution time 0, but the result files of output time 0001 now "
       "give the time 10."},
      {"temporary files of an earlier version and a stale append file naming an output time before their last",
       [](const Series& m) {
         m.heads(3, 2.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         toearlierversion(m);
         writefile(m.dir / "abco.tec_append", appendrecord(2));
       },
       "and the append file abco.tec_append names output time 0002, while they hold 3 output times."},
      {"zones of the second layout, olf a flush ahead of pm, its own result file of that output time gone",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.pm");
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.sourced = false; });
         fs::remove(m.dir / "abco.head_olf.0003");
       },
       "  abco.olf.szplt: output time 0003, whose result files of the olf domain are gone\nNo data set was changed."},
      {"pm a flush ahead of olf, its own result file of that output time cut after its header",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.olf");
         fs::resize_file(m.dir / "abco.head_pm.0003", 88);
       },
       "whose result file abco.head_pm.0003 cannot be read whole: the file ends after 88 of 312 bytes\n"},
      {"pm a flush ahead of olf, its own result file of that output time naming no value type",
       [](const Series& m) {
         m.heads(3, 3.0);
         flushahead(m, "abco.olf");
         std::string bytes = m.file("abco.head_pm.0003");
         bytes.replace(4 + 65, 3, "X08");
         writefile(m.dir / "abco.head_pm.0003", bytes);
       },
       "whose result file abco.head_pm.0003 cannot be read whole: its header names no values"},
      {"pm a flush ahead of olf, frac's set-up killed before it recorded its output time",
       [](const Series& m) {
         m.writer.frac(m.pm, true, 36);  // its nodes numbered after olf's
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) + "write frac domain file\nend\n");
         m.heads(3, 3.0);
         flushahead(m, "abco.olf");
         testkit::setupwithoutzones(m.dir / "abco.frac.szplt.szhdr", 0);
         fs::remove(m.dir / "abco.frac.szplt");
         fs::remove(m.dir / "abco.frac.szplt.szdat");
         fs::remove(m.dir / "abco.head_pm.0003");
       },
       "end at different output times:\n  abco.pm.szplt.szhdr and abco.pm.szplt.szdat: 0003\n"
       "  abco.olf.szplt.szhdr and abco.olf.szplt.szdat: 0002\nTo bring"},
      {"nothing new, and a pm mesh of prisms on the nodes of the series",
       [](const Series& m) { m.writer.pm(2, 2, 3, testkit::ElementKind::prisms); },
       "hold a zone 1 that is a FEBRICK zone of 27 nodes and 8 elements, but the pm mesh of this run makes a "
       "FEBRICK zone of 27 nodes and 16 elements."},
      {"nothing new, and olf's data set unreadable once it is put together", [](const Series&) {},
       "The data set abco.olf.szplt cannot be read: Permission denied.\nIt is kept as it was",
       {"-P", "abco.olf.szplt", "-e", "inject=openat:error=EACCES:when=5+"}},
      {"a data set whose read fails", [](const Series& m) { m.heads(3, 3.0); },
       "The data set abco.pm.szplt cannot be read: Input/output error.\nIt is kept as it was, and so is every other "
       "data set",
       {"-P", "abco.pm.szplt", "-e", "inject=pread64:error=EIO"}},
      {"a series of the meshes alone whose olf data set is damaged",
       [](const Series& m) {
         meshesonlyseries(m);
         writefile(m.dir / "abco.olf.szplt", "damaged");
       },
       "abco.pm.szplt: the meshes alone (no output time) of the append series; its temporary files hold the meshes "
       "alone (no output time) for the next append run\n"},
      {"a series of the meshes alone whose pm data set was replaced by another",
       [](const Series& m) {
         meshesonlyseries(m);
         const Series other;
         replacewith(m, "abco.pm.szplt", other.dir / "abco.pm.szplt");
         m.heads(1, 1.0);
         m.heads(2, 2.0);
       },
       "its temporary files abco.pm.szplt.szhdr and abco.pm.szplt.szdat hold a data set of other variables.\nMove "
       "abco.pm.szplt"},
      {"a data set that fails at its second read, after its zones were counted",
       [](const Series& m) { m.heads(3, 3.0); },
       "The data set abco.olf.szplt cannot be read: Input/output error.\nIt is kept as it was, and so is every other "
       "data set",
       {"-P", "abco.olf.szplt", "-e", "inject=pread64:error=EIO:when=2"}},
      {"temporary files of the meshes alone renamed back over data sets written since without append mode",
       [](const Series& m) {
         meshesonlyseries(m);
         const std::vector<std::string> pairs = {"abco.pm.szplt.szhdr", "abco.pm.szplt.szdat", "abco.olf.szplt.szhdr",
                                                 "abco.olf.szplt.szdat"};
         for (const std::string& name : pairs) fs::copy_file(m.dir / name, m.dir / ("kept" + name));
         m.heads(1, 1.0);
         m.binaryrun();
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const std::string& name : pairs) fs::rename(m.dir / ("kept" + name), m.dir / name);
         fs::remove(m.dir / "abco.head_pm.0001");
         fs::remove(m.dir / "abco.head_olf.0001");
         m.appendrun();
       },
       "No result file of output time 0001 was found: this run has no output time to convert.\nNo data set was written; "
       "those of earlier runs are left as they are (abco.pm.szplt, abco.olf.szplt, which data sets of the meshes alone "
       "would replace).",
       {}, true},
      {"a damaged data set",
       [](const Series& m) {
         writefile(m.dir / "abco.olf.szplt", "#!TDV112 and then nothing of a data set");
         m.heads(3, 3.0);
       },
       "The data set abco.olf.szplt cannot be read: it is not a data set of the layout this program writes.\nIt is "
       "kept as it was, and so is every other data set"},
      {"scratch_plot that is a FIFO",
       [](const Series& m) {
         fs::remove(m.dir / "scratch_plot");
         ::mkfifo((m.dir / "scratch_plot").c_str(), 0600);
       },
       "Failed to open file: scratch_plot\nReason: it is a FIFO"},
      {"scratch_plot that cannot be read", [](const Series&) {},
       "Error reading abc.plot.control file\nReason: scratch_plot: Input/output error",
       {"-P", "scratch_plot", "-e", "inject=read:error=EIO"}, true},
      {"a control file whose check fails", [](const Series&) {},
       "It cannot be told whether the plot control file abc.plot.control exists.\nReason: Input/output error",
       {"-P", "abc.plot.control", "-e", "inject=newfstatat:error=EIO:when=1"}, false, true},
      {"a control file that seems missing, but is there when the template would be written", [](const Series&) {},
       "Failed to open file: abc.plot.control\nReason: File exists",
       {"-P", "abc.plot.control", "-e", "inject=newfstatat:error=ENOENT:when=1"}, false, true},
      {"a control file that cannot be opened", [](const Series&) {},
       "Failed to open file: abc.plot.control\nReason: Permission denied",
       {"-P", "abc.plot.control", "-e", "inject=openat:error=EACCES"}, false, true},
      {"a control file that is a link to nothing",
       [](const Series& m) {
         fs::remove(m.dir / "abc.plot.control");
         fs::create_symlink("gone.control", m.dir / "abc.plot.control");
       },
       "abc.plot.control is a symbolic link to gone.control, which does not exist.", {}, false, true},
      {"scratch_plot that cannot be rewound", [](const Series&) {},
       "Error reading abc.plot.control file\nReason: scratch_plot: Input/output error",
       {"-P", "scratch_plot", "-e", "inject=lseek:error=EIO"}, true},
      {"the time conversion factor doubled",
       [](const Series& m) {
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) +
                   "simulation time unit conversion factor\n0 2\n");
       },
       "end at output time 0002, whose zone has the solution time 2, but the result files of output time 0002 now "
       "give the time 4.\nThe time conversion"},
      {"the time conversion factor halved",
       [](const Series& m) {
         m.control(std::string(kAppendControl) + std::string(kDomainBlocks) +
                   "simulation time unit conversion factor\n0 0.5\n");
       },
       "now give the time 1.\n"},
      {"a data file from another model",
       [](const Series& m) {
         const Series other(3);
         replacewith(m, "abco.olf.szplt.szdat", other.dir / "abco.olf.szplt.szdat");
       },
       "its data file abco.olf.szplt.szdat is not the one written with abco.olf.szplt.szhdr"},
      {"a data file from another model, as the report's line of its data set says",
       [](const Series& m) {
         const Series other(3);
         replacewith(m, "abco.olf.szplt.szdat", other.dir / "abco.olf.szplt.szdat");
       },
       "\nabco.olf.szplt: 2 output times, left as it was; its temporary files cannot be read (their data file is not "
       "the one written with their header), and the next append run stops on them"},
      {"nothing new, and temporary files from another model",
       [](const Series& m) {
         const Series other(3);
         replacewith(m, "abco.olf.szplt.szdat", other.dir / "abco.olf.szplt.szdat");
         replacewith(m, "abco.olf.szplt.szhdr", other.dir / "abco.olf.szplt.szhdr");
       },
       "its temporary files abco.olf.szplt.szhdr and abco.olf.szplt.szdat hold a zone 1 that is a FEQUADRILATERAL "
       "zone of 12 nodes and 6 elements, but the olf mesh of this run makes a FEQUADRILATERAL zone of 9 nodes and 4 "
       "elements."},
      {"a title holding a zero byte",
       [](const Series& m) {
         testkit::SavedHeader header;
         ASSERT_TRUE(testkit::readsavedheader(m.dir / "abco.pm.szplt.szhdr", header));
         header.title[1] = '\0';
         testkit::writesavedheader(m.dir / "abco.pm.szplt.szhdr", header);
       },
       "abco.pm.szplt.szhdr and abco.pm.szplt.szdat are damaged."},
      {"every header changed after its checksum was taken: no data set says where the series goes on",
       [](const Series& m) {
         for (const char* name : {"abco.pm.szplt.szhdr", "abco.olf.szplt.szhdr"}) {
           std::string bytes = m.file(name);
           bytes[28] ^= 0x20;  // the title's first letter in the other case
           writefile(m.dir / name, bytes);
         }
       },
       "abco.pm.szplt.szhdr and abco.pm.szplt.szdat are damaged.\nMove abco.pm.szplt"},
      {"headers with bytes after their last zone",
       [](const Series& m) {
         rewriteheaders(m, [](testkit::SavedHeader& header) { header.zones.back().vars += std::string(4, '\0'); });
       },
       "abco.pm.szplt.szhdr and abco.pm.szplt.szdat are damaged."},
      {"an append series written anew without temporary files, whose data set fails to be read in the check of "
       "its variables",
       [](const Series& m) { removetemporaries(m, {"abco.tec_append", "abco.head_pm.0001"}); },
       "The data set abco.pm.szplt could not be read to tell which variables it holds; this append run",
       {"-P", "abco.pm.szplt", "-e", "inject=pread64:error=EIO:when=3"}},
      {"an ASCII data set that fails to be read in the check of its variables",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
       },
       "The data set abco.pm.dat could not be read to tell which variables it holds",
       {"-P", "abco.pm.dat", "-e", "inject=pread64:error=EIO"}},
      {"an ASCII data set that fails to be read in the check of its zones",
       [](const Series& m) { thinned(m, "end\n", false); },
       "The data set abco.pm.dat could not be read to tell which output times it holds",
       {"-P", "abco.pm.dat", "-e", "inject=pread64:error=EIO:when=3"}},
      {"a binary data set that fails to be read in the check of its output times",
       [](const Series& m) { thinned(m, "tecplot binary mode\nend\n", true); },
       "The data set abco.pm.szplt could not be read to tell which output times it holds",
       {"-P", "abco.pm.szplt", "-e", "inject=pread64:error=EIO:when=2"}},
      {"comparison files to be replaced, whose record cannot be changed",
       [](const Series& m) {
         comparedseries(m);
         m.control("end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\n"
                   "-1.0E+20 1.0E+20\nend\n");
       },
       "Failed to write abco.compare_times, the record of the output time each comparison file holds, before the "
       "comparison files are replaced.\nReason: abco.compare_times.tmp: Permission denied",
       {"-P", "abco.compare_times.tmp", "-e", "inject=openat:error=EACCES"}},
      {"temporary files of a run without append mode that cannot be moved aside",
       [](const Series& m) { m.binaryrun(); },
       "Failed to move the temporary file abco.pm.szplt.szhdr of an earlier run aside to abco.pm.szplt.szhdr.old.\n"
       "Reason: Input/output error",
       {"-P", "abco.pm.szplt.szhdr", "-e", "inject=renameat2:error=EIO"}},
      {"a header that is a FIFO",
       [](const Series& m) {
         fs::remove(m.dir / "abco.pm.szplt.szhdr");
         ::mkfifo((m.dir / "abco.pm.szplt.szhdr").c_str(), 0600);
       },
       "its temporary file abco.pm.szplt.szhdr cannot be read: it is a FIFO."},
      {"a data file linked to nothing",
       [](const Series& m) {
         fs::remove(m.dir / "abco.pm.szplt.szdat");
         fs::create_symlink("gone", m.dir / "abco.pm.szplt.szdat");
       },
       "its temporary file abco.pm.szplt.szdat cannot be read: it is a link to gone, which does not exist."},
      {"a header linked to a device",
       [](const Series& m) {
         fs::remove(m.dir / "abco.pm.szplt.szhdr");
         fs::create_symlink("/dev/zero", m.dir / "abco.pm.szplt.szhdr");
       },
       "cannot be read: it is a link to /dev/zero, a device."},
      {"an earlier version's files that the append file does not confirm",
       [](const Series& m) {
         toearlierversion(m);
         writefile(m.dir / "abco.tec_append", appendrecord(7));
       },
       "were written by an earlier version of kelpra, which did not record the output time of each zone, and the "
       "append file abco.tec_append names output time 0007, while they hold 2 output times."},
      {"an output time to drop whose result files are gone",
       [](const Series& m) {
         testkit::setupwithoutzones(m.dir / "abco.olf.szplt.szhdr", 1);
         fs::remove(m.dir / "abco.head_pm.0001");
         fs::remove(m.dir / "abco.head_olf.0001");
       },
       "this run would drop what it cannot write again:\n  abco.pm.szplt: output time 0001, whose result file "
       "abco.head_pm.0001 is gone\nNo data set was changed. Put the result files"},
      {"nothing new, and a data set without its temporary files",
       [](const Series& m) {
         fs::remove(m.dir / "abco.olf.szplt.szhdr");
         fs::remove(m.dir / "abco.olf.szplt.szdat");
       },
       "its temporary files abco.olf.szplt.szhdr and abco.olf.szplt.szdat are missing."},
      {"nothing new, and olf set up after its last zone",
       [](const Series& m) { testkit::setupwithoutzones(m.dir / "abco.olf.szplt.szhdr", 3); },
       "The data set abco.olf.szplt holds 2 output times; this append run would leave 0 in it.\nIt is kept as it "
       "was. Move it aside to let the append series replace it.\n\nWhat the files of this run now hold:\n"
       "abco.pm.szplt: output times 0001 to 0002 of the append series; its temporary files hold output times 0001 "
       "to 0002 for the next append run\n"
       "abco.olf.szplt: kept as it was, with 2 output times (this run would have left 0 in it); its temporary files "
       "hold no output time for the next append run"},
      {"a new series whose first output time has no result file",
       [](const Series& m) {
         removetemporaries(m, {"abco.head_pm.0001", "abco.head_olf.0001"});
       },
       "No result file of output time 0001 was found: this run has no output time to convert.\nNo data set was "
       "written; those of earlier runs are left as they are (abco.pm.szplt, abco.olf.szplt, which data sets of the "
       "meshes alone would replace).",
       {}, true},
      {"two data sets that lead to one file yet to be written, through a directory link",
       [](const Series& m) {
         fs::create_directory(m.dir / "real");
         fs::create_directory_symlink("real", m.dir / "alias");
         for (const char* name : {"abco.pm.szplt", "abco.olf.szplt"}) fs::remove(m.dir / name);
         fs::create_symlink("real/x.szplt", m.dir / "abco.pm.szplt");
         fs::create_symlink("alias/x.szplt", m.dir / "abco.olf.szplt");
       },
       "The data sets abco.pm.szplt and abco.olf.szplt lead to one file, alias/x.szplt: each would replace the "
       "other."},
      {"ASCII data sets whose links form a loop",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         fs::create_symlink("abco.olf.dat", m.dir / "abco.pm.dat");
         fs::create_symlink("abco.pm.dat", m.dir / "abco.olf.dat");
       },
       "The data set abco.pm.dat cannot be written: its symbolic links form a loop."},
      {"a data set's staging name taken by a directory that holds a file",
       [](const Series& m) {
         m.heads(3, 3.0);
         fs::create_directories(m.dir / "abco.olf.szplt.new" / "x");
       },
       "abco.olf.szplt.new, the name under which this run writes abco.olf.szplt until it is complete, is a directory "
       "that cannot be removed.\nReason: "},
      {"a data set's staging name taken by a link that cannot be removed",
       [](const Series& m) {
         m.heads(3, 3.0);
         fs::create_symlink("target", m.dir / "abco.pm.szplt.new");
       },
       "abco.pm.szplt.new, the name under which this run writes abco.pm.szplt until it is complete, is a symbolic "
       "link to target that cannot be removed.\nReason: Operation not permitted",
       {"-P", "abco.pm.szplt.new", "-e", "inject=unlink:error=EPERM"}},
      {"an ASCII data set's staging name, a second name of another file, that stays after its removal",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         writefile(m.dir / "abco.kept", "another file");
         fs::create_hard_link(m.dir / "abco.kept", m.dir / "abco.pm.dat.tmp");
       },
       "Failed to open file: abco.pm.dat.tmp\nReason: File exists",
       {"-P", "abco.pm.dat.tmp", "-e", "inject=unlink:retval=0"}},
      {"an ASCII data set linked into a directory that does not exist",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         fs::create_symlink("nowhere/pm.dat", m.dir / "abco.pm.dat");
       },
       "The data set abco.pm.dat cannot be written: it is a link to nowhere/pm.dat, whose directory nowhere does not "
       "exist."},
  };
  // Each file of the series and the control file (with its copy, where asked): the bytes of a
  // regular file, the target of a link and whether it leads to a file.
  const auto state = [](const Model& m, bool copy) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(m.dir.path())) {
      const std::string name = entry.path().filename().string();
      const bool series = name.starts_with("abco.") && !name.starts_with("abco.head") && name != "abco.kelpra.eco";
      if (!series && name != "abc.plot.control" && !(copy && name == "scratch_plot")) continue;
      std::error_code loop;  // links that form a loop lead to nothing as well
      const char* leads = fs::exists(entry.path(), loop) ? "" : " (to nothing)";
      if (entry.is_symlink()) files[name] = "-> " + fs::read_symlink(entry.path()).string() + leads;
      if (entry.symlink_status().type() == fs::file_type::regular) files[name] = readfile(entry.path());
    }
    return files;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Series model;
    c.stage(model);
    const auto before = state(model, c.copykept);
    const ProcessResult r = !c.inject.empty() ? model.runinjected(c.inject) : model.run();
    const std::string report = expectstopped(model, r, c.input ? kInput : kFatal);
    EXPECT_TRUE(has(report, c.report)) << report;
    const auto after = state(model, c.copykept);
    EXPECT_TRUE(before.contains("abc.plot.control"));
    for (const auto& [name, content] : before) {
      EXPECT_TRUE(after.contains(name) && after.at(name) == content) << name;
    }
  }
}

// A data set found unreadable at its close, after the start-up read it whole: the refusal names
// the data sets the run had already written, and each report line what its file holds.
TEST(E2eRecovery, RefusalAtACloseSaysWhatTheRunHadWritten) {
  Series model;
  model.heads(3, 3.0);
  model.heads(4, 4.0);
  const std::string pm4 = model.file("abco.head_pm.0004");
  fs::remove(model.dir / "abco.head_pm.0004");
  // The run waits at pm's result file of output time 0004 while the olf data set is damaged.
  HeldRun held(model, model.dir / "abco.head_pm.0004");
  ASSERT_TRUE(held.waiting());
  writefile(model.dir / "abco.olf.szplt", "damaged");
  EXPECT_EQ(held.finish(pm4), 1);
  const std::string eco = model.file("abco.kelpra.eco");
  const std::string why = "it is not a data set of the layout this program writes";
  EXPECT_TRUE(has(eco, "The data set abco.olf.szplt cannot be read: " + why +
                           ".\nIt is kept as it was: an append run would replace it without knowing which output "
                           "times it alone holds. This run has already written abco.pm.szplt. Make it readable"))
      << eco;
  EXPECT_TRUE(has(eco, "What the files of this run now hold:\n"
                       "abco.pm.szplt: output times 0001 to 0004 of the append series; its temporary files hold "
                       "output times 0001 to 0004 for the next append run\n"
                       "abco.olf.szplt: left as it was (it cannot be read: " + why +
                           "); its temporary files hold output times 0001 to 0004 for the next append run\n"))
      << eco;
  EXPECT_EQ(model.file("abco.olf.szplt"), "damaged");
  EXPECT_EQ(readdataset(model.dir / "abco.pm.szplt").zones.size(), 4U);
}

// Data sets of output times 0001 and 0002, pm's without a quantity of its own (only olf has
// result files), whose result files are then moved away.
void meshvariablesonly(const Series& m, const std::string& global) {
  removeseries(m);
  m.heads(1, 1.0, false, true);
  m.heads(2, 2.0, false, true);
  m.control(global + std::string(kDomainBlocks));
  EXPECT_EQ(m.run().exitstatus, 0);
  for (int i = 1; i <= 2; ++i) fs::remove(m.writer.resultpath("head", "olf", i));
}

// A run that finds less than it was asked to convert says so: with no result file at its first
// output time it replaces no data set that holds output times, it never writes a data set anew
// without a variable the earlier one holds, and the quantities and output times it leaves out,
// and the comparisons it does not write, are named.
TEST(E2eRecovery, RunsThatConvertLessSayWhyAndReplaceNothing) {
  struct Case {
    const char* name;
    void (*stage)(const Series&);
    int status;
    const char* said;
    const char* unsaid = nullptr;
    bool compared = false;  // the comparison file is written
    const char* comparison = "abco.compare_heads.dat";  // the file `compared` is of
  };
  const Case cases[] = {
      {"ASCII data sets, their results moved away",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (int i = 1; i <= 2; ++i) {
           for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, i));
         }
       },
       1,
       "No result file of output time 0001 was found: this run has no output time to convert.\nNo data set was "
       "written; those of earlier runs are left as they are (abco.pm.dat, abco.olf.dat, which data sets of the meshes "
       "alone would replace).\nTo write the data sets of the meshes alone, move abco.pm.dat, abco.olf.dat aside."},
      {"ASCII data sets, one of them no data set at all, their results moved away",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         writefile(m.dir / "abco.olf.dat", "not a data set\n");
         for (int i = 1; i <= 2; ++i) {
           for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, i));
         }
       },
       1, "(abco.pm.dat, abco.olf.dat, which data sets of the meshes alone would replace)"},
      {"binary data sets, one of them no data set at all, their results moved away",
       [](const Series& m) {
         m.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks));
         writefile(m.dir / "abco.olf.szplt", "not a data set\n");
         for (int i = 1; i <= 2; ++i) {
           for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, i));
         }
       },
       1, "(abco.pm.szplt, abco.olf.szplt, which data sets of the meshes alone would replace)"},
      {"ASCII data sets, pm's of the meshes' variables alone but of two output times, their results moved away",
       [](const Series& m) { meshvariablesonly(m, "end\n"); }, 1,
       "(abco.pm.dat, abco.olf.dat, which data sets of the meshes alone would replace)"},
      {"binary data sets, pm's of the meshes' variables alone but of two output times, their results moved away",
       [](const Series& m) { meshvariablesonly(m, "tecplot binary mode\nend\n"); }, 1,
       "(abco.pm.szplt, abco.olf.szplt, which data sets of the meshes alone would replace)"},
      {"ASCII data sets of the meshes alone, still without result files",
       [](const Series& m) {
         removeseries(m);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
       },
       0, "", "No result file of output time 0001 was found"},
      {"ASCII data sets of the meshes alone with the special plots on, still without result files",
       [](const Series& m) { meshesalonetwice(m, "end\n"); }, 0, "", "No result file of output time 0001 was found"},
      {"binary data sets of the meshes alone with the special plots on, still without result files",
       [](const Series& m) { meshesalonetwice(m, "tecplot binary mode\nend\n"); }, 0, "",
       "No result file of output time 0001 was found"},
      {"an append series, \"append\" misspelt, its results deleted after conversion",
       [](const Series& m) {
         m.control("tecplot binary mode\ntecplot binary apend\nend\n" + std::string(kDomainBlocks));
         for (int i = 1; i <= 2; ++i) {
           for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, i));
         }
       },
       1, "No result file of output time 0001 was found", "moved aside"},
      {"an append series without temporary files, pm's heads of the first output time deleted",
       [](const Series& m) {
         removetemporaries(m, {"abco.tec_append", "abco.head_pm.0001"});
       },
       1,
       "The data set abco.pm.szplt holds variables that this append run, which writes it anew, would leave out of it: "
       "Head, Pressure Head, Depth2GWT, Depth2GWT2D.\nA quantity is written only where its result file exists at the "
       "first output time, 0001, and these are not there (the others of those variables are taken from them):\n  "
       "abco.head_pm.0001\nIt is kept as it was."},
      {"a common-node olf written anew without temporary files, pm's heads of the first output time deleted",
       [](const Series& m) {
         m.writer.olf(m.pm, testkit::SurfaceOptions{.multinode = false});
         removeseries(m);
         m.heads(1, 1.0);
         m.heads(2, 2.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         removetemporaries(m, {"abco.tec_append", "abco.head_pm.0001"});
         m.control(std::string(kAppendControl) + "write olf domain file\nend\n");
       },
       1,
       "The data set abco.olf.szplt holds variables that this append run, which writes it anew, would leave out of it: "
       "Head, Pressure Head.\nA quantity is written only where its result file exists at the first output time, 0001, "
       "and these are not there (the others of those variables are taken from them):\n  abco.head_pm.0001\n"},
      {"ASCII data sets written again after pm's result files were deleted",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (int i = 1; i <= 2; ++i) fs::remove(m.writer.resultpath("head", "pm", i));
       },
       1,
       "The data set abco.pm.dat holds variables that this run, which writes it anew, would leave out of it: Head, "
       "Pressure Head, Depth2GWT, Depth2GWT2D.\nA quantity is written only where its result file exists at the first "
       "output time, 0001, and these are not there (the others of those variables are taken from them):\n  "
       "abco.head_pm.0001\nIt is kept as it was. Move it aside to write it anew without them."},
      {"binary data sets written again after pm's result files were deleted",
       [](const Series& m) {
         m.binaryrun();
         for (int i = 1; i <= 2; ++i) fs::remove(m.writer.resultpath("head", "pm", i));
       },
       1, "The data set abco.pm.szplt holds variables that this run, which writes it anew, would leave out of it: Head"},
      {"ASCII data sets written again without pm's heads, which the control file no longer asks for",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (int i = 1; i <= 2; ++i) fs::remove(m.writer.resultpath("head", "pm", i));
         m.control("end\nwrite pm domain file\nno pm heads\nend\nwrite olf domain file\nend\n");
       },
       0, "", "would leave out of it"},
      {"an ASCII data set that is no data set, a quantity's result files missing",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         writefile(m.dir / "abco.olf.dat", "not a data set\n");
       },
       1, "The data set abco.olf.dat cannot be read to tell which variables it holds (it holds no VARIABLES line)"},
      {"a binary data set that is no data set, a quantity's result files missing",
       [](const Series& m) {
         m.binaryrun();
         writefile(m.dir / "abco.olf.szplt", "not a data set\n");
       },
       1, "The data set abco.olf.szplt cannot be read to tell which variables it holds"},
      {"a quantity's result file missing at the first output time only",
       [](const Series& m) {
         removeseries(m);
         m.heads(1, 1.0, false, true);
         m.heads(2, 2.0);
         m.control("end\n" + std::string(kDomainBlocks));
       },
       0,
       "A result file of output time 0001, the first this run converts, does not exist:\n  abco.head_pm.0001\nwhile "
       "that of output time 0002 does (abco.head_pm.0002). Its variables are left out of the whole data set"},
      {"an output time missing between others",
       [](const Series& m) {
         for (int i = 4; i <= 6; ++i) m.heads(i, i);
       },
       0,
       "Output time 0003 has no result file, but output time 0004 has: the conversion ends at output time 0003, and "
       "output time 0004 and those after it are not converted."},
      {"an append run with nothing new, a comparison added",
       [](const Series& m) { comparing(m); }, 0,
       "Output time 0002, the last of the series, is read for the comparisons, whose files do not hold it",
       "holds no heads", true},
      {"an append run with nothing new, its comparisons up to date",
       comparedseries, 0,
       "No comparison is written: no output time was converted in this run; the comparison files of earlier runs are "
       "left as they are.",
       "read for the comparisons", true},
      {"an append run with nothing new, a comparison file deleted",
       [](const Series& m) {
         comparedseries(m);
         fs::remove(m.dir / "abco.compare_heads.dat");
       },
       0, "Output time 0003, the last of the series, is read for the comparisons", "No comparison is written", true},
      {"an append run with nothing new, the surface water depth comparison's files deleted",
       [](const Series& m) {
         writefile(m.dir / "abc.observed_heads_olf", "1\n0.5 0.5 0.25\n");
         m.control(std::string(kAppendControl) + "write pm domain file\nend\nwrite olf domain file\ncompare surface "
                   "water depth\n-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\nend\n");
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const char* name : {"abco.compare_swdepth_olf.dat", "abco.compare_swdepth_scatter_olf.dat"}) {
           fs::remove(m.dir / name);
         }
       },
       0, "Output time 0003, the last of the series, is read for the comparisons", "is skipped", true,
       "abco.compare_swdepth_olf.dat"},
      {"an append run with nothing new, its comparisons an output time behind",
       behindseries,
       0, "Output time 0004, the last of the series, is read for the comparisons", "No comparison is written", true},
      {"an append run with nothing new, its comparisons an output time behind, whose result file is gone",
       [](const Series& m) {
         behindseries(m);
         fs::remove(m.dir / "abco.head_pm.0004");
       },
       0,
       "its result file abco.head_pm.0004 is gone. The comparison files hold:\n  abco.compare_heads.dat: output time "
       "0003\n",
       "read for the comparisons", true},
      {"an append run with a new output time, a comparison added",
       [](const Series& m) {
         writefile(m.dir / "abc.observed_heads", "1\n0.5 0.5 0.5 3\n");
         m.control(std::string(kAppendControl) + "write pm domain file\ncompare heads 3d domain\n-1.0E+20 1.0E+20\n"
                   "-1.0E+20 1.0E+20\n-1.0E+20 1.0E+20\nend\nwrite olf domain file\nend\n");
         m.heads(3, 3.0);
       },
       0, "", "No comparison is written", true},
      {"ASCII data sets of three output times written again, the second's result files deleted",
       [](const Series& m) { thinned(m, "end\n", true); }, 1,
       "Output time 0002 has no result file, but output time 0003 has: this run would end its conversion at output "
       "time 0002"},
      {"binary data sets of three output times written again, the second's result files deleted",
       [](const Series& m) { thinned(m, "tecplot binary mode\nend\n", true); }, 1,
       "data sets that hold more:\n  abco.pm.szplt\n  abco.olf.szplt\n"},
      {"ASCII data sets of four output times written again, the second's and third's result files deleted",
       [](const Series& m) { gapped(m, "end\n", 4, 2, 3); }, 1, "but output time 0004 has: this run would end"},
      {"binary data sets of 100 output times written again, all but the first's and the last's result files deleted",
       [](const Series& m) { gapped(m, "tecplot binary mode\nend\n", 100, 2, 99); }, 1,
       "but output time 0100 has: this run would end"},
      {"ASCII data sets written again under a time window over a gap of two, which takes output time 0006, not 0005",
       [](const Series& m) {
         gapped(m, "end\n", 6, 3, 4, {1, 2, 3, 4, 9, 5});
         m.control("truncate time domain\n0 5.5\nend\n" + std::string(kDomainBlocks));
       },
       1, "but output time 0005 has: this run would end"},
      {"ASCII data sets written again under a time window, a gap before an output time whose time is no number",
       [](const Series& m) {
         gapped(m, "end\n", 4, 3, 3);
         m.writer.result_r8("head", "pm", 4, "soon heads", m.pmheads(4));
         m.writer.result_r8("head", "olf", 4, "soon heads", m.olfheads(4));
         m.control("truncate time domain\n0 10\nend\n" + std::string(kDomainBlocks));
       },
       1, "but output time 0004 has: this run would end"},
      {"ASCII comparisons of output time 0004, their data sets deleted, output time 0003's result files deleted",
       [](const Series& m) { comparedgap(m, "end\n", "end\n"); }, 1,
       "abco.compare_heads_scatter.dat (output time 0004)", nullptr, true},
      {"binary comparisons of output time 0004, switched to ASCII, output time 0003's result files deleted",
       [](const Series& m) { comparedgap(m, "tecplot binary mode\nend\n", "end\n"); }, 1,
       "abco.compare_heads.dat, abco.compare_heads_scatter.dat aside", nullptr, true},
      {"ASCII comparisons of output time 0004 moved aside as the refusal of a gap advised",
       [](const Series& m) {
         comparedgap(m, "end\n", "end\n");
         EXPECT_EQ(m.run().exitstatus, 1);
         for (const char* name : {"abco.compare_heads.dat", "abco.compare_heads_scatter.dat"}) {
           fs::rename(m.dir / name, m.dir / (std::string(name) + ".aside"));
         }
       },
       0, "", "would end its conversion", true},
      {"ASCII comparisons of output time 0002, a gap after it",
       [](const Series& m) {
         compareduntil(m, 2, "end\n");
         m.heads(4, 4.0);
       },
       0, "Output time 0003 has no result file, but output time 0004 has", "would end its conversion", true},
      {"ASCII comparisons of output time 0004, its result files deleted",
       [](const Series& m) {
         compareduntil(m, 4, "end\n");
         for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 4));
       },
       0, "", "would end its conversion", true},
      {"ASCII data sets written again, a directory named as a later result file",
       [](const Series& m) {
         gapped(m, "end\n", 3, 2, 3);
         fs::create_directory(m.dir / "abco.head_pm.0004");
       },
       0, "", "would end its conversion"},
      {"an append series written anew without temporary files, the second's result files deleted",
       [](const Series& m) {
         m.heads(3, 3.0);
         EXPECT_EQ(m.run().exitstatus, 0);
         removetemporaries(m, {"abco.tec_append", "abco.head_pm.0002", "abco.head_olf.0002"});
       },
       1, "move abco.pm.szplt, abco.olf.szplt aside to let the append series write them anew"},
      {"an ASCII data set whose zone list cannot be read, pm's result file of the second output time deleted",
       [](const Series& m) {
         thinned(m, "end\n", false);
         std::string pm = m.file("abco.pm.dat");
         pm.replace(pm.find("VARSHARELIST=(["), 15, "VARSHARELIST=([x");
         writefile(m.dir / "abco.pm.dat", pm);
       },
       1, "where the earlier data set may hold values of its own (its ZONE lines cannot be read)"},
      {"ASCII data sets written again over a gap a second time",
       [](const Series& m) {
         thinned(m, "end\n", true);
         fs::remove(m.dir / "abco.pm.dat");
         EXPECT_EQ(m.run().exitstatus, 1);  // olf's still holds three output times
         fs::remove(m.dir / "abco.olf.dat");
         EXPECT_EQ(m.run().exitstatus, 0);
       },
       0, "the conversion ends at output time 0002"},
      {"ASCII data sets of three output times written again, the third's result files deleted",
       [](const Series& m) {
         m.heads(3, 3.0);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 3));
       },
       0, "", "has no result file, but"},
      {"ASCII data sets written again, pm's result file of the second output time deleted",
       [](const Series& m) { thinned(m, "end\n", false); }, 1,
       "  abco.head_pm.0002\nZone 2 of the data set abco.pm.dat would repeat the values of zone 1"},
      {"an ASCII data set whose VARIABLES line runs past 64 KiB, pm's result file of the second output time deleted",
       [](const Series& m) {
         thinned(m, "end\n", false);
         std::string pm = m.file("abco.pm.dat");
         pm.insert(pm.find('\n', pm.find("VARIABLES = ")), ",\"" + std::string(70000, 'v') + "\"");
         writefile(m.dir / "abco.pm.dat", pm);
       },
       1, "Zone 2 of the data set abco.pm.dat would repeat the values of zone 1 in Head, Pressure Head, Depth2GWT, "
          "Depth2GWT2D, where the earlier data set holds values of its own."},
      {"binary data sets written again, pm's result file of the second output time deleted",
       [](const Series& m) { thinned(m, "tecplot binary mode\nend\n", false); }, 1,
       "  abco.head_pm.0002\nZone 2 of the data set abco.pm.szplt would repeat the values of zone 1"},
      {"ASCII data sets written again over a missing result file a second time",
       [](const Series& m) { thinnedtwice(m, "end\n", "abco.pm.dat"); },
       0, "Its variables repeat the values of output time 0001 (zone 1) in zone 2 of the pm data set."},
      {"ASCII data sets of two output times written again over three, pm's result file of the third missing",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(3, 3.0);
         fs::remove(m.writer.resultpath("head", "pm", 3));
       },
       0, "in zone 3 of the pm data set"},
      {"binary data sets written again over a missing result file a second time",
       [](const Series& m) { thinnedtwice(m, "tecplot binary mode\nend\n", "abco.pm.szplt"); },
       0, "Its variables repeat the values of output time 0001 (zone 1) in zone 2 of the pm data set."},
      {"a common-node olf written again, pm's heads and saturations of the second output time deleted",
       [](const Series& m) {
         commonnode(m, std::string(kDomainBlocks), [](const Series& s, int i) {
           s.writer.result_r4("sat", "pm", i, "saturations", std::vector<float>(s.pmheads(1).size(), 0.5f));
         });
         for (const char* root : {"sat", "head"}) fs::remove(m.writer.resultpath(root, "pm", 2));
       },
       1, "Zone 2 of the data set abco.olf.dat would repeat the values of zone 1 in Head, Pressure Head, Saturation,"},
      {"a common-node olf written again, pm's permafrost of the second output time deleted, olf's own there",
       [](const Series& m) {
         commonnode(m, "write olf domain file\nend\n", [](const Series& s, int i) {
           for (const char* d : {"pm", "olf"}) {
             const std::int32_t cells = s.pm.elements() / (std::string(d) == "pm" ? 1 : s.pm.layers - 1);
             s.writer.result_r4("permafrost", d, i, "permafrost", std::vector<float>(cells, 0.5f));
           }
         });
         fs::remove(m.writer.resultpath("permafrost", "pm", 2));
       },
       0, "", "would repeat"},
      {"ASCII data sets of six output times written again under a time window, a gap after it",
       [](const Series& m) {
         for (int i = 3; i <= 6; ++i) m.heads(i, i);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 5));
         m.control("truncate time domain\n0 3.5\nend\n" + std::string(kDomainBlocks));
       },
       0, "Output time 0005 has no result file, but output time 0006 has", "would end its conversion"},
      {"ASCII data sets written again, a concentration of the second output time deleted",
       [](const Series& m) {
         m.writer.species({"A"});
         m.heads(3, 3.0);
         for (int i = 1; i <= 3; ++i) {
           m.writer.result_r8("conc", "pm.A", i, "concentrations", std::vector<double>(m.pmheads(1).size(), i));
         }
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         fs::remove(m.dir / "abco.conc_pm.A.0002");
       },
       1, "  abco.conc_pm.A.0002\nZone 2 of the data set abco.pm.dat would repeat the values of zone 1 in A,"},
      {"a quantity read at every output time missing at a later one",
       [](const Series& m) {
         m.control("end\n" + std::string(kDomainBlocks));
         for (const int i : {1, 2, 4}) m.writer.result_r8("max_depth", "olf", i, "1 depth", std::vector<double>(9, 0.5));
         m.heads(3, 3.0);
         m.heads(4, 4.0);
       },
       0, "A result file of output time 0003 does not exist:\n  abco.max_depth_olf.0003", "the first this run converts"},
      {"an ASCII data set of two zones, the second's mark across a 1 MiB read, over a gap of output time 0002",
       [](const Series& m) {
         thinned(m, "end\n", true);
         fs::remove(m.dir / "abco.olf.dat");
         changepm(m, [](std::string& pm) {
           pm.resize(zonemark(pm, 3) + 1);
           const std::size_t second = zonemark(pm, 2);
           // "\nZONE" the last bytes of the first 1 MiB, its space the first of the next.
           pm.insert(second, "\n" + std::string((1 << 20) - 6 - second, '#'));
         });
       },
       1, "Output time 0002 has no result file, but output time 0003 has"},
      {"an ASCII data set cut right after its second ZONE line, over a gap of output time 0002",
       [](const Series& m) {
         thinned(m, "end\n", true);
         fs::remove(m.dir / "abco.olf.dat");
         changepm(m, [](std::string& pm) { pm.resize(pm.find('\n', zonemark(pm, 2) + 1)); });
       },
       1, "Output time 0002 has no result file, but output time 0003 has"},
      {"ASCII data sets written again over a missing result file a second time, pm's of the third deleted as well",
       [](const Series& m) {
         thinnedtwice(m, "end\n", "abco.pm.dat");
         fs::remove(m.writer.resultpath("head", "pm", 3));
       },
       1, "  abco.head_pm.0003\nZone 3 of the data set abco.pm.dat would repeat"},
      {"binary data sets written again over a missing result file a second time, pm's of the third deleted as well",
       [](const Series& m) {
         thinnedtwice(m, "tecplot binary mode\nend\n", "abco.pm.szplt");
         fs::remove(m.writer.resultpath("head", "pm", 3));
       },
       1, "  abco.head_pm.0003\nZone 3 of the data set abco.pm.szplt would repeat"},
      {"ASCII data sets written again over a missing result file once already, the second zone's share list "
       "damaged, a gap of output time 0004",
       [](const Series& m) {
         thinnedtwice(m, "end\n", "abco.pm.dat");
         m.heads(5, 5.0);
         changepm(m, [](std::string& pm) { pm.replace(pm.find("VARSHARELIST=(["), 15, "VARSHARELIST=([x"); });
       },
       1, "Output time 0004 has no result file, but output time 0005 has"},
      {"ASCII data sets of four output times written again under a window that ends at the fourth, the third's "
       "result files deleted",
       [](const Series& m) {
         m.heads(3, 3.0);
         m.heads(4, 4.0);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 3));
         m.control("truncate time domain\n0 4\nend\n" + std::string(kDomainBlocks));
       },
       1, "Output time 0003 has no result file, but output time 0004 has"},
      {"ASCII data sets of two output times written again under a window that passes over the second, output time "
       "0003 missing and 0004 in the window",
       [](const Series& m) {
         m.heads(2, 9.0);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         m.heads(4, 4.0);
         m.control("truncate time domain\n0 5\nend\n" + std::string(kDomainBlocks));
       },
       1, "Output time 0003 has no result file, but output time 0004 has"},
      {"ASCII data sets written again under a window, pm's result file of the second output time deleted, a time "
       "stamp that is no number before a gap of output time 0004",
       [](const Series& m) {
         for (int i = 3; i <= 5; ++i) m.heads(i, i);
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         for (const char* d : {"pm", "olf"}) fs::remove(m.writer.resultpath("head", d, 4));
         fs::remove(m.writer.resultpath("head", "pm", 2));
         m.writer.result_r8("head", "pm", 3, "soon heads", m.pmheads(3));
         m.writer.result_r8("head", "olf", 3, "soon heads", m.olfheads(3));
         m.control("truncate time domain\n0 9\nend\n" + std::string(kDomainBlocks));
       },
       1, "  abco.head_pm.0002\nZone 2 of the data set abco.pm.dat would repeat", "has no result file, but"},
      {"ASCII data sets written again, the redox capacity of the second output time deleted",
       [](const Series& m) {
         m.writer.species({"A"});
         m.heads(3, 3.0);
         for (int i = 1; i <= 3; ++i) {
           m.writer.result_r8("conc", "pm.A-Redox", i, "redox", std::vector<double>(m.pmheads(1).size(), i));
         }
         m.control("end\n" + std::string(kDomainBlocks));
         EXPECT_EQ(m.run().exitstatus, 0);
         fs::remove(m.dir / "abco.conc_pm.A-Redox.0002");
       },
       1, "  abco.conc_pm.A-Redox.0002\nZone 2 of the data set abco.pm.dat would repeat"},
      {"a common-node olf written again, pm's concentration of the second output time deleted",
       [](const Series& m) {
         m.writer.species({"A"});
         commonnode(m, "write olf domain file\nend\n", [](const Series& s, int i) {
           s.writer.result_r8("conc", "pm.A", i, "concentrations", std::vector<double>(s.pmheads(1).size(), i));
         });
         fs::remove(m.dir / "abco.conc_pm.A.0002");
       },
       1, "  abco.conc_pm.A.0002\nZone 2 of the data set abco.olf.dat would repeat"},
      {"an ASCII data set whose second ZONE line runs several MiB, written over a missing result file once already",
       [](const Series& m) {
         thinnedtwice(m, "end\n", "abco.pm.dat");
         changepm(m, [](std::string& pm) { pm.insert(pm.find('\n', zonemark(pm, 2) + 1), std::string(3 << 20, ' ')); });
       },
       1, "Zone 2 of the data set abco.pm.dat would repeat"},
      {"an ASCII data set of one zone whose ZONE line runs several MiB, over a gap of output time 0002",
       [](const Series& m) {
         thinned(m, "end\n", true);
         fs::remove(m.dir / "abco.olf.dat");
         changepm(m, [](std::string& pm) {
           pm.resize(zonemark(pm, 2) + 1);
           pm.insert(pm.find('\n', zonemark(pm, 1) + 1), std::string(3 << 20, ' '));
         });
       },
       1, "Output time 0002 has no result file, but output time 0003 has"},
      {"an ASCII data set whose VARIABLES line runs past 256 KiB, written over a missing result file once already",
       [](const Series& m) {
         thinnedtwice(m, "end\n", "abco.pm.dat");
         changepm(m, [](std::string& pm) {
           pm.insert(pm.find('\n', pm.find("VARIABLES = ")), ",\"" + std::string(300000, 'v') + "\"");
         });
       },
       0, "in zone 2 of the pm data set", "would repeat the values of zone 1 in"},
      {"ASCII data sets written again over a missing result file once already, the third zone's share list damaged, "
       "a gap of output time 0004",
       [](const Series& m) {
         thinnedtwice(m, "end\n", "abco.pm.dat");
         m.heads(5, 5.0);
         changepm(m, [](std::string& pm) { pm.replace(pm.rfind("VARSHARELIST=(["), 15, "VARSHARELIST=([x"); });
       },
       0, "Output time 0004 has no result file, but output time 0005 has"},
      {"binary data sets written again over a missing result file once already, pm's zones running past 64 KiB",
       [](const Series& m) {
         removeseries(m);  // for a wider mesh, whose zone 1 holds more than 64 KiB of values
         const testkit::LayeredMesh pm = m.writer.pm(150, 2, 3);
         const testkit::LinkedDomain olf = m.writer.olf(pm);
         for (int i = 1; i <= 3; ++i) {
           m.writer.result_r8("head", "pm", i, std::to_string(i) + " heads", std::vector<double>(pm.x.size(), 1.0));
           m.writer.result_r8("head", "olf", i, std::to_string(i) + " heads", std::vector<double>(olf.nodes(), 1.5));
         }
         m.binaryrun();
         EXPECT_EQ(m.run().exitstatus, 0);
         fs::remove(m.writer.resultpath("head", "pm", 2));
         fs::remove(m.dir / "abco.pm.szplt");
         EXPECT_EQ(m.run().exitstatus, 0);
       },
       0, "in zone 2 of the pm data set"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Series model;
    c.stage(model);
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("abco.pm") || name.starts_with("abco.olf") || name.starts_with("abco.compare")) {
        before[name] = model.file(name);
      }
    }
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, c.status) << r.err;
    EXPECT_TRUE(has(r.out + r.err, c.said)) << r.err;
    if (c.unsaid != nullptr) {
      EXPECT_FALSE(has(r.out + r.err, c.unsaid)) << r.out << r.err;
    }
    EXPECT_EQ(model.exists(c.comparison), c.compared);
    if (c.status == 0) continue;
    // A run that stops changes none of the data sets, their temporary files and the comparison files.
    std::map<std::string, std::string> after;
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("abco.pm") || name.starts_with("abco.olf") || name.starts_with("abco.compare")) {
        after[name] = model.file(name);
      }
    }
    EXPECT_TRUE(after == before);
  }
}

// A run stopped by Ctrl-C, kill or a closed terminal stops as at an error: it keeps every output
// time it completed, leaves no staging file, says so in a report that names the signal, and
// ends by that signal. The next run deletes what a run without append mode left, and a half
// written data set a killed run left.
TEST(E2eRecovery, RunsStoppedBySignalsStopAsAtAnError) {
  struct Case {
    const char* name;
    const char* control;
    const char* signal;
    int status;
    const char* said;
    const char* next;  // said by the next, complete run
    bool fuller = false;  // a complete run wrote the data sets of all three output times before
  };
  const std::string blocks(kDomainBlocks);
  const Case cases[] = {
      {"ASCII, Ctrl-C", "end\n", "SIGINT", 130,
       "The run was stopped by SIGINT (an interrupt, Ctrl-C).\n\nWhat the files of this run now hold:\n"
       "abco.pm.dat: output times 0001 to 0002 of this run\nabco.olf.dat: output times 0001 to 0002 of this run\n",
       "Creating tecplot file abco.pm"},
      {"binary, kill", "tecplot binary mode\nend\n", "SIGTERM", 143,
       "The run was stopped by SIGTERM (a request to end, from kill or a batch system's time limit).\n\nWhat the "
       "files of this run now hold:\nabco.pm.szplt: output times 0001 to 0002 of this run\n",
       "Tecplot szplt temporary files found (abco.pm.szplt.szhdr, etc.), left by a run without append mode.\nThey are "
       "deleted; the data set is written anew."},
      {"an append series, its terminal closed", "tecplot binary mode\ntecplot binary append\nend\n", "SIGHUP", 129,
       "The run was stopped by SIGHUP (its terminal was closed).\n\nWhat the files of this run now hold:\n"
       "abco.pm.szplt: output times 0001 to 0002 of the append series; its temporary files hold output times 0001 to "
       "0002 for the next append run\n",
       "Continuing tecplot file abco.pm after output time 0002"},
      {"ASCII over a fuller data set, Ctrl-C", "end\n", "SIGINT", 130,
       "abco.pm.dat: the earlier data set, kept (it holds more output times than the 2 this run completed)\n",
       "Creating tecplot file abco.pm", true},
      {"binary over a fuller data set, kill", "tecplot binary mode\nend\n", "SIGTERM", 143,
       "abco.olf.szplt: the earlier data set, kept (it holds 3 output times, more than the 2 this run completed)\n",
       "Creating tecplot file abco.pm", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    for (int i = 1; i <= 3; ++i) model.heads(i, i);
    model.control(c.control + blocks);
    if (c.fuller) {
      ASSERT_EQ(model.run().exitstatus, 0);
    }
    // The signal comes as the run opens pm's result file of output time 0003.
    const ProcessResult r =
        model.runsignalled({"-P", "abco.head_pm.0003", "-e", std::string("inject=openat:signal=") + c.signal});
    // Ended by the signal itself (strace ends the same way), not by an exit with its status.
    EXPECT_TRUE(r.signalled);
    EXPECT_EQ(r.exitstatus, c.status) << r.err;
    EXPECT_TRUE(has(r.err, c.said)) << r.err;
    EXPECT_TRUE(has(model.file("abco.kelpra.eco"), c.said));
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.ends_with(".tmp") || name.ends_with(".new")) << name;
    }
    const bool binary = has(c.control, "binary");
    for (const char* name : {"abco.pm", "abco.olf"}) {
      const std::string file = std::string(name) + (binary ? ".szplt" : ".dat");
      EXPECT_EQ(binary ? readdataset(model.dir / file).zones.size() : model.dat(file).zones.size(), c.fuller ? 3U : 2U)
          << file;
      // What the run wrote in place of a fuller data set is given up, temporary files and all.
      if (c.fuller) {
        EXPECT_FALSE(model.exists(file + ".szhdr") || model.exists(file + ".szdat")) << file;
      }
    }
    // A half written data set a killed run left is deleted by the next run that writes it: beside
    // the link's target, where the data set's name is a link.
    if (binary) {
      fs::create_directory(model.dir / "kept");
      fs::rename(model.dir / "abco.olf.szplt", model.dir / "kept/abco.olf.szplt");
      fs::create_symlink("kept/abco.olf.szplt", model.dir / "abco.olf.szplt");
      writefile(model.dir / "kept/abco.olf.szplt.new", "half written");
    }
    const ProcessResult next = model.run();
    EXPECT_EQ(next.exitstatus, 0) << next.err;
    EXPECT_TRUE(has(next.out + next.err, c.next)) << next.out << next.err;
    if (binary) {
      EXPECT_TRUE(has(next.err, "The file kept/abco.olf.szplt.new, left half written by a run stopped while it wrote "
                                "abco.olf.szplt, is deleted"))
          << next.err;
      EXPECT_FALSE(model.exists("kept/abco.olf.szplt.new"));
      expecttimesonce(model, 3);
    }
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.find(".old") != std::string::npos || name.ends_with(".new")) << name;
    }
  }
}

// After the data sets are closed the run stops at its next point to stop: before the
// comparisons, while it locates the observation points (no part of the location cache is left)
// and between the zones of the isopach plot. A signal after the last point to stop lets the run
// end complete, by that signal.
TEST(E2eRecovery, SignalsAfterTheDataSetsStopTheRunAtItsNextPoint) {
  struct Case {
    const char* name;
    const char* control;
    const char* at;    // the file at whose opening or renaming the signal comes
    const char* call;
    const char* gone;  // a file the run must not have written ("" none)
    const char* notsaid = "";  // nor begun, by its screen line
  };
  const std::string comparison =
      "write pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\nend\n";
  const std::string plots = "plot pm zone isopach structure\nplot pm depth below ground surface\n";
  const Case cases[] = {
      {"before the comparisons", "comparison", "abco.pm.dat.tmp", "rename", "abco.compare_heads.dat",
       "Evaluating shape functions"},
      {"locating the observation points", "comparison", "abco.ObsShape.txt.tmp", "openat", "abco.ObsShape.txt"},
      {"between the zones of the isopach plot", "plots", "abco.pm_Isopach.dat.tmp", "openat", "abco.pm_Isopach.dat"},
      {"between the arrays of the last plot", "plots", "abco.pm_DepthToSurf.dat.tmp", "openat",
       "abco.pm_DepthToSurf.dat"},
      {"after the last point to stop", "plots", "abco.pm_DepthToSurf.dat.tmp", "rename", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model{2, 1, 5};
    LayeredMesh mesh = testkit::layeredmesh(2, 1, 5, testkit::ElementKind::bricks);
    mesh.zones = {1, 1, 2, 1, 1, 1, 2, 12};
    model.rewritepm(mesh);
    for (int i = 1; i <= 2; ++i) model.heads(i, i);
    writefile(model.dir / "abc.observed_heads", "1\n0.5 0.5 0.5 1.75\n");
    const bool compared = std::string(c.control) == "comparison";
    model.control("end\n" + (compared ? comparison : std::string(kDomainBlocks) + plots));
    const ProcessResult r = model.runsignalled(
        {"-P", c.at, "-e", std::string("inject=") + c.call + ":signal=SIGINT"});
    EXPECT_TRUE(r.signalled);
    EXPECT_EQ(r.exitstatus, 130) << r.err;
    const bool stopped = *c.gone != 0;
    EXPECT_EQ(has(r.err, "The run was stopped by SIGINT (an interrupt, Ctrl-C)."), stopped) << r.err;
    if (stopped) {
      EXPECT_FALSE(model.exists(c.gone));
      EXPECT_FALSE(*c.notsaid != 0 && has(r.out, c.notsaid)) << r.out;
    } else {
      EXPECT_TRUE(has(r.out, "Normal exit")) << r.out;
    }
    EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 2U);
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
    }
  }
}

// An append data set that cannot be put together ends the run with exit status 1 and keeps its
// temporary files; the next append run, with nothing new, puts it together from them.
TEST(E2eRecovery, AppendDataSetThatCannotBePutTogether) {
  Series model;
  model.heads(3, 3.0);
  const std::string report =
      expectstopped(model, model.runinjected({"-P", "abco.pm.szplt.new", "-e", "inject=openat:error=EISDIR"}), kFatal);
  EXPECT_TRUE(has(report, "Tecplot close file for pm domain: abco.pm.szplt could not be written.\n"
                          "Reason: abco.pm.szplt.new: Is a directory\n"
                          "Its temporary files abco.pm.szplt.szhdr and abco.pm.szplt.szdat hold every output time "
                          "written; the next append run puts abco.pm.szplt together from them."))
      << report;
  // A pipe in the way is no reason to wait: it is removed before anything is written.
  ::mkfifo((model.dir / "abco.pm.szplt.new").c_str(), 0600);
  const std::string olf = model.file("abco.olf.szplt");
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "No more data to append\n"));
  EXPECT_TRUE(has(r.err, "abco.pm.szplt.new, the name under which this run writes abco.pm.szplt until it is complete, "
                         "is a FIFO: it is removed"))
      << r.err;
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

// What the report of a stopped run says of each file it writes, after the error lines.
std::string filesheld(const std::string& report) {
  const std::string heading = "\n\nWhat the files of this run now hold:\n";
  const std::size_t at = report.find(heading);
  return at == std::string::npos ? std::string() : report.substr(at + heading.size());
}

// A stopped run names every file of the run with what it now holds: a write that fails never
// replaces the earlier file (a data set, a comparison or scatter file), and a data set keeps the
// output times this run completed.
TEST(E2eRecovery, StoppedRunsSayWhatEachFileHolds) {
  struct Case {
    std::string name;
    std::string control;
    int times;     // output times of the first, complete run
    long cap;      // file-size limit of the second run (0: none)
    bool input;    // the second run stops with an input error (unstaged: it finds output time 0003 of pm damaged)
    std::string held;
    std::vector<std::pair<std::string, std::size_t>> zones;  // data sets and their zones after it
    bool large = false;        // a model of larger data sets, for the file-size limit
    void (*stage)(const Model&) = nullptr;  // in place of the next output time's result files
    std::vector<std::string> inject = {};  // faults the second run is started under
    std::string said = {};                 // a line of the error report
  };
  const std::string comparison = "compare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n";
  const std::string binary = "tecplot binary mode\nend\n" + std::string(kDomainBlocks);
  const std::string series = std::string(kAppendControl) + std::string(kDomainBlocks);
  const auto nanfirst = [](const Model& m) {
    m.writer.result_r8("head", "pm", 1, "nan heads", m.pmheads(1));
    m.writer.result_r8("head", "olf", 1, "nan heads", m.olfheads(1));
  };
  const Case cases[] = {
      {"binary: stopped in the first zone", binary, 2, 0, false,
       "abco.pm.szplt: the earlier data set, kept (this run stopped before its first output time was complete)\n"
       "abco.olf.szplt: left as an earlier run wrote it (this run stopped before writing to it)",
       {{"abco.pm.szplt", 2}}, false, nanfirst},
      {"binary: stopped in the first zone, no earlier data set", binary, 0, 0, false,
       "abco.pm.szplt: not written (this run stopped before its first output time was complete)\n"
       "abco.olf.szplt: not written (this run stopped before writing to it)",
       {}, false, nanfirst},
      {"binary: pm's first flush and olf's write fail", binary, 2, 0, false,
       "abco.pm.szplt: the earlier data set, kept (it holds 2 output times, more than the 1 this run completed)\n"
       "abco.olf.szplt: the earlier data set, kept (it holds 2 output times, more than the 1 this run completed)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, false, nullptr,
       {"-P", "abco.pm.szplt.szhdr.new", "-P", "abco.olf.szplt.new", "-e", "inject=openat:error=ENOSPC:when=3+"}},
      {"append series stopped inside a zone after a flush", series, 2, 0, false,
       "abco.pm.szplt: output times 0001 to 0003 of the append series; its temporary files hold output times 0001 to "
       "0003 for the next append run\n"
       "abco.olf.szplt: output times 0001 to 0003 of the append series; its temporary files hold output times 0001 "
       "to 0003 for the next append run",
       {{"abco.pm.szplt", 3}, {"abco.olf.szplt", 3}}, false,
       [](const Model& m) {
         m.heads(3, 3);
         m.writer.result_r8("head", "pm", 4, "soon heads", m.pmheads(4));
         m.writer.result_r8("head", "olf", 4, "soon heads", m.olfheads(4));
       }},
      {"append series whose header cannot be read", series, 2, 0, false,
       "abco.pm.szplt: 2 output times, left as it was; its temporary files cannot be read (Permission denied), and "
       "the next append run stops on them\n"
       "abco.olf.szplt: output times 0001 to 0002 of the append series; its temporary files hold output times 0001 "
       "to 0002 for the next append run",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, false, nullptr,
       {"-P", "abco.pm.szplt.szhdr", "-e", "inject=openat:error=EACCES"}},
      {"append series recorded beyond the suffix width", series, 2, 0, true,
       "abco.pm.szplt: output times 9999 to 10000 (more digits than the 4 of the output file suffix) of the append "
       "series; its temporary files hold output times 9999 to 10000 (more digits than the 4 of the output file "
       "suffix) for the next append run\n"
       "abco.olf.szplt: output times 9999 to 10000 (more digits than the 4 of the output file suffix) of the append "
       "series; its temporary files hold output times 9999 to 10000 (more digits than the 4 of the output file "
       "suffix) for the next append run",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, false,
       [](const Model& m) {
         for (const char* name : {"abco.pm.szplt.szhdr", "abco.olf.szplt.szhdr"}) {
           testkit::SavedHeader header;
           ASSERT_TRUE(testkit::readsavedheader(m.dir / name, header));
           header.zones[0].outputindex = 9999;
           header.zones[1].outputindex = 10000;
           testkit::writesavedheader(m.dir / name, header);
         }
       }},
      {"ASCII stopped after a time window left an output time out",
       "truncate time domain\n0 5\nend\n" + std::string(kDomainBlocks), 0, 0, true,
       "abco.pm.dat: output times 0001 to 0002, 0004 of this run\n"
       "abco.olf.dat: output times 0001 to 0002, 0004 of this run",
       {{"abco.pm.dat", 3}, {"abco.olf.dat", 3}}, false,
       [](const Model& m) {
         for (int i = 1; i <= 4; ++i) m.heads(i, i == 3 ? 10 : i);
         m.heads(5, 5);
         writefile(m.dir / "abco.head_pm.0005", "garbage that is no result file");
       }},
      {"ASCII stopped at a time stamp that is no number, in a time window",
       "truncate time domain\n0 5\nend\n" + std::string(kDomainBlocks), 0, 0, true,
       "abco.pm.dat: output times 0001 to 0002 of this run\nabco.olf.dat: output times 0001 to 0002 of this run",
       {{"abco.pm.dat", 2}, {"abco.olf.dat", 2}}, false,
       [](const Model& m) {
         for (int i = 1; i <= 2; ++i) m.heads(i, i);
         m.writer.result_r8("head", "pm", 3, "soon heads", m.pmheads(3));
         m.writer.result_r8("head", "olf", 3, "soon heads", m.olfheads(3));
       },
       {}, "Time stamp is not a number: soon"},
      {"a write fails", "end\n" + std::string(kDomainBlocks), 2, 48000, false,
       "abco.pm.dat: the earlier data set, kept (a write to it failed)\n"
       "abco.olf.dat: left as an earlier run wrote it (this run stopped before writing to it)",
       {}, true},
      {"ASCII stopped at 0003", "end\n" + std::string(kDomainBlocks), 3, 0, true,
       "abco.pm.dat: the earlier data set, kept (it holds more output times than the 2 this run completed)\n"
       "abco.olf.dat: the earlier data set, kept (it holds more output times than the 2 this run completed)",
       {{"abco.pm.dat", 3}, {"abco.olf.dat", 3}}},
      {"ASCII stopped at 0003 over a data set of two output times", "end\n" + std::string(kDomainBlocks), 2, 0, true,
       "abco.pm.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)\n"
       "abco.olf.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)",
       {{"abco.pm.dat", 2}, {"abco.olf.dat", 2}}},
      {"binary stopped at 0003", "tecplot binary mode\nend\n" + std::string(kDomainBlocks), 3, 0, true,
       "abco.pm.szplt: the earlier data set, kept (it holds 3 output times, more than the 2 this run completed)\n"
       "abco.olf.szplt: the earlier data set, kept (it holds 3 output times, more than the 2 this run completed)",
       {{"abco.pm.szplt", 3}, {"abco.olf.szplt", 3}}},
      // The first open is the check of its variables, the second at the stop.
      {"binary stopped at a result file of 0003 cut short", binary, 3, 0, true,
       "abco.pm.szplt: the earlier data set, kept (it holds 3 output times, more than the 2 this run completed)\n"
       "abco.olf.szplt: the earlier data set, kept (it holds 3 output times, more than the 2 this run completed)",
       {{"abco.pm.szplt", 3}, {"abco.olf.szplt", 3}}, false,
       [](const Model& m) {
         const fs::path pm3 = m.dir / "abco.head_pm.0003";
         fs::resize_file(pm3, fs::file_size(pm3) - 8);
       },
       {}, "The file ends after"},
      {"binary stopped at 0003 over a data set that cannot be opened at the stop", binary, 2, 0, true,
       "abco.pm.szplt: the earlier data set, kept (it cannot be read to tell how many output times it "
       "holds (Permission denied), and this run completed 2)\n"
       "abco.olf.szplt: output times 0001 to 0002 of this run (the earlier data set is replaced)",
       {{"abco.olf.szplt", 2}}, false, nullptr, {"-P", "abco.pm.szplt", "-e", "inject=openat:error=EACCES:when=2+"}},
      {"ASCII stopped at 0003 over a data set that cannot be opened at the stop", "end\n" + std::string(kDomainBlocks),
       2, 0, true,
       "abco.pm.dat: the earlier data set, kept (it cannot be read to tell how many output times it "
       "holds (Permission denied), and this run completed 2)\n"
       "abco.olf.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)",
       {{"abco.olf.dat", 2}}, false, nullptr, {"-P", "abco.pm.dat", "-e", "inject=openat:error=EACCES:when=2+"}},
      {"ASCII stopped at 0003 over a data set whose ZONE lines cannot be read", "end\n" + std::string(kDomainBlocks),
       2, 0, true,
       "abco.pm.dat: the earlier data set, kept (it cannot be read to tell how many output times it holds (its ZONE "
       "lines cannot be read), and this run completed 2)\n"
       "abco.olf.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)",
       {{"abco.pm.dat", 2}, {"abco.olf.dat", 2}}, false,
       [](const Model& m) {
         m.heads(3, 3);
         writefile(m.dir / "abco.head_pm.0003", "garbage that is no result file");
         std::string pm = m.file("abco.pm.dat");
         pm.insert(pm.find('\n', pm.find("\nZONE ") + 1), std::string(std::size_t{3} << 20, ' '));
         writefile(m.dir / "abco.pm.dat", pm);
       }},
      {"append series stopped where the data sets hold more output times than the series", series, 4, 0, true,
       "abco.pm.szplt: kept as it was, with 4 output times (this run would have left 3 in it); its temporary files "
       "hold output times 0001 to 0003 for the next append run\n"
       "abco.olf.szplt: kept as it was, with 4 output times (this run would have left 3 in it); its temporary files "
       "hold output times 0001 to 0003 for the next append run",
       {{"abco.pm.szplt", 4}, {"abco.olf.szplt", 4}}, false,
       [](const Model& m) {
         for (const char* base : {"abco.pm", "abco.olf"}) {
           ASSERT_EQ(tecTemporariesTakeBack((m.dir / base).c_str(), 2), kTecOk);
         }
         writefile(m.dir / "abco.head_pm.0004", "garbage that is no result file");
       }},
      {"append series refused at its close where the data sets hold more output times", series, 4, 0, false,
       "abco.pm.szplt: kept as it was, with 4 output times (this run would have left 3 in it); its temporary files "
       "hold output times 0001 to 0003 for the next append run\n"
       "abco.olf.szplt: kept as it was, with 4 output times (this run would have left 3 in it); its temporary files "
       "hold output times 0001 to 0003 for the next append run",
       {{"abco.pm.szplt", 4}, {"abco.olf.szplt", 4}}, false,
       [](const Model& m) {
         for (const char* base : {"abco.pm", "abco.olf"}) {
           ASSERT_EQ(tecTemporariesTakeBack((m.dir / base).c_str(), 2), kTecOk);
         }
         for (const char* name : {"abco.head_pm.0004", "abco.head_olf.0004"}) fs::remove(m.dir / name);
       },
       {}, "The data set abco.pm.szplt holds 4 output times; this append run would leave 3 in it.\nIt is kept"},
      {"binary: a header write fails, over one a killed run left", binary, 2, 0, false,
       "abco.pm.szplt: the earlier data set, kept (it holds 2 output times, more than the 1 this run completed)\n"
       "abco.olf.szplt: left as an earlier run wrote it (this run stopped before writing to it)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, false,
       [](const Model& m) {
         m.heads(3, 3);
         writefile(m.dir / "abco.olf.szplt.szhdr.new", "left by a killed run");
       },
       {"-P", "abco.olf.szplt.szhdr.new", "-e", "inject=pwrite64:error=ENOSPC"}},
      {"binary: a header cannot take its name", binary, 2, 0, false,
       "abco.pm.szplt: left as an earlier run wrote it (this run stopped before writing to it)\n"
       "abco.olf.szplt: left as an earlier run wrote it (this run stopped before writing to it)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, false, nullptr,
       {"-P", "abco.pm.szplt.szhdr.new", "-e", "inject=rename:error=EIO"},
       "Failed to open file: abco.pm\nReason: abco.pm.szplt.szhdr: Input/output error\n"},
      {"binary: a data set's write fails, over one a killed run left", binary, 2, 0, false,
       "abco.pm.szplt: the earlier data set, kept (it could not be written)\n"
       "abco.olf.szplt: output times 0001 to 0003 of this run (the earlier data set is replaced)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 3}}, false,
       [](const Model& m) {
         m.heads(3, 3);
         writefile(m.dir / "abco.pm.szplt.new", "left by a killed run");
       },
       {"-P", "abco.pm.szplt.new", "-e", "inject=pwrite64:error=ENOSPC"}},
      {"append series whose first close fails, no earlier data set", series, 0, 0, false,
       "abco.pm.szplt: not written (it could not be written); its temporary files hold output time 0001 for the "
       "next append run\n"
       "abco.olf.szplt: output time 0001 of the append series; its temporary files hold output time 0001 for the "
       "next append run",
       {{"abco.olf.szplt", 1}}, false, [](const Model& m) { m.heads(1, 1); },
       {"-P", "abco.pm.szplt.new", "-e", "inject=openat:error=EISDIR"}},
      {"binary: a write fails", "tecplot binary mode\nend\n" + std::string(kDomainBlocks), 2, 48000, false,
       "abco.pm.szplt: the earlier data set, kept (it could not be written)\n"
       "abco.olf.szplt: the earlier data set, kept (it holds 2 output times, more than the 1 this run completed)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}, true},
      {"binary: the close fails", "tecplot binary mode\nend\n" + std::string(kDomainBlocks), 2, 0, false,
       "abco.pm.szplt: the earlier data set, kept (it could not be written)\n"
       "abco.olf.szplt: output times 0001 to 0003 of this run (the earlier data set is replaced)",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 3}}, false, nullptr,
       {"-P", "abco.pm.szplt.new", "-e", "inject=openat:error=EISDIR"}},
      {"binary: a special plot's close fails",
       "tecplot binary mode\nend\n" + std::string(kDomainBlocks) +
           "plot pm zone isopach structure\nplot pm depth below ground surface\n",
       2, 0, false,
       "abco.pm.szplt: output times 0001 to 0003 of this run (the earlier data set is replaced)\n"
       "abco.olf.szplt: output times 0001 to 0003 of this run (the earlier data set is replaced)\n"
       "abco.pm_Isopach.szplt: written by this run\n"
       "abco.pm_DepthToSurf.szplt: the earlier file, kept (it could not be written)",
       {{"abco.pm_DepthToSurf.szplt", 1}}, false, nullptr,
       {"-P", "abco.pm_DepthToSurf.szplt.new", "-e", "inject=openat:error=EISDIR"}},
      {"append series stopped at 0003", std::string(kAppendControl) + std::string(kDomainBlocks), 2, 0, true,
       "abco.pm.szplt: output times 0001 to 0002 of the append series; its temporary files hold output times 0001 "
       "to 0002 for the next append run\n"
       "abco.olf.szplt: output times 0001 to 0002 of the append series; its temporary files hold output times 0001 "
       "to 0002 for the next append run",
       {{"abco.pm.szplt", 2}, {"abco.olf.szplt", 2}}},
      {"ASCII stopped before its comparison, none written before", "end\nwrite pm domain file\n" + comparison + "end\n",
       0, 0, true,
       "abco.pm.dat: output times 0001 to 0002 of this run\n"
       "abco.compare_heads.dat: not written (this run stopped before writing it)\n"
       "abco.compare_heads_scatter.dat: not written (this run stopped before writing it)",
       {{"abco.pm.dat", 2}}, false,
       [](const Model& m) {
         m.heads(1, 1);
         m.heads(2, 2);
         writefile(m.dir / "abco.head_pm.0003", "garbage that is no result file");
       }},
      {"ASCII stopped before its comparison, one written before", "end\nwrite pm domain file\n" + comparison + "end\n",
       2, 0, true,
       "abco.pm.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)\n"
       "abco.compare_heads.dat: left as an earlier run wrote it (this run stopped before writing it)\n"
       "abco.compare_heads_scatter.dat: left as an earlier run wrote it (this run stopped before writing it)",
       {{"abco.pm.dat", 2}}},
      // The limit stops the scatter file's last write, at its close.
      {"the scatter file's close fails", "end\nwrite pm domain file\n" + comparison + "end\n", 1, -1, false,
       "abco.pm.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)\n"
       "abco.compare_heads.dat: written by this run\n"
       "abco.compare_heads_scatter.dat: the earlier file, kept (a write to it failed)",
       {{"abco.pm.dat", 2}}},
      {"a scatter write fails", "end\nwrite pm domain file\n" + comparison + "end\n", 1, 20000, false,
       "abco.pm.dat: output times 0001 to 0002 of this run (the earlier data set is replaced)\n"
       "abco.compare_heads.dat: the earlier file, kept (this run stopped while writing it)\n"
       "abco.compare_heads_scatter.dat: the earlier file, kept (a write to it failed)",
       {{"abco.pm.dat", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model(c.large ? 12 : 2, c.large ? 12 : 2, c.large ? 4 : 3);
    for (int i = 1; i <= c.times; ++i) model.heads(i, i);
    std::string points = "300\n";
    for (int i = 0; i < 300; ++i) {
      const auto n = static_cast<std::size_t>(i) % model.pm.x.size();
      points += numbertext(model.pm.x[n]) + " " + numbertext(model.pm.y[n]) + " " + numbertext(model.pm.z[n]) + " 1\n";
    }
    writefile(model.dir / "abc.observed_heads", points);
    model.control(c.control);
    if (c.times > 0) {
      ASSERT_EQ(model.run().exitstatus, 0);
    }
    if (c.stage != nullptr) {
      c.stage(model);
    } else if (c.input) {
      model.heads(3, 3);
      writefile(model.dir / "abco.head_pm.0003", "garbage that is no result file");
    } else {
      model.heads(c.times + 1, c.times + 1);
    }
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      before[entry.path().filename()] = model.file(entry.path().filename());
    }
    ProcessResult r;
    {
      const rlim_t scatter = before["abco.compare_heads_scatter.dat"].size() - 1;
      const FileSizeCap cap(c.cap > 0 ? c.cap : c.cap < 0 ? scatter : RLIM_INFINITY);
      r = !c.inject.empty() ? model.runinjected(c.inject) : model.run();
    }
    EXPECT_EQ(filesheld(expectstopped(model, r, c.input ? kInput : kFatal)), c.held) << r.err;
    EXPECT_TRUE(has(r.err, c.said)) << r.err;
    for (const auto& [name, zones] : c.zones) {
      EXPECT_EQ(name.ends_with(".dat") ? model.dat(name).zones.size() : readdataset(model.dir / name).zones.size(),
                zones)
          << name;
    }
    // A file kept from the earlier run keeps its bytes, and no temporary or half-written file is left.
    for (const auto& [name, bytes] : before) {
      if (has(c.held, name + ": the earlier") || has(c.held, name + ": left as") || has(c.held, name + ": kept as")) {
        EXPECT_TRUE(model.file(name) == bytes) << name;
      }
    }
    // A file said not to be written does not exist.
    for (const std::string& line : splitlines(c.held)) {
      if (has(line, ": not written")) {
        EXPECT_FALSE(model.exists(line.substr(0, line.find(':')))) << line;
      }
    }
    for (const auto& entry : fs::directory_iterator(model.dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.ends_with(".tmp") || name.ends_with(".new")) << entry.path();
    }
  }
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
    ASSERT_EQ(model.run().exitstatus, 0);
    fs::rename(model.dir / name, model.dir / "disk" / "pm");
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

// Whatever stands at a name under which a run writes a file until it is complete (a link, one to
// nothing as well, a pipe, an empty directory) is removed with a warning before the run writes
// anything, and the file is created anew there: nothing is written through it, also where the
// removal is undone (another process puts the link back) before the file is created.
TEST(E2eRecovery, StagingNamesAreNeverFollowed) {
  enum class Kind { link, fifo, directory };
  struct Case {
    const char* name;
    std::string control;
    const char* staging;
    Kind kind;
    const char* file;  // a regular file of the run once it is done
    bool linked = false;  // abco.pm.szplt links to `file`, an earlier run's data set moved there
  };
  const std::string ascii = "end\n" + std::string(kDomainBlocks);
  const std::string binary = "tecplot binary mode\n" + ascii;
  const std::string series = std::string(kAppendControl) + std::string(kDomainBlocks);
  const std::string compared = "end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n"
                               "-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\nend\n";
  const Case cases[] = {
      {"a binary data set's, a link to nothing", binary, "abco.pm.szplt.new", Kind::link, "abco.pm.szplt"},
      {"an ASCII data set's, a link", ascii, "abco.pm.dat.tmp", Kind::link, "abco.pm.dat"},
      {"an ASCII data set's, a pipe", ascii, "abco.pm.dat.tmp", Kind::fifo, "abco.pm.dat"},
      {"a comparison's, a link", compared, "abco.compare_heads.dat.tmp", Kind::link, "abco.compare_heads.dat"},
      {"the comparison record's, a link", compared, "abco.compare_times.tmp", Kind::link, "abco.compare_times"},
      {"the location cache's, a link", compared, "abco.ObsShape.txt.tmp", Kind::link, "abco.ObsShape.txt"},
      {"a saved state's in an append run, a link", series, "abco.pm.szplt.szhdr.new", Kind::link,
       "abco.pm.szplt.szhdr"},
      {"the append file's, a link", series, "abco.tec_append.tmp", Kind::link, "abco.tec_append"},
      {"a special plot's saved state, an empty directory", binary + "plot pm zone isopach structure\n",
       "abco.pm_Isopach.szplt.szhdr.new", Kind::directory, "abco.pm_Isopach.szplt"},
      {"a linked binary data set's, beside its target, an empty directory", binary, "disk/pm.szplt.new",
       Kind::directory, "disk/pm.szplt", true},
  };
  for (const bool undone : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (undone ? ", put back once removed" : ""));
      Model model;
      const TempDir outside;
      model.heads(1, 1.0);
      writefile(model.dir / "abc.observed_heads", "1\n0.5 0.5 0.5 1.75\n");
      model.control(c.control);
      if (c.linked) {
        fs::create_directory(model.dir / "disk");
        ASSERT_EQ(model.run().exitstatus, 0);
        fs::rename(model.dir / "abco.pm.szplt", model.dir / c.file);
        fs::create_symlink(c.file, model.dir / "abco.pm.szplt");
      }
      const fs::path staging = model.dir / c.staging;
      if (c.kind == Kind::link) fs::create_symlink(outside / "target", staging);
      if (c.kind == Kind::fifo) ::mkfifo(staging.c_str(), 0600);
      if (c.kind == Kind::directory) fs::create_directory(staging);
      const ProcessResult r =
          undone ? model.runinjected({"-P", c.staging, "-e", "inject=unlink:retval=0:when=1"}) : model.run();
      EXPECT_EQ(r.exitstatus, 0) << r.err;
      EXPECT_TRUE(has(r.err, std::string(c.staging) + ", the name under which this run writes ")) << r.err;
      EXPECT_FALSE(fs::exists(outside / "target"));
      EXPECT_FALSE(fs::exists(fs::symlink_status(staging)));
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(model.dir / c.file)));
    }
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
  const ProcessResult failed = model.runinjected({"-P", "abco.pm.szplt.szhdr.new", "-e", "inject=openat:error=EISDIR"});
  EXPECT_EQ(expectstopped(model, failed, kFatal),
            "Failed to open file: abco.pm\nReason: abco.pm.szplt.szhdr.new: Is a directory\nError number: 4\n\n"
            "What the files of this run now hold:\n"
            "abco.pm.szplt: not written (this run stopped before writing to it)\n"
            "abco.olf.szplt: not written (this run stopped before writing to it)");
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
