// Random and list variables, conditions, and the loop that builds an
// environment: load the definitions, check the conditions in table order and
// start over with fresh draws until every condition holds (1000 attempts).
#pragma once

#include "algorithm/environment.h"

// Builds `env` from the algorithm text. Raises z_x_condition_not_satisfied
// when no attempt succeeds, or the first error raised while an attempt runs.
void initialise_environment(alg_environment& env, const alg_string& algorithm);
