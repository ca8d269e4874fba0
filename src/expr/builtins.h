// The built-in functions of the formula language: dispatch by name to the
// numeric, list and text built-ins, each with its count and kind checks.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/alg_string.h"
#include "value/alg_value.h"
#include "value/call_args.h"

// Runs the built-in `name` (lower case) on args[1..n] (n >= 1) and stores its
// value in `result`. Returns false, checking nothing, when no built-in has the
// name (the caller then tries the user-defined functions). Raises the count,
// kind and value errors of the built-in.
bool call_builtin(const alg_string& name, const call_args& args, uint32_t n, alg_value& result);

namespace builtin_table {
struct entry;
}
// The row of the built-in `name` (lower case), or nullptr; run_builtin
// does with it what call_builtin does.
const builtin_table::entry* find_builtin(std::string_view name);
void run_builtin(const builtin_table::entry& e, const alg_string& name, const call_args& args,
                 uint32_t n, alg_value& result);
// The argument counts the built-in `name` accepts: `least` to `most`, where a
// `most` of 0 means no upper limit. False when no built-in has the name.
bool builtin_arity(std::string_view name, uint32_t& least, uint32_t& most);
