// A stop the user asks for: SIGINT (Ctrl-C), SIGTERM (kill, a batch system's time limit) or
// SIGHUP (the terminal closed). The handler only notes the signal; the run stops at its next
// check as at an error, with a report that names the signal, and the process then ends by that
// signal. A signal while the run is stopping (a second one, or one during an error report) ends
// it at once, as a kill would.
#pragma once

namespace kelpra {

// Installs the handlers of the three signals, but for those ignored when the run began.
void catchstopsignals();
// A point where the run can stop: where a signal was noted, the stopping report is written and
// the run unwinds (RunStopped carries the signal). Reads one atomic flag otherwise.
void checkstop();

// The signal noted, 0 for none: a run that was sent one ends by it, even where it had no point
// left to stop at.
int notedstopsignal();

namespace testing_only {
// Forgets a noted signal (tests run many stops in one process).
void resetstopsignal();
}  // namespace testing_only

}  // namespace kelpra
