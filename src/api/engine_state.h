// The engine's process-wide state, all of it in one place. Everything else
// belongs to one call (algorithm/call_context.h: the chain of environments a
// call sees, its depths, marks, result format and expansion count) or to
// one thread (base/random_generator.h: the generator's state and whether the
// thread has seeded it). Hosts call the exports from any thread at any
// time, so each shared part says what guards it:
//
// - the registry: the live environments of this process by id, dealt out
//   to shards by id, each behind its own lock (shared for lookups,
//   exclusive to add or remove), so that threads working on different
//   environments do not touch the same lock. An environment is
//   shared-owned: a call holds it for its whole length, so a kill only
//   unlists it and marks it killed, and it goes when the last call or
//   environment built on it lets go. Each environment guards its own first
//   computations (algorithm/environment.h).
// - the translation store: shards behind locks of their own, one shard per
//   thread as far as they go round (expr/translation_store.h).
// - the environment id counter: shared with every other process that has the
//   engine loaded, advanced atomically (api/id_counter.h).
// - the constant strings (the operator tokens and the field separator,
//   base/tokens.h): built at load and only read afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <unordered_map>

#include "algorithm/environment.h"
#include "expr/translation_store.h"

struct engine_state {
  struct alignas(64) registry_shard {
    std::shared_mutex guard;
    std::unordered_map<int32_t, std::shared_ptr<alg_environment>> environments;
  };
  static constexpr size_t kRegistryShards = 16;
  std::array<registry_shard, kRegistryShards> registry;
  translation_store translations;

  registry_shard& shard_of(int32_t id) {
    return registry[static_cast<uint32_t>(id) % kRegistryShards];
  }
};

// The one engine state of the process; never destroyed, so that unloading
// the library leaves environments the host never killed as they are.
engine_state& the_engine();
