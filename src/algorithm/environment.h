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

  // Builds the name indexes of a freshly loaded table.
  void index_definitions();
  // The index of the first variable (or, with `function`, function) record
  // named `lowered`, or 0.
  uint32_t find_definition(std::string_view lowered, bool function) const;

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
  // The record a lookup of a (lowered) variable or function name finds: the
  // first in table order. Filled by index_definitions for long tables only;
  // short ones are searched in order, which finds the same record.
  struct name_hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  using name_index = std::unordered_map<std::string, uint32_t, name_hash, std::equal_to<>>;
  name_index variable_index;
  name_index function_index;
  bool indexed = false;
  // The algorithm text this environment was built from.
  alg_string algorithm;
};
