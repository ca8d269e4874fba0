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
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "algorithm/algorithm_image.h"
#include "algorithm/definitions.h"
#include "base/alg_array.h"
#include "base/alg_hash.h"
#include "base/alg_string.h"
#include "base/random_generator.h"

struct alg_environment {
  alg_environment() = default;
  alg_environment(const alg_environment&) = delete;
  alg_environment& operator=(const alg_environment&) = delete;
  // Lets go of the base chain one link at a time: hosts build chains far
  // longer than the stack would allow destructors to nest.
  ~alg_environment();

  // Takes the records of `image`, every value not yet computed.
  void load(std::shared_ptr<const algorithm_image> image);
  // The index of the first variable (or, with `function`, function) record
  // named `lowered`, or 0.
  uint32_t find_definition(std::string_view lowered, bool function) const {
    return image->find_definition(lowered, function);
  }
  // Records 1 to definition_count(), and their state in this environment.
  uint32_t definition_count() const noexcept { return image->records.high(); }
  const definition_record& record(uint32_t i) const { return image->records[i]; }
  definition_state& state(uint32_t i) noexcept { return states[i - 1]; }
  const definition_state& state(uint32_t i) const noexcept { return states[i - 1]; }

  // The base environment while it is alive (not killed), else nullptr.
  alg_environment* live_base() const noexcept {
    return base != nullptr && !base->killed.load(std::memory_order_acquire) ? base.get() : nullptr;
  }

  // Set by the first solve in it or in an environment above it. A call
  // reads it once, when it reaches the environment, to choose the nesting
  // limit it applies there (see call_context::solving).
  std::atomic<uint8_t> solving{0};
  // Set once a solve has found every variable computed: later solves skip
  // the walk that computes them (values, once computed, stay so).
  std::atomic<bool> all_computed{false};
  // Set by the kill: later calls no longer find it, and environments built
  // on it no longer see it as their base.
  std::atomic<bool> killed{false};
  std::shared_ptr<alg_environment> base;
  std::recursive_mutex guard;
  // Where the next draw of a call in this environment comes from.
  random_stream draws;
  alg_hash group_choices;
  std::shared_ptr<const algorithm_image> image;
  std::vector<definition_state> states;
  // The fields of the records its image could not prepare, made at their
  // first use here (under `guard`; they stay where they are).
  std::unordered_map<uint32_t, std::unique_ptr<prepared_fields>> own_fields;
  // While the environment is built: the records computed by the current
  // attempt, which the next attempt forgets (only the build, the one call
  // that sees the environment then, computes its values).
  std::vector<uint32_t>* attempt_log = nullptr;
};
