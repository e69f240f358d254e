#include "plot/messages.hpp"

#include <cstdio>

#include "plot/plotdata.hpp"
#include "support/fileunits.hpp"

namespace kelpra {

void screenline(std::string_view line) {
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// Flushed line by line, as standard output is, so that a killed run leaves every line up to
// its last step.
void echoline(std::string_view line) {
  if (plot_data.ieco > 0 && writeline(plot_data.ieco, line) == 0) std::fflush(unitstream(plot_data.ieco));
}

void screenthenecho(std::string_view line) {
  screenline(line);
  echoline(line);
}

void echothenscreen(std::string_view line) {
  echoline(line);
  screenline(line);
}

}  // namespace kelpra
