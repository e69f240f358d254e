// The records of what this run wrote to each data set, by domain record.
#include "plot/runrecord.hpp"

#include <map>

namespace kelpra {
namespace {

std::map<const DOMAIN*, RunRecord>& records() {
  static std::map<const DOMAIN*, RunRecord> all;
  return all;
}

}  // namespace

RunRecord& runrecord(const DOMAIN& dom) { return records()[&dom]; }

void clearrunrecord(const DOMAIN& dom) { records().erase(&dom); }

void forgetrunrecords() { records().clear(); }

}  // namespace kelpra
