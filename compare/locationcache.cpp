// The location step of the model's observation points and its cache file beside the model:
// the cache read back and checked against the points and the mesh, or, where it does not fit,
// the points located again and the cache written anew.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "compare/location.hpp"
#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/interrupt.hpp"
#include "support/strings.hpp"
#include "support/textformats.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

using Point = std::array<double, 3>;

constexpr std::size_t kCacheLineWidth = 163;
constexpr std::size_t kCacheFieldStart = 11;
constexpr std::size_t kCacheFieldWidth = 19;  // a blank and G18.11

// The pm bricks as the location needs them; a record whose arrays do not hold them stops the run.
BrickMesh brickmesh(const DOMAIN& dom) {
  const auto nn = static_cast<std::size_t>(std::max(dom.nn, 0));
  const auto ne = static_cast<std::size_t>(std::max(dom.ne, 0));
  if (dom.x.size() < nn || dom.y.size() < nn || dom.z.size() < nn || dom.incidences.size() < 8 * ne) {
    fatalerror("The mesh of the " + domainname(dom) + " domain is incomplete: observation points cannot be located.");
  }
  const std::span<const std::int32_t> inc = std::span(dom.incidences).first(8 * ne);
  for (std::size_t i = 0; i < inc.size(); ++i) {
    if (inc[i] < 1 || static_cast<std::size_t>(inc[i]) > nn) {
      fatalerror("Element " + std::to_string(i / 8 + 1) + " of the " + domainname(dom) + " domain refers to node " +
                 std::to_string(inc[i]) + ", outside 1 to " + std::to_string(nn) + ".");
    }
  }
  return {std::span(dom.x).first(nn), std::span(dom.y).first(nn), std::span(dom.z).first(nn), inc,
          static_cast<std::int32_t>(ne)};
}

Point pointof(std::size_t i) { return {plot_data.xob[i], plot_data.yob[i], plot_data.zob[i]}; }

std::string cacheline(std::int32_t element, const std::array<double, 8>& weights) {
  std::string line;
  line.reserve(kCacheLineWidth);
  appendinteger(line, element, formatI(10));
  line += ' ';
  for (const double w : weights) {
    line += ' ';
    appendreal(line, w, formatG(18, 11));
  }
  return line;
}

// A field's text without the blanks around it.
std::string_view fieldtext(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : trimview(field.substr(first));
}

// Reads one cache line; false when it does not hold an element number and eight weights in
// their columns.
bool parsecacheline(std::string_view line, std::int32_t& element, std::array<double, 8>& weights) {
  std::string text(line);
  if (text.size() < kCacheLineWidth) text.resize(kCacheLineWidth, ' ');
  if (text.find_first_not_of(' ', kCacheLineWidth) != std::string::npos || text[10] != ' ') return false;
  const std::string_view view = text;
  int status = 0;
  const std::string_view elementfield = fieldtext(view.substr(0, 10));
  if (elementfield.empty() || elementfield.find(' ') != std::string_view::npos) return false;
  str2i4(elementfield, element, &status);
  if (status != 0) return false;
  for (std::size_t k = 0; k < 8; ++k) {
    const std::string_view value = fieldtext(view.substr(kCacheFieldStart + k * kCacheFieldWidth, kCacheFieldWidth));
    if (value.empty() || value.find(' ') != std::string_view::npos) return false;
    str2r8(value, weights[k], &status);
    if (status != 0) return false;
  }
  return true;
}

// Weights read back from the cache's 11 significant digits differ from fresh ones by far less.
constexpr double kWeightSlack = 1.0e-9;

// The element the point belongs to, by a search in the index, built on first need.
std::int32_t search(const BrickMesh& mesh, std::unique_ptr<BrickBoxIndex>& index, const Point& point) {
  if (!index) index = std::make_unique<BrickBoxIndex>(mesh);
  Point rst{};
  return index->find(point, rst);
}

