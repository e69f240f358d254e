#include "tables/timetablecommon.hpp"

#include <algorithm>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"

namespace kelpra {

namespace {

std::FILE* listingstream(int unit) {
  if (unit == kStandardOutputUnit) return stdout;
  if (unit == kStandardErrorUnit) return stderr;
  return unitform(unit) == FileForm::formatted ? unitstream(unit) : nullptr;
}

// Descriptors that can list reals, with at least one that writes a number.
bool usablelayout(const std::vector<EditDescriptor>& items) {
  using Kind = EditDescriptor::Kind;
  const bool allusable = std::all_of(items.begin(), items.end(),
                                     [](const EditDescriptor& f) { return f.kind == Kind::X || writesreal(f); });
  return allusable && std::any_of(items.begin(), items.end(), [](const EditDescriptor& f) { return writesreal(f); });
}

}  // namespace

PairListing::PairListing(std::optional<int> unit, std::optional<std::string_view> layout)
    : stream_(listingstream(unit.value_or(kStandardOutputUnit))) {
  auto items = parseformat(layout.value_or("(2ES24.15e3)"));
  if (items && usablelayout(*items)) layout_ = std::move(*items);
  if (stream_ == nullptr || layout_.empty()) status_ = kStatusWriteFailed;
}

void PairListing::line(double first, double second) {
  if (status_ != 0) return;
  text_.clear();
  std::size_t next = 0;
  for (const double value : {first, second}) {
    for (;;) {
      if (next == layout_.size()) next = 0;
      const EditDescriptor& f = layout_[next++];
      if (f.kind != EditDescriptor::Kind::X) {
        appendreal(text_, value, f);
        break;
      }
      text_.append(static_cast<std::size_t>(f.w), ' ');
    }
  }
  text_ += '\n';
  if (std::fwrite(text_.data(), 1, text_.size(), stream_) != text_.size()) status_ = kStatusWriteFailed;
}

void PairListing::finish(int* iostat, std::string_view failure) const {
  int status = status_;
  if (status == 0 && std::fflush(stream_) != 0) status = kStatusWriteFailed;
  if (iostat != nullptr) {
    *iostat = status;
  } else if (status != 0) {
    fatalerrorstat(status, failure);
  }
}

bool readpairline(int unit, const PairReaderTexts& texts, double& first, double& second) {
  std::string line;
  for (;;) {
    const int status = readline(unit, line);
    if (status == kStatusEndOfFile) input_error(texts.missingend);
    if (status != 0) input_error_stat(status, texts.readerror);
    trimfull1(line);
    if (len_trim(line) == 0) continue;
    if (strcmpi2(line, 3, "end")) return false;
    FreeFields fields;
    int bad = freefields(line, 2, fields);
    for (std::size_t i = 0; bad == 0 && i < 2; ++i) {
      const std::string* field = freefield(fields, i);
      if (field == nullptr) {
        bad = kStatusBadListInput;
      } else {
        str2r8(*field, i == 0 ? first : second, &bad);
      }
    }
    if (bad != 0) input_error_stat(bad, std::string(texts.badpair) + std::string(trimview(line)));
    return true;
  }
}

}  // namespace kelpra
