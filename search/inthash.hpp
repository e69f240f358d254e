// Integer hash table: 32-bit integer keys to 32-bit integer values, separate chaining over
// a prime number of buckets, automatic growth above load 0.75, deep copies and iteration.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "search/hashchains.hpp"

namespace kelpra {

// (bucket count, key) -> bucket in 1..bucket count.
using IHashFunction = std::int32_t (*)(std::int32_t bucketcount, std::int32_t key);

// Remainder of key divided by bucketcount, plus 1; a negative key folds into the same
// range, so that every key names a bucket.
std::int32_t hashfuncdefault(std::int32_t bucketcount, std::int32_t key) noexcept;

// One node of a chain; the most recently inserted node of a bucket comes first.
struct IHashNode {
  std::int32_t key = 0;
  std::int32_t value = 0;
  std::unique_ptr<IHashNode> next;
  ~IHashNode() { hashdetail::freechain(next); }
};

class IHashTable : public hashdetail::ChainTable<IHashTable, IHashNode> {
 public:
  using LIST = IHashNode;
  static constexpr std::string_view kName = "IHashTable";

  IHashTable() = default;
  IHashTable(const IHashTable& other);
  IHashTable(IHashTable&& other) noexcept;
  // Deep copy; the two tables share no nodes afterwards. Assigning a table to itself keeps it.
  IHashTable& operator=(IHashTable other) noexcept;
  ~IHashTable() = default;

  // Empty buckets: getprimebucketcount(nbuckets), or 1000003 without a count. A given hash
  // function replaces the table's; otherwise it keeps the one it has.
  void init(std::optional<std::int32_t> nbuckets = std::nullopt, IHashFunction hashfunc = nullptr);
  void destroy() noexcept { releasebuckets(); }

  // Stores the pair, or overwrites the value of a key already held.
  void insert(std::int32_t key, std::int32_t value);
  // True and the stored value when the key is held, else false and 0. A table without
  // buckets holds nothing.
  bool get(std::int32_t key, std::int32_t& value) const;
  bool holds(std::int32_t key) const;
  // True when the key was held and has been removed.
  bool erase(std::int32_t key);

  static std::unique_ptr<LIST> makelistnode(std::int32_t key, std::int32_t value);
  // A copy of the chain that starts at head.
  static std::unique_ptr<LIST> copylist(const LIST* head);

  // The bucket of a key among count buckets; a custom hash function outside 1..count stops the run.
  std::int32_t nodebucket(std::int32_t count, const LIST& node) const { return bucketof(count, node.key); }

 private:
  std::int32_t bucketof(std::int32_t count, std::int32_t key) const;
  void swap(IHashTable& other) noexcept;

  IHashFunction hashfn_ = hashfuncdefault;
};

using IHashIterator = hashdetail::ChainCursor<IHashNode>;

void inititerator(IHashIterator& it, const IHashTable& table);
bool hasnextiterator(const IHashIterator& it) noexcept;
// The current key and value, then a step on; past the end the run stops.
void nextiterator(IHashIterator& it, const IHashTable& table, std::int32_t& key, std::int32_t& value);
void findnextiterator(IHashIterator& it, const IHashTable& table);

}  // namespace kelpra
