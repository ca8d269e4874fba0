// ordered_work: items made on several threads and taken in order on the
// calling thread, so that what is taken does not depend on the number of
// threads, and taking overlaps making. Under sampling and under the
// service's batches of variants.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace tools {

// Items that a thread makes at a time, and chunks per thread that may be
// made ahead of the one taken last: enough that the threads rarely wait for
// each other or for the taking.
inline constexpr int64_t kOrderedChunk = 32;
inline constexpr int64_t kOrderedChunksAheadPerThread = 4;

// Makes items 0 .. count-1 with make(index, item, stop) on `threads`
// threads, the calling thread one of them, and hands each, in index order, to
// take(item) on the calling thread, which makes chunks itself while the next
// one to take is not ready. take returning false stops the work: no item
// after it is taken, and `stop` turns true for the makers (make may end its
// item early then; that item is never taken). Each item starts
// value-initialised.
template <typename Item, typename Make, typename Take>
void make_in_order(int64_t count, int threads, Make make, Take take) {
  if (count <= 0) return;
  const int64_t chunks = (count + kOrderedChunk - 1) / kOrderedChunk;
  threads = static_cast<int>(std::clamp<int64_t>(threads, 1, chunks));
  const int64_t window = kOrderedChunksAheadPerThread * threads;
  std::vector<std::vector<Item>> slots(static_cast<std::size_t>(window));
  std::vector<std::atomic<bool>> ready(static_cast<std::size_t>(window));
  std::atomic<int64_t> next{0};
  std::atomic<int64_t> taken{0};  // chunks taken so far
  std::atomic<bool> stop{false};
  const auto make_chunk = [&](int64_t chunk) {
    const auto k = static_cast<std::size_t>(chunk % window);
    std::vector<Item>& items = slots[k];
    const int64_t first = chunk * kOrderedChunk;
    items.assign(static_cast<std::size_t>(std::min(kOrderedChunk, count - first)), Item{});
    for (std::size_t i = 0; i < items.size() && !stop.load(std::memory_order_relaxed); ++i) {
      make(first + static_cast<int64_t>(i), items[i], stop);
    }
    ready[k].store(true);
    ready[k].notify_one();
  };
  const auto work = [&] {
    for (;;) {
      const int64_t chunk = next.fetch_add(1);
      if (chunk >= chunks) return;
      // Wait until the slot's previous chunk has been taken.
      for (int64_t c = taken.load(); chunk - c >= window; c = taken.load()) {
        if (stop.load()) return;
        taken.wait(c);
      }
      if (stop.load()) return;
      make_chunk(chunk);
    }
  };
  std::vector<std::thread> makers;
  makers.reserve(static_cast<std::size_t>(threads - 1));
  for (int t = 1; t < threads; ++t) makers.emplace_back(work);
  bool stopped = false;
  for (int64_t chunk = 0; chunk < chunks && !stopped; ++chunk) {
    const auto k = static_cast<std::size_t>(chunk % window);
    // While the chunk to take is not ready, this thread makes the next one
    // nobody has claimed, if its slot is free (the slots hold the chunks
    // from this one on).
    while (!ready[k].load()) {
      int64_t mine = next.load();
      while (mine < chunks && mine - chunk < window &&
             !next.compare_exchange_weak(mine, mine + 1)) {
      }
      if (mine >= chunks || mine - chunk >= window) {
        ready[k].wait(false);
        break;
      }
      make_chunk(mine);
    }
    ready[k].store(false);
    for (Item& item : slots[k]) {
      if (!take(item)) {
        stopped = true;
        break;
      }
    }
    taken.store(chunk + 1);
    taken.notify_all();
  }
  if (stopped) {
    stop = true;
    taken.store(chunks + window);  // wakes every waiting thread for good
    taken.notify_all();
  }
  for (std::thread& m : makers) m.join();
}

}  // namespace tools
