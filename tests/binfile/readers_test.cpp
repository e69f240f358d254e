#include "binfile/readers.hpp"
#include "binfile/readfault.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/binfile/binfile_fixture.hpp"

namespace kelpra {
namespace {

using testkit::framedrecord;
using testkit::Layout;
using testkit::le_i4;
using testkit::le_values;
using testkit::resultheader;
using namespace std::string_literals;
using V = std::vector<double>;
using F = std::vector<float>;

class Readers : public BinFileTest {};

TEST_F(Readers, OneDimensionalFilesOfEveryTypeAndLayout) {
  for (const Layout layout : {Layout::current, Layout::legacy}) {
    testkit::writeresult_i4(path("i4"), "1 ints", {3, -4, 5}, layout);
    testkit::writeresult_r4(path("r4"), "1 reals", F{0.5f, 1.5f}, layout);
    testkit::writeresult_r8(path("r8"), "1 doubles", V{1e-300, -2.0}, layout);
    std::vector<std::int32_t> i4(3);
    std::string header;
    read_i4_1d(path("i4"), 3, i4, &header);
    EXPECT_EQ(i4, (std::vector<std::int32_t>{3, -4, 5}));
    EXPECT_EQ(header, resultheader("1 ints", "I04", 1, 3, layout));
    F r4(2);
    read_r4_1d(path("r4"), 2, r4);
    EXPECT_EQ(r4, (F{0.5f, 1.5f}));
    V r8(2);
    read_r8_1d(path("r8"), 2, r8);
    EXPECT_EQ(r8, (V{1e-300, -2.0}));
  }
}

TEST_F(Readers, FewerValuesThanTheRecordHoldsIsFine) {
  testkit::writeresult_r8(path("f"), "1 x", V{1, 2, 3});
  V two(2);
  read_r8_1d(path("f"), 2, two);
  EXPECT_EQ(two, (V{1, 2}));
  V none;
  read_r8_1d(path("f"), 0, none);
}

TEST_F(Readers, MoreValuesThanTheRecordHoldsIsAReadError) {
  testkit::writeresult_r8(path("f"), "1 x", V{1, 2, 3});
  V four{9, 9, 9, 9};
  const std::string err = stopreport([&] { read_r8_1d(path("f"), 4, four); });
  EXPECT_TRUE(contains(err, "*** INPUT ERROR, HALTING EXECUTION ***"));
  EXPECT_TRUE(contains(err, "Error reading values from file " + path("f") + "\n"));
  EXPECT_TRUE(contains(err, "Error number: 39"));
  EXPECT_EQ(four, (V{9, 9, 9, 9}));  // never a partial fill
}

TEST_F(Readers, VectorsInBothLayouts) {
  const V x{1, 2, 3}, y{4, 5, 6}, z{7, 8, 9};
  testkit::writeresult_r8(path("cur"), "1 v", {x, y, z});
  testkit::writeresult_r8(path("leg"), "1 v", {x, y, z}, Layout::legacy);
  // Legacy: one record per node holding x, y, z.
  EXPECT_EQ(testkit::readfile(path("leg")).substr(88), framedrecord(le_values(V{1, 4, 7})) +
                                                           framedrecord(le_values(V{2, 5, 8})) +
                                                           framedrecord(le_values(V{3, 6, 9})));
  for (const char* name : {"cur", "leg"}) {
    V a(3), b(3), c(3);
    read_r8_vec3(path(name), 3, a, b, c);
    EXPECT_EQ(a, x);
    EXPECT_EQ(b, y);
    EXPECT_EQ(c, z);
  }
  testkit::writeresult_r4(path("v2"), "1 v", {F{1, 2}, F{3, 4}}, Layout::legacy);
  F a(2), b(2);
  read_r4_vec2(path("v2"), 2, a, b);
  EXPECT_EQ(a, (F{1, 2}));
  EXPECT_EQ(b, (F{3, 4}));
}

TEST_F(Readers, TensorsInBothLayouts) {
  std::vector<V> comps;
  for (int k = 0; k < 6; ++k) comps.push_back(V{10.0 * k + 1, 10.0 * k + 2});
  for (const Layout layout : {Layout::current, Layout::legacy}) {
    testkit::writeresult_r8(path("t"), "1 t", comps, layout);
    std::vector<V> got(6, V(2));
    read_r8_tensor(path("t"), 2, got[0], got[1], got[2], got[3], got[4], got[5]);
    EXPECT_EQ(got, comps);
    std::vector<F> fc;
    for (const V& c : comps) fc.emplace_back(c.begin(), c.end());
    testkit::writeresult_r4(path("t4"), "1 t", fc, layout);
    std::vector<F> got4(6, F(2));
    read_r4_tensor(path("t4"), 2, got4[0], got4[1], got4[2], got4[3], got4[4], got4[5]);
    EXPECT_EQ(got4, fc);
  }
}

TEST_F(Readers, MissingComponentRecordNamesTheComponent) {
  writebytes("f", framedrecord(resultheader("1 v", "R08", 2, 2)) + framedrecord(le_values(V{1, 2})));
  V x(2), y(2);
  const std::string err = stopreport([&] { read_r8_vec2(path("f"), 2, x, y); });
  EXPECT_TRUE(contains(err, "Error reading component 2 values from file " + path("f") + "\n"));
  EXPECT_TRUE(contains(err, "Error number: -1"));
}

TEST_F(Readers, CountBelowOneStillReadsTheComponentRecords) {
  writebytes("f", framedrecord(resultheader("1 v", "R08", 3, 1)) + framedrecord("") + framedrecord(""));
  V x, y, z;
  EXPECT_TRUE(contains(stopreport([&] { read_r8_vec3(path("f"), 0, x, y, z); }),
                       "Error reading component 3 values from file "));
}

TEST_F(Readers, TwoDimensionalTables) {
  // 2 rows by 3 columns, stored by columns.
  const std::vector<V> columns{V{1, 2}, V{3, 4}, V{5, 6}};
  for (const Layout layout : {Layout::current, Layout::legacy}) {
    testkit::writeresult_r8(path("t"), "1 t", columns, layout);
    V table(6);
    read_r8_2d(path("t"), 2, Array2DRef<double>(table.data(), 2, 3));
    EXPECT_EQ(table, (V{1, 2, 3, 4, 5, 6}));
    // An array with more rows than read keeps its later rows.
    F bigger(9, -1.0f);
    std::vector<F> fcols{F{1, 2}, F{3, 4}, F{5, 6}};
    testkit::writeresult_r4(path("t4"), "1 t", fcols, layout);
    read_r4_2d(path("t4"), 2, Array2DRef<float>(bigger.data(), 3, 3));
    EXPECT_EQ(bigger, (F{1, 2, -1, 3, 4, -1, 5, 6, -1}));
  }
  // A short row record in the legacy layout.
  writebytes("short", framedrecord(resultheader("1 t", "", 0, 0, Layout::legacy)) + framedrecord(le_values(V{1, 2})));
  V table(3);
  const std::string err = stopreport([&] { read_r8_2d(path("short"), 1, Array2DRef<double>(table.data(), 1, 3)); });
  EXPECT_TRUE(contains(err, "Error reading values from file " + path("short") + "\n"));
}

TEST_F(Readers, TwoDimensionalReadIntoZeroColumns) {
  writebytes("cur", framedrecord(resultheader("1 t", "R08", 1, 2)));
  std::string header;
  read_r8_2d(path("cur"), 2, Array2DRef<double>(nullptr, 2, 0), &header);
  EXPECT_EQ(header.substr(0, 3), "1 t");
  // Legacy: n records are passed over, none kept.
  const std::string legacyheader = framedrecord(resultheader("1 t", "", 0, 0, Layout::legacy));
  writebytes("leg", legacyheader + framedrecord(le_values(V{1})) + framedrecord(le_values(V{2})));
  read_r8_2d(path("leg"), 2, Array2DRef<double>(nullptr, 2, 0));
  writebytes("legshort", legacyheader + framedrecord(le_values(V{1})));
  EXPECT_TRUE(contains(stopreport([&] { read_r8_2d(path("legshort"), 2, Array2DRef<double>(nullptr, 2, 0)); }),
                       "Error reading values from file "));
}

// Stored files may carry a value-type tag that does not match their values: the tag only
// warns, once per file, and the record length decides whether the values can be read.
TEST_F(Readers, ValueTypeTagWarnsOncePerFileAndNeverStopsTheRun) {
  const auto warned = [](const std::string& err) {
    return contains(err, "WARNING MESSAGE") && !contains(err, "HALTING");
  };
  // 8-byte values under an "R04" tag read as 8-byte values.
  writebytes("tagged", framedrecord(resultheader("1 x", "R04", 1, 2)) + framedrecord(le_values(V{1.5, -2.5})));
  V r8(2);
  ::testing::internal::CaptureStderr();
  read_r8_1d(path("tagged"), 2, r8);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(warned(err)) << err;
  EXPECT_TRUE(contains(err, "Value type of file " + path("tagged") + " is R04")) << err;
  EXPECT_EQ(r8, (V{1.5, -2.5}));
  ::testing::internal::CaptureStderr();
  read_safe_r8_1d(path("tagged"), 2, r8);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // one warning per file
  // The safe readers count by the reader's type as well.
  writebytes("safe", framedrecord(resultheader("1 x", "R08", 1, 2)) + framedrecord(le_i4(3) + le_i4(-4)));
  std::vector<std::int32_t> i4(2);
  ::testing::internal::CaptureStderr();
  read_safe_i4_1d(path("safe"), 2, i4);
  EXPECT_TRUE(warned(::testing::internal::GetCapturedStderr()));
  EXPECT_EQ(i4, (std::vector<std::int32_t>{3, -4}));
  // A record too short for the reader's type stays a read error.
  writebytes("short", framedrecord(resultheader("1 x", "R08", 1, 2)) + framedrecord(le_values(F{1, 2})));
  err = stopreport([&] { read_r8_1d(path("short"), 2, r8); });
  EXPECT_TRUE(contains(err, "Error reading values from file " + path("short") + "\n")) << err;
  testing_only::reseterrorstate();
  // Legacy headers name no type, and tags other than the three value types are not acted on.
  F r4(2);
  testkit::writeresult_r8(path("leg"), "1 x", V{1, 2}, Layout::legacy);
  writebytes("odd", framedrecord(resultheader("1 x", "X99", 1, 1)) + framedrecord(le_values(F{2})));
  ::testing::internal::CaptureStderr();
  read_r4_1d(path("leg"), 2, r4);
  read_r4_1d(path("odd"), 1, r4);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(r4[0], 2.0f);
}

// Every cut of a current-layout vec3 file stops with the report of the part the cut falls
// in: the header, or the component record it interrupts.
TEST_F(Readers, TruncatedFileAtEveryByte) {
  testkit::writeresult_r8(path("whole"), "1 v", {V{1, 2}, V{3, 4}, V{5, 6}});
  const std::string whole = testkit::readfile(path("whole"));
  ASSERT_EQ(whole.size(), 88u + 3 * 24);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    writebytes("cut", whole.substr(0, cut));
    V x(2), y(2), z(2);
    const std::string err = stopreport([&] { read_r8_vec3(path("cut"), 2, x, y, z); });
    const std::string expected =
        cut < 88 ? "Error reading header from file "
                 : "Error reading component " + std::to_string((cut - 88) / 24 + 1) + " values from file ";
    EXPECT_TRUE(contains(err, expected + path("cut") + "\n")) << err;
    // A cut between records is a clean end of file; inside one it is a read failure.
    const bool boundary = cut == 0 || (cut >= 88 && (cut - 88) % 24 == 0);
    EXPECT_TRUE(contains(err, boundary ? "Error number: -1" : "Error number: 39")) << err;
    testing_only::reseterrorstate();
  }
}

TEST_F(Readers, BrokenLengthWords) {
  const std::string header = framedrecord(resultheader("1 x", "R08", 1, 2));
  const std::string payload = le_values(V{1, 2});
  V v(2);
  for (const auto& [leading, trailing] : std::vector<std::pair<std::int32_t, std::int32_t>>{
           {-16, -16}, {std::numeric_limits<std::int32_t>::max(), 16}, {16, 8}, {16, -1}}) {
    SCOPED_TRACE(std::to_string(leading) + "/" + std::to_string(trailing));
    writebytes("f", header + framedrecord(payload, leading, trailing));
    EXPECT_TRUE(contains(stopreport([&] { read_r8_1d(path("f"), 2, v); }), "Error reading values from file "));
    testing_only::reseterrorstate();
  }
}

TEST_F(Readers, MissingFileAndUndersizedArray) {
  V v(2);
  EXPECT_TRUE(contains(stopreport([&] { read_r8_1d(path("none"), 2, v); }), "Failed to open file: " + path("none")));
  testing_only::reseterrorstate();
  testkit::writeresult_r8(path("f"), "1 x", V{1, 2, 3});
  EXPECT_TRUE(contains(stopreport([&] { read_r8_1d(path("f"), 3, v); }), "cannot take the 3 values"));
}

TEST_F(Readers, SafeReadCompareTheCount) {
  std::vector<std::int32_t> thousand(1000);
  for (int i = 0; i < 1000; ++i) thousand[static_cast<std::size_t>(i)] = i;
  testkit::writeresult_i4(path("f"), "1 ids", thousand);
  std::vector<std::int32_t> got(1000);
  std::string header;
  read_safe_i4_1d(path("f"), 1000, got, &header);
  EXPECT_EQ(got, thousand);
  EXPECT_EQ(header, resultheader("1 ids", "I04", 1, 1000));

  const std::string err = stopreport([&] { read_safe_i4_1d(path("f"), 999, got); });
  EXPECT_TRUE(contains(err, "Size mismatch reading file " + path("f") +
                                "\nNum values in file: 1000\nNum values to read: 999\n"));
  EXPECT_FALSE(contains(err, "Error number"));
}

TEST_F(Readers, SafeReadBadInput) {
  V v(2);
  writebytes("empty", "");
  const std::string empty = stopreport([&] { read_safe_r8_1d(path("empty"), 2, v); });
  EXPECT_TRUE(contains(empty, "Error reading header from file " + path("empty") +
                                  "\nThe file ends after 0 of 112 bytes.\nError detail: "));
  testing_only::reseterrorstate();
  const std::string header = framedrecord(resultheader("1 x", "R08", 1, 2));
  writebytes("nolength", header + "\x10\0"s);
  EXPECT_TRUE(contains(stopreport([&] { read_safe_r8_1d(path("nolength"), 2, v); }),
                       "Error reading block size from file " + path("nolength")));
  testing_only::reseterrorstate();
  writebytes("cut", header + le_i4(16) + le_values(V{1}));
  EXPECT_TRUE(contains(stopreport([&] { read_safe_r8_1d(path("cut"), 2, v); }), "Error reading values from file "));
  testing_only::reseterrorstate();
  writebytes("negative", header + framedrecord(le_values(V{1, 2}), -16, -16));
  EXPECT_TRUE(contains(stopreport([&] { read_safe_r8_1d(path("negative"), 2, v); }), "Num values in file: -2\n"));
  testing_only::reseterrorstate();
  F r4(1);
  writebytes("r4", framedrecord(resultheader("1 x", "R04", 1, 1)) + framedrecord(le_values(F{7})));
  read_safe_r4_1d(path("r4"), 1, r4);
  EXPECT_EQ(r4[0], 7.0f);
}

// A failed read says what the file holds where it fails, with the numbers found.
TEST_F(Readers, FailedReadSaysWhatTheFileHolds) {
  const std::string header = framedrecord(resultheader("1 h", "R08", 1, 36));
  const std::string whole = header + framedrecord(le_values(V(36, 1.0)));  // 384 bytes
  const std::string vecheader = framedrecord(resultheader("1 v", "", 0, 0, Layout::legacy));
  V v(36), x(3), y(3), z(3);
  const auto r8 = [&](std::int32_t n) { return [&, n] { read_r8_1d(path("f"), n, v); }; };
  const auto vec3 = [&] { read_r8_vec3(path("f"), 3, x, y, z); };
  struct Case {
    std::string bytes;
    std::function<void()> read;
    std::string message;
  };
  const std::vector<Case> cases{
      {whole.substr(0, 200), r8(36), "Error reading values from file F\nThe file ends after 200 of 384 bytes."},
      {whole.substr(0, 30), r8(36), "Error reading header from file F\nThe file ends after 30 of 384 bytes."},
      {header + framedrecord(le_values(V(12, 1.0))), r8(36),
       "Error reading values from file F\nThe record holds 12 values where 36 are needed."},
      {header + framedrecord(std::string(50, '\0')), r8(36),
       "Error reading values from file F\nThe record holds 50 bytes where 288 are needed."},
      {framedrecord(resultheader("1 h", "R04", 1, 36)) + framedrecord(le_values(F(36, 1.0f))), r8(36),
       "Error reading values from file F\nThe record holds 36 R04 values where 36 R08 values are needed."},
      {"abcd" + std::string(100, 'x'), r8(36),
       "Error reading header from file F\nThe header is not that of a result file: its record length word holds "
       "1,684,234,849, not 80."},
      {framedrecord(std::string(80, ' '), 80, 81), r8(36),
       "Error reading header from file F\nThe header is not that of a result file: its record ends with the length "
       "word 81, not 80."},
      {header + framedrecord(le_values(V{1, 2}), -16, -16), r8(2),
       "Error reading values from file F\nThe record has the length word -16."},
      {header + framedrecord(le_values(V{1, 2}), 16, 8), r8(2),
       "Error reading values from file F\nThe record begins with the length word 16 and ends with 8."},
      {vecheader + framedrecord(le_values(V{1, 2, 3})) + framedrecord(le_values(V{1, 2})), vec3,
       "Error reading values from file F\nRecord 2 of 3 holds 2 values where 3 are needed."},
      {framedrecord(resultheader("1 v", "R08", 3, 3)) + framedrecord(le_values(V{1, 2, 3})), vec3,
       "Error reading component 2 values from file F\nThe file ends after 120 of 184 bytes."},
      {header + le_i4(16) + le_values(V{1}), [&] { read_safe_r8_1d(path("f"), 2, v); },
       "Error reading values from file F\nThe file ends after 100 of 112 bytes."},
      {header + framedrecord("", 0x7fffffff, 0x7fffffff), [&] { numvals_r8_1d(path("f")); },
       "Error reading block size from file F\nThe record has the length word 2,147,483,647, more than the 4 bytes "
       "left in the file."},
      {header + le_i4(0x7fffffff) + le_values(V(36, 1.0)) + le_i4(288), r8(36),
       "Error reading values from file F\nThe record has the length word 2,147,483,647, more than the 292 bytes "
       "left in the file."},
      {header.substr(0, 30), [&] { readtnqbinfileheader(path("f")); },
       "Error reading header from file F\nThe file ends after 30 of 88 bytes."},
  };
  for (const Case& c : cases) {
    std::string message = c.message;
    message.replace(message.find('F'), 1, path("f"));
    SCOPED_TRACE(message);
    writebytes("f", c.bytes);
    const std::string err = stopreport(c.read, true);
    EXPECT_TRUE(contains(err, message + "\nError detail: ")) << err;
    testing_only::reseterrorstate();
  }
}

// Whether a result file reads whole: the records its header names (a legacy header: every
// record to the end) are there and framed; otherwise one sentence says what is wrong.
TEST_F(Readers, WholeFileOrWhatIsWrongWithIt) {
  const std::string header = framedrecord(resultheader("1 h", "R08", 2, 3));
  const std::string values = framedrecord(le_values(V{1, 2, 3}));
  const std::string legacy = framedrecord(resultheader("1 v", "", 0, 0, Layout::legacy));
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {header + values + values, ""},
      {header + values + values.substr(0, 20), "The file ends after 140 of 152 bytes."},
      {header + values, "The file ends after 120 of 152 bytes."},
      {framedrecord(resultheader("1 h", "R08", 0, 3)), "Its header names no values: its value type, component count or "
                                                        "value count is not one that can be read."},
      {legacy + values + values, ""},
      {legacy + values + values.substr(0, 20), "The file ends inside the record that begins at byte 120."},
      {legacy + values + framedrecord(le_values(V{1, 2, 3}), 24, 16),
       "The record that begins at byte 120 does not end with its length word."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    writebytes("f", c.bytes);
    EXPECT_EQ(resultfilenotwhole(path("f")), c.why);
  }
  EXPECT_EQ(resultfilenotwhole(path("none")), "It does not exist.");
  EXPECT_EQ(resultfilenotwhole(path("")), "It is not a regular file.");
}

TEST_F(Readers, CountingValues) {
  const std::string header = framedrecord(resultheader("1 x", "R08", 1, 100));
  writebytes("f", header + framedrecord(std::string(800, '\0')));
  EXPECT_EQ(numvals_r8_1d(path("f")), 100);
  EXPECT_EQ(numvals_r4_1d(path("f")), 200);
  EXPECT_EQ(numvals_i4_1d(path("f")), 200);

  writebytes("empty", "");
  EXPECT_TRUE(contains(stopreport([&] { numvals_r8_1d(path("empty")); }), "Error reading header data from file "));
  testing_only::reseterrorstate();
  // A length word that no file could back is not handed out as a count to allocate from.
  for (const std::int32_t length : {-8, 801, std::numeric_limits<std::int32_t>::max()}) {
    SCOPED_TRACE(length);
    writebytes("bad", header + framedrecord(std::string(800, '\0'), length, length));
    const std::string err = stopreport([&] { numvals_r8_1d(path("bad")); });
    EXPECT_TRUE(contains(err, "Error reading block size from file " + path("bad") + "\n")) << err;
    testing_only::reseterrorstate();
  }
}

}  // namespace
}  // namespace kelpra
