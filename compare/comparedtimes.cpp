// The record of which output time each comparison file holds, kept across runs: an append run
// that converts nothing goes by it to bring the comparison files up to the series' last output
// time, never by the files themselves.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>

#include "compare/comparisons.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "plot/modelfiles.hpp"

namespace kelpra {

std::string comparedtimesname() { return prefixtext() + "o.compare_times"; }

ComparedTimes readcomparedtimes() {
  ComparedTimes held;
  std::int64_t size = 0;
  // Only a regular file is read; anything else records nothing, and the files are written again.
  const int fd = openregular(comparedtimesname(), O_RDONLY, size);
  if (fd < 0) return held;
  std::string text(static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 20)), '\0');
  const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
  ::close(fd);
  if (n != static_cast<ssize_t>(text.size())) return held;
  // A line "<output time> <file>"; one that does not read so records nothing.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, end - at);
    std::int32_t index = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), index);
    const std::size_t blank = static_cast<std::size_t>(rest - line.data());
    if (error == std::errc() && index > 0 && blank + 1 < line.size() && line[blank] == ' ') {
      held[std::string(line.substr(blank + 1))] = index;
    }
    at = end + 1;
  }
  return held;
}

int writecomparedtimes(const ComparedTimes& held) {
  const std::string name = comparedtimesname();
  UnitHandle unit = UnitHandle::take();
  // Under a temporary name until complete: a run stopped meanwhile leaves the earlier record.
  int status = openunit(unit.unit(), name, FileForm::formatted, OpenStatus::staged);
  for (auto it = held.begin(); status == 0 && it != held.end(); ++it) {
    status = writeline(unit.unit(), std::to_string(it->second) + " " + it->first);
  }
  const int closed = closeunit(unit.unit());
  return status != 0 ? status : closed;
}

}  // namespace kelpra
