#include "plot/messages.hpp"

#include <cstdio>

#include "plot/plotdata.hpp"
#include "support/fileunits.hpp"

namespace kelpra {

void screenline(std::string_view line) {
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

void echoline(std::string_view line) {
  if (plot_data.ieco > 0) (void)writeline(plot_data.ieco, line);
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
