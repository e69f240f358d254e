// Start definitions of particle traces: a name, an option code and a list of reals (for
// example the start coordinates), saved to and restored from a file, and collected in a
// growable array.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

class traceInitType {
 public:
  std::string name;
  std::int32_t count = 0;      // values held
  std::vector<double> values;  // value i at values[i - 1]
  std::int32_t option = 1;

  // Back to the defaults, then the name without trailing blanks and the option when given.
  void traceinittypeinit(std::string_view text, std::optional<std::int32_t> code = std::nullopt);
  void traceinittypedestroy();
  // Saved form: the name's length, the name, option, count and, when count > 0, the values.
  void traceinittypeserialize(int unit) const;
  void traceinittypedeserialize(int unit);
};

// Appends a copy of the definition as entry used + 1 of the array and counts it; a full
// array grows to max(1, ceiling(1.5 used)) entries, an empty one is started afresh (used
// reset to 0). A failure to grow is the allocation error with the message given, or
// "pushback: traceInitType array".
void pushback_traceinit(const traceInitType& definition, std::int32_t& used, std::vector<traceInitType>& array,
                        std::optional<std::string_view> message = std::nullopt);

}  // namespace kelpra
