#include "support/timestamp.hpp"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "support/numutils.hpp"
#include "support/strings.hpp"

namespace kelpra {
namespace {

constexpr std::size_t kStampWidth = 25;

std::string digitsof(int width, int value) {
  int iostat = 0;
  return zeropaddedintstring(width, value, &iostat);
}

bool validzone(std::string_view z) {
  if (z.size() != 5 || (z[0] != '+' && z[0] != '-')) return false;
  for (std::size_t i = 1; i < 5; ++i) {
    if (!isdigit(z[i])) return false;
  }
  return true;
}

}  // namespace

ClockReading readlocalclock() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  ClockReading c;
  ::tzset();  // localtime_r alone need not notice a changed zone setting
  const bool local = ::localtime_r(&now, &tm) != nullptr;
  if (!local) ::gmtime_r(&now, &tm);
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  if (local) {
    const long offset = tm.tm_gmtoff;  // seconds east of UTC; seconds of an offset are dropped
    const long magnitude = std::labs(offset) / 60;
    if (magnitude / 60 <= 99) {
      c.zone = (offset < 0 ? "-" : "+") + digitsof(2, static_cast<int>(magnitude / 60)) +
               digitsof(2, static_cast<int>(magnitude % 60));
    }
  }
  return c;
}

std::string formattimestamp(const ClockReading& c) {
  std::string s = digitsof(4, c.year) + "-" + digitsof(2, c.month) + "-" + digitsof(2, c.day) + "T" +
                  digitsof(2, c.hour) + ":" + digitsof(2, c.minute) + ":" + digitsof(2, c.second);
  const std::string_view z = c.zone;
  if (!validzone(z) || z.substr(1) == "0000") {
    s += 'Z';
  } else {
    s += z.substr(0, 3);
    s += ':';
    s += z.substr(3, 2);
  }
  s.resize(kStampWidth, ' ');
  return s;
}

std::string timestamputc() { return formattimestamp(readlocalclock()); }

}  // namespace kelpra
