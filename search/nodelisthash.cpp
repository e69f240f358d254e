#include "search/nodelisthash.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "support/interpsort.hpp"

namespace kelpra {

namespace {

// The sorted work copy of a caller's key; the caller's array is not changed. Short keys
// (faces and elements) stay on the stack.
class SortedKey {
 public:
  SortedKey(std::span<const std::int32_t> key, std::int32_t keylength) : size_(static_cast<std::size_t>(keylength)) {
    if (size_ > kInline) {
      heap_ = checkedalloc("MeshHashTable ListNode key",
                                         [this] { return std::make_unique<std::int32_t[]>(size_); });
      data_ = heap_.get();
    }
    std::copy_n(key.begin(), size_, data_);
    sortkey({data_, size_});
  }
  SortedKey(const SortedKey&) = delete;
  SortedKey& operator=(const SortedKey&) = delete;

  std::span<const std::int32_t> view() const noexcept { return {data_, size_}; }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<std::int32_t, kInline> inline_{};
  std::unique_ptr<std::int32_t[]> heap_;
  std::int32_t* data_ = inline_.data();
  std::size_t size_;
};

auto matching(std::span<const std::int32_t> key) {
  return [key](const MeshHashNode& node) { return std::equal(key.begin(), key.end(), node.key.get()); };
}

}  // namespace

void sortkey(std::span<std::int32_t> key) noexcept { insertionsorti4nodim(key); }

std::int32_t hashfunc(std::int32_t bucketcount, std::span<const std::int32_t> key) noexcept {
  if (bucketcount < 1) return 0;
  auto widened = [](std::int32_t k) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(k)); };
  std::uint64_t h = key.empty() ? 0 : widened(key[0]);
  for (std::size_t i = 1; i < key.size(); ++i) h ^= (h << 6) + (h >> 2) + widened(key[i]) + 0x9E3779B9U;
  return static_cast<std::int32_t>(h % static_cast<std::uint64_t>(bucketcount) + 1);
}

MeshHashTable::MeshHashTable(const MeshHashTable& other)
    : ChainTable(other, [kl = other.keylength_](const ListNode* head) { return copylist(head, kl); }),
      keylength_(other.keylength_) {}

MeshHashTable::MeshHashTable(MeshHashTable&& other) noexcept
    : ChainTable(std::move(other)), keylength_(std::exchange(other.keylength_, 0)) {}

MeshHashTable& MeshHashTable::operator=(MeshHashTable other) noexcept {
  swap(other);
  return *this;
}

void MeshHashTable::swap(MeshHashTable& other) noexcept {
  swapchains(other);
  std::swap(keylength_, other.keylength_);
}

void MeshHashTable::init(std::int32_t keylength, std::optional<std::int32_t> nbuckets) {
  destroy();
  setupbuckets(nbuckets);
  keylength_ = keylength < 2 ? 1 : keylength;
}

void MeshHashTable::destroy() noexcept {
  releasebuckets();
  keylength_ = 0;
}

void MeshHashTable::requirekeylength(std::size_t size, std::string_view operation) const {
  if (size < static_cast<std::size_t>(keylength_)) {
    fatalerror("MeshHashTable: " + std::string(operation) + " with a key of " + std::to_string(size) +
               " node numbers, the table's keys have " + std::to_string(keylength_));
  }
}

void MeshHashTable::insert(std::span<const std::int32_t> key, std::int32_t value) {
  requirebuckets("insert");
  requirekeylength(key.size(), "insert");
  const SortedKey sorted(key, keylength_);
  const std::int32_t b = hashfunc(bucketcount(), sorted.view());
  if (auto* link = findlink(b, matching(sorted.view()))) {
    (*link)->value2 = value;
    return;
  }
  requireroom();
  auto node = makelistnode(keylength_);
  std::ranges::copy(sorted.view(), node->key.get());
  node->value1 = value;
  linkfront(b, std::move(node));
}

bool MeshHashTable::get(std::span<const std::int32_t> key, std::array<std::int32_t, 2>& values) const {
  values = {0, 0};
  if (!hasbuckets()) return false;
  requirekeylength(key.size(), "get");
  const SortedKey sorted(key, keylength_);
  const ListNode* node = findnode(hashfunc(bucketcount(), sorted.view()), matching(sorted.view()));
  if (node == nullptr) return false;
  values = {node->value1, node->value2};
  return true;
}

bool MeshHashTable::holds(std::span<const std::int32_t> key) const {
  std::array<std::int32_t, 2> values{};
  return get(key, values);
}

bool MeshHashTable::erase(std::span<const std::int32_t> key) {
  if (!hasbuckets()) return false;
  requirekeylength(key.size(), "erase");
  const SortedKey sorted(key, keylength_);
  auto* link = findlink(hashfunc(bucketcount(), sorted.view()), matching(sorted.view()));
  if (link == nullptr) return false;
  unlink(link);
  return true;
}

std::unique_ptr<MeshHashTable::ListNode> MeshHashTable::makelistnode(std::int32_t keylength) {
  auto node = checkedalloc("MeshHashTable node", [] { return std::make_unique<ListNode>(); });
  node->key = checkedalloc("MeshHashTable ListNode key", [keylength] {
    return std::make_unique<std::int32_t[]>(static_cast<std::size_t>(std::max(keylength, 1)));
  });
  return node;
}

std::unique_ptr<MeshHashTable::ListNode> MeshHashTable::copylist(const ListNode* head, std::int32_t keylength) {
  return hashdetail::copychain(head, [keylength](const ListNode& node) {
    auto copy = makelistnode(keylength);
    std::copy_n(node.key.get(), keylength, copy->key.get());
    copy->value1 = node.value1;
    copy->value2 = node.value2;
    return copy;
  });
}

void inititerator(MeshHashIterator& it, const MeshHashTable& table) { hashdetail::initchain(it, table); }

bool hasnextiterator(const MeshHashIterator& it) noexcept { return hashdetail::hasnextchain(it); }

void findnextiterator(MeshHashIterator& it, const MeshHashTable& table) { hashdetail::findnextchain(it, table); }

void nextiterator(MeshHashIterator& it, const MeshHashTable& table, std::span<std::int32_t> key,
                  std::array<std::int32_t, 2>& values) {
  if (it.node == nullptr) fatalerror("MeshHashIterator: no next element");
  const auto n = static_cast<std::size_t>(table.keylength());
  if (key.size() < n) {
    fatalerror("MeshHashIterator: the key array holds " + std::to_string(key.size()) + " entries, the keys have " +
               std::to_string(n));
  }
  std::copy_n(it.node->key.get(), n, key.begin());
  values = {it.node->value1, it.node->value2};
  findnextiterator(it, table);
}

}  // namespace kelpra
