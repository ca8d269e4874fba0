#include "expr/translation_store.h"

#include <mutex>
#include <new>

#include "expr/translator.h"

translation_store::shard& translation_store::shard_of_this_thread() {
  // A plain thread-local number: nothing to destroy when the thread ends.
  thread_local uint32_t slot = UINT32_MAX;
  if (slot == UINT32_MAX) slot = threads_seen_.fetch_add(1, std::memory_order_relaxed) % kShards;
  return shards_[slot];
}

alg_string translation_store::translated(const alg_string& text) {
  const std::string_view key = text.view();
  if (key.size() > kMaxKeptText) {
    alg_string form = text;
    translate_formula(form);
    return form;
  }
  shard& s = shard_of_this_thread();
  {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (auto it = s.kept.find(key); it != s.kept.end()) return it->second;
  }
  alg_string form = text;
  translate_formula(form);
  const size_t bytes = key.size() + form.length();
  if (bytes > kMaxKeptText) return form;
  try {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (s.kept.size() >= kMaxKeptPerShard || s.bytes + bytes > kMaxBytesPerShard) {
      s.kept.clear();
      s.bytes = 0;
    }
    if (s.kept.emplace(std::string(key), form).second) s.bytes += bytes;
  } catch (const std::bad_alloc&) {
    // Keeping it is only an optimisation.
  }
  return form;
}
