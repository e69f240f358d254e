#include "plot/tecio.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/kit/process.hpp"
#include "tests/kit/savedheader.hpp"
#include "tests/kit/tecplot_reader.hpp"

namespace kelpra {
namespace {

namespace fs = std::filesystem;
using testkit::TecplotFile;

static_assert(std::endian::native == std::endian::little, "the expected bytes below are little-endian");

class Tecio : public ::testing::Test {
 protected:
  std::string base(const std::string& name) const { return (dir_ / name).string(); }

  static void* open(const std::string& base, const char* vars, const char* title = "Title") {
    void* h = nullptr;
    EXPECT_EQ(tecFileWriterOpen(base.c_str(), title, vars, 1, 0, 0, nullptr, &h), kTecOk);
    return h;
  }

  static TecplotFile readback(const std::string& base) {
    TecplotFile file;
    std::string error;
    EXPECT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
    return file;
  }

  // A line-segment zone of nodes joined in a chain; its own values of the single variable.
  static std::int32_t chainzone(void* h, const std::vector<double>& x, const char* title = "chain") {
    const auto n = static_cast<std::int64_t>(x.size());
    std::int32_t zone = 0;
    const std::int32_t type = kTecDouble;
    EXPECT_EQ(tecZoneCreateFE(h, title, kTecFeLineSeg, n, n - 1, &type, nullptr, nullptr, nullptr, 0, 0, 0, &zone),
              kTecOk);
    EXPECT_EQ(tecZoneVarWriteDoubleValues(h, zone, 1, 0, n, x.data()), kTecOk);
    std::vector<std::int32_t> nodes;
    for (std::int32_t k = 1; k < n; ++k) nodes.insert(nodes.end(), {k, k + 1});
    EXPECT_EQ(tecZoneNodeMapWrite32(h, zone, 0, 1, static_cast<std::int64_t>(nodes.size()), nodes.data()), kTecOk);
    return zone;
  }

  // Runs `body` in a child process that ends without closing anything, as a run of the program may.
  static int inchild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A run that writes one chain zone of "X" into the data set, flushes it and ends without closing.
  static int flushedrun(const std::string& base) {
    return inchild([&] {
      void* h = nullptr;
      if (tecFileWriterOpen(base.c_str(), "T", "X", 1, 0, 0, nullptr, &h) != 0) return 1;
      chainzone(h, {1, 2});
      return tecFileWriterFlush(h, 0, nullptr);
    });
  }

