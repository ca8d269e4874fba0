#include "api/registry.h"

#include <chrono>
#include <list>
#include <memory>
#include <new>
#include <unordered_map>

#include "algorithm/drawing.h"
#include "algorithm/environment.h"
#include "algorithm/solver.h"
#include "api/id_counter.h"
#include "api/random_generator.h"
#include "base/errors.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

struct registry_entry {
  int32_t id;
  std::unique_ptr<alg_environment> environment;
};

// Entries in creation order, with an index by id: the first entry with an id
// is the one the registry answers for.
struct registry {
  std::list<registry_entry> entries;
  std::unordered_map<int32_t, std::list<registry_entry>::iterator> by_id;
};

// Heap-allocated and never destroyed: at unload the entries are released
// without destroying environments the host never killed.
registry& the_registry() {
  static auto* r = new registry();
  return *r;
}

bool seeded = false;

// Unseeded creates are seeded from a high-resolution clock mixed with the
// new id, so environments created within one millisecond still differ.
uint32_t clock_seed(int32_t id) {
#if defined(_WIN32)
  // The kernel's millisecond tick count: coarse (about 16 ms), which is why
  // the id is mixed in below.
  const uint64_t ticks = GetTickCount();
#else
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
#endif
  uint64_t z = static_cast<uint64_t>(ticks) + 0x9E3779B97F4A7C15ull * static_cast<uint32_t>(id);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>(z ^ (z >> 31));
}

}  // namespace

alg_environment* find_environment(int32_t id) {
  if (id == 0) return nullptr;
  const registry& r = the_registry();
  const auto it = r.by_id.find(id);
  return it == r.by_id.end() ? nullptr : it->second->environment.get();
}

int32_t environment_count() { return static_cast<int32_t>(the_registry().entries.size()); }

int32_t create_environment(int32_t base_id, const alg_string& algorithm) {
  const int32_t id = next_environment_id();
  kill_environment(id);
  alg_environment* env = nullptr;
  try {
    registry& r = the_registry();
    auto owned = std::make_unique<alg_environment>();
    env = owned.get();
    r.entries.push_back(registry_entry{id, std::move(owned)});
    try {
      r.by_id.emplace(id, std::prev(r.entries.end()));
    } catch (...) {
      r.entries.pop_back();
      throw;
    }
    env->base = find_environment(base_id);
    if (env->base == env) env->base = nullptr;  // never its own base
    if (env->base != nullptr) ++env->base->dependents;
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  if (!seeded) seed_generator(clock_seed(id));
  try {
    initialise_environment(*env, algorithm);
  } catch (...) {
    kill_environment(id);
    throw;
  }
  return id;
}

int32_t kill_environment(int32_t id) {
  if (id == 0) return 0;
  registry& r = the_registry();
  const auto found = r.by_id.find(id);
  if (found == r.by_id.end()) return 0;
  const auto entry = found->second;
  alg_environment* dying = entry->environment.get();
  // Environments built on this one forget their base rather than keep a
  // reference to a destroyed record.
  if (dying->dependents > 0) {
    for (registry_entry& e : r.entries) {
      if (e.environment->base == dying) e.environment->base = nullptr;
    }
  }
  if (dying->base != nullptr) --dying->base->dependents;
  r.by_id.erase(found);
  r.entries.erase(entry);
  return 0;
}

void release_registry_entries() noexcept {
  registry& r = the_registry();
  for (registry_entry& e : r.entries) (void)e.environment.release();
  r.by_id.clear();
  r.entries.clear();
}

alg_string solve_in_environment(int32_t id, const alg_string& request, int32_t mode) {
  alg_environment* env = find_environment(id);
  if (env == nullptr) return {};
  return solve(*env, request, mode);
}

void seed_environment(uint32_t seed) {
  seed_generator(seed);
  seeded = true;
}
