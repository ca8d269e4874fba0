// A base environment killed under its child. The input holds a base
// algorithm, a child algorithm and up to four requests, separated by NUL
// bytes. The base is created, the child is created on it, the base is
// killed before the child is used, then the requests are solved in the
// child (one of the ways of solve_one_way), which is killed last.
#include "alg_mutator.h"
#include "checked_api.h"

namespace {
fuzz::alg_mutator mutator(2, 6);
}  // namespace

ZEKALG_FUZZ_MUTATOR_HOOKS(mutator)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::split_input(data, size, 6);
  if (parts.size() < 2) return 0;
  const int32_t base = fuzz::checked_create(0, parts[0]);
  const int32_t child = fuzz::checked_create(base, parts[1]);
  fuzz::checked_kill(base);
  for (size_t i = 2; i < parts.size(); ++i) fuzz::solve_one_way(child, parts[i], i);
  fuzz::checked_kill(child);
  return 0;
}
