// The whole run of the post-processor, from the command line to the exit status.
#pragma once

namespace kelpra {

// Sets plot_data.makeplotcontrolfile from the arguments; reports any other argument.
void readcommandline(int argc, const char* const* argv);
// Runs the post-processor; returns the exit status (0 normal exit, 1 after an error report).
int kelpramain(int argc, const char* const* argv);

}  // namespace kelpra
