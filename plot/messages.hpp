// Progress messages: each goes to the screen and to the echo file, in a fixed order.
#pragma once

#include <string_view>

namespace kelpra {

// One line to standard output, then the same line to the echo file (when it is open).
void screenthenecho(std::string_view line);
// One line to the echo file (when it is open), then to standard output.
void echothenscreen(std::string_view line);
// One line to standard output only.
void screenline(std::string_view line);
// One line to the echo file only.
void echoline(std::string_view line);

}  // namespace kelpra