  testkit::TempDir dir_;
};

void appendword(std::string& s, std::uint32_t w) { s.append(reinterpret_cast<const char*>(&w), 4); }

TEST_F(Tecio, TinyFileHasTheExpectedBytes) {
  const std::string b = base("tiny");
  void* h = open(b, "X", "Ab");
  ASSERT_EQ(tecDataSetAddAuxData(h, "K", "v"), kTecOk);
  ASSERT_EQ(tecVarAddAuxData(h, 1, "Units", "m"), kTecOk);
  const double x[] = {1.5, -2.0};
  const std::int32_t type = kTecDouble, nodes[] = {1, 2};
  std::int32_t zone = 0;
  ASSERT_EQ(tecZoneCreateFE(h, "Z", kTecFeLineSeg, 2, 1, &type, nullptr, nullptr, nullptr, 0, 0, 0, &zone), kTecOk);
  ASSERT_EQ(tecZoneVarWriteDoubleValues(h, zone, 1, 0, 2, x), kTecOk);
  ASSERT_EQ(tecZoneNodeMapWrite32(h, zone, 0, 1, 2, nodes), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_EQ(h, nullptr);

  using namespace std::string_literals;
  const std::string preamble = "#!TDV112"s + "\1\0\0\0"s + "\0\0\0\0"s + "A\0\0\0b\0\0\0\0\0\0\0"s + "\1\0\0\0"s +
                               "X\0\0\0\0\0\0\0"s;
  std::string expected = preamble;
  for (std::uint32_t w : {0x43958000u, 'Z' + 0u, 0u, ~0u, ~0u, 0u, 0u, ~0u, 1u, 0u, 0u, 0u, 2u, 1u, 0u, 0u, 0u, 0u,
                          0x4447C000u, 'K' + 0u, 0u, 0u, 'v' + 0u, 0u,
                          0x4460C000u, 0u, 'U' + 0u, 'n' + 0u, 'i' + 0u, 't' + 0u, 's' + 0u, 0u, 0u, 'm' + 0u, 0u,
                          0x43B28000u,
                          0x43958000u, 2u, 0u, 0u, ~0u, 0u, 0xC0000000u, 0u, 0x3FF80000u,
                          0u, 0x3FF80000u, 0u, 0xC0000000u, 0u, 1u}) {
    appendword(expected, w);
  }
  const std::string actual = testkit::readfile(b + ".szplt");
  EXPECT_EQ(actual.substr(0, preamble.size()), preamble);
  EXPECT_EQ(actual, expected);
  EXPECT_FALSE(fs::exists(b + ".szplt.szhdr"));
  EXPECT_FALSE(fs::exists(b + ".szplt.szdat"));
}

TEST_F(Tecio, ThreeZonesWithSharingCellCentredValuesAndAuxData) {
  const std::string b = base("pm");
  void* h = open(b, "X,Y,Node,Head,Zone", "Model");
  const std::int32_t types[] = {kTecDouble, kTecFloat, kTecInt32, kTecFloat, kTecInt32};
  const std::int32_t cells[] = {kTecNodal, kTecNodal, kTecNodal, kTecNodal, kTecCellCentred};
  ASSERT_EQ(tecDataSetAddAuxData(h, "Source", "first"), kTecOk);
  ASSERT_EQ(tecDataSetAddAuxData(h, "Model_Prefix", "abc"), kTecOk);
  ASSERT_EQ(tecDataSetAddAuxData(h, "Source", "replaced"), kTecOk);
  ASSERT_EQ(tecVarAddAuxData(h, 4, "Units", "m"), kTecOk);

  // Two bricks over 12 nodes.
  const std::vector<double> x = {0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 2, 2};
  const std::vector<float> y = {0, 0, 1, 1, 0, 0, 1, 1, 0, 1, 0, 1};
  const std::vector<std::int32_t> node = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::vector<std::int32_t> bricks = {1, 2, 3, 4, 5, 6, 7, 8, 2, 9, 10, 3, 6, 11, 12, 7};
  std::vector<float> head(12);
  std::int32_t zone = 0;

  ASSERT_EQ(tecZoneCreateFE(h, "pm", kTecFeBrick, 12, 2, types, nullptr, cells, nullptr, 0, 0, 0, &zone), kTecOk);
  ASSERT_EQ(zone, 1);
  ASSERT_EQ(tecZoneSetUnsteadyOptions(h, 1, 0.5, 1), kTecOk);
  ASSERT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, 12, x.data()), kTecOk);
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 1, 2, 0, 12, y.data()), kTecOk);
  ASSERT_EQ(tecZoneVarWriteInt32Values(h, 1, 3, 0, 12, node.data()), kTecOk);
  for (int i = 0; i < 12; ++i) head[i] = 10.0f + i;
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 1, 4, 0, 12, head.data()), kTecOk);
  const std::int32_t zonenumbers[] = {7, -3};
  ASSERT_EQ(tecZoneVarWriteInt32Values(h, 1, 5, 0, 2, zonenumbers), kTecOk);
  ASSERT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 16, bricks.data()), kTecOk);

  // Zone 2 shares the mesh and the cell values of zone 1; zone 3 shares through zone 2, has its
  // own cell values at the nodes and no Node values at all.
  const std::int32_t share2[] = {1, 1, 1, 0, 1};
  ASSERT_EQ(tecZoneCreateFE(h, "pm", kTecFeBrick, 12, 2, types, share2, cells, nullptr, 1, 0, 0, &zone), kTecOk);
  ASSERT_EQ(zone, 2);
  ASSERT_EQ(tecZoneSetUnsteadyOptions(h, 2, 1.5, 1), kTecOk);
  for (int i = 0; i < 12; ++i) head[i] = 20.0f - i;
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 2, 4, 0, 12, head.data()), kTecOk);
  const std::int32_t share3[] = {2, 2, 0, 0, 0}, passive3[] = {0, 0, 1, 0, 0};
  ASSERT_EQ(tecZoneCreateFE(h, "pm", kTecFeBrick, 12, 2, types, share3, nullptr, passive3, 2, 0, 0, &zone), kTecOk);
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 3, 4, 0, 12, head.data()), kTecOk);
  std::vector<std::int32_t> nodalzone(12, 4);
  ASSERT_EQ(tecZoneVarWriteInt32Values(h, 3, 5, 0, 12, nodalzone.data()), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);

  const TecplotFile f = readback(b);
  EXPECT_EQ(f.title, "Model");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Node", "Head", "Zone"}));
  ASSERT_EQ(f.aux.size(), 3u);
  EXPECT_EQ(f.aux[0].name, "Source");
  EXPECT_EQ(f.aux[0].value, "replaced");
  EXPECT_EQ(f.aux[1].value, "abc");
  EXPECT_EQ(f.aux[2].var, 3);
  EXPECT_EQ(f.aux[2].value, "m");
  ASSERT_EQ(f.zones.size(), 3u);

  const auto& z1 = f.zones[0];
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_EQ(z1.nodes, 12);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.solutiontime, 0.5);
  EXPECT_EQ(z1.strand, 0);
  EXPECT_EQ(z1.parent, -1);
  EXPECT_EQ(z1.datatypes, (std::vector<int>{2, 1, 3, 1, 3}));
  EXPECT_EQ(z1.cellcentred, (std::vector<bool>{false, false, false, false, true}));
  EXPECT_EQ(z1.values[0], x);
  EXPECT_EQ(z1.values[1], std::vector<double>(y.begin(), y.end()));
  EXPECT_EQ(z1.values[2], std::vector<double>(node.begin(), node.end()));
  EXPECT_EQ(z1.values[4], (std::vector<double>{7, -3}));
  EXPECT_EQ(z1.minimum[4], -3);
  EXPECT_EQ(z1.maximum[4], 7);
  EXPECT_EQ(z1.minimum[3], 10);
  EXPECT_EQ(z1.maximum[3], 21);
  std::vector<std::int32_t> zerobased(bricks);
  for (auto& n : zerobased) --n;
  EXPECT_EQ(z1.connectivity, zerobased);

  const auto& z2 = f.zones[1];
  EXPECT_EQ(z2.solutiontime, 1.5);
  EXPECT_EQ(z2.sharezone, (std::vector<int>{0, 0, 0, -1, 0}));
  EXPECT_EQ(z2.connsharezone, 0);
  EXPECT_EQ(z2.values[0], x);
  EXPECT_EQ(z2.values[4], (std::vector<double>{7, -3}));
  EXPECT_EQ(z2.values[3][11], 9.0);
  EXPECT_EQ(z2.connectivity, zerobased);

  const auto& z3 = f.zones[2];
  EXPECT_EQ(z3.strand, -1);  // no unsteady options
  EXPECT_EQ(z3.sharezone, (std::vector<int>{0, 0, -1, -1, -1}));  // the chain ends at zone 1
  EXPECT_EQ(z3.connsharezone, 0);
  EXPECT_EQ(z3.passive, (std::vector<bool>{false, false, true, false, false}));
  EXPECT_TRUE(z3.values[2].empty());
  EXPECT_EQ(z3.cellcentred[4], false);
  EXPECT_EQ(z3.values[4], std::vector<double>(12, 4.0));
  EXPECT_EQ(z3.values[1], std::vector<double>(y.begin(), y.end()));
}

