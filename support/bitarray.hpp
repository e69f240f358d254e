// Bit arrays: 4-byte words used as a compact set of numbered bits. Bit i (from 1) lives in
// word (i - 1) / 32, at bit (i - 1) % 32 counted from the least significant bit. The
// operations address every bit of every word, the spare bits of the last word included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

namespace kelpra {

// Words needed for n bits; 0 for n <= 0.
std::int32_t bitarraysize(std::int32_t n) noexcept;
// 32 times the number of words, capped at the largest 4-byte integer (a bit number
// beyond it cannot be written as a 4-byte index anyway).
std::int32_t bitarraynumbits(std::span<const std::int32_t> bits) noexcept;

void bitarrayreset(std::span<std::int32_t> bits) noexcept;
void bitarrayset1(std::span<std::int32_t> bits) noexcept;
// i must lie in 1 .. bitarraynumbits(bits).
void bitarrayset2(std::span<std::int32_t> bits, std::int32_t i) noexcept;
void bitarrayclear(std::span<std::int32_t> bits, std::int32_t i) noexcept;
bool bitarraytest(std::span<const std::int32_t> bits, std::int32_t i) noexcept;
std::int32_t bitarraycount(std::span<const std::int32_t> bits) noexcept;

// Sets the bits of the entries k with 1 <= k <= numbits; others are skipped. Bits already
// set stay set.
void bitarrayfromindexlist(std::span<const std::int32_t> list, std::span<std::int32_t> bits) noexcept;
// The numbers of the set bits, ascending, into list[0 .. n-1]; set bits past the room of
// list are neither stored nor counted, and the rest of list keeps its values.
void bitarraytoindexlist(std::span<const std::int32_t> bits, std::span<std::int32_t> list, std::int32_t& n) noexcept;

// Masks are any indexable sequence of booleans (std::vector<bool>, spans of bool or of a
// 4-byte logical type); only the first min(size(mask), numbits) elements take part.
template <class Mask>
void bitarrayfrommask(const Mask& mask, std::span<std::int32_t> bits) {
  const auto m = static_cast<std::int64_t>(std::size(mask));
  const std::int64_t count = m < bitarraynumbits(bits) ? m : bitarraynumbits(bits);
  for (std::int64_t i = 0; i < count; ++i) {
    if (static_cast<bool>(mask[static_cast<std::size_t>(i)])) bitarrayset2(bits, static_cast<std::int32_t>(i + 1));
  }
}

template <class Mask>
void bitarraytomask(std::span<const std::int32_t> bits, Mask& mask) {
  const auto m = static_cast<std::int64_t>(std::size(mask));
  const std::int64_t count = m < bitarraynumbits(bits) ? m : bitarraynumbits(bits);
  for (std::int64_t i = 0; i < count; ++i) {
    mask[static_cast<std::size_t>(i)] = bitarraytest(bits, static_cast<std::int32_t>(i + 1));
  }
}

}  // namespace kelpra
