// Plans against the rewriting: the input's first part is an algorithm, the
// rest up to seven requests. Each is run twice with plans (the second time
// on what the first kept) and once without, from the same seed, and every
// status, length and byte of text must agree.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "alg_mutator.h"
#include "checked_api.h"
#include "expr/formula_plan.h"

namespace {

fuzz::alg_mutator mutator(1, 8);

struct outcome {
  int32_t status = 0;
  int32_t length = 0;
  std::string text;
  bool operator==(const outcome&) const = default;
};

std::vector<outcome> run(const std::vector<std::string>& parts, bool plans) {
  set_formula_plans_enabled(plans);
  std::vector<outcome> got;
  char buffer[4096];
  zekalg_seed_environment(fuzz::fixed_seed);
  outcome created;
  created.length = sizeof buffer;
  created.status = zekalg_create_environment(0, parts[0].c_str(), buffer, &created.length);
  created.text = created.status < 0 ? std::string(buffer) : std::string();
  const int32_t id = created.status;
  if (id > 0) created.status = 1;  // ids count on from run to run
  got.push_back(created);
  if (id > 0) {
    for (size_t i = 1; i < parts.size(); ++i) {
      outcome solved;
      solved.length = sizeof buffer;
      solved.status = zekalg_solve_var(id, parts[i].c_str(), buffer, &solved.length);
      solved.text = buffer;
      got.push_back(solved);
    }
    zekalg_kill_environment(id);
  }
  set_formula_plans_enabled(true);
  return got;
}

}  // namespace

ZEKALG_FUZZ_MUTATOR_HOOKS(mutator)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::split_input(data, size, 8);
  if (parts.empty()) return 0;
  const std::vector<outcome> first = run(parts, true);
  // The same algorithm again: its image and the calls kept from the first
  // run are used this time.
  const std::vector<outcome> planned = run(parts, true);
  const std::vector<outcome> rewritten = run(parts, false);
  if (first == rewritten && planned == rewritten) return 0;
  for (size_t i = 0; i < first.size() || i < planned.size() || i < rewritten.size(); ++i) {
    const auto show = [](const char* side, const std::vector<outcome>& o, size_t k) {
      if (k < o.size()) {
        std::fprintf(stderr, "  %s: status %d, length %d, \"%s\"\n", side, o[k].status, o[k].length,
                     o[k].text.c_str());
      }
    };
    std::fprintf(stderr, "%s %zu:\n", i == 0 ? "create" : "request", i);
    show("plans", first, i);
    show("plans again", planned, i);
    show("rewriting", rewritten, i);
  }
  std::fprintf(stderr, "plans and the rewriting answer differently\n");
  std::abort();
}
