// How many different variants an algorithm has: exactly, by visiting every
// combination of the outcomes of its draws (the grids of its r_ ranges and
// steps, the positions of its l_ groups) under its conditions, when there
// are at most a bounded number of them; else an estimate from a sample.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "tools/algorithm_file.h"
#include "tools/question.h"

namespace tools {

// Combinations visited at most before the count turns to an estimate.
inline constexpr int64_t kMaxCombinations = 1'000'000;
// Variants drawn for an estimate.
inline constexpr int64_t kEstimateSample = 2000;

struct variant_count {
  // Every combination was visited: the counts below are exact.
  bool exact = false;
  // Whether anything is drawn at all (false: one fixed variant).
  bool draws = false;
  // Exact: the combinations of draw outcomes visited, and those that
  // satisfy every condition and solve. Estimate: the variants drawn, and
  // those built; `combinations` is then how many there are if every
  // variant draws as the first one does.
  int64_t combinations = 0;
  int64_t accepted = 0;
  int64_t sampled = 0;
  // Distinct variants (every variable's display text), prompts and right
  // answers (the parts' answers together); -1 where the question declares
  // no prompt or no part. Estimated when not exact.
  int64_t variants = 0;
  int64_t prompts = -1;
  int64_t answers = -1;
  // The right answer that the most distinct prompts share, and how many.
  std::string common_answer;  // engine bytes, the parts' answers joined by "; "
  int64_t common_answer_prompts = 0;
};

// Counts the variants of `file` (built on `base` when given) and of the
// question it declares. Visits at most `max_combinations` combinations;
// `keep_going`, asked now and then, stops the count (nothing is returned).
std::optional<variant_count> count_variants(const algorithm_file& file, const algorithm_file* base,
                                            const question& q,
                                            const std::function<bool()>& keep_going = {},
                                            int64_t max_combinations = kMaxCombinations);

// One line for an author: "72 variants (exact: 81 combinations of the
// draws, 72 satisfy the conditions and solve)", or "about 4,100 variants
// (an estimate from 2,000 variants drawn: ...)", with the prompts and the
// right answers.
std::string describe_count(const variant_count& count);

}  // namespace tools
