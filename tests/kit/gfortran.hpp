// gfortran as the oracle of the text-format tests: a generated Fortran program writes the
// same values with the same edit descriptors, and its output is compared byte for byte.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kelpra::testkit {

// gfortran on the search path; nullopt when there is none (the caller skips its test).
std::optional<std::filesystem::path> findgfortran();

// Compiles the free-form source with gfortran in a temporary directory and runs it with
// input on standard input; returns its standard output. A failed compile or run is a test
// failure, and gives "".
std::string runfortran(const std::filesystem::path& gfortran, const std::string& source,
                       const std::string& input = {});

}  // namespace kelpra::testkit
