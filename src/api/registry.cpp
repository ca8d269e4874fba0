#include "api/registry.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>

#include "algorithm/drawing.h"
#include "algorithm/solver.h"
#include "api/engine_state.h"
#include "api/id_counter.h"
#include "base/errors.h"
#include "base/random_generator.h"

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

namespace {

engine_state*& engine_slot() {
  static engine_state* state = new engine_state();
  return state;
}

// Calls in progress, and whether the library is being unloaded. Both are
// sequentially consistent: either a call that starts sees the unloading,
// or the unloading sees the call.
std::atomic<int64_t> calls_in_progress{0};
std::atomic<bool> unloading{false};

}  // namespace

engine_state& the_engine() { return *engine_slot(); }

bool enter_call() noexcept {
  calls_in_progress.fetch_add(1);
  return !unloading.load();
}

void leave_call() noexcept { calls_in_progress.fetch_sub(1); }

void release_engine_at_unload() noexcept {
  unloading.store(true);
  // A call still running (at process exit, on another thread) keeps
  // everything as it is.
  if (calls_in_progress.load() != 0) return;
  release_registry_entries();
  delete engine_slot();
  engine_slot() = nullptr;
}

std::shared_ptr<alg_environment> find_environment(int32_t id) {
  if (id == 0) return nullptr;
  engine_state::registry_shard& shard = the_engine().shard_of(id);
  const std::shared_lock<std::shared_mutex> lock(shard.guard);
  const auto it = shard.environments.find(id);
  return it == shard.environments.end() ? nullptr : it->second;
}

int32_t environment_count() {
  size_t count = 0;
  the_engine().registry.for_each([&](engine_state::registry_shard& shard) {
    const std::shared_lock<std::shared_mutex> lock(shard.guard);
    count += shard.environments.size();
  });
  return static_cast<int32_t>(count);
}

namespace {

// The next id that no live environment of this process holds. The counter
// only comes back to a live id after it wrapped, or when another process
// started it afresh: taking the next one never destroys a live environment.
int32_t free_environment_id() {
  int32_t id = next_environment_id();
  if (find_environment(id) == nullptr) return id;
  for (int32_t tries = environment_count(); tries > 0 && find_environment(id) != nullptr; --tries) {
    id = next_environment_id();
  }
  return id;
}

}  // namespace

int32_t create_environment(int32_t base_id, const alg_string& algorithm) {
  const int32_t id = free_environment_id();
  engine_state& engine = the_engine();
  std::shared_ptr<alg_environment> env;
  try {
    env = std::make_shared<alg_environment>();
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  env->base = find_environment(base_id);
  // The host's seed for this create, else the clock on a thread that never
  // seeded; else the build continues where the thread's last draw left the
  // generator.
  if (!take_host_seed() && !generator_seeded()) seed_generator(clock_seed(id));
  // Built before it is listed: no other call can see it half-built, and a
  // failed build leaves nothing to remove.
  initialise_environment(*env, algorithm, engine.translations);
  try {
    engine_state::registry_shard& shard = engine.shard_of(id);
    const std::unique_lock<std::shared_mutex> lock(shard.guard);
    shard.environments.insert_or_assign(id, std::move(env));
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  return id;
}

int32_t kill_environment(int32_t id) {
  if (id == 0) return 0;
  engine_state::registry_shard& shard = the_engine().shard_of(id);
  std::shared_ptr<alg_environment> dying;
  {
    const std::unique_lock<std::shared_mutex> lock(shard.guard);
    const auto found = shard.environments.find(id);
    if (found == shard.environments.end()) return 0;
    dying = std::move(found->second);
    shard.environments.erase(found);
  }
  // Environments built on this one forget it as their base; calls running
  // in it or above it keep it until they end.
  dying->killed.store(true, std::memory_order_release);
  return 0;  // the environment goes with the last holder of `dying`
}

void release_registry_entries() noexcept {
  // The entries go, the environments stay: each reference is left behind.
  the_engine().registry.for_each([](engine_state::registry_shard& shard) {
    const std::unique_lock<std::shared_mutex> lock(shard.guard);
    for (auto& entry : shard.environments) {
      (void)new (std::nothrow) std::shared_ptr<alg_environment>(std::move(entry.second));
    }
    shard.environments.clear();
  });
}

alg_string solve_in_environment(int32_t id, const alg_string& request, int32_t mode) {
  const std::shared_ptr<alg_environment> env = find_environment(id);
  if (env == nullptr) return {};
  return solve(*env, request, mode, the_engine().translations);
}

void seed_environment(uint32_t seed) { seed_by_host(seed); }
