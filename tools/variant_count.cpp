#include "tools/variant_count.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "algorithm/call_context.h"
#include "algorithm/drawing.h"
#include "algorithm/environment.h"
#include "algorithm/solver.h"
#include "api/engine_state.h"
#include "base/errors.h"
#include "base/number_text.h"
#include "base/random_generator.h"
#include "tools/sampling.h"
#include "tools/variant.h"

namespace tools {
namespace {

// A combination that breaks a condition: the visit goes on with the next.
struct rejected {};

// Walks the tree of draw outcomes depth first. Each build replays the path
// chosen so far; a draw past its end starts a new level at outcome 0. The
// builds are deterministic, so the same path makes the same draws.
class combination_walk final : public draw_chooser, public build_observer {
 public:
  uint32_t choose(uint32_t outcomes) override {
    if (at_ == path_.size()) {
      path_.push_back(0);
      sizes_.push_back(outcomes);
    }
    drew_ = true;
    return path_[at_++];
  }
  void condition_checked(uint32_t, bool held) override {
    if (!held) throw rejected{};
  }
  // Before each build.
  void restart() { at_ = 0; }
  // The next path, or false when every one was visited.
  bool advance() {
    path_.resize(at_);
    sizes_.resize(at_);
    while (!path_.empty()) {
      if (path_.back() + 1 < sizes_.back()) {
        ++path_.back();
        return true;
      }
      path_.pop_back();
      sizes_.pop_back();
    }
    return false;
  }
  bool drew() const { return drew_; }
  // The combinations there are if every path draws as the current one.
  double combinations_like_this() const {
    double product = 1;
    for (const uint32_t n : sizes_) product *= n;
    return product;
  }

 private:
  std::vector<uint32_t> path_;
  std::vector<uint32_t> sizes_;
  std::size_t at_ = 0;
  bool drew_ = false;
};

struct question_names {
  std::optional<std::string> prompt;
  std::vector<std::string> answers;  // each part's right answer
};

question_names names_of(const question& q) {
  question_names n;
  if (q.prompt) n.prompt = q.prompt->variable;
  for (const question_part& p : q.parts) n.answers.push_back(p.variable);
  return n;
}

std::optional<std::string> shown(alg_environment& env, const std::string& name) {
  try {
    const alg_string text = solve(env, alg_string(name), 0, the_engine().translations);
    return std::string(text.view());
  } catch (const z_x_exception&) {
    return std::nullopt;
  }
}

// What one built variant shows.
struct variant_view {
  std::string row;  // every variable's display, joined
  std::string prompt;
  std::string answer;
};

// Builds one variant (the base, then the algorithm on it) with whatever
// draws the thread makes, and reads it; nothing when it fails to build or
// to solve. Throws `rejected` through `observer`.
std::optional<variant_view> build_variant(const algorithm_file& file, const algorithm_file* base,
                                          const std::vector<std::string>& names,
                                          const question_names& q, build_observer* observer) {
  translation_store& translations = the_engine().translations;
  std::shared_ptr<alg_environment> base_env;
  auto env = std::make_shared<alg_environment>();
  try {
    if (base != nullptr) {
      base_env = std::make_shared<alg_environment>();
      initialise_environment(*base_env, alg_string(base->text), translations, observer);
      env->base = base_env;
    }
    initialise_environment(*env, alg_string(file.text), translations, observer);
  } catch (const z_x_exception&) {
    return std::nullopt;
  }
  variant_view v;
  for (const std::string& name : names) {
    const std::optional<std::string> text = shown(*env, name);
    if (!text) return std::nullopt;
    v.row += *text;
    v.row += '\x1f';
  }
  if (q.prompt) {
    const std::optional<std::string> text = shown(*env, *q.prompt);
    if (!text) return std::nullopt;
    v.prompt = *text;
  }
  for (std::size_t k = 0; k < q.answers.size(); ++k) {
    const std::optional<std::string> text = shown(*env, q.answers[k]);
    if (!text) return std::nullopt;
    v.answer += (k == 0 ? "" : "; ") + *text;
  }
  return v;
}

// The distinct variants, prompts and answers seen so far.
struct tally {
  std::unordered_set<std::string> rows;
  std::unordered_map<std::string, int64_t> row_counts;  // for the estimate
  std::set<std::string> prompts;
  std::map<std::string, std::set<std::string>> prompts_by_answer;

