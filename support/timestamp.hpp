// The creation time stamp of a plot file: local date and time with the zone's UTC offset.
#pragma once

#include <string>

namespace kelpra {

// One reading of the system clock, fractions of a second dropped.
struct ClockReading {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  // The zone's offset from UTC as "+hhmm" or "-hhmm"; empty when the platform gives none.
  std::string zone;
};

ClockReading readlocalclock();

// "YYYY-MM-DDTHH:MM:SS" followed by "+hh:mm" / "-hh:mm", or by "Z" and five blanks when
// the offset is unknown, malformed or zero (also "-0000"); always 25 characters.
std::string formattimestamp(const ClockReading& clock);

// formattimestamp of the current local time.
std::string timestamputc();

}  // namespace kelpra
