// The machinery shared by the built-in tables: one row per built-in with its
// argument count and kind letters, looked up by bisection, and the dispatch
// that checks count and kinds before the handler runs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/alg_string.h"
#include "value/alg_value.h"
#include "value/call_args.h"
#include "value/checks.h"

namespace builtin_table {

using args_t = call_args;
using handler_t = alg_value (*)(const args_t& args, uint32_t n, const alg_string& name);

// A count of 0 marks a built-in that takes a varying number of arguments and
// checks count and kinds itself; otherwise the dispatcher checks the count
// and then one kind letter per argument.
struct entry {
  std::string_view name;
  uint32_t count;
  std::string_view kinds;
  handler_t run;
  // For a varying count: the fewest and most arguments (0: no limit).
  uint32_t least = 0;
  uint32_t most = 0;
  // Whether it draws random numbers: its value depends on more than its
  // arguments, so no plan folds it and no call around it is kept.
  bool draws = false;
};

// Tables are sorted by name and give every fixed-count row its kind letters.
template <typename Table>
constexpr bool well_formed(const Table& table) {
  return std::is_sorted(table.begin(), table.end(),
                        [](const entry& a, const entry& b) { return a.name < b.name; }) &&
         std::all_of(table.begin(), table.end(),
                     [](const entry& e) { return e.count == 0 || e.kinds.size() == e.count; });
}

inline const entry* find(std::span<const entry> table, std::string_view name) {
  const auto it =
      std::lower_bound(table.begin(), table.end(), name,
                       [](const entry& e, std::string_view key) { return e.name < key; });
  return it != table.end() && it->name == name ? &*it : nullptr;
}

inline bool arity(std::span<const entry> table, std::string_view name, uint32_t& least,
                  uint32_t& most) {
  const entry* e = find(table, name);
  if (e == nullptr) return false;
  least = e->count != 0 ? e->count : e->least;
  most = e->count != 0 ? e->count : e->most;
  return true;
}

// Checks count and kinds and runs the row's handler.
inline void run(const entry* e, const alg_string& name, const args_t& args, uint32_t n,
                alg_value& result) {
  if (e->count != 0) {
    check_count(n, e->count, name);
    for (uint32_t i = 1; i <= n; ++i) {
      const char code[2] = {e->kinds[i - 1], '\0'};
      check_kind(args[i], code, name);
    }
  }
  result = e->run(args, n, name);
}
inline bool dispatch(std::span<const entry> table, const alg_string& name, const args_t& args,
                     uint32_t n, alg_value& result) {
  const entry* e = find(table, name.view());
  if (e == nullptr) return false;
  run(e, name, args, n, result);
  return true;
}

}  // namespace builtin_table
