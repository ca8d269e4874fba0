// User-defined functions ("f_" lines): a call substitutes the literal of each
// argument for its parameter name in the function's formula and hands the
// result back, in parentheses, to take the place of the call.
#pragma once

#include <cstdint>

#include "algorithm/environment.h"
#include "base/alg_array.h"
#include "base/alg_string.h"
#include "value/alg_value.h"

// The text that replaces a call of `name` (lower case) with args[1..n].
// Looks in this environment first, then in its base environments (where the
// formula is always rewritten). Raises z_x_func_notdefined, the parameter
// count errors and whatever rewriting raises, labelled with the name.
alg_string call_user_function(alg_environment& env, const alg_string& name,
                              const alg_array<alg_value>& args, uint32_t n, bool reduce);
