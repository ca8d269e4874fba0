// sharded: a structure split into shards that threads reach without
// touching each other's: each shard on cache lines of its own, with the
// lock the shard's type holds. A cache picks this thread's shard (threads
// are dealt out in turn, so each keeps to one); a table picks a key's.
// Also the one hash of the engine's text-keyed maps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

// This thread's number, dealt out in turn at its first call (the count
// lives in the engine's state, api/engine_state.h). A plain thread-local
// number: nothing to destroy when the thread ends.
uint32_t next_thread_number() noexcept;
inline uint32_t this_thread_number() {
  thread_local uint32_t number = UINT32_MAX;
  if (number == UINT32_MAX) number = next_thread_number();
  return number;
}

template <typename Shard, size_t N = 16>
class sharded {
 public:
  static constexpr size_t count = N;
  // The shard this thread keeps to.
  Shard& of_this_thread() { return slots_[this_thread_number() % N].shard; }
  // The shard of `key`.
  Shard& of(uint32_t key) { return slots_[key % N].shard; }
  // Calls f(shard) for every shard, in order.
  template <typename F>
  void for_each(F&& f) {
    for (slot& s : slots_) f(s.shard);
  }

 private:
  struct alignas(64) slot {
    Shard shard;
  };
  std::array<slot, N> slots_;
};

// The hash of the text-keyed maps: std::string keys found by string_view.
struct text_hash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
