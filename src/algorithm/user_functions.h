// User-defined functions ("f_" lines): a call substitutes the literal of each
// argument for its parameter name in the function's formula and hands the
// result back, in parentheses, to take the place of the call.
#pragma once

#include <cstdint>

#include "algorithm/call_context.h"
#include "base/alg_array.h"
#include "base/alg_string.h"
#include "value/alg_value.h"

// The text that replaces a call of `name` (lower case) with args[1..n].
// Looks in the frame's environment first, then in its base environments (where the
// formula is always rewritten). Raises z_x_func_notdefined, the parameter
// count errors and whatever rewriting raises, labelled with the name.
alg_string call_user_function(env_frame& frame, const alg_string& name,
                              const alg_array<alg_value>& args, uint32_t n, bool reduce);
