// The program's allocation of large blocks. Blocks of a megabyte and more (the node and
// element arrays of large meshes, the text buffers) come straight from the kernel in mappings
// aligned to 2 MiB and marked for transparent huge pages: with 4 KiB pages the first touch of
// a large mesh's arrays costs a page fault per 4 KiB, which on some machines takes longer than
// the whole conversion. Even a 1 MiB block faults in faster as one huge page than as 256 small
// ones there. Smaller blocks go to malloc as usual.
//
// Sanitizer builds keep the sanitizers' own allocator.
#if !defined(__SANITIZE_ADDRESS__)

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace kelpra {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = std::size_t{1} << 20;
constexpr std::size_t kSlots = 4096;  // live large blocks at most; more go to malloc

// Open-addressed table of the live large blocks; it allocates nothing itself.
struct Block {
  void* start = nullptr;
  std::size_t length = 0;
};
std::mutex tablelock;
Block table[kSlots];

std::size_t home(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) / kHugePage) % kSlots; }

// Enters b at the first free slot of its probe run; false when the table is full. The
// caller holds the lock.
bool enter(const Block& b) {
  for (std::size_t i = 0, s = home(b.start); i < kSlots; ++i, s = (s + 1) % kSlots) {
    if (table[s].start == nullptr) {
      table[s] = b;
      return true;
    }
  }
  return false;
}

bool remember(void* p, std::size_t length) {
  const std::lock_guard<std::mutex> lock(tablelock);
  return enter({p, length});
}

// The length of the large block at p (0 when p is not one), which is forgotten.
std::size_t forget(void* p) {
  const std::lock_guard<std::mutex> lock(tablelock);
  std::size_t s = home(p);
  for (std::size_t i = 0; i < kSlots && table[s].start != nullptr; ++i, s = (s + 1) % kSlots) {
    if (table[s].start != p) continue;
    const std::size_t length = table[s].length;
    // Close the gap so that later entries of the probe run stay reachable.
    table[s] = {};
    for (std::size_t k = 1, j = (s + 1) % kSlots; k < kSlots && table[j].start != nullptr;
         ++k, j = (j + 1) % kSlots) {
      const Block moved = table[j];
      table[j] = {};
      enter(moved);  // finds room: slot j has just been freed
    }
    return length;
  }
  return 0;
}

// Freed blocks kept for the next request of about their size: arrays made and dropped at
// every output time would otherwise fault in fresh pages each time.
constexpr std::size_t kKept = 8;
constexpr std::size_t kKeptBytes = std::size_t{512} << 20;
Block kept[kKept];
std::size_t keptbytes = 0;

// A kept block of at least `length` bytes and at most twice that, or none.
Block reuse(std::size_t length) {
  const std::lock_guard<std::mutex> lock(tablelock);
  std::size_t best = kKept;
  for (std::size_t i = 0; i < kKept; ++i) {
    const std::size_t l = kept[i].length;
    if (kept[i].start != nullptr && l >= length && l / 2 <= length && (best == kKept || l < kept[best].length)) {
      best = i;
    }
  }
  if (best == kKept) return {};
  const Block found = kept[best];
  keptbytes -= found.length;
  kept[best] = {};
  return found;
}

// Keeps a freed block, or gives it back to the kernel when the store is full.
void keep(void* p, std::size_t length) {
  const std::lock_guard<std::mutex> lock(tablelock);
  std::size_t slot = kKept;
  for (std::size_t i = 0; i < kKept && slot == kKept; ++i) {
    if (kept[i].start == nullptr) slot = i;
  }
  if (slot == kKept || keptbytes + length > kKeptBytes) {
    ::munmap(p, length);
    return;
  }
  kept[slot] = {p, length};
  keptbytes += length;
}

void* largeblock(std::size_t n) {
  if (n > SIZE_MAX - 2 * kHugePage) return nullptr;
  const std::size_t length = (n + kHugePage - 1) / kHugePage * kHugePage;
  if (const Block old = reuse(length); old.start != nullptr) {
    if (remember(old.start, old.length)) return old.start;
    ::munmap(old.start, old.length);
  }
  void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (base + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > base) ::munmap(raw, aligned - base);
  const std::uintptr_t end = base + length + kHugePage;
  if (end > aligned + length) ::munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  void* block = reinterpret_cast<void*>(aligned);
  ::madvise(block, length, MADV_HUGEPAGE);  // advice only: without it the block still works
  if (!remember(block, length)) {
    ::munmap(block, length);
    return nullptr;
  }
  return block;
}

void* allocate(std::size_t n) {
  if (n >= kLargeBlock) {
    if (void* p = largeblock(n)) return p;
  }
  while (true) {
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  if (reinterpret_cast<std::uintptr_t>(p) % kHugePage == 0) {
    if (const std::size_t length = forget(p); length > 0) {
      keep(p, length);
      return;
    }
  }
  std::free(p);
}

}  // namespace
}  // namespace kelpra

void* operator new(std::size_t n) { return kelpra::allocate(n); }
void* operator new[](std::size_t n) { return kelpra::allocate(n); }
void operator delete(void* p) noexcept { kelpra::release(p); }
void operator delete[](void* p) noexcept { kelpra::release(p); }
void operator delete(void* p, std::size_t) noexcept { kelpra::release(p); }
void operator delete[](void* p, std::size_t) noexcept { kelpra::release(p); }

#endif
