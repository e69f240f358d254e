#include "plot/resultaccess.hpp"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <unordered_set>

#include "binfile/binfile.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/numutils.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::int32_t kIndexDigits = 10;
constexpr std::size_t kTimestampWidth = 60;

// The candidate file of a root for the extension; empty when the root needs a species name
// and the model has none.
std::string candidate(std::string_view root, std::string_view prefix, std::string_view extension) {
  std::string name;
  if (root.starts_with("conc") || root.starts_with("redox")) {
    if (plot_data.spname.empty()) return name;
    const std::string_view species = trimview(plot_data.spname.front());
    name.append(prefix).append("o.");
    name.append(root.starts_with("redox") ? std::string_view("conc_pm") : root);
    name.append(".").append(species);
    if (root.starts_with("redox")) name.append("-Redox");
  } else if (root.starts_with("hmc")) {
    name.append("./hmc/").append(prefix).append("o.").append(root);
  } else {
    name.append(prefix).append("o.").append(root);
  }
  name.append(extension);
  return name;
}

}  // namespace

std::string timetext(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const std::array<std::string_view, kTimeFileRoots>& timefileroots() {
  static constexpr std::array<std::string_view, kTimeFileRoots> roots = {
      "conc_chem",          "conc_dual",         "conc_frac",           "conc_olf",
      "conc_pm",            "concsolid_pm",      "concsolid_dual",      "redox",
      "head_chan",          "head_dual",         "head_frac",           "head_olf",
      "head_pm",            "head_tile",         "head_well",           "DeltaZ_pm",
      "DualExchSolAdv_olf", "DualExchSolDisp_olf", "envhead_pm",        "ETEvap_olf",
      "ETPmEvap_olf",       "ETPmTranspire_olf", "ETActual_olf",        "ExchFlux_chan",
      "ExchFlux_frac",      "Exchflux_olf",      "ExchFlux_tile",       "ExchFlux_well",
      "ExchFlux_pm2_chan",  "ExchFlux_olf2_chan", "ExchSolAdv_frac",    "ExchSolAdv_olf",
      "ExchSolDisp_frac",   "ExchSolDisp_olf",   "ice_sat_dual",        "ice_sat_pm",
      "liquid_p",           "lp_chan",           "lp_frac",             "lp_olf",
      "lp_pm",              "permafrost_frac",   "permafrost_pm",       "pet_olf",
      "por_pm",             "q_dual",            "q_pm",                "rain_olf",
      "rate_pm",            "sat_dual",          "sat_frac",            "sat_pm",
      "snowcover",          "snowdepth",         "snowmelt",            "soilfrost_pm",
      "solid_pm",           "tvk_pm",            "v_dual",              "v_frac",
      "v_olf",              "v_pm",              "hmc_pm.hmc_error",    "hmc_olf.hmc_error",
      "friction_olf",       "freeze_thaw_temp"};
  return roots;
}

bool domaintimefileexists(std::string_view domain, std::string_view extension) {
  const std::string suffix = "_" + std::string(trimview(domain));
  const std::string_view prefix = trimview(plot_data.prefix);
  for (const std::string_view root : timefileroots()) {
    if (!root.ends_with(suffix)) continue;
    const std::string name = candidate(root, prefix, extension);
    if (!name.empty() && fileexists(name)) return true;
  }
  return false;
}

bool outputtimeindexfits(std::int32_t index) {
  const std::int32_t width = std::clamp(plot_data.outputtimeindexwidth, 1, kIndexDigits);
  std::int64_t limit = 1;
  for (std::int32_t i = 0; i < width; ++i) limit *= 10;
  return index >= 0 && index < limit;
}

void warnindexbeyondwidth(std::int32_t index) {
  warningmsg("Output-time index " + std::to_string(index) + " does not fit in " +
             std::to_string(plot_data.outputtimeindexwidth) + " digits: later output times are not read.\n" +
             "Raise the \"number of digits for output file suffix\" in the plot control file to read them.");
}

std::string outputtimeindex(std::int32_t index) {
  const std::int32_t width = std::clamp(plot_data.outputtimeindexwidth, 1, kIndexDigits);
  if (!outputtimeindexfits(index)) {
    input_error("Output-time index " + std::to_string(index) + " does not fit in " + std::to_string(width) +
                " digits.\nRaise the \"number of digits for output file suffix\" in the plot control file.");
  }
  return zeropaddedintstring(width, index);
}

std::string outputtimetext(std::int32_t index) {
  if (outputtimeindexfits(index)) return outputtimeindex(index);
  return std::to_string(index) + " (more digits than the " + std::to_string(plot_data.outputtimeindexwidth) +
         " of the output file suffix)";
}

std::string outputtimecount(std::int64_t n) {
  return std::to_string(n) + (n == 1 ? " output time" : " output times");
}

std::string outputtimelist(const std::vector<std::int32_t>& indices, bool joinruns) {
  if (indices.empty()) return "no output time";
  std::string text;
  for (std::size_t k = 0; k < indices.size();) {
    if (indices[k] <= 0) return outputtimecount(static_cast<std::int64_t>(indices.size()));
    std::size_t last = k;
    while (joinruns && last + 1 < indices.size() && indices[last + 1] == indices[last] + 1) ++last;
    if (!text.empty()) text += ", ";
    text += outputtimetext(indices[k]);
    if (last > k) text += " to " + outputtimetext(indices[last]);
    k = last + 1;
  }
  return (indices.size() == 1 ? "output time " : "output times ") + text;
}

namespace {

// The first time-file root with a file for the extension, as findtimefile searches; "" for none.
std::string firsttimefile(std::string_view ext) {
  const std::string_view prefix = trimview(plot_data.prefix);
  for (const std::string_view root : timefileroots()) {
    std::string name = candidate(root, prefix, ext);
    if (!name.empty() && fileexists(name)) return name;
  }
  return {};
}

std::string_view extensionof(std::string_view extension) {
  return extension.substr(0, std::min(extension.size(), static_cast<std::size_t>(std::max(plot_data.fextwidth, 0))));
}

}  // namespace

bool outputtimeexists(std::int32_t index) {
  if (index < 1 || !outputtimeindexfits(index)) return false;
  const std::string extension = "." + outputtimeindex(index);
  return !firsttimefile(extensionof(extension)).empty();
}

std::string timefile(std::string_view extension, std::string_view remembered) {
  const std::string_view ext = extensionof(extension);
  if (!remembered.empty()) {
    const std::string_view last = trimview(remembered);
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos) {
      fatalerror(std::string("File extension not found for file: ") += last);
    }
    std::string name(last.substr(0, dot));
    name += ext;
    if (fileexists(name)) return name;
  }
  return firsttimefile(ext);
}

