// User-defined functions ("f_" lines): a call substitutes the literal of each
// argument for its parameter name in the function's formula and hands the
// result back, in parentheses, to take the place of the call.
#pragma once

#include <cstdint>

#include "algorithm/call_context.h"
#include "base/alg_string.h"
#include "value/alg_value.h"
#include "value/call_args.h"

// The text that replaces a call of `name` (lower case) with args[1..n].
// Looks in the frame's environment first, then in its base environments (where the
// formula is always rewritten). Raises z_x_func_notdefined, the parameter
// count errors and whatever rewriting raises, labelled with the name.
alg_string call_user_function(env_frame& frame, const alg_string& name, const call_args& args,
                              uint32_t n, bool reduce);

// The template of the function `name` (lower case) when the frame's own
// environment defines it and a solve has run there (a call from the frame is
// then expanded in place), else nullptr. Raises what reading the definition
// raises, labelled as a call would label it.
struct function_template;
const function_template* local_function_template(env_frame& frame, const alg_string& name);
