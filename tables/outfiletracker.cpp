#include "tables/outfiletracker.hpp"

#include "support/errors.hpp"
#include "support/strings.hpp"

namespace kelpra {
namespace {

void addline(outfiletracker& tracker, const std::string& line) {
  if (!isopen(tracker)) return;
  checkfilewrite(writeline(tracker.unit(), line), tracker.filename());
}

void addresultfile(outfiletracker& tracker, std::string_view name, std::int32_t varloc, std::string_view kind,
                   std::int32_t first, std::int32_t second, std::optional<std::string_view> units) {
  std::string line(trimview(name));
  line.append(",binary,").append(varloc2str(varloc)).append(",").append(kind);
  line.append(",").append(std::to_string(first)).append(",").append(std::to_string(second));
  line.append(",\"").append(getunitstr(units.value_or(""))).append("\"");
  addline(tracker, line);
}

}  // namespace

void init(outfiletracker& tracker, std::string_view name, std::optional<bool> append) {
  destroy(tracker);
  tracker.filename_ = std::string(trimview(name));
  tracker.file_ = UnitHandle::take();
  const OpenStatus status = append.value_or(false) ? OpenStatus::append : OpenStatus::replace;
  checkfileopen(openunit(tracker.file_.unit(), tracker.filename_, FileForm::formatted, status), tracker.filename_);
}

void destroy(outfiletracker& tracker) {
  tracker.file_.release();
  tracker.filename_.clear();
}

bool isopen(const outfiletracker& tracker) { return tracker.unit() > 0; }

std::int32_t fileunit(const outfiletracker& tracker) { return tracker.unit(); }

void addtecplotfile(outfiletracker& tracker, std::string_view name, std::int32_t zonetype, std::int32_t datapacking) {
  std::string line(trimview(name));
  line.append(",tecplot ascii,").append(teczone2str(zonetype)).append(",").append(tecdata2str(datapacking));
  addline(tracker, line);
}

void binaryfileint4(outfiletracker& tracker, std::string_view name, std::int32_t varloc,
                    std::span<const std::int32_t>, std::int32_t first, std::int32_t second,
                    std::optional<std::string_view> units) {
  addresultfile(tracker, name, varloc, "int4", first, second, units);
}

void binaryfilereal4(outfiletracker& tracker, std::string_view name, std::int32_t varloc, std::span<const float>,
                     std::int32_t first, std::int32_t second, std::optional<std::string_view> units) {
  addresultfile(tracker, name, varloc, "real4", first, second, units);
}

void binaryfilereal8(outfiletracker& tracker, std::string_view name, std::int32_t varloc, std::span<const double>,
                     std::int32_t first, std::int32_t second, std::optional<std::string_view> units) {
  addresultfile(tracker, name, varloc, "real8", first, second, units);
}

std::string_view teczone2str(std::int32_t code) {
  switch (code) {
    case 0: return "ordered";
    case 1: return "fem";
    default: return "tec_zone_type_unknown";
  }
}

std::string_view tecdata2str(std::int32_t code) {
  switch (code) {
    case 2: return "point";
    case 3: return "block";
    default: return "tec_data_packing_unknown";
  }
}

std::string_view varloc2str(std::int32_t code) {
  switch (code) {
    case 4: return "nodal";
    case 5: return "cell-centered";
    default: return "var_location_unknown";
  }
}

std::string getunitstr(std::string_view units) {
  // Parentheses go from the start to the first other character, and from the end back to the
  // last character that is neither a blank nor a parenthesis; blanks among them go with them.
  const std::size_t first = units.find_first_not_of("()");
  const std::size_t last = units.find_last_not_of(" ()");
  std::string text;
  if (last != std::string_view::npos) text = units.substr(first, last - first + 1);
  if (text == "-") text.clear();
  return text;
}

}  // namespace kelpra
