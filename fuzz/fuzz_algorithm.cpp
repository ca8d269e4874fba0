// An algorithm and its requests from the input: the algorithm, then up to
// four requests, each after a NUL byte. The algorithm is created after the
// fixed seed, every request is solved one of the ways of solve_one_way, and
// the environment is killed.
#include "alg_mutator.h"
#include "checked_api.h"

namespace {
fuzz::alg_mutator mutator(1, 5);
}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  return mutator.mutate(data, size, max_size, seed);
}

extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* a, size_t a_size, const uint8_t* b,
                                            size_t b_size, uint8_t* out, size_t max_out,
                                            unsigned int seed) {
  return mutator.cross_over(a, a_size, b, b_size, out, max_out, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::split_input(data, size, 5);
  if (parts.empty()) return 0;
  const int32_t id = fuzz::checked_create(0, parts[0]);
  for (size_t i = 1; i < parts.size(); ++i) fuzz::solve_one_way(id, parts[i], i);
  fuzz::checked_kill(id);
  return 0;
}
