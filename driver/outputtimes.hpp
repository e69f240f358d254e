// The output times a run converts: from its first one on, each index's result files and time
// stamp, what the time window takes, where the conversion ends and whether result files of a
// later output time lie beyond that end (a gap). The output-time loop walks them one by one; the
// check of what a run would put in place of its earlier data sets walks a copy ahead of it, so
// both go by the same rules.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelpra {

struct OutputTimeStep {
  enum Kind {
    converted,    // it has result files, and the time window (where there is one) takes it
    skipped,      // the time window passes over it
    missing,      // no result file: the conversion ends here
    beyondwidth,  // the index does not fit the output-time index width: the conversion ends here
    badtime,      // its time stamp is no number, which a time window cannot place: the run stops
  };
  std::int32_t index = 0;
  Kind kind = missing;
  std::string time = "0.0";  // its time stamp, as the run settings hold it, where it was read
  std::string file;          // the result file that gives it ("" where it has none)
  int status = 0;            // badtime: the status of the failed read
};

// The output times a run converts from its first on, as far as their result files go.
struct OutputTimes {
  std::vector<std::int32_t> indices;  // those it converts, the first among them
  std::int32_t end = 0;               // the first without a result file; 0 where the run ends otherwise
  std::int32_t later = 0;  // the first after `end` that has result files; 0 none
  bool gap = false;        // the time window (where there is one) takes one of those after `end`
};

class OutputTimeWalk {
 public:
  // A walk from output time `first` on; `remembered` is the result file that gave the time
  // stamp before ("" none), whose root is tried first.
  OutputTimeWalk(std::int32_t first, std::string remembered);
  // The next output time; a walk ends at its first step that is neither converted nor skipped.
  // Its time stamp is read where the time window needs it, or `stamped`.
  OutputTimeStep next(bool stamped = true);
  // The output times after `end` that have result files, as one listing of the model's
  // directories finds them: the first of them, and whether the time window (where there is one)
  // takes any of them or cannot place it; a gap loses output times only where it would convert
  // them.
  struct Later {
    std::int32_t first = 0;  // 0 none
    bool taken = false;
  };
  Later laterresults(std::int32_t end) const;

 private:
  struct Listing;
  OutputTimeStep at(std::int32_t index, bool stamped) const;

  std::int32_t index_;
  std::string remembered_;
  // Copies of a walk share the listing, which is made once.
  std::shared_ptr<Listing> listing_;
};

// The output times the walk converts from its next step on, without a message or a run
// setting changed: the result files are stat-ed, and their headers read only for the time
// window.
OutputTimes plannedoutputtimes(OutputTimeWalk walk);

}  // namespace kelpra
