#include "tables/particletraceinit.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <span>
#include <string>

#include "arrays/dynarray.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/textview.hpp"
#include "tables/savedform.hpp"

namespace kelpra {

void traceInitType::traceinittypeinit(std::string_view text, std::optional<std::int32_t> code) {
  traceinittypedestroy();
  name.assign(trimview(text));
  if (code) option = *code;
}

void traceInitType::traceinittypedestroy() {
  count = 0;
  option = 1;
  std::string().swap(name);
  std::vector<double>().swap(values);
}

void traceInitType::traceinittypeserialize(int unit) const {
  SavedFormWriter out(unit, "traceInitType::serialize: file unit must be associated a file");
  if (count > 0 && static_cast<std::size_t>(count) > values.size()) {
    fatalerror("traceInitType::serialize: count " + std::to_string(count) + " but " +
               std::to_string(values.size()) + " values held");
  }
  if (name.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    fatalerror("traceInitType::serialize: name too long");
  }
  out.integer(static_cast<std::int32_t>(name.size()));
  out.text(name);
  out.integer(option);
  out.integer(count);
  if (count > 0) out.reals(std::span<const double>(values).first(static_cast<std::size_t>(count)));
}

void traceInitType::traceinittypedeserialize(int unit) {
  traceinittypedestroy();
  SavedFormReader in(unit, "traceInitType::deserialize: file unit must be associated a file",
                     "traceInitType::deserialize");
  const std::int32_t length = in.integer();
  in.checklength(length, "name length");
  std::string text = in.text(length, "traceInitType::deserialize: filename character string");
  const std::int32_t code = in.integer();
  const std::int32_t n = in.integer();
  in.checkcount(n, 1, true, "value count");
  std::vector<double> saved;
  if (n > 0) saved = in.reals(n, "traceInitType::deserialize: values array");
  name.swap(text);
  option = code;
  count = n;
  values.swap(saved);
}

void pushback_traceinit(const traceInitType& definition, std::int32_t& used, std::vector<traceInitType>& array,
                        std::optional<std::string_view> message) {
  const std::string_view what = message.value_or("pushback: traceInitType array");
  if (used < 0) fatalerror("pushback_traceinit: negative used count " + std::to_string(used));
  if (array.empty()) used = 0;
  const auto length = static_cast<std::int32_t>(array.size());
  if (array.empty() || used >= length) {
    const std::int32_t grown = std::max(arraydetail::growth64(used), 1);
    if (grown <= used) check_alloc(kStatusNoMemory, what);
    std::vector<traceInitType> bigger;
    allocatearray(bigger, grown, what);
    std::move(array.begin(), array.begin() + std::min(used, length), bigger.begin());
    array.swap(bigger);
  }
  checkedalloc(what, [&] { array[static_cast<std::size_t>(used)] = definition; });
  ++used;
}

}  // namespace kelpra
