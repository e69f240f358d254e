// The text of a blank-padded field: the field without its trailing blanks.
#pragma once

#include <string_view>

namespace kelpra {

// Position of the last character that is not a blank; 0 for a blank or empty text.
constexpr int len_trim(std::string_view s) noexcept {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return static_cast<int>(n);
}

// The field's text, s(1:len_trim(s)).
constexpr std::string_view trimview(std::string_view s) noexcept {
  return s.substr(0, static_cast<std::size_t>(len_trim(s)));
}

}  // namespace kelpra
