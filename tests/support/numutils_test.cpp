#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <array>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/numutils.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"

namespace kelpra {
namespace {

using testkit::stoperr;

class NumUtils : public testkit::CleanRun {};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(NumUtils, DigitCounts) {
  constexpr auto lo = std::numeric_limits<std::int32_t>::min();
  constexpr auto hi = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 1},      {9, 1},      {-9, 1},          {10, 2},
                                                         {-10, 2},    {99999, 5},  {100000, 6},      {999999999, 9},
                                                         {hi, 10},    {lo, 10},    {1000000000, 10}, {-1000000000, 10}};
  for (const auto& [n, d] : cases) EXPECT_EQ(numdigits(n), d) << n;
}

TEST_F(NumUtils, ZeroPaddedIntegers) {
  EXPECT_EQ(zeropaddedintstring(4, 5), "0005");
  EXPECT_EQ(zeropaddedintstring(4, 12345), "****");
  EXPECT_EQ(zeropaddedintstring(4, -5), "****");
  EXPECT_EQ(zeropaddedintstring(10, 7), "0000000007");
  EXPECT_EQ(zeropaddedintstring(1, 0), "0");
  EXPECT_EQ(zeropaddedintstring(16, 42), "0000000000000042");
  EXPECT_EQ(zeropaddedintstring(16, std::numeric_limits<std::int32_t>::min()), std::string(16, '*'));
  int st = -7;
  EXPECT_EQ(zeropaddedintstring(2, 100, &st), "**");
  EXPECT_EQ(st, 0);
  // Widths outside the 16-character field are failed writes.
  for (int width : {17, 100, 0, -3}) {
    EXPECT_EQ(zeropaddedintstring(width, 1, &st), "");
    EXPECT_GT(st, 0) << width;
    const auto err = stoperr([&] { (void)zeropaddedintstring(width, 1); });
    EXPECT_TRUE(has(err, "Zero padded integer string conversion failed.")) << err;
    testing_only::reseterrorstate();
  }
}

TEST_F(NumUtils, PointToSegment) {
  const std::vector<double> a{0, 0, 0}, b{2, 0, 0};
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a, a, std::vector<double>{1, 2, 2}), 9.0);  // a = b
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a, b, std::vector<double>{5, 4, 0}), 25.0);  // beyond b
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a, b, std::vector<double>{-1, 0, 0}), 1.0);  // before a
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a, b, std::vector<double>{1, 3, 0}), 9.0);  // beside
  const std::vector<double> a2{0, 0}, b2{1, 1};
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a2, b2, std::vector<double>{1, 0}), 0.5);
  EXPECT_EQ(pointtosegmentdistsq({}, b2, b2), 0.0);
  // A p shorter than a: only the shared components count, nothing is read past its end.
  EXPECT_DOUBLE_EQ(pointtosegmentdistsq(a, b, std::vector<double>{1}), 0.0);
}

TEST_F(NumUtils, TriangleAreaAndCross) {
  EXPECT_DOUBLE_EQ(triangleareasigned({0, 0}, {1, 0}, {0, 1}), 0.5);
  EXPECT_DOUBLE_EQ(triangleareasigned({0, 0}, {0, 1}, {1, 0}), -0.5);
  EXPECT_DOUBLE_EQ(triangleareasigned({1, 1}, {3, 1}, {3, 4}), 3.0);
  EXPECT_EQ(cross({1, 0, 0}, {0, 1, 0}), (std::array<double, 3>{0, 0, 1}));
  EXPECT_EQ(cross({0, 1, 0}, {1, 0, 0}), (std::array<double, 3>{0, 0, -1}));
  EXPECT_EQ(cross({1, 2, 3}, {4, 5, 6}), (std::array<double, 3>{-3, 6, -3}));
}

TEST_F(NumUtils, TimePanels) {
  const std::vector<double> lo{0, 10, 20}, hi{10, 20, 30};
  EXPECT_EQ(gettimepanelrightexclusive(3, lo, hi, 10.0), 2);
  EXPECT_EQ(gettimepanelrightinclusive(3, lo, hi, 10.0), 1);
  EXPECT_EQ(gettimepanelrightexclusive(3, lo, hi, 30.0), 0);
  EXPECT_EQ(gettimepanelrightinclusive(3, lo, hi, 30.0), 3);
  EXPECT_EQ(gettimepanelrightexclusive(3, lo, hi, -1.0), 0);
  EXPECT_EQ(gettimepanelrightexclusive(3, lo, hi, std::nan("")), 0);
  EXPECT_EQ(gettimepanelrightinclusive(0, lo, hi, 5.0), 0);
  EXPECT_EQ(gettimepanelrightinclusive(-2, lo, hi, 5.0), 0);
  // Only n panels take part, and never more than the arrays hold.
  EXPECT_EQ(gettimepanelrightexclusive(2, lo, hi, 25.0), 0);
  EXPECT_EQ(gettimepanelrightexclusive(50, lo, hi, 25.0), 3);
  // Overlapping, unsorted panels: the first match wins.
  const std::vector<double> lo2{5, 0}, hi2{8, 100};
  EXPECT_EQ(gettimepanelrightexclusive(2, lo2, hi2, 6.0), 1);
  EXPECT_EQ(gettimepanelrightexclusive(2, lo2, hi2, 1.0), 2);
}

