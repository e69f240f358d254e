#include "support/errors.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "support/fileunits.hpp"
#include "support/report_output.hpp"
#include "support/textview.hpp"
#include "support/warnings.hpp"

namespace kelpra {
namespace {

int ierrlogunit = 0;
// Set once, by the first stopping report, before it writes anything: a stop while it is being
// written (from the notes it calls, or another thread) must not wait on it.
std::atomic<bool> errorreported{false};
StopNotes stopnotes = nullptr;

// The last file failure's system error, until a report takes it or the next file operation.
struct SystemError {
  int error = 0;
  std::string file;
  std::string text;  // the reason in words, where the system's text of `error` would not say it
};
SystemError& systemerror() {
  static SystemError noted;
  return noted;
}

// "Reason: ..." for the noted failure, taken once; "" when none is noted. Where a report names
// `reported`, only a failure of that file or of one named after it ("<reported>.tmp") counts:
// a failure that was handled earlier without a report must not lend its reason to another.
std::string takereason(std::string_view reported) {
  SystemError& noted = systemerror();
  if (noted.error == 0) return {};
  const std::string file = std::exchange(noted.file, {});
  const std::string text = std::exchange(noted.text, {});
  const int error = std::exchange(noted.error, 0);
  const bool same = file.empty() || file == reported;
  if (!same && !reported.empty() &&
      !(file.size() > reported.size() && file.starts_with(reported) && file[reported.size()] == '.')) {
    return {};
  }
  return "Reason: " + (same ? std::string() : file + ": ") + (text.empty() ? std::strerror(error) : text);
}

constexpr std::string_view kFatalHeadline = "*** FATAL ERROR, HALTING EXECUTION ***";
constexpr std::string_view kInputHeadline = "*** INPUT ERROR, HALTING EXECUTION ***";
constexpr std::string_view kWarningHeadline = "***      WARNING MESSAGE      ***";
constexpr std::string_view kAllocHeadline = "*** ALLOCATION ERROR, HALTING EXECUTION ***";
constexpr std::string_view kDimensionHeadline = "*** DIMENSIONING ERROR, HALTING EXECUTION ***";

void writebox(int unit, std::string_view headline, std::string_view body) {
  const std::string stars(headline.size(), '*');
  detail::reportline(unit, "");
  detail::reportline(unit, stars);
  detail::reportline(unit, headline);
  detail::reportline(unit, stars);
  detail::reportline(unit, "");
  detail::reportline(unit, body);
  detail::reportline(unit, "");
}

void writeboxes(std::string_view headline, std::string_view body) {
  if (ierrlogunit > 0) {
    writebox(ierrlogunit, headline, body);
    // On disk at once, like the progress lines, so that a killed run keeps it.
    if (std::FILE* log = unitstream(ierrlogunit)) std::fflush(log);
  }
  writebox(0, headline, body);
}

// Writes the first stopping report of the run, closes the pool's files, then unwinds.
// The throw happens outside the lock: an exception must not leave a critical region.
[[noreturn]] void stopreport(std::string_view headline, std::string_view body, RunStopped stop = {}) {
  if (errorreported.load()) throw RunStopped{};
#pragma omp critical(tnqerror)
  {
    if (!errorreported.exchange(true)) {
      printwarnings();
      // The program's notes settle its files and say what each now holds; without them the
      // staged files are settled here, and the report says which did not take their names.
      // Nothing they call may end the report early: a stop inside them only cuts them short.
      std::string notes;
      try {
        notes = stopnotes != nullptr ? stopnotes() : closestagedunits();
      } catch (...) {
        notes.clear();
      }
      std::string text(body);
      if (!notes.empty()) text += "\n\n" + notes;
      writeboxes(headline, text);
      freeunitall();
    }
  }
  throw stop;
}

// Appends the lines that explain a status: "Error detail: " (only for codes with a text)
// and "Error number: ".
void appendstatuslines(std::string& text, int status) {
  text += '\n';
  const std::string detailtext = statustext(status);
  if (!detailtext.empty()) {
    text += "Error detail: ";
    text += detailtext;
    text += '\n';
  }
  text += "Error number: ";
  text += std::to_string(status);
}

std::string withstatus(int status, std::string_view message) {
  std::string text(trimview(message));
  appendstatuslines(text, status);
  return text;
}

}  // namespace

namespace detail {

void reportline(int unit, std::string_view text) {
  if (unit == 0) {
    // The screen messages written so far come first, also where both streams share one file.
    std::fflush(stdout);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return;
  }
  (void)writeline(unit, text);
}

}  // namespace detail

void seterrorloggingfileunit(int unit) { ierrlogunit = unit; }
int errorloggingfileunit() { return ierrlogunit; }
bool errorwasreported() { return errorreported.load(); }

void fatalerror(std::string_view message) { stopreport(kFatalHeadline, trimview(message)); }

void signalstop(int sig, std::string_view message) {
  stopreport(kFatalHeadline, trimview(message), RunStopped{128 + sig, sig});
}

void input_error(std::string_view message) { stopreport(kInputHeadline, trimview(message)); }

void warningmsg(std::string_view message) {
#pragma omp critical(tnqerror)
  { writeboxes(kWarningHeadline, trimview(message)); }
}

void check_alloc(int status, std::string_view what) {
  if (status == 0) return;
  std::string body = "Allocation failed: ";
  body += trimview(what);
  appendstatuslines(body, status);
  stopreport(kAllocHeadline, body);
}

void user_size_check(std::int32_t requested, std::int32_t defaultsize, std::string_view name) {
  if (requested <= defaultsize) return;
  std::string body = " Pre-processor request exceeds default array size\n\n ";
  body += trimview(name);
  body += "\n   Default value:   ";
  body += std::to_string(defaultsize);
  body += "\n   Requested value: ";
  body += std::to_string(requested);
  body += "\n\n Increase the default value in file array_sizes.default";
  stopreport(kDimensionHeadline, body);
}

void fatalerrorstat(int status, std::string_view message) { fatalerror(withstatus(status, message)); }
void input_error_stat(int status, std::string_view message) { input_error(withstatus(status, message)); }
void warningmsgstat(int status, std::string_view message) { warningmsg(withstatus(status, message)); }

std::string systemreason(std::string_view reported) { return takereason(trimview(reported)); }

std::string withsystemreason(std::string_view message, std::string_view reported) {
  std::string text(message);
  if (const std::string reason = systemreason(reported); !reason.empty()) text += "\n" + reason;
  return text;
}

void notesystemerror(int error, std::string_view file, std::string_view text) {
  systemerror() = {error, std::string(file), std::string(text)};
}
void clearsystemerror() { systemerror().error = 0; }
void setstopnotes(StopNotes notes) { stopnotes = notes; }

namespace {
[[noreturn]] void filefailure(int status, std::string_view what, std::string_view filename) {
  fatalerrorstat(status, withsystemreason(std::string(what) + std::string(trimview(filename)), filename));
}
}  // namespace

void checkfileopen(int status, std::string_view filename) {
  if (status != 0) filefailure(status, "Failed to open file: ", filename);
}
void checkfileread(int status, std::string_view filename) {
  if (status != 0) filefailure(status, "Error reading file: ", filename);
}
void checkfilewrite(int status, std::string_view filename) {
  if (status != 0) filefailure(status, "Error writing file: ", filename);
}

void unknowncommanderror(std::string_view context, std::string_view instruction) {
  std::string text(trimview(context));
  text += ": Unrecognized instruction.\nInstruction: ";
  text += trimview(instruction);
  input_error(text);
}

void commandconflicterror(std::string_view first, std::string_view second) {
  std::string text = "Command conflict: \"";
  text += trimview(first);
  text += "\" \"";
  text += trimview(second);
  text += '"';
  input_error(text);
}

void obsoletecommanderror(std::string_view replacement) {
  std::string text = "This command is obsolete and no longer supported.\n";
  const std::string_view r = trimview(replacement);
  if (!r.empty()) {
    text += "Please use this command instead: ";
    text += r;
  } else {
    text += "Please remove this command and rerun vorn.";
  }
  input_error(text);
}

std::string statustext(int status) {
  switch (status) {
    case -2: return "End-of-record encountered on read";
    case -1: return "End-of-file encountered on read";
    case 9: return "Permission to access file denied";
    case 24: return "End-of-file encountered during execution of read";
    case 29: return "File with the specified name could not be found";
    case 30: return "Unknown error encountered opening file";
    case 38: return "Error encountered during write statement";
    case 39: return "Error encountered during read statement";
    case 41: return "Insufficient virtual memory";
    case 43: return "Invalid file name or pathname";
    case 59: return "Invalid data format during list-directed input";
    case 64: return "Invalid character during formatted input";
    case 603: return "Number of open files allowed by OS exceeded";
    default: return {};
  }
}

namespace testing_only {
void reseterrorstate() {
  errorreported = false;
  ierrlogunit = 0;
  systemerror() = {};
  stopnotes = nullptr;
  (void)takestagednotes();
  forgetstagedfiles();
}
}  // namespace testing_only

}  // namespace kelpra
