// Solving a request: draw what is defined ahead of it, evaluate it, and write
// the result with the digits, exponent form and grouping the definitions ask for.
#pragma once

#include <cstdint>

#include "algorithm/environment.h"

// The display text of `request` in `env`; raises any error of the evaluation.
alg_string solve(alg_environment& env, const alg_string& request, int32_t mode);

// Resolves, in definition order (base environments first), every variable
// defined ahead of `request`; an empty request resolves them all.
void evaluate_all(alg_environment& env, const alg_string& request);
