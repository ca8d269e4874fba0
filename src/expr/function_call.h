// Calls in formulas: name(argument, ...) is replaced by the literal of its
// value. Built-ins come first; any other name is a user-defined function.
#pragma once

#include <cstdint>

#include "algorithm/environment.h"
#include "base/alg_string.h"

// Evaluates the arguments between the "(" at `open` and the ")" at `close`,
// runs the function `name` (lower case, standing right before `open`) and
// splices its result in place of the whole call. The text is left unchanged
// when the call fails.
void call_function(alg_environment& env, alg_string& text, uint32_t open, uint32_t close,
                   const alg_string& name);

// User-function expansions are counted per host call: a recursion that the
// nesting limits cannot see (a solve hands each expansion back to the
// caller's text) still ends, with a stack overflow naming the function.
inline constexpr int64_t max_user_function_expansions = 10000;
void reset_expansion_count();
