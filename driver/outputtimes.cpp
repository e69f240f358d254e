#include "driver/outputtimes.hpp"

#include <utility>

#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "support/errors.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {

struct OutputTimeWalk::Listing {
  bool made = false;
  bool whole = true;                  // every directory was listed
  std::vector<std::int32_t> indices;  // every output time with a file named as a result file
};

OutputTimeWalk::OutputTimeWalk(std::int32_t first, std::string remembered)
    : index_(first), remembered_(std::move(remembered)), listing_(std::make_shared<Listing>()) {}

OutputTimeStep OutputTimeWalk::at(std::int32_t index, bool stamped) const {
  OutputTimeStep step;
  step.index = index;
  if (!outputtimeindexfits(index)) {
    step.kind = OutputTimeStep::beyondwidth;
    return step;
  }
  step.file = timefile("." + outputtimeindex(index), remembered_);
  if (step.file.empty()) return step;
  step.kind = OutputTimeStep::converted;
  if (!stamped && !plot_data.truncate_time_domain) return step;
  step.time = timestampin(step.file);
  if (!plot_data.truncate_time_domain) return step;
  double t = 0.0;
  str2r8(trimview(step.time), t, &step.status);
  if (step.status != 0) {
    step.kind = OutputTimeStep::badtime;
  } else if (t < plot_data.tmin_trunc || t > plot_data.tmax_trunc) {
    step.kind = OutputTimeStep::skipped;  // the window is closed: a time at either bound is taken
  }
  return step;
}

OutputTimeStep OutputTimeWalk::next(bool stamped) {
  OutputTimeStep step = at(index_, stamped);
  if (!step.file.empty()) remembered_ = step.file;
  ++index_;
  return step;
}

OutputTimeWalk::Later OutputTimeWalk::laterresults(std::int32_t end) const {
  if (!listing_->made) {
    std::string unlisted;
    listing_->indices = outputtimeslisted(unlisted);
    listing_->made = true;
    listing_->whole = unlisted.empty();
    if (!listing_->whole) {
      warningmsg("A directory of the result files cannot be listed (" + unlisted + "): of the output times after "
                 "one without result files, only the next one is looked for.");
    }
  }
  std::vector<std::int32_t> candidates = listing_->indices;
  // Without a whole listing, the next output time is still asked for by its name.
  if (!listing_->whole && outputtimeindexfits(end + 1)) candidates.insert(candidates.begin(), end + 1);
  Later later;
  for (const std::int32_t index : candidates) {
    if (index <= end || !outputtimeexists(index)) continue;
    if (later.first == 0) later.first = index;
    if (!plot_data.truncate_time_domain) {
      later.taken = true;
      break;
    }
    const OutputTimeStep::Kind kind = at(index, false).kind;
    if (kind == OutputTimeStep::converted || kind == OutputTimeStep::badtime) {
      later.taken = true;
      break;
    }
  }
  return later;
}

OutputTimes plannedoutputtimes(OutputTimeWalk walk) {
  OutputTimes planned;
  for (OutputTimeStep step = walk.next(false);; step = walk.next(false)) {
    if (step.kind == OutputTimeStep::skipped) continue;
    if (step.kind != OutputTimeStep::converted) {
      if (step.kind == OutputTimeStep::missing) planned.end = step.index;
      break;
    }
    planned.indices.push_back(step.index);
  }
  if (planned.end == 0) return planned;
  const OutputTimeWalk::Later later = walk.laterresults(planned.end);
  planned.later = later.first;
  planned.gap = later.taken;
  return planned;
}

}  // namespace kelpra
