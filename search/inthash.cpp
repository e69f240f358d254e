#include "search/inthash.hpp"

#include <string>
#include <utility>

namespace kelpra {

std::int32_t hashfuncdefault(std::int32_t bucketcount, std::int32_t key) noexcept {
  if (bucketcount < 1) return 0;  // no bucket to name
  // In 64 bits so that INT32_MIN and any bucket count stay in range.
  const std::int64_t count = bucketcount;
  const std::int64_t r = std::int64_t{key} % count;
  return static_cast<std::int32_t>((r < 0 ? r + count : r) + 1);
}

IHashTable::IHashTable(const IHashTable& other)
    : ChainTable(other, copylist), hashfn_(other.hashfn_) {}

IHashTable::IHashTable(IHashTable&& other) noexcept : ChainTable(std::move(other)), hashfn_(other.hashfn_) {}

IHashTable& IHashTable::operator=(IHashTable other) noexcept {
  swap(other);
  return *this;
}

void IHashTable::swap(IHashTable& other) noexcept {
  swapchains(other);
  std::swap(hashfn_, other.hashfn_);
}

void IHashTable::init(std::optional<std::int32_t> nbuckets, IHashFunction hashfunc) {
  destroy();
  setupbuckets(nbuckets);
  if (hashfunc != nullptr) hashfn_ = hashfunc;
}

std::int32_t IHashTable::bucketof(std::int32_t count, std::int32_t key) const {
  const std::int32_t b = hashfn_(count, key);
  if (b < 1 || b > count) {
    fatalerror("IHashTable: the hash function gave bucket " + std::to_string(b) + " for key " +
               std::to_string(key) + ", outside 1 to " + std::to_string(count));
  }
  return b;
}

void IHashTable::insert(std::int32_t key, std::int32_t value) {
  requirebuckets("insert");
  const std::int32_t b = bucketof(bucketcount(), key);
  if (auto* link = findlink(b, [key](const LIST& n) { return n.key == key; })) {
    (*link)->value = value;
    return;
  }
  requireroom();
  linkfront(b, makelistnode(key, value));
}

bool IHashTable::get(std::int32_t key, std::int32_t& value) const {
  value = 0;
  if (!hasbuckets()) return false;
  const LIST* node = findnode(bucketof(bucketcount(), key), [key](const LIST& n) { return n.key == key; });
  if (node == nullptr) return false;
  value = node->value;
  return true;
}

bool IHashTable::holds(std::int32_t key) const {
  std::int32_t value = 0;
  return get(key, value);
}

bool IHashTable::erase(std::int32_t key) {
  if (!hasbuckets()) return false;
  auto* link = findlink(bucketof(bucketcount(), key), [key](const LIST& n) { return n.key == key; });
  if (link == nullptr) return false;
  unlink(link);
  return true;
}

std::unique_ptr<IHashTable::LIST> IHashTable::makelistnode(std::int32_t key, std::int32_t value) {
  auto node = checkedalloc("IHashTable node", [] { return std::make_unique<LIST>(); });
  node->key = key;
  node->value = value;
  return node;
}

std::unique_ptr<IHashTable::LIST> IHashTable::copylist(const LIST* head) {
  return hashdetail::copychain(head, [](const LIST& node) { return makelistnode(node.key, node.value); });
}

void inititerator(IHashIterator& it, const IHashTable& table) { hashdetail::initchain(it, table); }

bool hasnextiterator(const IHashIterator& it) noexcept { return hashdetail::hasnextchain(it); }

void findnextiterator(IHashIterator& it, const IHashTable& table) { hashdetail::findnextchain(it, table); }

void nextiterator(IHashIterator& it, const IHashTable& table, std::int32_t& key, std::int32_t& value) {
  if (it.node == nullptr) fatalerror("IHashIterator: no next element");
  key = it.node->key;
  value = it.node->value;
  findnextiterator(it, table);
}

}  // namespace kelpra
