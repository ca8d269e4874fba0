// Solving a request: draw what is defined ahead of it, evaluate it, and write
// the result with the digits, exponent form and grouping the definitions ask for.
#pragma once

#include <cstdint>

#include "algorithm/call_context.h"

// The display text of `request` in `env` (which the caller keeps alive);
// raises any error of the evaluation. `mode` (0 or 1, the two solve
// exports) changes nothing: both solve alike. `format`, when given,
// receives the result format the solve used.
alg_string solve(alg_environment& env, const alg_string& request, int32_t mode,
                 translation_store& translations, format_settings* format = nullptr);

// Resolves, in definition order (base environments first), every variable
// defined ahead of `request` in the call's environment; an empty request
// resolves them all.
void evaluate_all(call_context& call, const alg_string& request);
