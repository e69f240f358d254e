// Raises the report named on its command line, the way the program would:
//   report_probe LOGFILE|- KIND [ARGS...]
// With a log file name, the file is opened on a pool unit and registered as the log unit.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/warnings.hpp"

using namespace kelpra;

namespace {

int run(const std::vector<std::string>& a) {
  if (a.size() < 2) return 2;
  if (a[0] != "-") {
    const int unit = getunit();
    checkfileopen(openunit(unit, a[0], FileForm::formatted, OpenStatus::replace), a[0]);
    seterrorloggingfileunit(unit);
  }
  const std::string& kind = a[1];
  // The program reports warnings as they happen; only "queued" keeps the start-up level.
  if (kind != "queued") warnnow();
  auto arg = [&](std::size_t i) { return i + 2 < a.size() ? a[i + 2] : std::string(); };
  auto num = [&](std::size_t i) { return std::atoi(arg(i).c_str()); };
  if (kind == "fatal") fatalerror(arg(0));
  if (kind == "input") input_error(arg(0));
  if (kind == "fatalstat") fatalerrorstat(num(0), arg(1));
  if (kind == "inputstat") input_error_stat(num(0), arg(1));
  if (kind == "alloc") check_alloc(num(0), arg(1));
  if (kind == "size") user_size_check(num(0), num(1), arg(2));
  if (kind == "openmissing") {
    int unit = 0;
    open_ascii_file(unit, arg(0));
  }
  if (kind == "freeunit") freeunit(num(0));
  if (kind == "unknown") unknowncommanderror(arg(0), arg(1));
  if (kind == "conflict") commandconflicterror(arg(0), arg(1));
  if (kind == "obsolete") obsoletecommanderror(arg(0));
  if (kind == "warning") {
    warningmsg(arg(0));
    std::puts("run goes on");
    // Ends without closing the log, as a killed run would: the box must be on disk already.
    std::fflush(stdout);
    std::_Exit(0);
  }
  if (kind == "twoerrors") {
    try {
      fatalerror(arg(0));
    } catch (const RunStopped&) {
    }
    input_error(arg(1));
  }
  if (kind == "queued") {
    // Queue the given warnings (level "later"), then stop with a fatal error.
    for (std::size_t i = 0; i + 3 < a.size(); ++i) genericwarn(arg(i + 1));
    fatalerror(arg(0));
  }
  if (kind == "immediate") {
    warnnow();
    setcurrentcmd(arg(0));
    inputwarn(arg(1));
    fatalerror("stop");
  }
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const RunStopped& stop) {
    return stop.exitstatus;
  }
}