TEST_F(Tecio, LargeVariablesInChunksSurviveTheStreamBuffer) {
  const std::string b = base("big");
  void* h = open(b, "A,B");
  constexpr std::int64_t n = 1'200'000;  // over the write buffer for both types
  std::vector<double> a(n);
  std::vector<float> bv(n);
  for (std::int64_t i = 0; i < n; ++i) {
    a[i] = 0.25 * static_cast<double>(i) - 1000.0;
    bv[i] = static_cast<float>(n - i);
  }
  a[17] = std::numeric_limits<double>::quiet_NaN();
  a[n - 1] = 5.0e6;
  const std::int32_t types[] = {kTecDouble, kTecFloat};
  std::int32_t zone = 0;
  ASSERT_EQ(tecZoneCreateFE(h, "z", kTecFeLineSeg, n, 1, types, nullptr, nullptr, nullptr, 0, 0, 0, &zone), kTecOk);
  std::int64_t done = 0;
  for (std::int64_t chunk : {std::int64_t{1}, std::int64_t{7}, std::int64_t{0}, std::int64_t{100'000},
                             std::int64_t{1'000'000}, n - 1'100'008}) {
    ASSERT_EQ(tecZoneVarWriteDoubleValues(h, zone, 1, 0, chunk, a.data() + done), kTecOk);
    done += chunk;
  }
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, zone, 2, 0, n, bv.data()), kTecOk);
  const std::int32_t ends[] = {0, static_cast<std::int32_t>(n - 1)};
  ASSERT_EQ(tecZoneNodeMapWrite32(h, zone, 0, 0, 2, ends), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);

  const TecplotFile f = readback(b);
  ASSERT_EQ(f.zones.size(), 1u);
  const auto& z = f.zones[0];
  EXPECT_EQ(z.minimum[0], -1000.0);  // the NaN is left out of the range
  EXPECT_EQ(z.maximum[0], 5.0e6);
  EXPECT_EQ(z.minimum[1], 1.0);
  EXPECT_EQ(z.maximum[1], static_cast<double>(n));
  EXPECT_TRUE(std::isnan(z.values[0][17]));
  std::vector<double> got = z.values[0];
  a[17] = got[17] = 0.0;
  EXPECT_EQ(got, a);
  EXPECT_EQ(z.values[1], std::vector<double>(bv.begin(), bv.end()));
  EXPECT_EQ(z.connectivity, (std::vector<std::int32_t>{0, static_cast<std::int32_t>(n - 1)}));
}

TEST_F(Tecio, TwoDataSetsOpenAtOnceStayApart) {
  void* p = open(base("pm"), "X");
  void* o = open(base("olf.szplt"), "X");  // the extension is not doubled
  chainzone(p, {1, 2, 3});
  chainzone(o, {4, 5});
  chainzone(p, {6, 7, 8});
  ASSERT_EQ(tecFileWriterFlush(o, 1, std::vector<std::int32_t>{1}.data()), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&o), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&p), kTecOk);
  const TecplotFile fp = readback(base("pm")), fo = readback(base("olf"));
  ASSERT_EQ(fp.zones.size(), 2u);
  ASSERT_EQ(fo.zones.size(), 1u);
  EXPECT_EQ(fp.zones[1].values[0], (std::vector<double>{6, 7, 8}));
  EXPECT_EQ(fo.zones[0].values[0], (std::vector<double>{4, 5}));
}

