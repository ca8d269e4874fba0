#include "expr/translation_store.h"

#include <mutex>
#include <new>

#include "expr/translator.h"

alg_string translation_store::translated(const alg_string& text) {
  const std::string_view key = text.view();
  const size_t hash = view_hash{}(key);
  shard& s = shards_[hash % kShards];
  {
    const std::shared_lock<std::shared_mutex> lock(s.guard);
    if (auto it = s.kept.find(key); it != s.kept.end()) return it->second;
  }
  alg_string form = text;
  translate_formula(form);
  try {
    const std::unique_lock<std::shared_mutex> lock(s.guard);
    if (s.kept.size() >= kMaxKeptPerShard) s.kept.clear();
    s.kept.emplace(std::string(key), form);
  } catch (const std::bad_alloc&) {
    // Keeping it is only an optimisation.
  }
  return form;
}
