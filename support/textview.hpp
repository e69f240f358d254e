// The text of a blank-padded field: the field without its trailing blanks.
#pragma once

#include <string_view>

namespace kelpra {

inline std::string_view trimview(std::string_view s) {
  const auto last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : s.substr(0, last + 1);
}

}  // namespace kelpra
