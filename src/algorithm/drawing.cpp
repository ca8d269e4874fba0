#include "algorithm/drawing.h"

void initialise_environment(alg_environment& env, const alg_string& algorithm) {
  env.algorithm = algorithm;
}
