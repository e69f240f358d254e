#include "plot/nodesearch.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "plot/messages.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr double kFar = 1.0e20;
constexpr double kLow = -1.0e10;
constexpr std::size_t kLabelWidth = 14;
constexpr std::size_t kLineWidth = 256;

// Nodes with coordinates: a record's nn, but never past its coordinate arrays.
std::int32_t searchablenodes(const DOMAIN& dom) {
  const std::size_t have = std::min({dom.x.size(), dom.y.size(), dom.z.size()});
  return static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(std::max(dom.nn, 0)), have));
}

// The label right-aligned (or cut) in 14 characters, then each value as F17.5.
std::string echoed(std::string_view label, std::initializer_list<double> values) {
  std::string line;
  if (label.size() >= kLabelWidth) {
    line.assign(label.substr(0, kLabelWidth));
  } else {
    line.assign(kLabelWidth - label.size(), ' ');
    line += label;
  }
  for (const double v : values) line += tostring_r8(v, "(F17.5)");
  return line;
}

// One line of the control file: its first 256 characters, without the line end.
int readcontrolline(std::FILE* fp, std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    const int c = std::getc(fp);
    if (c == EOF) {
      if (std::ferror(fp) != 0) return kStatusReadFailed;
      return any ? 0 : kStatusEndOfFile;
    }
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return 0;
    }
    if (line.size() < kLineWidth) line.push_back(static_cast<char>(c));
  }
}

// The line without its leading blanks; empty when it is blank or a comment line.
std::string_view kepttext(std::string_view line) {
  const std::size_t first = line.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  line.remove_prefix(first);
  if (line.front() == '!' || trimview(line).empty()) return {};
  return line;
}

void writepadded(int out, std::string_view text) {
  std::string line(text);
  line.resize(kLineWidth, ' ');
  checkfilewrite(writeline(out, line), unitfilename(out));
}

// Copies the kept lines of the unit; include lines are expanded only when `expand` is set.
void copylines(int in, int out, bool expand) {
  std::FILE* fp = unitstream(in);
  std::string line;
  for (;;) {
    errno = 0;
    const int status = fp == nullptr ? kStatusReadFailed : readcontrolline(fp, line);
    if (status == kStatusEndOfFile) return;
    if (status != 0) {
      if (errno != 0) notesystemerror(errno, unitfilename(in));
      input_error_stat(status, withsystemreason("Error reading file: " + unitfilename(in), unitfilename(in)));
    }
    const std::string_view text = kepttext(line);
    if (text.empty()) continue;
    if (expand && text.starts_with("include")) {
      const std::string name(trimview(trimfullcopy1(text.substr(7), " ")));
      if (!fileexists(name)) input_error("Include file not found: " + name);
      UnitHandle included = UnitHandle::take();
      checkfileopen(openunit(included.unit(), name, FileForm::formatted, OpenStatus::old), name);
      copylines(included.unit(), out, false);
      included.release();
      continue;
    }
    writepadded(out, text);
  }
}

// The first of nodes 1..count nearest to (x, y, z), or to (x, y) in plan; 0 when none lies
// nearer than kFar.
std::int32_t nearest(double x, double y, double z, bool planar, std::int32_t count, const DOMAIN& dom) {
  double best = kFar;
  std::int32_t node = 0;
  for (std::int32_t i = 1; i <= count; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    const double dz = planar ? 0.0 : dom.z[k] - z;
    const double d = std::sqrt((dom.x[k] - x) * (dom.x[k] - x) + (dom.y[k] - y) * (dom.y[k] - y) + dz * dz);
    if (d < best) {
      best = d;
      node = i;
    }
  }
  return node;
}

// The echo lines of a search; the found node's lines only when `found` is set.
void echosearch(double x, double y, double z, bool planar, bool found, std::int32_t node, const DOMAIN& dom) {
  echoline("");
  echoline("");
  echoline(planar ? echoed("Target x, y ", {x, y}) : echoed("Target x, y, z", {x, y, z}));
  if (!found) return;
  const auto k = static_cast<std::size_t>(node - 1);
  echoline(echoed("Found x, y, z ", {dom.x[k], dom.y[k], dom.z[k]}));
  echoline(planar ? echoed("Delta x, y  ", {dom.x[k] - x, dom.y[k] - y})
                  : echoed("Delta x, y, z ", {dom.x[k] - x, dom.y[k] - y, dom.z[k] - z}));
}

// The nearest node to (x, y, z), or to (x, y) in plan, with the echo lines of the search.
void nearestnode(double x, double y, double z, bool planar, std::int32_t& node, const DOMAIN& dom) {
  const std::int32_t n = searchablenodes(dom);
  if (const std::int32_t found = nearest(x, y, z, planar, n, dom); found > 0) node = found;
  echosearch(x, y, z, planar, node >= 1 && node <= n, node, dom);
}

}  // namespace

void find_node(double x, double y, double z, std::int32_t& node, const DOMAIN& dom) {
  nearestnode(x, y, z, false, node, dom);
}

void find_node_xy(double x, double y, std::int32_t& node, const DOMAIN& dom) {
  nearestnode(x, y, 0.0, true, node, dom);
}

void find_top_surface_node_from_xy(double x, double y, std::int32_t& node, const DOMAIN& dom) {
  const std::int32_t n = searchablenodes(dom);
  const std::int32_t layers = plot_data.nz;
  const std::int32_t perlayer = layers >= 1 ? n / layers : 0;
  const std::int32_t column = nearest(x, y, 0.0, true, perlayer, dom);
  if (column > 0) {
    node = column;
    double top = kLow;
    for (std::int32_t layer = 0; layer < layers; ++layer) {
      const std::int32_t i = column + layer * perlayer;
      const double zi = dom.z[static_cast<std::size_t>(i - 1)];
      if (zi > top) {
        top = zi;
        node = i;
      }
    }
  }
  echosearch(x, y, 0.0, true, column > 0 && node >= 1 && node <= n, node, dom);
}

void lcase(std::string& text) { tolower(text); }

void strip_comments(int in, int out) {
  copylines(in, out, true);
  std::FILE* fp = unitstream(out);
  if (fp == nullptr || std::fflush(fp) != 0) {
    if (fp != nullptr) notesystemerror(errno, unitfilename(out));
    checkfilewrite(kStatusWriteFailed, unitfilename(out));
    return;
  }
  std::rewind(fp);
}

}  // namespace kelpra
