// Calls in formulas: name(argument, ...) is replaced by the literal of its
// value. Built-ins come first; any other name is a user-defined function,
// which the scope expands.
#pragma once

#include <cstdint>

#include "base/alg_string.h"
#include "expr/scope.h"

// Evaluates the arguments between the "(" at `open` and the ")" at `close`,
// runs the function `name` (lower case, standing right before `open`) and
// splices its result in place of the whole call. The text is left unchanged
// when the call fails. A user-function call past max_call_depth nested calls
// or max_user_function_expansions expansions raises z_x_stack_overflow.
void call_function(scope& s, alg_string& text, uint32_t open, uint32_t close,
                   const alg_string& name);
