// The engine's process-wide state, all of it in one place. Everything else
// belongs to one call (algorithm/call_context.h: the chain of environments a
// call sees, its depths, marks, result format, expansion count, work and the
// fast forms it takes) or to one thread (base/random_generator.h: the
// generator's state and whether the thread has seeded it; base/sharded.h:
// the thread's number). Hosts call the exports from any thread at any time,
// so each shared part says what guards it:
//
// - registry: the live environments of this process by id, dealt out to
//   shards by id, each behind its own lock (shared for lookups, exclusive
//   to add or remove), so that threads working on different environments
//   do not touch the same lock. An environment is shared-owned: a call
//   holds it for its whole length, so a kill only unlists it and marks it
//   killed, and it goes when the last call or environment built on it lets
//   go. Each environment guards its own first computations
//   (algorithm/environment.h).
// - translations: translations, plans and function templates of texts, in
//   shards behind locks of their own, one shard per thread as far as they
//   go round (expr/translation_store.h); the serial of the next function
//   template is atomic.
// - images: the algorithm images, one per text, shared by the environments
//   built from it: per-thread shards behind their own locks, and the map of
//   images still held behind one lock (algorithm/algorithm_image.h).
// - kept_call_bytes: what the kept calls of all images hold together
//   (expr/call_memo.h), atomic; each image's memory has its own lock.
// - threads_seen: how many threads have been given a number (base/sharded.h),
//   atomic.
// - fast_forms_bits: the fast forms calls take (expr/fast_forms.h), atomic;
//   set from ZEKALG_REFERENCE_EVALUATOR when the state is made, and read by
//   each call once, when it starts.
//
// Outside it on purpose:
// - the environment id counter: shared with every other process that has the
//   engine loaded, advanced atomically (api/id_counter.h).
// - the count of calls in progress and the unloading flag (api/registry.cpp):
//   they decide whether the state may be freed, so they outlive it.
// - the constant strings (the operator tokens and the field separator,
//   base/tokens.h): built at load and only read afterwards.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <unordered_map>

#include "algorithm/algorithm_image.h"
#include "algorithm/environment.h"
#include "base/sharded.h"
#include "expr/translation_store.h"

struct engine_state {
  engine_state();

  struct registry_shard {
    std::shared_mutex guard;
    std::unordered_map<int32_t, std::shared_ptr<alg_environment>> environments;
  };
  sharded<registry_shard> registry;
  // Declared before the stores, so that it outlives the images they free.
  std::atomic<size_t> kept_call_bytes{0};
  std::atomic<uint32_t> threads_seen{0};
  // fast_forms, one bit each (engine_state.cpp).
  std::atomic<uint8_t> fast_forms_bits{0};
  translation_store translations;
  image_store images;

  registry_shard& shard_of(int32_t id) { return registry.of(static_cast<uint32_t>(id)); }
};

// The one engine state of the process; never destroyed while a call may
// run, so that unloading the library leaves environments the host never
// killed as they are.
engine_state& the_engine();
