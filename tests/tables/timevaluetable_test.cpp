#include "tables/timevaluetable.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

#include "support/recordio.hpp"
#include "tests/kit/gfortran.hpp"
#include "tests/tables/tablestesting.hpp"

namespace kelpra {
namespace {

using testkit::expectstop;

class TimeValue : public testkit::TablesTest {};

// The bits of a real as 16 hexadecimal digits, as Fortran's Z16.16 edit writes them.
std::string hexbits(double v) {
  char text[20];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return text;
}

TimeValueTable table3(std::optional<double> nodata = std::nullopt) {
  TimeValueTable t;
  const std::vector<double> times = {1, 2, 4};
  const std::vector<double> values = {10, 20, 40};
  t.init2(3, times, values, nodata);
  return t;
}

TEST_F(TimeValue, StepAndLinearLookups) {
  const TimeValueTable t = table3();
  struct Case {
    double at, step, linear;
  };
  for (const Case c : {Case{0, 10, 10}, Case{1, 10, 10}, Case{1.5, 10, 15}, Case{2, 20, 20}, Case{3, 20, 30},
                       Case{3.999, 20, 39.99}, Case{4, 40, 40}, Case{9, 40, 40}}) {
    EXPECT_EQ(t.queryvalue(c.at), c.step) << c.at;
    EXPECT_DOUBLE_EQ(t.queryvalue(c.at, true), c.linear) << c.at;
  }
  EXPECT_EQ(t.queryindex(0.5), 0);
  EXPECT_EQ(t.queryindex(1), 1);
  EXPECT_EQ(t.queryindex(3), 2);
  EXPECT_EQ(t.queryindex(4), 0);
  EXPECT_EQ(t.queryindex(std::nan("")), 0);

  TimeValueTable one;
  one.push(5, 7);
  for (double at : {-1.0, 5.0, 6.0}) {
    EXPECT_EQ(one.queryvalue(at, true), 7);
    EXPECT_EQ(one.queryindex(at), 0);
  }
}

TEST_F(TimeValue, NoDataMarkerOnlyInLinearMode) {
  TimeValueTable t;
  const std::vector<double> times = {1, 2, 3};
  const std::vector<double> values = {10, -9999, 30};
  t.init2(3, times, values, -9999.0);
  EXPECT_TRUE(t.isnodata(-9999));
  EXPECT_EQ(t.queryvalue(1.5, true), 10);      // right value missing: the left one
  EXPECT_EQ(t.queryvalue(2.5, true), -9999);   // left value missing: the marker
  EXPECT_EQ(t.queryvalue(2.5, false), -9999);  // step mode: a value like any other
  t.setinterpolate(true);
  EXPECT_EQ(t.queryvalue(2.5), -9999);
}

TEST_F(TimeValue, CachedPanelAndOverriddenIndex) {
  TimeValueTable t = table3();
  EXPECT_EQ(t.cachetimepanel(3), 2);
  EXPECT_EQ(t.ilast, 2);
  EXPECT_EQ(t.cachetimepanel(100), 0);
  EXPECT_EQ(t.ilast, 2);  // kept when outside
  EXPECT_EQ(t.queryindex(1.5), 1);
  EXPECT_EQ(t.ilast, 2);  // a plain query never moves it

  struct AlwaysFirst : TimeValueTable {
    std::int32_t queryindex(double) const override { return 1; }
  } first;
  first.push(1, 1);
  first.push(2, 2);
  first.push(3, 3);
  first.ilast = 2;
  EXPECT_EQ(first.cachetimepanel(2.5), 1);
  EXPECT_EQ(first.ilast, 1);
}

TEST_F(TimeValue, EmptyTableQueries) {
  TimeValueTable t;
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(t.queryindex(1), 0);
  EXPECT_EQ(t.cachetimepanel(1), 0);
  expectstop([&] { t.queryvalue(1); }, "the table is empty");
  expectstop([&] { t.gettime(1); }, "TimeValueTable::gettime");
  t = table3();
  EXPECT_EQ(t.gettime(3), 4);
  EXPECT_EQ(t.value(2), 20);
  expectstop([&] { t.value(4); }, "pair 4");
  t.clear();
  expectstop([&] { t.gettime(1); });
}

TEST_F(TimeValue, GrowthAndStrictIncrease) {
  TimeValueTable t;
  std::vector<std::int32_t> capacities;
  for (int i = 1; i <= 13; ++i) {
    t.push(i, i);
    if (capacities.empty() || capacities.back() != t.capacity()) capacities.push_back(t.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::int32_t>{1, 2, 3, 5, 8, 12, 18}));
  EXPECT_EQ(t.gettime(13), 13);
  expectstop([&] { t.push(13, 0); }, "Times must be strictly increasing");
  expectstop([&] { t.push(std::nan(""), 0); }, "Times must be strictly increasing");
  const std::vector<double> times = {1, 2, 2};
  expectstop([&] { t.init2(3, times, times); }, "Times must be strictly increasing");
  expectstop([&] { t.init2(4, times, times); }, "4 pairs asked for");
}

TEST_F(TimeValue, ReadsTextTables) {
  TimeValueTable t;
  t.setinterpolate(true);
  int unit = textfile("a.txt", "\n  \t1.0 10\n\n2.0, 20 trailing words\n\t3e0\t30\nEnd of table\n4 40\n");
  readtimevaluetable(unit, t);
  EXPECT_EQ(t.tsize(), 3);
  EXPECT_EQ(t.value(3), 30);
  EXPECT_FALSE(t.interpolate);
  struct Bad {
    const char* text;
    const char* report;
  };
  for (const Bad b : {Bad{"1 1\n2 2\n", "Error reading time-value table: missing end"},
                      Bad{"1.0 abc\nend\n", "Bad time-value pair: 1.0 abc"},
                      Bad{"7\nend\n", "Bad time-value pair: 7"}, Bad{"2 1\n1 1\nend\n", "strictly increasing"}}) {
    unit = textfile("b.txt", b.text);
    expectstop([&] { readtimevaluetable(unit, t); }, b.report);
    freeunitall();
  }
}

TEST_F(TimeValue, ListingLayoutsAndFailures) {
  const TimeValueTable t = table3();
  EXPECT_EQ(testkit::screen([&] { t.writetable(); }),
            "  1.000000000000000E+000  1.000000000000000E+001\n"
            "  2.000000000000000E+000  2.000000000000000E+001\n"
            "  4.000000000000000E+000  4.000000000000000E+001\n");
  const int unit = openfile("list.txt", FileForm::formatted);
  int iostat = -1;
  t.writetable(unit, "(F5.1,2X)", &iostat);
  EXPECT_EQ(iostat, 0);
  EXPECT_EQ(contents(unit, "list.txt"), "  1.0   10.0\n  2.0   20.0\n  4.0   40.0\n");
  for (const char* bad : {"(I5)", "(3X)", "2ES24.15E3"}) {
    t.writetable(unit, bad, &iostat);
    EXPECT_GT(iostat, 0) << bad;
  }
  const int nofile = getunit();
  t.writetable(nofile, std::nullopt, &iostat);
  EXPECT_GT(iostat, 0);
  expectstop([&] { t.writetable(nofile); }, "Error writing time-value table.");
}

// The listing equals gfortran's output of the same descriptors for the same values.
TEST_F(TimeValue, ListingMatchesGfortran) {
  const auto gfortran = testkit::findgfortran();
  if (!gfortran) GTEST_SKIP() << "gfortran not found";
  TimeValueTable t;
  std::string input;
  double time = -1e300;
  for (double v : {0.0, -0.0, 1.5, -2.0 / 3, 1e-310, 9.9999999999999999e99, 1.7976931348623157e308, 123456789.125}) {
    t.push(time, v);
    for (double x : {time, v}) input += hexbits(x) + "\n";
    time = time < 0 ? std::fabs(time) * 1e-310 : time * 1e17 + 1;
  }
  const std::string source =
      "program listing\n  integer(8) :: a, b\n  integer :: i\n  do i = 1, " + std::to_string(t.tsize()) +
      "\n    read(*,'(Z16)') a\n    read(*,'(Z16)') b\n    write(*,'(2ES24.15e3)') transfer(a, 1d0), "
      "transfer(b, 1d0)\n  end do\nend program listing\n";
  EXPECT_EQ(testkit::screen([&] { t.writetable(); }), testkit::runfortran(*gfortran, source, input));
}

TEST_F(TimeValue, SavedFormsRoundTrip) {
  TimeValueTable t = table3(-1.0);
  t.setinterpolate(true);
  t.push(7, std::numeric_limits<double>::infinity());
  t.push(8, 0.1 + 0.2);
  t.cachetimepanel(3);
  for (const FileForm form : testkit::kBothForms) {
    const int unit = openfile("saved", form);
    t.serialize(unit);
    t.serialize(unit);  // two in a row read back in turn
    rewind(unit);
    TimeValueTable back = table3();
    for (int copy = 0; copy < 2; ++copy) {
      back.deserialize(unit);
      EXPECT_EQ(back.n, 5);
      EXPECT_EQ(back.capacity(), 5);
      EXPECT_EQ(back.ilast, 2);
      EXPECT_TRUE(back.interpolate);
      EXPECT_TRUE(back.hasnodata);
      EXPECT_EQ(back.nodata, -1.0);
      for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(back.gettime(i), t.gettime(i));
        EXPECT_EQ(back.value(i), t.value(i));
      }
    }
    freeunit(unit);
  }
}

TEST_F(TimeValue, CorruptSavedFormsAreRejected) {
  TimeValueTable t;
  struct Bad {
    const char* text;
    const char* report;
  };
  for (const Bad b : {Bad{"F\n-1\n1\nF\n0\n", "negative pair count -1"},
                      Bad{"F\n1000000\n1\nF\n0\n1 2\n", "pair count 1000000 larger than the rest of the file"},
                      Bad{"F\n2\n1\nF\n0\n1 2\n1 3\n", "Times must be strictly increasing"},
                      Bad{"F\n2\n1\nF\n0\n1 2\n3       \n", "error reading the saved form"},
                      Bad{"X\n0\n1\nF\n0\n", "error reading the saved form"},
                      Bad{"F\n1.5\n1\nF\n0\n", "error reading the saved form"}}) {
    const int unit = textfile("bad", b.text);
    expectstop([&] { t.deserialize(unit); }, b.report);
    freeunitall();
  }
  // A cached panel outside the table comes back as 1; a logical word reads by its lowest bit.
  int unit = textfile("ok", "T\n3\n7\n.false.\n0\n1 1\n2 2\n3 3\n");
  t.deserialize(unit);
  EXPECT_EQ(t.ilast, 1);
  EXPECT_TRUE(t.interpolate);
  unit = openfile("rec", FileForm::unformatted);
  for (const std::int32_t word : {2, 0, 2, 3}) writerecord(unit, &word, 4);
  const double zero = 0;
  writerecord(unit, &zero, 8);
  rewind(unit);
  t.deserialize(unit);
  EXPECT_FALSE(t.interpolate);
  EXPECT_TRUE(t.hasnodata);
  EXPECT_EQ(t.ilast, 1);
  const int nofile = getunit();
  expectstop([&] { t.serialize(nofile); }, "TimeValueTable::serialize: file unit must be associated a file");
  expectstop([&] { t.deserialize(nofile); }, "TimeValueTable::deserialize: file unit must be associated a file");
}

// A Fortran free-format reader takes the formatted saved form item by item.
TEST_F(TimeValue, FormattedSavedFormReadsInFortran) {
  const auto gfortran = testkit::findgfortran();
  if (!gfortran) GTEST_SKIP() << "gfortran not found";
  TimeValueTable t = table3(-9999.0);
  t.push(5, 1.0 / 3);
  t.push(6e200, -2.5e-300);
  const int unit = openfile("saved.txt", FileForm::formatted);
  t.serialize(unit);
  const std::string source =
      "program restore\n  logical :: interp, hasnd\n  integer :: n, ilast, i\n  real(8) :: nodata, p(2)\n"
      "  read(*,*) interp\n  read(*,*) n\n  read(*,*) ilast\n  read(*,*) hasnd\n  read(*,*) nodata\n"
      "  write(*,'(L1,1X,I0,1X,I0,1X,L1,1X,Z16.16)') interp, n, ilast, hasnd, nodata\n"
      "  do i = 1, n\n    read(*,*) p\n    write(*,'(Z16.16,1X,Z16.16)') p\n  end do\nend program restore\n";
  std::ostringstream expected;
  expected << "F 5 1 T " << hexbits(-9999.0) << "\n";
  for (int i = 1; i <= 5; ++i) expected << hexbits(t.gettime(i)) << " " << hexbits(t.value(i)) << "\n";
  EXPECT_EQ(testkit::runfortran(*gfortran, source, contents(unit, "saved.txt")), expected.str());
}

}  // namespace
}  // namespace kelpra
