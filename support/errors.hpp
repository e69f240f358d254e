// Error and warning reports. A stopping report writes its box to the log unit and to
// standard error, closes every file of the unit pool and throws RunStopped, which
// unwinds to main; main returns exit status 1. Only the first error of a run is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelpra {

// Thrown by every stopping report after its box is written. Deliberately not derived from
// std::exception so that no generic handler swallows it on the way to main.
struct RunStopped {
  int exitstatus = 1;
  int signal = 0;  // a signal that asked for the stop: the process then ends by it
};

void seterrorloggingfileunit(int unit);
int errorloggingfileunit();

[[noreturn]] void fatalerror(std::string_view message);
// The stopping report of a run that signal `sig` asked to stop; RunStopped carries the signal.
[[noreturn]] void signalstop(int sig, std::string_view message);
[[noreturn]] void input_error(std::string_view message);
void warningmsg(std::string_view message);
void check_alloc(int status, std::string_view what);
void user_size_check(std::int32_t requested, std::int32_t defaultsize, std::string_view name);

[[noreturn]] void fatalerrorstat(int status, std::string_view message);
[[noreturn]] void input_error_stat(int status, std::string_view message);
void warningmsgstat(int status, std::string_view message);

// The system's reason for the failure of a file operation (an errno value) and the file it
// concerned, added as a "Reason: " line to the next report of that file (or of a file named
// after it, "<name>.tmp"); the file layer notes it where an operation fails. An empty `file`
// stands for whichever file the next report names; `text`, where given, says the reason in
// place of the system's text of `error`.
void notesystemerror(int error, std::string_view file, std::string_view text = {});
void clearsystemerror();
// The "Reason: ..." line of the noted failure, taken; "" when none is noted or, where
// `reported` is given, when the failure concerned another file.
std::string systemreason(std::string_view reported = {});
// `message`, followed on a line of its own by that reason where there is one.
std::string withsystemreason(std::string_view message, std::string_view reported = {});

// Notes added to every stopping report after its message: the program settles the files it
// writes (closestagedunits among them) and says what each now holds; the text may be empty.
// Set once by the program.
using StopNotes = std::string (*)();
void setstopnotes(StopNotes notes);

void checkfileopen(int status, std::string_view filename);
void checkfileread(int status, std::string_view filename);
void checkfilewrite(int status, std::string_view filename);

[[noreturn]] void unknowncommanderror(std::string_view context, std::string_view instruction);
[[noreturn]] void commandconflicterror(std::string_view first, std::string_view second);
[[noreturn]] void obsoletecommanderror(std::string_view replacement);

// The text of a file-layer or allocation status code; "" for codes without one.
std::string statustext(int status);

// True once a stopping report has been written in this process.
bool errorwasreported();

namespace testing_only {
// Puts the report state back to the start of a run (tests run many reports in one process).
void reseterrorstate();
}  // namespace testing_only

}  // namespace kelpra