  void add(variant_view&& v, bool count_rows) {
    if (count_rows) ++row_counts[v.row];
    rows.insert(std::move(v.row));
    prompts.insert(v.prompt);
    prompts_by_answer[std::move(v.answer)].insert(std::move(v.prompt));
  }
};

void fill(variant_count& c, const tally& t, const question& q) {
  c.variants = static_cast<int64_t>(t.rows.size());
  if (q.prompt) c.prompts = static_cast<int64_t>(t.prompts.size());
  if (!q.parts.empty()) c.answers = static_cast<int64_t>(t.prompts_by_answer.size());
  for (const auto& [answer, prompts] : t.prompts_by_answer) {
    if (static_cast<int64_t>(prompts.size()) > c.common_answer_prompts) {
      c.common_answer_prompts = static_cast<int64_t>(prompts.size());
      c.common_answer = answer;
    }
  }
}

// The number of distinct variants, from a sample of `drawn` builds of
// which some were built: Chao's estimate (those seen, plus f1^2 / (2 f2)
// for the variants seen once, f1, and twice, f2; bias-corrected) while the
// sample repeats itself; when no variant came twice, the combinations of the
// draws times the share that builds, which bounds the count from above.
int64_t estimated_total(const tally& t, double combinations, int64_t drawn) {
  int64_t once = 0;
  int64_t twice = 0;
  for (const auto& [row, n] : t.row_counts) {
    once += n == 1;
    twice += n == 2;
  }
  const double seen = static_cast<double>(t.rows.size());
  if (static_cast<double>(once) == seen) {
    const double built = drawn > 0 ? seen / static_cast<double>(drawn) : 0;
    return static_cast<int64_t>(std::min(combinations * built, 9e18));
  }
  const double f1 = static_cast<double>(once);
  const double f2 = static_cast<double>(twice);
  return static_cast<int64_t>(seen + f1 * (f1 - 1) / (2 * (f2 + 1)) + 0.5);
}

// "12,345": as the engine groups thousands.
std::string grouped(int64_t n) {
  return std::string(group_thousands(alg_string(std::to_string(n))).view());
}

}  // namespace

std::optional<variant_count> count_variants(const algorithm_file& file, const algorithm_file* base,
                                            const question& q,
                                            const std::function<bool()>& keep_going,
                                            int64_t max_combinations) {
  const auto stop = [&](int64_t made) { return keep_going && made % 256 == 0 && !keep_going(); };
  const std::vector<std::string> names = variable_names(file);
  const question_names qn = names_of(q);
  variant_count count;
  double combinations = 0;
  {
    combination_walk walk;
    const draw_choice_binding choosing(walk);
    tally seen;
    bool complete = true;
    do {
      if (count.combinations == max_combinations) {
        complete = false;
        break;
      }
      if (stop(count.combinations)) return std::nullopt;
      ++count.combinations;
      walk.restart();
      try {
        std::optional<variant_view> v = build_variant(file, base, names, qn, &walk);
        if (v) {
          ++count.accepted;
          seen.add(std::move(*v), false);
        }
      } catch (const rejected&) {
      }
      // Paths mostly draw alike: when the first one says there are too
      // many, the visit is not begun.
      if (count.combinations == 1 &&
          walk.combinations_like_this() > static_cast<double>(max_combinations)) {
        complete = false;
        break;
      }
    } while (walk.advance());
    count.draws = walk.drew();
    combinations = walk.combinations_like_this();
    if (complete) {
      count.exact = true;
      fill(count, seen, q);
      return count;
    }
  }
  // Too many combinations: a sample, seeded as the check's trials are.
  count = variant_count{};
  count.draws = true;
  count.combinations = static_cast<int64_t>(std::min(combinations, 9e18));
  tally seen;
  for (int64_t i = 1; i <= kEstimateSample; ++i) {
    if (stop(i)) return std::nullopt;
    seed_generator(row_seed(0xC0047, static_cast<uint64_t>(i)));
    ++count.sampled;
    std::optional<variant_view> v = build_variant(file, base, names, qn, nullptr);
    if (!v) continue;
    ++count.accepted;
    seen.add(std::move(*v), true);
  }
  fill(count, seen, q);
  count.variants = estimated_total(seen, combinations, count.sampled);
  return count;
}

std::string describe_count(const variant_count& c) {
  std::string line =
      (c.exact ? "" : "about ") + grouped(c.variants) + " variant" + (c.variants == 1 ? "" : "s");
  if (c.variants > 0 && c.prompts >= 0) line += ", " + grouped(c.prompts) + " distinct prompts";
  if (c.variants > 0 && c.answers >= 0) {
    line += ", " + grouped(c.answers) + " distinct right answers";
  }
  const auto satisfy = [](int64_t n) {
    return grouped(n) +
           (n == 1 ? " satisfies the conditions and solves" : " satisfy the conditions and solve");
  };
  if (c.exact) {
    line += c.draws ? " (exact: " + grouped(c.combinations) + " combinations of the draws, " +
                          satisfy(c.accepted) + ")"
                    : " (nothing is drawn)";
  } else {
    line += " (an estimate from " + grouped(c.sampled) + " variants drawn: about " +
            grouped(c.combinations) + " combinations of the draws are too many to visit)";
  }
  return line;
}

}  // namespace tools
