#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/interpsort.hpp"
#include "support/timers.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"

namespace kelpra {
namespace {

class Timers : public testkit::CleanRun {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    testing_only::resettimers();
    CleanRun::reset();
  }

  // Runs f, which must stop the run, and tells whether its report holds message.
  template <class F>
  static bool stopswith(F f, const std::string& message) {
    testing_only::reseterrorstate();
    const std::string err = testkit::stoperr(f);
    return err.find("INPUT ERROR") != std::string::npos && err.find(message + "\n") != std::string::npos;
  }

  static std::string text(double seconds) {
    TICTOCTIMER t;
    t.tstart = 100.0;
    t.tstop = 100.0 + seconds;
    return t.elapsedtimestr();
  }
};

TEST_F(Timers, GlobalTicToc) {
  EXPECT_EQ(tglobal().tstart, -9999.0);
  tic();
  EXPECT_EQ(tglobal().tstop, -9999.0);
  progsleep(10);
  const TICTOCTIMER t = toc1();
  EXPECT_GE(t.elapsedtime(), 0.005);
  // Restopping moves the stop later; the copy returned before stays as it was.
  const double first = t.tstop;
  EXPECT_GE(toc().tstop, first);
  EXPECT_EQ(t.tstop, first);
}

TEST_F(Timers, MisuseIsAnInputError) {
  EXPECT_TRUE(stopswith([] { toc1(); }, "Call tic before calling toc."));
  tic1();
  EXPECT_TRUE(stopswith([] { (void)tglobal().elapsedtime(); }, "Call tic then toc before computing elapsed time."));
  EXPECT_TRUE(stopswith([] { (void)TICTOCTIMER{}.elapsedtimestr(); }, "Call tic then toc before computing elapsed time."));
  tic2("known");
  EXPECT_TRUE(stopswith([] { toc2("missing   "); }, "No match found for id: missing"));
}

TEST_F(Timers, NamedTimersGrowTheTableByHalf) {
  tic2("a");
  tic2("a");
  EXPECT_EQ(ntt(), 1);
  tic2("b");
  EXPECT_EQ(ntt(), 2);
  EXPECT_EQ(ttarr().size(), 2u);
  for (const std::size_t capacity : {3u, 5u, 5u, 8u, 8u, 8u, 12u}) {
    tic("t" + std::to_string(ntt()));
    EXPECT_EQ(ttarr().size(), capacity);
  }
  EXPECT_EQ(ntt(), 9);

  const TICTOCTIMER b = toc2("b");
  EXPECT_EQ(b.id, "b");
  EXPECT_GE(b.elapsedtime(), 0.0);
  EXPECT_EQ(ttarr()[0].tstop, -9999.0);  // the others still run
}

TEST_F(Timers, IdsCompareWithBlankPadding) {
  tic2("run");
  tic2("run      ");
  EXPECT_EQ(ntt(), 1);
  toc2("run  ");
  // Ids are cut to 40 characters, so a longer one never matches itself again.
  const std::string longid(45, 'q');
  tic2(longid);
  tic2(longid);
  EXPECT_EQ(ntt(), 3);
  EXPECT_EQ(ttarr()[1].id, std::string(40, 'q'));
  EXPECT_TRUE(stopswith([&] { toc2(longid); }, "No match found for id: " + longid));
}

TEST_F(Timers, ElapsedTimeText) {
  EXPECT_EQ(text(125.25), "Elapsed time: 2m 5.250s");
  EXPECT_EQ(text(59.9), "Elapsed time: 0m59.900s");
  EXPECT_EQ(text(3600.0), "Elapsed time: 60m 0.000s");
  // Spans beyond a 4-byte count of minutes, or not a number, still give a text.
  EXPECT_EQ(text(1e300).rfind("Elapsed time: 2147483647m", 0), 0U) << text(1e300);
  EXPECT_EQ(text(-1e300).rfind("Elapsed time: -2147483648m", 0), 0U) << text(-1e300);
  EXPECT_EQ(text(std::numeric_limits<double>::quiet_NaN()), "Elapsed time: 0m   NaNs");
}

}  // namespace
}  // namespace kelpra
