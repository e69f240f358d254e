#include "plot/normalexit.hpp"

#include <array>
#include <cstdio>
#include <string>

#include "plot/messages.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {

void normalexitstop(std::optional<std::string_view> message) {
  if (message) {
    const std::string_view text = trimview(*message);
    screenline("");
    screenline(text);
    echoline("");
    echoline(text);
  }
  const std::string closing = std::string(20, ' ') + "---- Normal exit ----";
  const std::array<std::string_view, 6> lines = {"", "", "", closing, "", ""};
  for (const std::string_view line : lines) screenline(line);
  for (const std::string_view line : lines) echoline(line);
  std::fflush(stdout);
  freeunitall();
  throw RunStopped{0};
}

}  // namespace kelpra
