#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>
#include <utility>

#include "support/timestamp.hpp"

namespace kelpra {
namespace {

ClockReading at(std::string zone) { return {2026, 12, 8, 2, 54, 13, std::move(zone)}; }

TEST(TimeStamp, ZoneOffsets) {
  const std::pair<const char*, const char*> cases[] = {
      {"+0000", "Z     "}, {"-0000", "Z     "}, {"+0530", "+05:30"}, {"-0400", "-04:00"}, {"+0045", "+00:45"},
      // Missing or malformed offsets count as unknown.
      {"", "Z     "}, {"0530", "Z     "}, {"+05:30", "Z     "}, {"+5a30", "Z     "}, {"*0100", "Z     "}};
  for (const auto& [zone, tail] : cases) {
    EXPECT_EQ(formattimestamp(at(zone)), std::string("2026-12-08T02:54:13") + tail) << zone;
  }
}

TEST(TimeStamp, LeadingZerosKeptAndWidthFixed) {
  ClockReading c{7, 1, 2, 0, 0, 9, "+1200"};
  EXPECT_EQ(formattimestamp(c), "0007-01-02T00:00:09+12:00");
  // Fields that do not fit keep their places, so the width never changes.
  c.year = 12345;
  c.month = -1;
  const std::string s = formattimestamp(c);
  EXPECT_EQ(s, "****-**-02T00:00:09+12:00");
}

TEST(TimeStamp, CurrentClockHasTheFixedForm) {
  const std::string s = timestamputc();
  ASSERT_EQ(s.size(), 25U);
  EXPECT_TRUE(std::regex_match(s, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d([+-]\d\d:\d\d|Z {5}))"))) << s;
  const ClockReading c = readlocalclock();
  EXPECT_GE(c.year, 2020);
  EXPECT_GE(c.month, 1);
  EXPECT_LE(c.month, 12);
  EXPECT_TRUE(c.zone.empty() || c.zone.size() == 5U) << c.zone;
}

// Sets the zone of the process for one test and puts the old setting back.
class ZoneSetting {
 public:
  explicit ZoneSetting(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ZoneSetting() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  ZoneSetting(const ZoneSetting&) = delete;
  ZoneSetting& operator=(const ZoneSetting&) = delete;

 private:
  std::optional<std::string> old_;
};

TEST(TimeStamp, ClockOffsetFollowsTheLocalZone) {
  {
    ZoneSetting z("IST-5:30");
    EXPECT_EQ(readlocalclock().zone, "+0530");
    EXPECT_EQ(timestamputc().substr(19), "+05:30");
  }
  {
    ZoneSetting z("EDT+4");
    EXPECT_EQ(timestamputc().substr(19), "-04:00");
  }
  {
    ZoneSetting z("UTC0");
    EXPECT_EQ(readlocalclock().zone, "+0000");
    EXPECT_EQ(timestamputc().substr(19), "Z     ");
  }
}

}  // namespace
}  // namespace kelpra
