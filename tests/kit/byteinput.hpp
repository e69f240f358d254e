// Test helper: reads values from the front of a byte string, each checked against the bytes
// left, so that a cut or damaged file ends in an error.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra::testkit {

class ByteInput {
 public:
  explicit ByteInput(std::string_view bytes) : rest_(bytes) {}

  template <class T>
  bool get(T& v) {
    if (rest_.size() < sizeof v) return false;
    std::memcpy(&v, rest_.data(), sizeof v);
    rest_.remove_prefix(sizeof v);
    return true;
  }
  bool i32(int& v) {
    std::int32_t x = 0;
    if (!get(x)) return false;
    v = x;
    return true;
  }
  bool text(std::string& s) {
    s.clear();
    while (true) {
      std::int32_t c = 0;
      if (!get(c) || c < 0 || c > 255) return false;
      if (c == 0) return true;
      s.push_back(static_cast<char>(c));
    }
  }
  // Whether n items of `size` bytes can still follow.
  bool room(std::int64_t n, std::size_t size) const {
    return n >= 0 && static_cast<std::uint64_t>(n) <= rest_.size() / size;
  }
  template <class T>
  bool block(std::int64_t n, std::vector<double>& out) {
    if (!room(n, sizeof(T))) return false;
    out.resize(static_cast<std::size_t>(n));
    for (auto& v : out) {
      T x{};
      get(x);
      v = static_cast<double>(x);
    }
    return true;
  }
  std::size_t left() const { return rest_.size(); }
  // `n` bytes, appended to `out`.
  bool take(std::size_t n, std::string& out) {
    if (rest_.size() < n) return false;
    out.append(rest_.substr(0, n));
    rest_.remove_prefix(n);
    return true;
  }
  bool raw(std::string_view expected) {
    if (rest_.substr(0, expected.size()) != expected) return false;
    rest_.remove_prefix(expected.size());
    return true;
  }

 private:
  std::string_view rest_;
};

}  // namespace kelpra::testkit
