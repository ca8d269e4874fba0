// An algorithm and its requests from the input: the algorithm, then up to
// four requests, each after a NUL byte. The algorithm is created after the
// fixed seed, every request is solved one of the ways of solve_one_way, and
// the environment is killed.
#include "alg_mutator.h"
#include "checked_api.h"

namespace {
fuzz::alg_mutator mutator(1, 5);
}  // namespace

ZEKALG_FUZZ_MUTATOR_HOOKS(mutator)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::split_input(data, size, 5);
  if (parts.empty()) return 0;
  const int32_t id = fuzz::checked_create(0, parts[0]);
  for (size_t i = 1; i < parts.size(); ++i) fuzz::solve_one_way(id, parts[i], i);
  fuzz::checked_kill(id);
  return 0;
}