// Checks one cached location against the point and the mesh; "" when it fits. A location by
// the box alone fits only while no body holds the point, and a point in no element only while
// no element holds it: both take a search.
std::string checkcached(const BrickMesh& mesh, std::unique_ptr<BrickBoxIndex>& index, std::size_t i,
                        std::int32_t element, const std::array<double, 8>& weights) {
  const std::string where = "line " + std::to_string(i + 1);
  if (element == -1) {
    for (const double w : weights) {
      if (w != -1.0) return where + " gives weights to an unlocated point";
    }
    // The point may have been moved into the mesh since, or the mesh under it.
    if (const std::int32_t found = search(mesh, index, pointof(i)); found > 0) {
      return where + ": point " + std::to_string(i + 1) + " now lies in element " + std::to_string(found);
    }
    return {};
  }
  if (element < 1 || element > mesh.ne) {
    return where + " names element " + std::to_string(element) + ", outside 1 to " + std::to_string(mesh.ne);
  }
  for (const double w : weights) {
    if (!std::isfinite(w)) return where + " holds a weight that is not a finite number";
  }
  Point rst{};
  const Point point = pointof(i);
  const Holding holding = brickholds(mesh, element, point, rst);
  if (holding == Holding::none) {
    return where + ": element " + std::to_string(element) + " no longer holds point " + std::to_string(i + 1);
  }
  std::array<double, 8> fresh{};
  br8shp(1, rst, fresh);
  for (std::size_t k = 0; k < 8; ++k) {
    if (!(std::abs(fresh[k] - weights[k]) <= kWeightSlack)) {
      return where + ": the weights no longer match point " + std::to_string(i + 1) + " in element " +
             std::to_string(element);
    }
  }
  if (holding == Holding::box) {
    if (const std::int32_t found = search(mesh, index, point); found != element) {
      return where + ": point " + std::to_string(i + 1) + " belongs to element " + std::to_string(found) +
             ", not to element " + std::to_string(element);
    }
  }
  return {};
}

// Fills the observation set from the cache when every line fits; otherwise returns what is wrong.
std::string readcache(const std::string& name, const BrickMesh& mesh) {
  const std::size_t n = plot_data.xob.size();
  std::vector<std::int32_t> elements;
  std::vector<std::array<double, 8>> weights;
  std::unique_ptr<BrickBoxIndex> index;
  {
    UnitHandle unit = UnitHandle::take();
    if (const int status = openownunit(unit.unit(), name, FileForm::formatted, OpenStatus::old); status != 0) {
      return "it cannot be opened (" + statustext(status) + ")";
    }
    std::string line;
    for (std::size_t i = 0;; ++i) {
      const int status = readline(unit.unit(), line);
      if (status == kStatusEndOfFile) break;
      if (status != 0) return "it cannot be read (" + statustext(status) + ")";
      if (i >= n) return "it holds more lines than the " + std::to_string(n) + " observation points";
      std::int32_t element = 0;
      std::array<double, 8> w{};
      if (!parsecacheline(line, element, w)) return "line " + std::to_string(i + 1) + " does not fit the layout";
      if (std::string problem = checkcached(mesh, index, i, element, w); !problem.empty()) return problem;
      elements.push_back(element);
      weights.push_back(w);
    }
    unit.release();
  }
  if (elements.size() != n) {
    return "it holds " + std::to_string(elements.size()) + " lines for " + std::to_string(n) + " observation points";
  }
  plot_data.obs_el = std::move(elements);
  plot_data.basisfunctions = std::move(weights);
  return {};
}

std::string progressline(std::size_t i, std::size_t n) {
  std::string line;
  appendinteger(line, static_cast<std::int64_t>(i), formatI(12));
  line += "  of";
  appendinteger(line, static_cast<std::int64_t>(n), formatI(12));
  line += "  observation points";
  return line;
}