TEST_F(Tecio, FlushedDataSetResumesInALaterRun) {
  const std::string b = base("pm");
  // Large enough for the aligned layout of the data file.
  std::vector<double> mesh(20000);
  for (std::size_t i = 0; i < mesh.size(); ++i) mesh[i] = static_cast<double>(i) / 3.0;
  const auto n = static_cast<std::int64_t>(mesh.size());
  // First run: zone 1 flushed, zone 2 written but never flushed, no close.
  ASSERT_EQ(inchild([&] {
              void* h = nullptr;
              if (tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, &h) != 0) return 1;
              if (tecDataSetAddAuxData(h, "Source", "kelpra") != 0) return 2;
              chainzone(h, mesh);
              const std::int32_t keep = 1;
              if (tecFileWriterFlush(h, 1, &keep) != 0) return 3;
              chainzone(h, {9, 9, 9});
              return ::testing::Test::HasFailure() ? 4 : 0;
            }),
            0);
  EXPECT_TRUE(fs::exists(b + ".szplt.szhdr"));
  EXPECT_TRUE(fs::exists(b + ".szplt.szdat"));
  EXPECT_FALSE(fs::exists(b + ".szplt"));

  // Second run: the aux item comes again, a full zone and one sharing zone 1 follow.
  void* h = open(b, "X");
  ASSERT_EQ(tecDataSetAddAuxData(h, "Source", "kelpra"), kTecOk);
  EXPECT_EQ(chainzone(h, {4, 5, 6}), 2);
  const std::int32_t type = kTecDouble, share = 1;
  std::int32_t zone = 0;
  ASSERT_EQ(tecZoneCreateFE(h, "shared", kTecFeLineSeg, n, n - 1, &type, &share, nullptr, nullptr, 1, 0, 0, &zone),
            kTecOk);
  EXPECT_EQ(zone, 3);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);

  const TecplotFile f = readback(b);
  ASSERT_EQ(f.aux.size(), 1u);
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(f.zones[0].values[0], mesh);
  EXPECT_EQ(f.zones[0].connectivity.size(), 2 * mesh.size() - 2);
  EXPECT_EQ(f.zones[0].connectivity.back(), n - 1);
  EXPECT_EQ(f.zones[1].values[0], (std::vector<double>{4, 5, 6}));
  EXPECT_EQ(f.zones[2].values[0], mesh);
  EXPECT_EQ(f.zones[2].connectivity, f.zones[0].connectivity);
  EXPECT_FALSE(fs::exists(b + ".szplt.szhdr"));
}

// Append mode flushes and drops its handles: the run must still leave a readable file, and
// the next run must still continue the data set.
TEST_F(Tecio, DataSetLeftOpenIsReadableAfterTheRunAndStillResumes) {
  const std::string b = base("pm");
  const pid_t pid = fork();
  if (pid == 0) {
    void* h = nullptr;
    if (tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, &h) != 0) std::exit(1);
    chainzone(h, {1, 2, 3});
    const std::int32_t keep = 1;
    if (tecFileWriterFlush(h, 1, &keep) != 0) std::exit(2);
    std::exit(::testing::Test::HasFailure() ? 3 : 0);  // a normal end of the program
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const TecplotFile first = readback(b);
  ASSERT_EQ(first.zones.size(), 1u);
  EXPECT_EQ(first.zones[0].values[0], (std::vector<double>{1, 2, 3}));
  EXPECT_TRUE(fs::exists(b + ".szplt.szhdr"));

  void* h = open(b, "X");
  EXPECT_EQ(chainzone(h, {4, 5}), 2);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  const TecplotFile both = readback(b);
  ASSERT_EQ(both.zones.size(), 2u);
  EXPECT_EQ(both.zones[1].values[0], (std::vector<double>{4, 5}));
  EXPECT_FALSE(fs::exists(b + ".szplt.szhdr"));
}

