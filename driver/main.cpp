// Program entry. Every stopping report unwinds to here; the run then ends with status 1.
#include "support/errors.hpp"

int main() {
  try {
    return 0;
  } catch (const kelpra::RunStopped& stop) {
    return stop.exitstatus;
  }
}
