// alg_environment: one loaded algorithm with its definition table and its
// list group choices. Environments are shared: the registry, the
// environments built on one, and every call running in one hold it, and it
// is destroyed when the last of them lets go.
//
// Once built, an environment is written only when one of its values is
// computed for the first time (the record's value, then its computed flag,
// published with release order) or a list group picks its position; both
// happen under `guard`, which a call takes only for that. Reading a computed
// value takes no lock. A call that holds the guard of one environment may
// take the guard of a base environment below it, never one above: the
// chains fix the order, so two calls cannot wait for each other.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "algorithm/definitions.h"
#include "base/alg_array.h"
#include "base/alg_hash.h"
#include "base/alg_string.h"

struct alg_environment {
  alg_environment() = default;
  alg_environment(const alg_environment&) = delete;
  alg_environment& operator=(const alg_environment&) = delete;
  // Lets go of the base chain one link at a time: hosts build chains far
  // longer than the stack would allow destructors to nest.
  ~alg_environment();

  // The base environment while it is alive (not killed), else nullptr.
  alg_environment* live_base() const noexcept {
    return base != nullptr && !base->killed.load(std::memory_order_acquire) ? base.get()
                                                                              : nullptr;
  }

  // Set when the environment was built (0) and by every solve in it or in
  // an environment above it (1); it chooses the nesting limit.
  std::atomic<uint8_t> solving{0};
  // Set by the kill: later calls no longer find it, and environments built
  // on it no longer see it as their base.
  std::atomic<bool> killed{false};
  std::shared_ptr<alg_environment> base;
  std::recursive_mutex guard;
  alg_hash group_choices;
  alg_array<definition_record> definitions;
  // The algorithm text this environment was built from.
  alg_string algorithm;
};