// Each zone records its output time in the temporary files; taking a data set back drops the
// zones of later output times (every zone, for one written anew) and cuts the data file, and a
// data set left without zones counts as set up after the last output time kept.
TEST_F(Tecio, TemporariesRecordOutputTimesAndAreTakenBack) {
  const std::string b = base("pm");
  ASSERT_EQ(inchild([&] {
              void* h = nullptr;
              if (tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, &h) != 0) return 1;
              if (tecZoneSetOutputIndex(h, 0, 3) != 0) return 2;  // set up at output time 3
              for (std::int32_t index = 3; index <= 5; ++index) {
                // Large enough for the aligned layout and for a fingerprint of two blocks.
                const std::int32_t zone = chainzone(h, std::vector<double>(3000, index));
                if (tecZoneSetOutputIndex(h, zone, index) != 0) return 3;
              }
              return tecFileWriterFlush(h, 0, nullptr);
            }),
            0);
  TecTemporaries held;
  ASSERT_EQ(tecTemporariesRead(b.c_str(), &held), kTecOk);
  EXPECT_TRUE(held.indexed);
  EXPECT_EQ(held.indices, (std::vector<std::int32_t>{3, 4, 5}));
  EXPECT_EQ(held.setupindex, 3);
  EXPECT_EQ(held.zonetype, kTecFeLineSeg);
  EXPECT_EQ(held.nodes, 3000);
  EXPECT_EQ(held.cells, 2999);
  EXPECT_EQ(held.placed, -1);
  const auto length = fs::file_size(b + ".szplt.szdat");

  ASSERT_EQ(tecTemporariesTakeBack(b.c_str(), 4), kTecOk);
  ASSERT_EQ(tecTemporariesRead(b.c_str(), &held), kTecOk);
  EXPECT_EQ(held.indices, (std::vector<std::int32_t>{3, 4}));
  EXPECT_LT(fs::file_size(b + ".szplt.szdat"), length);
  ASSERT_EQ(tecTemporariesTakeBack(b.c_str(), 4, true), kTecOk);  // every zone, whatever its output time
  ASSERT_EQ(tecTemporariesRead(b.c_str(), &held), kTecOk);
  EXPECT_TRUE(held.indices.empty());
  EXPECT_EQ(held.setupindex, 5);
  ASSERT_EQ(tecTemporariesTakeBack(b.c_str(), 1), kTecOk);
  ASSERT_EQ(tecTemporariesRead(b.c_str(), &held), kTecOk);
  EXPECT_TRUE(held.indices.empty());
  EXPECT_EQ(held.setupindex, 2);
  EXPECT_EQ(fs::file_size(b + ".szplt.szdat"), 0u);

  // The fingerprints tell another data file of the same length from the one written.
  ASSERT_EQ(flushedrun(base("one")), 0);
  ASSERT_EQ(flushedrun(base("two")), 0);
  std::string data = testkit::readfile(base("two") + ".szplt.szdat");
  data[data.size() - 1] ^= 1;
  testkit::writefile(base("two") + ".szplt.szdat", data);
  EXPECT_EQ(tecTemporariesRead(base("one").c_str(), &held), kTecOk);
  EXPECT_EQ(tecTemporariesRead(base("two").c_str(), &held), kTecOtherData);
}

// Starting afresh would throw the earlier run's zones away.
TEST_F(Tecio, OtherVariableListIsRefusedAndTheZonesKept) {
  const std::string b = base("pm");
  ASSERT_EQ(flushedrun(b), 0);
  void* h = reinterpret_cast<void*>(1);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X,Y", 1, 0, 0, nullptr, &h), kTecOtherTemporary);
  EXPECT_EQ(h, nullptr);
  h = open(b, "X");
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_EQ(readback(b).zones.size(), 1u);
}

// The data set replaces a regular file only when complete; through a link it is written in place.
TEST_F(Tecio, FinalFileReplacedWholeOrWrittenThroughALink) {
  const std::string b = base("pm");
  testkit::writefile(b + ".szplt", "an earlier data set");
  void* h = open(b, "X");
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_EQ(readback(b).variables.size(), 1u);
  EXPECT_FALSE(fs::exists(b + ".szplt.new"));

  const std::string elsewhere = base("target") + ".bin";
  fs::remove(b + ".szplt");
  fs::create_symlink(elsewhere, b + ".szplt");
  h = open(b, "X");
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_TRUE(fs::is_symlink(b + ".szplt"));
  EXPECT_GT(fs::file_size(elsewhere), 0u);
}

// A stopped run's close never puts a data set of no zone in an earlier one's place, begun zone
// or not, and leaves no temporary file either way.
TEST_F(Tecio, StoppedCloseGivesUpADataSetWithoutACompleteZone) {
  const std::string b = base("pm");
  for (const int zones : {0, 1, 2}) {
    SCOPED_TRACE(zones);
    testkit::writefile(b + ".szplt", "an earlier data set");
    void* h = open(b, "X");
    for (int k = 0; k < zones; ++k) chainzone(h, {1, 2});
    EXPECT_EQ(tecFileWriterCloseAs(&h, TecClose::giveup), kTecOk);
    EXPECT_EQ(h, nullptr);
    const TecOutcome done = tecDataSetOutcome(b.c_str());
    if (zones == 0) {
      EXPECT_EQ(done.placement, TecPlacement::notattempted);
      EXPECT_EQ(testkit::readfile(b + ".szplt"), "an earlier data set");
    } else {
      EXPECT_EQ(done.placement, TecPlacement::written);
      EXPECT_EQ(readback(b).zones.size(), static_cast<std::size_t>(zones));
    }
    EXPECT_FALSE(fs::exists(b + ".szplt.szhdr"));
    EXPECT_FALSE(fs::exists(b + ".szplt.szdat"));
  }
}

