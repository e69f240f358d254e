// The shape shared by the integer and the node-list hash tables: separate chains over a
// bucket array whose length is always a prime of one fixed table, growth above a load of
// 0.75, relinking resizes, deep copies and a downward walk over the buckets.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"

namespace kelpra {

inline constexpr std::array<std::int32_t, 29> primebucketcounts{
    5,        11,       23,       47,        97,        199,       409,       823,        1741,      3469,
    6949,     14033,    28411,    57557,     116731,    236897,    480881,    976369,     1982627,   4026031,
    8175383,  16601593, 33712729, 68460391,  139022417, 282312799, 573292817, 1164186217, 2147483647};

// The first table prime >= n (5 for any n <= 5), or the largest when n is above them all.
constexpr std::int32_t getprimebucketcount(std::int64_t n) noexcept {
  for (const std::int32_t p : primebucketcounts) {
    if (p >= n) return p;
  }
  return primebucketcounts.back();
}

namespace hashdetail {

// The bucket count of init without a count: a prime that is not in the table.
inline constexpr std::int32_t kDefaultBucketCount = 1000003;
inline constexpr float kMaxLoadFactor = 0.75F;

// Releases a chain one node at a time, so that a long chain never recurses.
template <class Node>
void freechain(std::unique_ptr<Node>& head) noexcept {
  while (head) head = std::move(head->next);
}

// A copy of the chain from head, node by node in its order (copynode copies one node).
template <class Node, class CopyNode>
std::unique_ptr<Node> copychain(const Node* head, CopyNode copynode) {
  std::unique_ptr<Node> copy;
  std::unique_ptr<Node>* tail = &copy;
  for (const Node* p = head; p != nullptr; p = p->next.get()) {
    *tail = copynode(*p);
    tail = &(*tail)->next;
  }
  return copy;
}

// A walk position: the bucket being walked and the current node (null when exhausted).
template <class Node>
struct ChainCursor {
  std::int32_t bucket = 0;
  const Node* node = nullptr;
};

// Chains of Node (which owns its successor in `next`) over bucketcount buckets. Derived
// supplies kName (the type's name in reports) and nodebucket(count, node), the 1-based
// bucket of a node among count buckets.
template <class Derived, class Node>
class ChainTable {
 public:
  ~ChainTable() { clear(); }

  bool empty() const noexcept { return size_ == 0; }
  std::int32_t sz() const noexcept { return size_; }
  std::int32_t bucketcount() const noexcept { return bucketcount_; }
  static constexpr std::int32_t maxbucketcount() noexcept { return 2147483647; }
  static constexpr float maxloadfactor() noexcept { return kMaxLoadFactor; }
  float loadfactor() const noexcept {
    return bucketcount_ == 0 ? 0.0F : static_cast<float>(size_) / static_cast<float>(bucketcount_);
  }

  // Nodes in bucket i; a bucket outside 1..bucketcount holds none.
  std::int32_t bucketsize(std::int32_t i) const noexcept {
    std::int32_t n = 0;
    for (const Node* p = chainhead(i); p != nullptr; p = p->next.get()) ++n;
    return n;
  }

  // Every node goes; the buckets stay.
  void clear() noexcept {
    for (std::int32_t i = 0; i < bucketcount_; ++i) freechain(buckets_[i]);
    size_ = 0;
  }

  // Bucket count for at least n entries at load 0.75, shrinking as well as growing.
  void rehash(std::int32_t n) {
    requirebuckets("rehash");
    const std::int64_t target = std::max<std::int64_t>(entriesat75(size_), n);
    const std::int32_t p = getprimebucketcount(target);
    if (p != bucketcount_) rehashwork(p);
  }

  // Room for n entries at load 0.75; a request that the buckets already carry changes nothing.
  void reserve(std::int32_t n) {
    requirebuckets("reserve");
    if (static_cast<float>(n) <= static_cast<float>(bucketcount_) * kMaxLoadFactor) return;
    const std::int32_t p = getprimebucketcount(entriesat75(n));
    if (p != bucketcount_) rehashwork(p);
  }

  // Relinks every node (no copies) into newcount fresh buckets. Within a new bucket the
  // nodes end up in reverse order of their visit.
  void rehashwork(std::int32_t newcount) {
    requirebuckets("rehashwork");
    if (newcount < 1) {
      fatalerror(std::string(Derived::kName) + ": rehashwork needs at least one bucket, not " +
                 std::to_string(newcount));
    }
    Buckets fresh = newbuckets(newcount);
    const auto& self = static_cast<const Derived&>(*this);
    for (std::int32_t i = 0; i < bucketcount_; ++i) {
      std::unique_ptr<Node> node = std::move(buckets_[i]);
      while (node) {
        std::unique_ptr<Node> rest = std::move(node->next);
        std::unique_ptr<Node>& head = fresh[self.nodebucket(newcount, *node) - 1];
        node->next = std::move(head);
        head = std::move(node);
        node = std::move(rest);
      }
    }
    buckets_ = std::move(fresh);
    bucketcount_ = newcount;
  }

  // The first node of bucket i, or null (also for a bucket outside 1..bucketcount).
  const Node* chainhead(std::int32_t i) const noexcept {
    return i >= 1 && i <= bucketcount_ ? buckets_[i - 1].get() : nullptr;
  }

