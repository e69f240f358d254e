#include "plot/textpipeline.hpp"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kelpra {
namespace {

std::size_t processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<std::size_t>(std::max(CPU_COUNT(&set), 1));
  return std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
}

// Persistent formatting threads. Every wait blocks (no spinning), so idle formatters take
// nothing from the writer or from other programs.
class Pipeline {
 public:
  explicit Pipeline(std::size_t workers) {
    for (std::size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  }
  ~Pipeline() {
    {
      const std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  std::size_t workers() const { return threads_.size(); }

  int run(std::FILE* stream, std::size_t chunks, std::size_t slotbytes, const ChunkFormatter& format) {
    // Twice as many slots as formatters keeps every formatter busy while the writer lags;
    // beyond 64 chunks in hand one writer is busy anyway, so many cores add no more memory.
    const std::size_t nslots = std::min<std::size_t>(2 * threads_.size() + 2, 64);
    {
      const std::lock_guard<std::mutex> lock(m_);
      // One block for all the slots: it is large enough to come from the large-block store,
      // where fresh pages are far cheaper to fault in than those of many small blocks.
      if (slots_ != nslots || stride_ < slotbytes) {
        arena_ = {};
        arena_.resize(nslots * slotbytes);
        slots_ = nslots;
        stride_ = slotbytes;
      }
      length_.assign(nslots, 0);
      ready_.assign(nslots, 0);
      format_ = &format;
      chunks_ = chunks;
      next_ = 0;
      written_ = 0;
      inflight_ = 0;
    }
    work_.notify_all();
    int error = 0;
    for (std::size_t c = 0; c < chunks && error == 0; ++c) {
      const std::size_t s = c % nslots;
      std::unique_lock<std::mutex> lock(m_);
      if (ready_[s] != c + 1) {
        awaited_ = c + 1;
        done_.wait(lock, [&] { return ready_[s] == c + 1; });
        awaited_ = 0;
      }
      lock.unlock();
      // errno is taken at once: the waits below may change it.
      if (std::fwrite(slot(s), 1, length_[s], stream) != length_[s]) error = errno != 0 ? errno : EIO;
      lock.lock();
      written_ = c + 1;
      // One slot came free, so at most one more chunk can start. Waking threads is dear
      // (on virtual machines above all), so only an idle formatter is woken, and only one.
      const bool wake = idle_ > 0 && next_ < chunks_;
      lock.unlock();
      if (wake) work_.notify_one();
    }
    // After a failed write nothing more is claimed; the chunks under way are let finish.
    std::unique_lock<std::mutex> lock(m_);
    next_ = chunks_;
    draining_ = true;
    done_.wait(lock, [&] { return inflight_ == 0; });
    draining_ = false;
    format_ = nullptr;
    return error;
  }

 private:
  void work() {
    std::unique_lock<std::mutex> lock(m_);
    while (true) {
      const auto claimable = [&] {
        return stop_ || (format_ != nullptr && next_ < chunks_ && next_ < written_ + slots_);
      };
      if (!claimable()) {
        ++idle_;
        work_.wait(lock, claimable);
        --idle_;
      }
      if (stop_) return;
      const std::size_t c = next_++;
      const std::size_t s = c % slots_;
      ++inflight_;
      const ChunkFormatter& format = *format_;
      char* out = slot(s);
      lock.unlock();
      const std::size_t n = format(c, out);
      lock.lock();
      length_[s] = n;
      ready_[s] = c + 1;
      --inflight_;
      if (awaited_ == c + 1 || (draining_ && inflight_ == 0)) done_.notify_one();
    }
  }

  std::mutex m_;
  std::condition_variable work_;  // formatters wait for a chunk and a free slot
  std::condition_variable done_;  // the writer waits for the next chunk in order
  std::vector<std::thread> threads_;
  char* slot(std::size_t s) { return arena_.data() + s * stride_; }

  std::vector<char> arena_;
  std::size_t slots_ = 0;   // slots in the arena
  std::size_t stride_ = 0;  // bytes per slot
  std::vector<std::size_t> length_;
  std::vector<std::size_t> ready_;  // per slot: 1 + the chunk it holds finished, 0 none
  const ChunkFormatter* format_ = nullptr;
  std::size_t chunks_ = 0;
  std::size_t next_ = 0;     // next chunk to format
  std::size_t written_ = 0;  // chunks written
  std::size_t inflight_ = 0;
  std::size_t idle_ = 0;     // formatters waiting for work
  std::size_t awaited_ = 0;  // 1 + the chunk the writer waits for, 0 none
  bool draining_ = false;    // the writer waits for the chunks under way
  bool stop_ = false;
};

std::mutex pipelinelock;
std::size_t wantedthreads = 0;  // 0: one less than the processors

Pipeline* pipeline() {
  static std::unique_ptr<Pipeline> instance;
  const std::size_t workers = wantedthreads > 0 ? wantedthreads - 1 : processors() - 1;
  if (!instance || instance->workers() != workers) {
    instance.reset();
    instance = std::make_unique<Pipeline>(workers);
  }
  return instance.get();
}

}  // namespace

int writeformatted(std::FILE* stream, std::size_t chunks, std::size_t slotbytes, const ChunkFormatter& format) {
  const std::lock_guard<std::mutex> lock(pipelinelock);
  Pipeline* p = pipeline();
  if (p->workers() == 0 || chunks < 2) {
    std::vector<char> text(slotbytes);
    for (std::size_t c = 0; c < chunks; ++c) {
      const std::size_t n = format(c, text.data());
      if (std::fwrite(text.data(), 1, n, stream) != n) return errno != 0 ? errno : EIO;
    }
    return 0;
  }
  return p->run(stream, chunks, slotbytes, format);
}

namespace testing_only {
void setformatterthreads(std::size_t threads) {
  const std::lock_guard<std::mutex> lock(pipelinelock);
  wantedthreads = threads;
}
}  // namespace testing_only

}  // namespace kelpra