TEST_F(Tecio, DamagedTemporariesAreRefused) {
  const std::string b = base("pm");
  testkit::writefile(b + ".szplt.szhdr", "not a header");
  void* h = reinterpret_cast<void*>(1);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, &h), kTecBadTemporary);
  EXPECT_EQ(h, nullptr);

  fs::remove(b + ".szplt.szhdr");
  ASSERT_EQ(flushedrun(b), 0);
  fs::resize_file(b + ".szplt.szdat", 8);  // shorter than the flushed data: neither taken back nor continued
  EXPECT_EQ(tecTemporariesTakeBack(b.c_str(), 0), kTecBadTemporary);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, &h), kTecBadTemporary);
}

// A zone's result files and origin, as the third and fourth layouts record them, read back;
// counts, names and values they cannot hold, and a negative output time, are refused as damage.
TEST_F(Tecio, RecordedResultFilesAndOriginsAreReadOrRefused) {
  const auto files = [](std::int64_t count, const std::vector<std::string>& names) {
    std::string bytes;
    appendword(bytes, 1);  // recorded
    bytes.append(reinterpret_cast<const char*>(&count), sizeof count);
    for (const std::string& name : names) {
      const auto n = static_cast<std::int64_t>(name.size());
      bytes.append(reinterpret_cast<const char*>(&n), sizeof n);
      bytes += name;
    }
    return bytes;
  };
  struct Case {
    const char* what;
    std::string sources;
    std::int32_t origin;
    char version;  // the layout, '3' or '4'
    std::int32_t status;
    std::int32_t index = 0;  // the zone's output time
  };
  const Case cases[] = {
      {"two files, of the meshes alone", files(2, {"a.0001", "b.0001"}), 2, '4', kTecOk},
      {"two files, third layout", files(2, {"a.0001", "b.0001"}), 0, '3', kTecOk},
      {"a count beyond the header", files(1000, {"a.0001"}), 1, '4', kTecBadTemporary},
      {"a count beyond the header, third layout", files(1000, {"a.0001"}), 0, '3', kTecBadTemporary},
      {"a negative count", files(-1, {}), 1, '4', kTecBadTemporary},
      {"an empty name", files(1, {""}), 1, '4', kTecBadTemporary},
      {"an empty name, third layout", files(1, {""}), 0, '3', kTecBadTemporary},
      {"a name holding a control character", files(1, {"a\n0001"}), 1, '4', kTecBadTemporary},
      {"an origin of no kind", files(0, {}), 3, '4', kTecBadTemporary},
      {"an origin of none recorded", files(0, {}), -1, '4', kTecBadTemporary},
      {"a negative output time", files(0, {}), 1, '4', kTecBadTemporary, -1},
  };
  const std::string b = base("pm");
  ASSERT_EQ(flushedrun(b), 0);
  testkit::SavedHeader header;
  ASSERT_TRUE(testkit::readsavedheader(b + ".szplt.szhdr", header));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::SavedHeader forged = header;
    forged.origins = c.version != '3';
    forged.zones[0].sources = c.sources;
    forged.zones[0].origin = c.origin;
    forged.zones[0].outputindex = c.index;
    testkit::writesavedheader(b + ".szplt.szhdr", forged);
    TecTemporaries held;
    ASSERT_EQ(tecTemporariesRead(b.c_str(), &held), c.status);
    if (c.status != kTecOk) continue;
    EXPECT_EQ(held.sources, (std::vector<std::vector<std::string>>{{"a.0001", "b.0001"}}));
    EXPECT_EQ(held.origins, (std::vector<TecZoneOrigin>{static_cast<TecZoneOrigin>(c.origin)}));
    EXPECT_EQ(held.names, (std::vector<std::string>{"X"}));
  }
}

TEST_F(Tecio, HandlesMustBeOpenAndUnique) {
  const std::int32_t one = 1;
  const double v = 0;
  std::int32_t zone = 0;
  void* bogus = reinterpret_cast<void*>(12345);
  for (void* h : {static_cast<void*>(nullptr), bogus}) {
    EXPECT_EQ(tecDataSetAddAuxData(h, "A", "b"), kTecBadHandle);
    EXPECT_EQ(tecVarAddAuxData(h, 1, "A", "b"), kTecBadHandle);
    EXPECT_EQ(tecZoneCreateFE(h, "z", 1, 2, 1, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &zone), kTecBadHandle);
    EXPECT_EQ(tecZoneSetUnsteadyOptions(h, 1, 0.0, 1), kTecBadHandle);
    EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, 1, &v), kTecBadHandle);
    EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 1, &one), kTecBadHandle);
    EXPECT_EQ(tecFileWriterFlush(h, 0, nullptr), kTecBadHandle);
    EXPECT_EQ(tecFileWriterClose(&h), kTecBadHandle);
  }
  EXPECT_EQ(tecFileWriterClose(nullptr), kTecBadHandle);

  void* h = open(base("pm"), "X");
  void* again = nullptr;
  EXPECT_EQ(tecFileWriterOpen(base("pm").c_str(), "T", "X", 1, 0, 0, nullptr, &again), kTecBadArgument);
  void* copy = h;
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_EQ(tecFileWriterFlush(copy, 0, nullptr), kTecBadHandle);
}

