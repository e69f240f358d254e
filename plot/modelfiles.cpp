#include "plot/modelfiles.hpp"

#include <algorithm>
#include <utility>

#include "plot/messages.hpp"
#include "plot/plotdata.hpp"
#include "support/textview.hpp"
#include "support/units.hpp"

namespace kelpra {
namespace {

constexpr std::size_t kTitleWidth = 60;
constexpr std::size_t kSpeciesNameWidth = 50;
constexpr std::size_t kVersionWidth = 80;
constexpr std::size_t kFractionNameWidth = 80;
constexpr std::int64_t kWord = 4;  // integers and booleans take 4 bytes

std::string modelfilename(std::string_view suffix) {
  std::string name = prefixtext();
  name += suffix;
  return name;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Record-file reader

ModelRecordFile::ModelRecordFile(std::string name) : name_(std::move(name)), file_(UnitHandle::take()) {
  checkfileopen(openunit(file_.unit(), name_, FileForm::unformatted, OpenStatus::old), name_);
}

std::int32_t ModelRecordFile::i4() {
  std::int32_t value = 0;
  values(std::span<std::int32_t>(&value, 1));
  return value;
}

bool ModelRecordFile::l() { return (i4() & 1) != 0; }

std::string ModelRecordFile::text(std::size_t width) {
  std::string field(width, ' ');
  checkfileread(readrecord(file_.unit(), field.data(), width), name_);
  field.resize(static_cast<std::size_t>(len_trim(field)));
  return field;
}

std::int32_t ModelRecordFile::count(std::string_view what) {
  const std::int32_t value = i4();
  if (value < 0) {
    std::string message = "Negative ";
    message += what;
    message += " (" + std::to_string(value) + ") in file: ";
    message += name_;
    input_error(message);
  }
  return value;
}

void ModelRecordFile::needroom(std::int64_t records, std::int64_t payload) {
  const long long left = bytesleftinfile(file_.unit());
  if (left < 0) return;  // not a regular file: the reads themselves find the end
  const std::int64_t framing = saturatedproduct(records, 2 * static_cast<std::int64_t>(kRecordLengthBytes));
  const std::int64_t needed = framing > std::numeric_limits<std::int64_t>::max() - payload
                                  ? std::numeric_limits<std::int64_t>::max()
                                  : framing + payload;
  // Nothing left at all is the end of the file, as the read itself would find.
  if (needed > left) checkfileread(left == 0 ? kStatusEndOfFile : kStatusReadFailed, name_);
}

// ---------------------------------------------------------------------------------------
// Model files

void titleread() {
  ModelRecordFile file(modelfilename("o.gen"));
  if (file.text(kVersionWidth) != kRevision) {
    warningmsg("Vorn version does not match KELPRA version.\nThis may result in a failure of KELPRA to run.");
  }
  const std::int32_t ntit = file.count("number of title lines");
  std::string block;
  file.array(block, saturatedproduct(ntit, kTitleWidth), "Title array");
  std::vector<std::string> title;
  allocatearray(title, std::max(ntit, 1), "Title array");
  for (std::int32_t i = 0; i < ntit; ++i) {
    title[static_cast<std::size_t>(i)] = trimview(std::string_view(block).substr(i * kTitleWidth, kTitleWidth));
  }
  plot_data.ntit = ntit;
  plot_data.title = std::move(title);

  // An empty title listing still shows as one empty line.
  if (ntit == 0) screenline("");
  for (std::int32_t i = 0; i < ntit; ++i) screenline(plot_data.title[static_cast<std::size_t>(i)]);
  screenline("");

  UnitSystem units;
  units.deserialize(file.unit(), FileForm::unformatted);
  setbaseunits(units.handle());
  file.close();
}

void speciesread() {
  const std::string name = modelfilename("o.species");
  plot_data.speciesfileexists = fileexists(name);
  if (!plot_data.speciesfileexists) {
    screenline("No species file present");
    return;
  }
  screenline("Species file: " + name);
  ModelRecordFile file(name);
  const std::int32_t nmob = file.count("number of mobile species");
  const std::int32_t nfurther = file.count("number of further species");
  const std::int64_t total = std::int64_t{nmob} + nfurther;
  if (total > std::numeric_limits<std::int32_t>::max()) {
    input_error("Too many species (" + std::to_string(total) + ") in file: " + name);
  }
  file.needroom(total + 2 * std::int64_t{nmob},
                saturatedproduct(total, kSpeciesNameWidth) + saturatedproduct(2 * std::int64_t{nmob}, kWord));
  // The names are taken as they arrive, so a file of unknown size cannot size them by its count.
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < total; ++i) {
    std::string name = file.text(kSpeciesNameWidth);
    checkedalloc("Species arrays", [&] { names.push_back(std::move(name)); });
  }
  std::vector<bool> temperature, colloid;
  allocatearray(temperature, total, "Species arrays");
  allocatearray(colloid, total, "Species arrays");
  // Only the mobile species carry kind flags; the further species stay plain.
  for (std::int32_t i = 0; i < nmob; ++i) temperature[static_cast<std::size_t>(i)] = file.l();
  for (std::int32_t i = 0; i < nmob; ++i) colloid[static_cast<std::size_t>(i)] = file.l();
  file.close();

  plot_data.nspeciesmob = nmob;
  plot_data.ncspec = nfurther;
  plot_data.nspeciestot = static_cast<std::int32_t>(total);
  plot_data.spname = std::move(names);
  plot_data.is_temperature = std::move(temperature);
  plot_data.is_colloid = std::move(colloid);
  plot_data.colloidtransport =
      std::find(plot_data.is_colloid.begin(), plot_data.is_colloid.end(), true) != plot_data.is_colloid.end();
}

void hmcfractionsread() {
  const std::string name = modelfilename("o.hmc");
  plot_data.hmcfileexists = fileexists(name);
  if (!plot_data.hmcfileexists) {
    screenline("No HMC file present");
    return;
  }
  screenline("HMC file: " + name);
  ModelRecordFile file(name);
  // Records 1 to 4 and 6 to 7 describe the mixing model; only the fraction count is needed.
  for (int i = 0; i < 3; ++i) (void)file.i4();
  (void)file.l();
  const std::int32_t nfractions = file.count("number of fractions");
  for (int i = 0; i < 2; ++i) (void)file.i4();
  file.needroom(3 * std::int64_t{nfractions},
                saturatedproduct(nfractions, static_cast<std::int64_t>(kFractionNameWidth) + 2 * kWord));
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < nfractions; ++i) {
    std::string n = "f_" + file.text(kFractionNameWidth);
    if (n.size() > kFractionNameWidth) n.resize(kFractionNameWidth);
    n.resize(static_cast<std::size_t>(len_trim(n)));
    (void)file.i4();
    (void)file.i4();
    checkedalloc("HMC frac_name array", [&] { names.push_back(std::move(n)); });
  }
  file.close();
  plot_data.num_fractions = nfractions;
  plot_data.frac_name = std::move(names);
}

// ---------------------------------------------------------------------------------------
// Banner and one-line messages

void header(int unit) {
  constexpr std::size_t kWidth = 74;
  const auto write = [unit](std::string_view line) {
    if (unit < 1) {
      screenline(line);
    } else {
      (void)writeline(unit, line);
    }
  };
  const auto framed = [](std::string_view text) {
    std::string line = "@@   ";
    line += text;
    line.resize(kWidth - 2, ' ');
    line += "@@";
    return line;
  };
  const std::string full(kWidth, '@');
  const std::string empty = "@@" + std::string(kWidth - 4, ' ') + "@@";
  write(full);
  write(full);
  write(empty);
  write(framed("KELPRA: Post-processor for Tarnovelquasir"));
  write(empty);
  write(framed(std::string("REVISION:   ") += kRevision));
  write(framed("BUILD DATE: 2026-06-02"));
  write(framed("BUILD INFO: 64-bit"));
  write(empty);
  write(empty);
  write(full);
  write(full);
  write("");
}

// The text goes out unchanged, trailing blanks included.
void write_string(std::string_view text) { echothenscreen(text); }

void write_rule() {
  write_string(" ");
  write_string(std::string(48, '-'));
}

std::string prefixtext() { return std::string(trimview(plot_data.prefix)); }

}  // namespace kelpra
