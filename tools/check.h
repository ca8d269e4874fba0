// What an author should know before publishing an algorithm: errors that
// every variant meets, conditions that rarely hold, names that a formula
// cannot reach, one diagnostic per finding.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/encoding.h"

namespace tools {
struct variant_count;
}

namespace tools {

struct diagnostic {
  int line = 0;
  bool error = true;
  std::string text;       // engine bytes
  std::size_t level = 0;  // the file it is about: 0 the algorithm, 1 its base
  int column = 0;         // 1-based; 0: the whole line
};

// Trial creations of a check unless the caller says otherwise.
inline constexpr int kDefaultCreations = 300;

// Asked before each trial creation and before each variable a trial solves,
// with the bytes of the values that trial holds so far; false stops the
// trials there.
using check_guard = std::function<bool(std::size_t held)>;

// Every diagnostic of `file`, in line order; `base`, when given, is the
// algorithm of the base environment it is written for. When `keep_going`
// stopped the trials, `*stopped` is set and the diagnostics that need them
// are missing. With trials, the check also counts the variants (warning
// when there are few, or when many prompts share one right answer) and
// gives the count through `count` when asked (nothing when the trials, or
// the count, were stopped).
std::vector<diagnostic> check_algorithm(const algorithm_file& file, int creations,
                                        const algorithm_file* base = nullptr,
                                        const check_guard& keep_going = {}, bool* stopped = nullptr,
                                        std::optional<variant_count>* count = nullptr);

// The definitions whose names a formula cannot reach as the author meant
// (a reserved name such as e or pi, a built-in's name): errors for `check`,
// warnings that `solve` and `sample` print before they start.
std::vector<diagnostic> name_traps(const algorithm_file& file);

// The characters a formula cannot read as the author meant, outside quoted
// texts, with their column: tabs, non-breaking spaces and other invisible
// characters, curly quotes. Errors for `check`; `solve` and `sample` print
// them as warnings before they start, and the service answers them.
std::vector<diagnostic> text_traps(const algorithm_file& file);

}  // namespace tools