 protected:
  using Buckets = std::unique_ptr<std::unique_ptr<Node>[]>;

  ChainTable() = default;
  // A deep copy: the same buckets, each chain copied by copylist(head).
  template <class CopyList>
  ChainTable(const ChainTable& other, CopyList copylist) : bucketcount_(other.bucketcount_), size_(other.size_) {
    if (!other.buckets_) return;
    buckets_ = newbuckets(bucketcount_);
    for (std::int32_t i = 0; i < bucketcount_; ++i) buckets_[i] = copylist(other.buckets_[i].get());
  }
  ChainTable(ChainTable&& other) noexcept
      : buckets_(std::move(other.buckets_)),
        bucketcount_(std::exchange(other.bucketcount_, 0)),
        size_(std::exchange(other.size_, 0)) {}
  ChainTable& operator=(const ChainTable&) = delete;

  void swapchains(ChainTable& other) noexcept {
    std::swap(buckets_, other.buckets_);
    std::swap(bucketcount_, other.bucketcount_);
    std::swap(size_, other.size_);
  }

  // Drops every node and the buckets.
  void releasebuckets() noexcept {
    clear();
    buckets_.reset();
    bucketcount_ = 0;
  }

  // Fresh empty buckets: getprimebucketcount(nbuckets), or the default count.
  void setupbuckets(std::optional<std::int32_t> nbuckets) {
    const std::int32_t count = nbuckets ? getprimebucketcount(*nbuckets) : kDefaultBucketCount;
    buckets_ = newbuckets(count);
    bucketcount_ = count;
  }

  bool hasbuckets() const noexcept { return bucketcount_ > 0; }

  void requirebuckets(std::string_view operation) const {
    if (!hasbuckets()) {
      fatalerror(std::string(Derived::kName) + ": " + std::string(operation) +
                 " on a table that was not set up by init");
    }
  }

  // The owner of the first node of bucket b that matches (the bucket head or the next
  // field of its predecessor), or null.
  template <class Match>
  std::unique_ptr<Node>* findlink(std::int32_t b, Match match) {
    for (std::unique_ptr<Node>* link = &buckets_[b - 1]; *link; link = &(*link)->next) {
      if (match(**link)) return link;
    }
    return nullptr;
  }
  template <class Match>
  const Node* findnode(std::int32_t b, Match match) const {
    for (const Node* p = buckets_[b - 1].get(); p != nullptr; p = p->next.get()) {
      if (match(*p)) return p;
    }
    return nullptr;
  }

  // Links a new node in front of bucket b; above load 0.75 the buckets at least double.
  void linkfront(std::int32_t b, std::unique_ptr<Node> node) {
    node->next = std::move(buckets_[b - 1]);
    buckets_[b - 1] = std::move(node);
    ++size_;
    if (static_cast<float>(size_) > static_cast<float>(bucketcount_) * kMaxLoadFactor) {
      const std::int64_t target = std::max<std::int64_t>(2 * std::int64_t{bucketcount_}, entriesat75(size_));
      const std::int32_t p = getprimebucketcount(target);
      if (p != bucketcount_) rehashwork(p);
    }
  }

  // Unlinks and releases the node owned by link.
  void unlink(std::unique_ptr<Node>* link) noexcept {
    std::unique_ptr<Node> dead = std::move(*link);
    *link = std::move(dead->next);
    --size_;
  }

  // Refuses an entry past the largest count the table can hold.
  void requireroom() const {
    if (size_ == maxbucketcount()) check_alloc(kStatusNoMemory, std::string(Derived::kName) + " node");
  }

 private:
  // ceiling(n / 0.75) in single precision.
  static std::int64_t entriesat75(std::int32_t n) noexcept {
    return static_cast<std::int64_t>(std::ceil(static_cast<float>(n) / kMaxLoadFactor));
  }

  static Buckets newbuckets(std::int32_t count) {
    return checkedalloc(std::string(Derived::kName) + " bucket array",
                                      [count] { return std::make_unique<std::unique_ptr<Node>[]>(count); });
  }

  Buckets buckets_;
  std::int32_t bucketcount_ = 0;
  std::int32_t size_ = 0;
};

// Iteration from the highest bucket down to bucket 1 and along each chain from its head.
// An iterator must not be used across an insert, erase or resize of its table.
template <class Cursor, class Table>
void findnextchain(Cursor& it, const Table& table) {
  if (it.node != nullptr) {
    it.node = it.node->next.get();
    if (it.node != nullptr) return;
  }
  if (it.bucket < 1) return;
  for (std::int32_t i = std::min(it.bucket - 1, table.bucketcount()); i >= 1; --i) {
    if (const auto* head = table.chainhead(i)) {
      it.bucket = i;
      it.node = head;
      return;
    }
  }
  it.bucket = 0;
  it.node = nullptr;
}

template <class Cursor, class Table>
void initchain(Cursor& it, const Table& table) {
  it.bucket = table.bucketcount() + 1;
  it.node = nullptr;
  findnextchain(it, table);
}

template <class Cursor>
bool hasnextchain(const Cursor& it) noexcept {
  return it.bucket > 0 && it.node != nullptr;
}

}  // namespace hashdetail
}  // namespace kelpra
