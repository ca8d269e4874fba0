// What the engine's caches share: each thread keeps to one shard of a cache
// (threads are dealt out to the shards in turn), and a shard keeps its map
// bounded in entries and bytes. Keeping is only an optimisation.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>

// This thread's number, dealt out in turn at its first call. A plain
// thread-local number: nothing to destroy when the thread ends.
inline uint32_t this_thread_number() {
  static std::atomic<uint32_t> seen{0};
  thread_local uint32_t number = UINT32_MAX;
  if (number == UINT32_MAX) number = seen.fetch_add(1, std::memory_order_relaxed);
  return number;
}

// Keeps `value` under `key` in a map bounded in entries and bytes (a full
// map is emptied first); called with the shard's lock held. Running out of
// memory for it is not an error.
template <typename Map, typename Value>
void keep_bounded(Map& map, size_t& kept_bytes, std::string_view key, Value value, size_t bytes,
                  size_t max_entries, size_t max_bytes) {
  try {
    if (map.size() >= max_entries || kept_bytes + bytes > max_bytes) {
      map.clear();
      kept_bytes = 0;
    }
    if (map.emplace(std::string(key), std::move(value)).second) kept_bytes += bytes;
  } catch (const std::bad_alloc&) {
  }
}
