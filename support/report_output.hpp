// Where reports go: the log unit (when one is registered) and standard error.
#pragma once

#include <string_view>

namespace kelpra::detail {

// Writes one text record to `unit` (0: standard error). Failures of these writes are ignored:
// a report must reach the other destination and stop the run whatever happens to one copy.
void reportline(int unit, std::string_view text);

}  // namespace kelpra::detail
