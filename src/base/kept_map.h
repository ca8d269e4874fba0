// What the engine's caches share: each thread keeps to one shard of a cache
// (base/sharded.h), and a shard keeps its map bounded in entries and bytes.
// Keeping is only an optimisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "base/sharded.h"

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
