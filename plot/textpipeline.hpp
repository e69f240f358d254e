// Formats large texts on all cores and writes them in order: worker threads format chunks
// into a ring of buffers while the calling thread writes the finished ones, so that the text
// is the same as one thread would write and the writing never waits for all the formatting.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

namespace kelpra {

// Formats chunk `chunk` into `out` (room for the slot size given to writeformatted) and
// returns the number of characters written. Called from several threads at once, each on
// its own chunk; it must not throw.
using ChunkFormatter = std::function<std::size_t(std::size_t chunk, char* out)>;

// Writes chunks 0 .. chunks-1 to `stream` in order. Returns 0, or the system error (errno) of
// a write that failed (the chunks after it are not written). With one processor, or one chunk,
// the calling thread does everything itself.
int writeformatted(std::FILE* stream, std::size_t chunks, std::size_t slotbytes, const ChunkFormatter& format);

namespace testing_only {
// The threads taking part, the writer included (1: the calling thread alone); 0 goes back to
// one per processor.
void setformatterthreads(std::size_t threads);
}  // namespace testing_only

}  // namespace kelpra