TEST_F(NumUtils, CompensatedSums) {
  EXPECT_EQ(kahansumr8({}), 0.0);
  EXPECT_EQ(kahansumr4({}), 0.0F);
  // One large value followed by many values below its rounding step.
  std::vector<double> x(1, 1.0);
  x.insert(x.end(), 1000000, 1e-16);
  EXPECT_NEAR(kahansumr8(x), 1.0 + 1e-10, 1e-15);
  std::vector<float> y(1, 1.0F);
  y.insert(y.end(), 100000, 1e-8F);
  EXPECT_NEAR(kahansumr4(y), 1.001F, 1e-6F);
}

TEST_F(NumUtils, WeightedAverages) {
  const std::vector<double> x{2, 100, 6};
  EXPECT_DOUBLE_EQ(weightedaverager8(x, std::vector<double>{1, 0, 3}), 5.0);
  EXPECT_EQ(weightedaverager8(x, std::vector<double>{0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(weightedaverager8(x, std::vector<double>{1, -5, std::nan("")}), 2.0);
  EXPECT_EQ(weightedaverager8({}, {}), 0.0);
  // A weight array shorter than x: the missing weights count as absent.
  EXPECT_DOUBLE_EQ(weightedaverager8(x, std::vector<double>{1}), 2.0);
  EXPECT_FLOAT_EQ(weightedaverager4(std::vector<float>{2, 100, 6}, std::vector<float>{1, 0, 3}), 5.0F);
}

TEST_F(NumUtils, NodeToElementMapOfTwoTriangles) {
  const std::vector<std::int32_t> inc{1, 2, 3, 2, 4, 3};
  std::vector<std::int32_t> ptr{9, 9}, list{9};
  nodetoelementmap(4, 2, 3, inc, 3, ptr, list);
  EXPECT_EQ(ptr, (std::vector<std::int32_t>{1, 2, 4, 6, 7}));
  EXPECT_EQ(list, (std::vector<std::int32_t>{1, 1, 2, 1, 2, 2}));
}

TEST_F(NumUtils, NodeToElementMapEdgeCases) {
  std::vector<std::int32_t> ptr, list;
  // Spare rows are passed over; an unused node gets an empty row; a repeated node is
  // listed once per occurrence.
  const std::vector<std::int32_t> inc{3, 3, -1, 1, 3, -1};
  nodetoelementmap(4, 2, 2, inc, 3, ptr, list);
  EXPECT_EQ(ptr, (std::vector<std::int32_t>{1, 2, 2, 5, 5}));
  EXPECT_EQ(list, (std::vector<std::int32_t>{2, 1, 1, 2}));
  nodetoelementmap(3, 0, 3, {}, 3, ptr, list);
  EXPECT_EQ(ptr, (std::vector<std::int32_t>{1, 1, 1, 1}));
  EXPECT_TRUE(list.empty());
  nodetoelementmap(0, 0, 0, {}, 0, ptr, list);
  EXPECT_EQ(ptr, (std::vector<std::int32_t>{1}));
}

TEST_F(NumUtils, NodeToElementMapRejectsBadTables) {
  std::vector<std::int32_t> ptr, list;
  const std::vector<std::int32_t> inc{1, 2, 5};
  auto err = stoperr([&] { nodetoelementmap(4, 1, 3, inc, 3, ptr, list); });
  EXPECT_TRUE(has(err, "element 1 holds node 5, outside 1..4")) << err;
  testing_only::reseterrorstate();
  const std::vector<std::int32_t> zero{0, 1, 2};
  err = stoperr([&] { nodetoelementmap(4, 1, 3, zero, 3, ptr, list); });
  EXPECT_TRUE(has(err, "holds node 0")) << err;
  testing_only::reseterrorstate();
  err = stoperr([&] { nodetoelementmap(4, 2, 3, inc, 3, ptr, list); });
  EXPECT_TRUE(has(err, "incidence table smaller than 3 nodes by 2 elements")) << err;
}

TEST_F(NumUtils, EnvironmentLookup) {
  const char* name = "KELPRA_NUMUTILS_TEST_VALUE";
  std::string value(8, 'x');
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "dflt    "}, {"abc", "abc     "}, {"", "        "}, {"12345678", "12345678"}};
  for (const auto& [set, expected] : cases) {
    set ? ::setenv(name, set, 1) : ::unsetenv(name);
    readenvvarordefault(std::string(name) + "  ", "dflt", value);
    EXPECT_EQ(value, expected);
  }
  ::unsetenv(name);
  readenvvarordefault(name, "a-much-longer-default", value);
  EXPECT_EQ(value, "a-much-l");
  ::setenv(name, "123456789", 1);
  const auto err = stoperr([&] { readenvvarordefault(name, "dflt", value); });
  EXPECT_TRUE(has(err, "Value of environment variable KELPRA_NUMUTILS_TEST_VALUE exceeds preprocessor variable "
                       "character limit."))
      << err;
  ::unsetenv(name);
}

}  // namespace
}  // namespace kelpra
