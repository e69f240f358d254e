#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/recordio.hpp"
#include "tables/outfiletracker.hpp"
#include "tables/particletraceinit.hpp"
#include "tables/timeonofftable.hpp"
#include "tables/timevaluetable.hpp"
#include "tests/tables/tablestesting.hpp"

namespace kelpra {
namespace {

using testkit::expectstop;

class Records : public testkit::TablesTest {};

TEST_F(Records, OutputFileListLines) {
  const std::string name = (dir_ / "list.txt").string();
  outfiletracker tracker;
  EXPECT_FALSE(isopen(tracker));
  addtecplotfile(tracker, "nothing.dat", 1, 3);  // no list open: nothing, no report
  init(tracker, name + "   ");
  EXPECT_TRUE(isopen(tracker));
  EXPECT_EQ(tracker.filename(), name);
  EXPECT_EQ(fileunit(tracker), tracker.unit());
  addtecplotfile(tracker, "abco.pm.dat  ", 1, 3);
  addtecplotfile(tracker, "x.dat", 2, 0);
  const std::vector<std::int32_t> ints = {1};
  binaryfileint4(tracker, "abco.zone", 0, ints, -5, 12);
  binaryfilereal8(tracker, "abco.head_pm.0001", 4, {}, 100, 0, "(m)");
  binaryfilereal4(tracker, "abco.v", 5, {}, 3, 7, "(-)");
  const std::string lines =
      "abco.pm.dat,tecplot ascii,fem,block\n"
      "x.dat,tecplot ascii,tec_zone_type_unknown,tec_data_packing_unknown\n"
      "abco.zone,binary,var_location_unknown,int4,-5,12,\"\"\n"
      "abco.head_pm.0001,binary,nodal,real8,100,0,\"m\"\n"
      "abco.v,binary,cell-centered,real4,3,7,\"\"\n";
  // Initialising again closes the open list first; with append its lines stay, without
  // they are replaced.
  init(tracker, name, true);
  addtecplotfile(tracker, "more.dat", 0, 2);
  destroy(tracker);
  EXPECT_EQ(testkit::readfile(name), lines + "more.dat,tecplot ascii,ordered,point\n");
  EXPECT_EQ(tracker.unit(), 0);
  EXPECT_EQ(tracker.filename(), "");
  init(tracker, name);
  destroy(tracker);
  EXPECT_EQ(testkit::readfile(name), "");
  init(tracker, (dir_ / "new.txt").string(), true);  // append to a missing file creates it
  addtecplotfile(tracker, "a", 0, 2);
  destroy(tracker);
  EXPECT_EQ(testkit::readfile(dir_ / "new.txt"), "a,tecplot ascii,ordered,point\n");
  expectstop([&] { init(tracker, (dir_ / "no/such/dir").string()); }, "Failed to open file: ");
  for (const auto& [text, unit] : std::vector<std::pair<std::string, std::string>>{
           {"(m/s)", "m/s"}, {"((-))  ", ""}, {"()", ""}, {"  ", ""}, {"kg (dry)", "kg (dry"}, {"(m) )", "m"},
           {"( m) ( ", " m"}}) {
    EXPECT_EQ(getunitstr(text), unit) << text;
  }
}

traceInitType sample(std::string name, std::vector<double> values) {
  traceInitType t;
  t.traceinittypeinit(name + "   ", 4);
  t.count = static_cast<std::int32_t>(values.size());
  t.values = std::move(values);
  return t;
}

TEST_F(Records, TraceStartsRoundTrip) {
  const std::vector<traceInitType> cases = {sample("wells 2, east", {1.5, -2, 1e-300, 7}), sample("", {}),
                                            sample("one", {42})};
  for (const FileForm form : testkit::kBothForms) {
    const int unit = openfile("saved", form);
    for (const auto& t : cases) t.traceinittypeserialize(unit);
    rewind(unit);
    for (const auto& t : cases) {
      traceInitType back = sample("old", {9, 9});
      back.traceinittypedeserialize(unit);
      EXPECT_EQ(back.name, t.name);
      EXPECT_EQ(back.option, 4);
      EXPECT_EQ(back.count, t.count);
      EXPECT_EQ(back.values, t.values);
    }
    freeunit(unit);
  }
  // Counts and lengths that cannot be right are refused before anything is sized.
  traceInitType t;
  for (const char* bad : {"-1\n\n1\n0\n", "3\nab\n", "2\nab\n1\n-4\n", "2\nab\n1\n900000000\n1 2\n"}) {
    const int unit = textfile("bad", bad);
    expectstop([&] { t.traceinittypedeserialize(unit); }, "traceInitType::deserialize");
    freeunitall();
  }
  const int unit = openfile("rec", FileForm::unformatted);
  const std::int32_t huge = 2000000000;
  writerecord(unit, &huge, 4);
  rewind(unit);
  expectstop([&] { t.traceinittypedeserialize(unit); }, "name length 2000000000 larger than the rest");
  const int nofile = getunit();
  expectstop([&] { t.traceinittypeserialize(nofile); }, "traceInitType::serialize: file unit must be associated a file");
  expectstop([&] { t.traceinittypedeserialize(nofile); },
             "traceInitType::deserialize: file unit must be associated a file");
  t = sample("x", {1, 2});
  t.count = 3;
  expectstop([&] { t.traceinittypeserialize(openfile("c", FileForm::formatted)); }, "count 3 but 2 values held");
}

TEST_F(Records, PushBackGrowsByHalf) {
  std::vector<traceInitType> array;
  std::int32_t used = 5;  // an empty array starts afresh
  std::vector<std::size_t> lengths;
  for (int i = 0; i < 13; ++i) {
    pushback_traceinit(sample("p" + std::to_string(i), {double(i)}), used, array);
    if (lengths.empty() || lengths.back() != array.size()) lengths.push_back(array.size());
  }
  EXPECT_EQ(used, 13);
  EXPECT_EQ(lengths, (std::vector<std::size_t>{1, 2, 3, 5, 8, 12, 18}));
  EXPECT_EQ(array[12].name, "p12");
  EXPECT_EQ(array[13].option, 1);  // entries past the used ones hold the defaults
  // Copies share nothing.
  traceInitType original = sample("a", {1});
  std::vector<traceInitType> two(2);
  used = 2;
  pushback_traceinit(original, used, two);
  original.values[0] = 5;
  EXPECT_EQ(two.size(), 3U);
  EXPECT_EQ(two[2].values[0], 1);
  used = -1;
  expectstop([&] { pushback_traceinit(original, used, two); }, "negative used count");
}

// Read from a pipe, where the bytes left cannot be known, a count of about 2^31 items backed by
// a few bytes ends in the short read's report without storage sized for the count.
TEST_F(Records, SavedFormsFromAPipeSizeNothingByTheCount) {
  struct Case {
    const char* input;
    std::function<void(int)> restore;
  };
  TimeValueTable values;
  TIMEONOFFTABLE onoff;
  traceInitType trace;
  const Case cases[] = {
      {"F\n2147483647\n1\nF\n0\n1 2\n", [&](int unit) { values.deserialize(unit); }},
      {"2147483646\n1\n1\n2\n", [&](int unit) { onoff.deserialize(unit); }},
      {"2147483647\nwells\n", [&](int unit) { trace.traceinittypedeserialize(unit); }},
      // A slash ends the value list before its count: storage only for what arrived.
      {"5\nwells\n1\n20000000\n/\n", [&](int unit) { trace.traceinittypedeserialize(unit); }},
      {"5\nwells\n1\n2147483647\n1 /\n", [&](int unit) { trace.traceinittypedeserialize(unit); }},
  };
  for (const Case& c : cases) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string text(c.input);
    ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(ends[1]);
    const int unit = getunit();
    ASSERT_EQ(openunit(unit, "/dev/fd/" + std::to_string(ends[0]), FileForm::formatted, OpenStatus::old), 0);
    SCOPED_TRACE(c.input);
    testkit::expectstop([&] { c.restore(unit); }, "error reading the saved form");
    ::close(ends[0]);
    freeunitall();
  }
}

}  // namespace
}  // namespace kelpra
