#include "support/bitarray.hpp"

#include <algorithm>
#include <bit>
#include <limits>

namespace kelpra {
namespace {

constexpr std::uint32_t bitmask(std::int32_t i) noexcept {
  return std::uint32_t{1} << static_cast<unsigned>((i - 1) % 32);
}

constexpr std::size_t wordof(std::int32_t i) noexcept { return static_cast<std::size_t>((i - 1) / 32); }

constexpr std::uint32_t asbits(std::int32_t w) noexcept { return static_cast<std::uint32_t>(w); }

}  // namespace

std::int32_t bitarraysize(std::int32_t n) noexcept {
  // Written without n + 31 so that counts near the 4-byte limit do not overflow.
  if (n <= 0) return 0;
  return n / 32 + (n % 32 != 0 ? 1 : 0);
}

std::int32_t bitarraynumbits(std::span<const std::int32_t> bits) noexcept {
  const auto n = static_cast<std::uint64_t>(bits.size()) * 32u;
  constexpr auto cap = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(std::min(n, cap));
}

void bitarrayreset(std::span<std::int32_t> bits) noexcept { std::fill(bits.begin(), bits.end(), 0); }

void bitarrayset1(std::span<std::int32_t> bits) noexcept { std::fill(bits.begin(), bits.end(), -1); }

void bitarrayset2(std::span<std::int32_t> bits, std::int32_t i) noexcept {
  auto& w = bits[wordof(i)];
  w = static_cast<std::int32_t>(asbits(w) | bitmask(i));
}

void bitarrayclear(std::span<std::int32_t> bits, std::int32_t i) noexcept {
  auto& w = bits[wordof(i)];
  w = static_cast<std::int32_t>(asbits(w) & ~bitmask(i));
}

bool bitarraytest(std::span<const std::int32_t> bits, std::int32_t i) noexcept {
  return (asbits(bits[wordof(i)]) & bitmask(i)) != 0;
}

std::int32_t bitarraycount(std::span<const std::int32_t> bits) noexcept {
  std::int64_t count = 0;
  for (const auto w : bits) count += std::popcount(asbits(w));
  return static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

void bitarrayfromindexlist(std::span<const std::int32_t> list, std::span<std::int32_t> bits) noexcept {
  const std::int32_t numbits = bitarraynumbits(bits);
  for (const auto k : list) {
    if (k >= 1 && k <= numbits) bitarrayset2(bits, k);
  }
}

void bitarraytoindexlist(std::span<const std::int32_t> bits, std::span<std::int32_t> list, std::int32_t& n) noexcept {
  n = 0;
  const std::int64_t numbits = bitarraynumbits(bits);
  const std::size_t room = list.size();
  for (std::size_t w = 0; w < bits.size() && static_cast<std::size_t>(n) < room; ++w) {
    // Walk the set bits of each word lowest first.
    std::uint32_t word = asbits(bits[w]);
    while (word != 0 && static_cast<std::size_t>(n) < room) {
      const std::int64_t i = static_cast<std::int64_t>(w) * 32 + std::countr_zero(word) + 1;
      if (i > numbits) return;
      list[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(i);
      ++n;
      word &= word - 1;
    }
  }
}

}  // namespace kelpra