std::string timestampin(const std::string& fname) {
  const BinFileHeader header = parsetnqbinfileheader(readtnqbinfileheader(fname));
  const std::string_view stamp = trimview(header.timestamp);
  if (!plot_data.sim_time_conversion) return std::string(stamp.substr(0, std::min(stamp.size(), kTimestampWidth)));
  double time = 0.0;
  int status = 0;
  str2r8(stamp, time, &status);
  if (status != 0) {
    input_error_stat(status, "Cannot read the time stamp \"" + std::string(stamp) + "\" of file: " + fname);
  }
  return timetext(time * plot_data.timeunitfactor + plot_data.addtime);
}

void findtimefile(std::string_view extension) {
  std::string name = timefile(extension, plot_data.time_file_found ? std::string_view(plot_data.time_fname) : "");
  plot_data.time_file_found = !name.empty();
  if (plot_data.time_file_found) plot_data.time_fname = std::move(name);
}

void gettimestamp(std::string_view extension, bool& found) {
  plot_data.timestamp = "0.0";
  found = false;
  findtimefile(extension);
  if (!plot_data.time_file_found) return;
  found = true;
  plot_data.timestamp = timestampin(plot_data.time_fname);
}

std::vector<std::int32_t> outputtimeslisted(std::string& unlisted) {
  unlisted.clear();
  const std::int32_t width = std::clamp(plot_data.outputtimeindexwidth, 1, kIndexDigits);
  // The name each root's files begin with, by the directory they lie in.
  std::map<std::string, std::unordered_set<std::string>> stems;
  const std::string_view prefix = trimview(plot_data.prefix);
  for (const std::string_view root : timefileroots()) {
    const std::string stem = candidate(root, prefix, "");
    if (stem.empty()) continue;
    const std::size_t slash = stem.rfind('/');
    stems[slash == std::string::npos ? "." : stem.substr(0, std::max<std::size_t>(slash, 1))].insert(
        slash == std::string::npos ? stem : stem.substr(slash + 1));
  }
  std::vector<std::int32_t> found;
  for (const auto& [directory, names] : stems) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
      // No hmc directory, say, holds no result file.
      if (errno != ENOENT && errno != ENOTDIR && unlisted.empty()) {
        unlisted = directory + ": " + std::strerror(errno);
      }
      continue;
    }
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (entry == nullptr) {
        // A listing cut short by a failed read holds too little to tell.
        if (errno != 0 && unlisted.empty()) unlisted = directory + ": " + std::strerror(errno);
        break;
      }
      const std::string_view name(entry->d_name);
      const std::size_t dot = name.rfind('.');
      if (dot == std::string_view::npos || name.size() - dot - 1 != static_cast<std::size_t>(width)) continue;
      std::int64_t index = 0;
      const auto [end, ec] = std::from_chars(name.data() + dot + 1, name.data() + name.size(), index);
      if (ec != std::errc() || end != name.data() + name.size() || index < 1 || index > INT32_MAX) continue;
      if (names.count(std::string(name.substr(0, dot))) != 0) found.push_back(static_cast<std::int32_t>(index));
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

}  // namespace kelpra
