// What the append file held at start-up, for the resume of the series: shared by the two files
// of append mode (driver/appendmode.cpp reads it, driver/resume.cpp goes by it), not for others.
#pragma once

#include <cstdint>
#include <string>

namespace kelpra {

// What the append file held at start-up. It is only a hint: the temporary files of the data
// sets record which output time each zone holds.
struct AppendHint {
  bool exists = false;     // something of the name exists
  std::int32_t index = 0;  // the index it names, where it could be read
  std::string trouble;     // why it could not be read: what it holds, or the system's reason
};

// The hint as inittecplotappend read it.
const AppendHint& appendhint();

// Warns where the append file disagrees with the temporary files of the data sets, which end
// at output time `end`; `anycontinued`: some data set has temporary files to continue.
void warnappendhint(bool anycontinued, std::int32_t end);

// Why a file kept across runs cannot be read: it is no plain file, or a link to nothing. ""
// where neither.
std::string whyunreadable(const std::string& name);

}  // namespace kelpra
