// Node-list hash table: a fixed-length list of node numbers, taken in any order, to two
// integer values. Keys are sorted before they are hashed or compared, so the same set of
// nodes always finds the same entry. The first insertion of a key sets its first value,
// every later one its second value. Sizing and iteration are those of the integer table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "search/hashchains.hpp"

namespace kelpra {

// One entry: the sorted key (keylength node numbers) and its two values.
struct MeshHashNode {
  std::unique_ptr<std::int32_t[]> key;
  std::int32_t value1 = 0;
  std::int32_t value2 = 0;
  std::unique_ptr<MeshHashNode> next;
  ~MeshHashNode() { hashdetail::freechain(next); }
};

// Sorts a key ascending in place (straight insertion; keys are short).
void sortkey(std::span<std::int32_t> key) noexcept;

// Bucket 1..bucketcount of a sorted key: a 64-bit mixing hash with wrap-around, each node
// number sign-extended, reduced as an unsigned number.
std::int32_t hashfunc(std::int32_t bucketcount, std::span<const std::int32_t> key) noexcept;

class MeshHashTable : public hashdetail::ChainTable<MeshHashTable, MeshHashNode> {
 public:
  using ListNode = MeshHashNode;
  // One bucket: the head of its chain.
  using LIST = std::unique_ptr<ListNode>;
  static constexpr std::string_view kName = "MeshHashTable";

  MeshHashTable() = default;
  MeshHashTable(const MeshHashTable& other);
  MeshHashTable(MeshHashTable&& other) noexcept;
  // Deep copy; the two tables share no nodes afterwards. Assigning a table to itself keeps it.
  MeshHashTable& operator=(MeshHashTable other) noexcept;
  ~MeshHashTable() = default;

  // Empty buckets for keys of keylength node numbers (1 when keylength is below 2):
  // getprimebucketcount(nbuckets), or 1000003 without a count.
  void init(std::int32_t keylength, std::optional<std::int32_t> nbuckets = std::nullopt);
  void destroy() noexcept;
  std::int32_t keylength() const noexcept { return keylength_; }

  // The first keylength elements of key are the key; a key array shorter than that stops
  // the run. The first insertion sets value1, every later one value2.
  void insert(std::span<const std::int32_t> key, std::int32_t value);
  // True and (value1, value2) when held, else false and (0, 0). A table that was not set
  // up by init holds nothing.
  bool get(std::span<const std::int32_t> key, std::array<std::int32_t, 2>& values) const;
  bool holds(std::span<const std::int32_t> key) const;
  bool erase(std::span<const std::int32_t> key);

  // A node with key storage for keylength node numbers and both values 0.
  static std::unique_ptr<ListNode> makelistnode(std::int32_t keylength);
  // A copy of the chain that starts at head, with keys of keylength node numbers.
  static std::unique_ptr<ListNode> copylist(const ListNode* head, std::int32_t keylength);

  std::int32_t nodebucket(std::int32_t count, const ListNode& node) const noexcept {
    return hashfunc(count, {node.key.get(), static_cast<std::size_t>(keylength_)});
  }

 private:
  // Stops the run when key holds fewer than keylength node numbers.
  void requirekeylength(std::size_t size, std::string_view operation) const;
  void swap(MeshHashTable& other) noexcept;

  std::int32_t keylength_ = 0;
};

using MeshHashIterator = hashdetail::ChainCursor<MeshHashNode>;

void inititerator(MeshHashIterator& it, const MeshHashTable& table);
bool hasnextiterator(const MeshHashIterator& it) noexcept;
// The current sorted key (key must hold keylength entries) and (value1, value2), then a
// step on; past the end the run stops.
void nextiterator(MeshHashIterator& it, const MeshHashTable& table, std::span<std::int32_t> key,
                  std::array<std::int32_t, 2>& values);
void findnextiterator(MeshHashIterator& it, const MeshHashTable& table);

}  // namespace kelpra