// Writes the cache through a temporary file, so that an interrupted run never leaves a short
// one. The locations are in memory already: a cache that cannot be written is only warned of.
class CacheWriter {
 public:
  // `keep` false: nothing is written (the name is taken by something that is no file).
  CacheWriter(std::string name, bool keep) : name_(std::move(name)), temp_(name_ + ".tmp") {
    if (!keep) {
      failed_ = true;
      return;
    }
    unit_ = UnitHandle::take();
    if (const int status = openunit(unit_.unit(), temp_, FileForm::formatted, OpenStatus::fresh); status != 0) {
      fail(status);
      return;
    }
    opened_ = true;
  }
  // A run stopped while it located the points leaves no part of a cache behind.
  ~CacheWriter() {
    if (!opened_ || committed_) return;
    unit_.release();
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }
  CacheWriter(const CacheWriter&) = delete;
  CacheWriter& operator=(const CacheWriter&) = delete;

  void line(std::string_view text) {
    if (failed_) return;
    if (const int status = writeline(unit_.unit(), text); status != 0) fail(status);
  }

  void commit() {
    committed_ = true;
    if (failed_) return;
    std::FILE* f = unitstream(unit_.unit());
    const bool flushed = f != nullptr && std::fflush(f) == 0;
    unit_.release();
    if (!flushed) {
      fail(kStatusWriteFailed);
      return;
    }
    std::error_code ec;
    std::filesystem::rename(temp_, name_, ec);
    if (ec) {
      warningmsg(notkept() + ": " + ec.message());
      std::filesystem::remove(temp_, ec);
    }
  }

 private:
  std::string notkept() const { return "The observation point locations could not be kept in " + name_; }

  void fail(int status) {
    failed_ = true;
    warningmsgstat(status, withsystemreason(notkept() + "."));
    unit_.release();
    // Only a temporary file of our own is removed: one refused at its open may be anything.
    if (!opened_) return;
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }

  std::string name_;
  std::string temp_;
  UnitHandle unit_;
  bool failed_ = false;
  bool opened_ = false;
  bool committed_ = false;
};

}  // namespace

std::string locationcachename() { return prefixtext() + "o.ObsShape.txt"; }

void obs_points_shape(const DOMAIN& dom) {
  PlotData& pd = plot_data;
  const BrickMesh mesh = brickmesh(dom);
  const std::size_t n = pd.xob.size();
  const std::string name = locationcachename();
  // A cache that is no regular file is neither read nor replaced: a pipe would hold the run.
  const std::string odd = notaregularfile(name);
  if (!odd.empty()) {
    warningmsg("The observation point locations cannot be kept in " + name + ": " + odd +
               ".\nThe points are located again; the file is left as it is.");
  } else if (fileexists(name)) {
    const std::string problem = readcache(name, mesh);
    if (problem.empty()) return;
    warningmsg("The observation point locations in " + name + " do not fit the observation points and the mesh: " +
               problem + ".\nThe points are located again and the file is written anew.");
  }
  screenline("Evaluating shape functions at XYZ observation locations");
  screenline("This might take several minutes...");
  echoline(" Evaluating shape functions at XYZ observation locations");
  constexpr std::string_view what = "observation data for observed heads";
  allocatearray(pd.obs_el, static_cast<std::int64_t>(n), what);
  allocatearray(pd.basisfunctions, static_cast<std::int64_t>(n), what);
  CacheWriter cache(name, odd.empty());
  if (n == 0) {
    cache.commit();
    return;
  }
  const BrickBoxIndex index(mesh);
  for (std::size_t i = 0; i < n; ++i) {
    checkstop();
    screenline(progressline(i + 1, n));
    Point rst{};
    const std::int32_t e = index.find(pointof(i), rst);
    std::array<double, 8>& w = pd.basisfunctions[i];
    if (e > 0) {
      br8shp(1, rst, w);
    } else {
      w.fill(-1.0);
    }
    pd.obs_el[i] = e;
    cache.line(cacheline(e, w));
  }
  cache.commit();
}

}  // namespace kelpra
