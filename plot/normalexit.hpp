// The end of every successful run.
#pragma once

#include <optional>
#include <string_view>

namespace kelpra {

// Writes the message (when given) and the closing lines to the screen and the echo file,
// releases every file unit and ends the run with exit status 0 by throwing RunStopped{0},
// which main turns into its return value. Does not return.
[[noreturn]] void normalexitstop(std::optional<std::string_view> message = std::nullopt);

}  // namespace kelpra
