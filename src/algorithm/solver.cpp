#include "algorithm/solver.h"

alg_string solve(alg_environment& /*env*/, const alg_string& /*request*/, int32_t /*mode*/) {
  return {};
}
