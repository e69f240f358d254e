// Test helper: reads a Tecplot binary data file (version 112, finite-element zones, block data)
// back into plain records, with shared values and node lists resolved.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra::testkit {

struct TecplotAux {
  int var = -1;  // zero-based variable of a variable item; -1 for a data-set item
  std::string name;
  std::string value;
};

struct TecplotZone {
  std::string title;
  int parent = 0;
  int strand = 0;  // as stored: -1 static, 0 the first strand
  double solutiontime = 0.0;
  int zonetype = 0;
  std::int64_t nodes = 0;
  std::int64_t cells = 0;
  std::vector<bool> cellcentred;  // per variable
  std::vector<int> datatypes;     // per variable: 1 float, 2 double, 3 32-bit integer
  std::vector<bool> passive;
  std::vector<int> sharezone;  // per variable, zero-based zone holding the values, -1 own
  int connsharezone = -1;      // zero-based zone holding the node lists, -1 own
  std::vector<double> minimum;  // per variable (0 when shared or passive)
  std::vector<double> maximum;
  std::vector<std::vector<double>> values;  // per variable, shared values copied in; empty when passive
  std::vector<std::int32_t> connectivity;   // zero-based node numbers, shared lists copied in
};

struct TecplotFile {
  int filetype = 0;
  std::string title;
  std::vector<std::string> variables;
  std::vector<TecplotAux> aux;  // in file order
  std::vector<TecplotZone> zones;
};

// Parses the bytes of a whole file; false with a reason in `error` for anything malformed or cut short.
bool parsetecplot(std::string_view bytes, TecplotFile& file, std::string& error);
bool readtecplot(const std::filesystem::path& path, TecplotFile& file, std::string& error);

}  // namespace kelpra::testkit
