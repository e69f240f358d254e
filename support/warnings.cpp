#include "support/warnings.hpp"

#include <string>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/report_output.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

WarnLevel level = WarnLevel::later;
std::vector<std::string> msgqueue;
std::string currentcmd;

}  // namespace

void warnoff() { level = WarnLevel::off; }
void warnnow() { level = WarnLevel::now; }
void warnlater() { level = WarnLevel::later; }
WarnLevel warnlevel() { return level; }

void setcurrentcmd(std::string_view command) { currentcmd = trimview(command); }
void clearcurrentcmd() { currentcmd.clear(); }

void addwarning(std::string_view type, std::string_view command, std::string_view message) {
  if (level == WarnLevel::off) return;
  std::string text = "Type: ";
  text += trimview(type);
  const std::string_view cmd = trimview(command);
  if (!cmd.empty()) {
    text += "\nIssuing command: ";
    text += cmd;
  }
  text += "\nMessage: ";
  text += trimview(message);
  if (level == WarnLevel::later) {
    push(std::move(text));
  } else {
    warningmsg(text);
  }
}

void inputwarn(std::string_view message) { addwarning("Input Warning", currentcmd, message); }
void genericwarn(std::string_view message) { addwarning("Generic Warning", currentcmd, message); }

void deprecationwarn(std::string_view command, std::optional<std::string_view> replacement) {
  const std::string_view cmd = trimview(command);
  std::string message = "The command \"";
  message += cmd;
  message += "\" has been deprecated and will be removed in a future release.";
  if (replacement) {
    message += "\n         Please consider the command(s): \"";
    message += trimview(*replacement);
    message += '"';
  }
  addwarning("Deprecation Warning", cmd, message);
}

void push(std::string text) {
  checkedalloc("Warning message queue", [&] {
    if (msgqueue.size() == msgqueue.capacity()) {
      // Grow by half again, as every growable list of the system does.
      const std::size_t n = msgqueue.size();
      msgqueue.reserve(n == 0 ? 1 : (3 * n + 1) / 2);
    }
    msgqueue.push_back(std::move(text));
  });
}

void writewarnings(int unit) {
  const std::size_t n = msgqueue.size();
  detail::reportline(unit, "");
  if (n == 0) {
    detail::reportline(unit, "No warnings were raised.\n");
    return;
  }
  if (n == 1) {
    detail::reportline(unit, "There was 1 warning raised.\n");
  } else {
    detail::reportline(unit, "There were " + std::to_string(n) + " warnings raised.\n");
  }
  for (std::size_t i = 0; i < n; ++i) {
    detail::reportline(unit, std::to_string(i + 1) + ". " + msgqueue[i] + "\n");
  }
}

void printwarnings() {
  if (level != WarnLevel::later) return;
  const int logunit = errorloggingfileunit();
  if (logunit > 0) writewarnings(logunit);
  writewarnings(0);
}

const std::vector<std::string>& queuedwarnings() { return msgqueue; }

namespace testing_only {
void resetwarnings() {
  level = WarnLevel::later;
  msgqueue.clear();
  msgqueue.shrink_to_fit();
  currentcmd.clear();
}
}  // namespace testing_only

}  // namespace kelpra
