#include "support/interrupt.hpp"

#include <signal.h>

#include <atomic>
#include <string>

#include "support/errors.hpp"

namespace kelpra {
namespace {

std::atomic<int> noted{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void onstopsignal(int sig) {
  int first = 0;
  const bool repeat = !noted.compare_exchange_strong(first, sig);
  // A closing terminal sends SIGHUP twice (from the kernel and from the shell): one request,
  // also where the second comes while the stop it asked for is being reported.
  if (repeat && first == SIGHUP && sig == SIGHUP) return;
  // A second signal, or one while a report is being written: the user wants the run ended now.
  if (repeat || errorwasreported()) {
    ::signal(sig, SIG_DFL);
    ::raise(sig);
  }
}

std::string signaltext(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT (an interrupt, Ctrl-C)";
    case SIGTERM: return "SIGTERM (a request to end, from kill or a batch system's time limit)";
    case SIGHUP: return "SIGHUP (its terminal was closed)";
    default: return "signal " + std::to_string(sig);
  }
}

}  // namespace

void catchstopsignals() {
  struct sigaction action {};
  action.sa_handler = onstopsignal;
  sigemptyset(&action.sa_mask);
  // Calls under way go on: the run stops at its own next check, not inside a read or write.
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored when the run began stays so: nohup ignores SIGHUP, and a shell script
    // ignores Ctrl-C for the runs it starts in the background.
    struct sigaction before {};
    if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

void checkstop() {
  const int sig = noted.load(std::memory_order_relaxed);
  if (sig == 0 || errorwasreported()) return;
  signalstop(sig, "The run was stopped by " + signaltext(sig) + ".");
}

int notedstopsignal() { return noted.load(); }

namespace testing_only {
void resetstopsignal() { noted.store(0); }
}  // namespace testing_only

}  // namespace kelpra