TEST_F(Tecio, OpenRejectsBadArguments) {
  const std::string b = base("pm");
  void* h = nullptr;
  int grid = 0;
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 0, 0, 0, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 1, 0, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 4, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, &grid, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "", 1, 0, 0, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X,,Y", 1, 0, 0, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), nullptr, "X", 1, 0, 0, nullptr, &h), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(b.c_str(), "T", "X", 1, 0, 0, nullptr, nullptr), kTecBadArgument);
  EXPECT_EQ(tecFileWriterOpen(base("no/such/dir/pm").c_str(), "T", "X", 1, 0, 0, nullptr, &h), kTecIoError);
  EXPECT_EQ(h, nullptr);
}

TEST_F(Tecio, AuxAndUnsteadyOptionsRejectBadArguments) {
  void* h = open(base("pm"), "X");
  EXPECT_EQ(tecDataSetAddAuxData(h, "", "v"), kTecBadArgument);
  EXPECT_EQ(tecDataSetAddAuxData(h, "1a", "v"), kTecBadArgument);
  EXPECT_EQ(tecDataSetAddAuxData(h, "a b", "v"), kTecBadArgument);
  EXPECT_EQ(tecDataSetAddAuxData(h, "a", nullptr), kTecBadArgument);
  EXPECT_EQ(tecVarAddAuxData(h, 0, "Units", "m"), kTecBadArgument);
  EXPECT_EQ(tecVarAddAuxData(h, 2, "Units", "m"), kTecBadArgument);
  EXPECT_EQ(tecZoneSetUnsteadyOptions(h, 1, 0.0, 1), kTecBadArgument);  // no zone yet
  chainzone(h, {1, 2});
  EXPECT_EQ(tecZoneSetUnsteadyOptions(h, 1, 0.0, -1), kTecBadArgument);
  EXPECT_EQ(tecZoneSetUnsteadyOptions(h, 1, std::nan(""), 1), kTecBadArgument);
  EXPECT_EQ(tecFileWriterClose(&h), kTecOk);
}

