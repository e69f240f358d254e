#include "tables/timeonofftable.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "tests/tables/tablestesting.hpp"

namespace kelpra {
namespace {

using testkit::expectstop;

class OnOff : public testkit::TablesTest {};

TIMEONOFFTABLE twointervals() {
  TIMEONOFFTABLE t;
  t.push(1, 2);
  t.push(5, 6);
  return t;
}

TEST_F(OnOff, QueriesAndPanels) {
  TIMEONOFFTABLE t = twointervals();
  for (double on : {1.0, 1.5, 5.0, 5.5}) EXPECT_TRUE(t.queryon(on)) << on;
  for (double off : {0.0, 2.0, 3.0, 6.0, 9.0}) EXPECT_TRUE(t.queryoff(off)) << off;
  EXPECT_EQ(t.query(3), 2);
  double start = 0, end = 0;
  t.querytimepanel(3, start, end);
  EXPECT_EQ(start, 2);
  EXPECT_EQ(end, 5);
  t.querytimepanel(0, start, end);
  EXPECT_EQ(start, -std::numeric_limits<double>::max());
  EXPECT_EQ(end, 1);
  t.querytimepanel(6, start, end);
  EXPECT_EQ(start, 6);
  EXPECT_EQ(end, std::numeric_limits<double>::max());
  EXPECT_EQ(t.cachetimepanel(5.5), 3);
  EXPECT_EQ(t.ilast, 3);
  t.push(7, 8);
  EXPECT_EQ(t.tsize(), 3);
  EXPECT_EQ(t.n, 6);
  EXPECT_EQ(t.ton(2), 5);
  EXPECT_EQ(t.toff(2), 6);
  EXPECT_EQ(t.tlast(), 8);

  // queryon is reached through dispatch, also from queryoff's caller's view of the type.
  struct AlwaysOn : TIMEONOFFTABLE {
    std::int32_t query(double) const override { return 1; }
  } on;
  on.push(1, 2);
  EXPECT_TRUE(on.queryon(100));
  EXPECT_EQ(on.cachetimepanel(100), 1);
}

TEST_F(OnOff, EmptyTablesAndBadIntervals) {
  TIMEONOFFTABLE t;
  EXPECT_EQ(t.query(1), 0);
  EXPECT_FALSE(t.queryon(1));
  double start = 0, end = 0;
  expectstop([&] { t.querytimepanel(1, start, end); }, "the table is empty");
  expectstop([&] { t.tfirst(); }, "tfirst");
  t = twointervals();
  expectstop([&] { t.toff(3); }, "toff");
  expectstop([&] { t.push(3, 3); }, "Time on/off table times must be strictly increasing.");
  expectstop([&] { t.push(6, 7); }, "Time on/off table times must be strictly increasing.");
  expectstop([&] { twointervals().push(2, 4); }, "strictly increasing");
}

TEST_F(OnOff, CapacityDoubles) {
  TIMEONOFFTABLE t;
  t.init();
  std::vector<std::int32_t> capacities;
  for (int k = 0; k < 8; ++k) {
    t.push(2 * k, 2 * k + 1);
    if (capacities.empty() || capacities.back() != t.capacity()) capacities.push_back(t.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::int32_t>{2, 4, 8, 16}));
  t.init(-4);
  EXPECT_EQ(t.capacity(), 0);
}

TEST_F(OnOff, TextListingAndSavedForms) {
  TIMEONOFFTABLE t;
  int unit = textfile("a.txt", "\t0 1\n\n2,3\nEND\n");
  readtimeonofftable(unit, t);
  EXPECT_EQ(t.tsize(), 2);
  EXPECT_EQ(testkit::screen([&] { t.writetable(std::nullopt, "(2F6.1)"); }), "   0.0   1.0\n   2.0   3.0\n");
  unit = textfile("b.txt", "0 1\n");
  expectstop([&] { readtimeonofftable(unit, t); }, "Error reading time on/off table: missing end.");
  unit = textfile("c.txt", "0 x\nend\n");
  expectstop([&] { readtimeonofftable(unit, t); }, "Bad time on/off pair: 0 x");
  expectstop([&] { t.writetable(getunit()); }, "Error writing time on/off table.");

  t = twointervals();
  t.cachetimepanel(3);
  for (const FileForm form : testkit::kBothForms) {
    unit = openfile("saved", form);
    t.serialize(unit);
    rewind(unit);
    TIMEONOFFTABLE back = twointervals();
    back.push(10, 11);
    back.deserialize(unit);
    EXPECT_EQ(back.n, 4);
    EXPECT_EQ(back.capacity(), 4);
    EXPECT_EQ(back.ilast, 2);
    EXPECT_EQ(back.times, t.times);
    freeunit(unit);
  }
  for (const char* bad : {"3\n1\n1\n2\n3\n", "-2\n1\n", "4\n1\n1\n2\n2\n3\n"}) {
    unit = textfile("bad", bad);
    expectstop([&] { t.deserialize(unit); }, "Time on/off table times");
    freeunitall();
  }
  const int nofile = getunit();
  expectstop([&] { t.serialize(nofile); }, "Time on/off table serialize: file unit must be associated a file.");
  expectstop([&] { t.deserialize(nofile); },
             "Time on/off table times deserialize: file unit must be associated a file.");
}

}  // namespace
}  // namespace kelpra
