// What the plans' own files share (compiling, running, templates); nothing
// outside the plans includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/alg_string.h"
#include "expr/formula_plan.h"
#include "expr/translator.h"

// No node, no cell.
inline constexpr uint32_t kNone = UINT32_MAX;

// User-function expansions followed by plans of their own, one inside the
// other; deeper recursion goes on in the rewriting.
inline constexpr int kMaxExpansionPlans = 8;

// Calls `found(at, k)` for each whole word of `text` that names parameter k
// (the first of that name), looking at the parameters from `first` on.
template <typename F>
inline void for_each_parameter_word(std::string_view text,
                                    const std::vector<alg_string>& parameters, F&& found,
                                    size_t first = 0) {
  for (size_t i = 0; i < text.size();) {
    if (ends_word(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && !ends_word(text[j])) ++j;
    for (size_t k = first; k < parameters.size(); ++k) {
      if (!parameters[k].empty() &&
          same_ignoring_case(text.substr(i, j - i), parameters[k].view())) {
        found(i, k);
        break;
      }
    }
    i = j;
  }
}

// Computes the plan's constant when the text is one (plan_runner.cpp).
void fold_constant(formula_plan& plan);