TEST_F(Tecio, ZoneCreationRejectsBadArguments) {
  void* h = open(base("pm"), "X,Y");
  std::int32_t zone = 0;
  const auto create = [&](std::int32_t type, std::int64_t nodes, std::int64_t cells, const std::int32_t* types,
                          const std::int32_t* share, const std::int32_t* loc, const std::int32_t* passive,
                          std::int32_t connshare, std::int64_t faces = 0) {
    return tecZoneCreateFE(h, "z", type, nodes, cells, types, share, loc, passive, connshare, faces, 0, &zone);
  };
  const std::int32_t bad[] = {4, 1}, nowhere[] = {2, 0}, one[] = {1, 0}, cc[] = {0, 1}, pass[] = {1, 0};
  EXPECT_EQ(create(0, 2, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecBadArgument);
  EXPECT_EQ(create(6, 2, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecBadArgument);
  EXPECT_EQ(create(1, -1, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecBadArgument);
  EXPECT_EQ(create(1, std::int64_t{1} << 31, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecBadArgument);
  EXPECT_EQ(create(1, 2, 1, nullptr, nullptr, nullptr, nullptr, 0, 1), kTecBadArgument);
  EXPECT_EQ(create(1, 2, 1, bad, nullptr, nullptr, nullptr, 0), kTecBadArgument);
  EXPECT_EQ(create(1, 2, 1, nullptr, one, nullptr, nullptr, 0), kTecBadArgument);  // zone 1 does not exist yet
  EXPECT_EQ(create(1, 2, 1, nullptr, nullptr, nullptr, nullptr, 1), kTecBadArgument);

  ASSERT_EQ(create(1, 2, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecOk);
  EXPECT_EQ(create(1, 2, 1, nullptr, nullptr, nullptr, nullptr, 0), kTecBadSequence);  // zone 1 incomplete
  const float v[] = {1, 2};
  const std::int32_t ends[] = {1, 2};
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 1, 1, 0, 2, v), kTecOk);
  ASSERT_EQ(tecZoneVarWriteFloatValues(h, 1, 2, 0, 2, v), kTecOk);
  ASSERT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 2, ends), kTecOk);

  EXPECT_EQ(create(1, 2, 1, nullptr, nowhere, nullptr, nullptr, 0), kTecBadArgument);  // itself
  EXPECT_EQ(create(1, 3, 1, nullptr, one, nullptr, nullptr, 0), kTecBadArgument);      // other size
  EXPECT_EQ(create(1, 2, 1, nullptr, one, cc, nullptr, 0), kTecBadArgument);           // other location
  EXPECT_EQ(create(1, 2, 1, nullptr, one, nullptr, pass, 0), kTecBadArgument);         // passive and shared
  EXPECT_EQ(create(2, 2, 1, nullptr, nullptr, nullptr, nullptr, 1), kTecBadArgument);  // other zone type
  EXPECT_EQ(create(1, 3, 1, nullptr, nullptr, nullptr, nullptr, 1), kTecBadArgument);  // other node count
  EXPECT_EQ(tecFileWriterClose(&h), kTecOk);
  EXPECT_EQ(readback(base("pm")).zones.size(), 1u);
}

TEST_F(Tecio, WritesOutOfOrderOrOutOfBoundsAreRejected) {
  void* h = open(base("pm"), "X,Y,S,P");
  const std::int32_t types[] = {kTecDouble, kTecDouble, kTecDouble, kTecDouble};
  std::int32_t zone = 0;
  ASSERT_EQ(tecZoneCreateFE(h, "z", kTecFeLineSeg, 3, 2, types, nullptr, nullptr, nullptr, 0, 0, 0, &zone), kTecOk);
  const double v[] = {1, 2, 3, 4};
  const float f[] = {1, 2, 3};
  const std::int32_t nodes[] = {1, 2, 2, 3}, badnodes[] = {0, 1, 2, 4};
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 2, 0, 0, v), kTecBadSequence);  // even nothing, before X
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 2, 0, 3, v), kTecBadSequence);  // X first
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 4, nodes), kTecBadSequence);     // values first
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 0, 1, 0, 3, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 2, 1, 0, 3, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 0, 0, 3, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 5, 0, 3, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 1, 3, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, -1, v), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, 3, nullptr), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteFloatValues(h, 1, 1, 0, 3, f), kTecBadArgument);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, 4, v), kTecBadSequence);  // more than the nodes
  for (int k = 1; k <= 4; ++k) ASSERT_EQ(tecZoneVarWriteDoubleValues(h, 1, k, 0, 3, v), kTecOk);
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 4, badnodes), kTecBadArgument);
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 0, 4, nodes), kTecBadArgument);  // 3 is past the last node from 0
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 2, 4, nodes), kTecBadArgument);
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 5, nodes), kTecBadSequence);
  EXPECT_EQ(tecFileWriterFlush(h, 0, nullptr), kTecBadSequence);  // zone incomplete
  ASSERT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 2, nodes), kTecOk);
  ASSERT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 2, nodes + 2), kTecOk);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 1, 1, 0, 1, v), kTecBadSequence);  // zone complete
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 1, 0, 1, 1, nodes), kTecBadSequence);

  // Shared and passive variables and shared node lists take no data.
  const std::int32_t share[] = {1, 0, 0, 0}, passive[] = {0, 1, 0, 0};
  ASSERT_EQ(tecZoneCreateFE(h, "z", kTecFeLineSeg, 3, 2, types, share, nullptr, passive, 1, 0, 0, &zone), kTecOk);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 2, 1, 0, 3, v), kTecBadSequence);
  EXPECT_EQ(tecZoneVarWriteDoubleValues(h, 2, 2, 0, 3, v), kTecBadSequence);
  EXPECT_EQ(tecZoneNodeMapWrite32(h, 2, 0, 1, 4, nodes), kTecBadSequence);
  EXPECT_EQ(tecFileWriterFlush(h, 1, std::vector<std::int32_t>{3}.data()), kTecBadArgument);
  EXPECT_EQ(tecFileWriterFlush(h, -1, nullptr), kTecBadArgument);
  EXPECT_EQ(tecFileWriterFlush(h, 1, nullptr), kTecBadArgument);

  // Closing with zone 2 half written keeps zone 1 only and says so.
  ASSERT_EQ(tecZoneVarWriteDoubleValues(h, 2, 3, 0, 3, v), kTecOk);
  EXPECT_EQ(tecFileWriterClose(&h), kTecBadSequence);
  const TecplotFile file = readback(base("pm"));
  ASSERT_EQ(file.zones.size(), 1u);
  EXPECT_EQ(file.zones[0].values[3], (std::vector<double>{1, 2, 3}));
  EXPECT_FALSE(fs::exists(base("pm") + ".szplt.szdat"));
}

TEST_F(Tecio, ReaderFailsCleanlyOnCutOrDamagedFiles) {
  const std::string b = base("small");
  void* h = open(b, "X");
  ASSERT_EQ(tecDataSetAddAuxData(h, "Source", "x"), kTecOk);
  chainzone(h, {1, 2, 3});
  const std::int32_t type = kTecDouble, share = 1;
  std::int32_t zone = 0;
  ASSERT_EQ(tecZoneCreateFE(h, "s", kTecFeLineSeg, 3, 2, &type, &share, nullptr, nullptr, 1, 0, 0, &zone), kTecOk);
  ASSERT_EQ(tecFileWriterClose(&h), kTecOk);
  const std::string bytes = testkit::readfile(b + ".szplt");
  TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::parsetecplot(bytes, file, error)) << error;
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(testkit::parsetecplot(std::string_view(bytes).substr(0, n), file, error)) << n;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    testkit::parsetecplot(damaged, file, error);  // must merely return
  }
}

}  // namespace
}  // namespace kelpra
