// The text built-ins: left, right, mid, ucase, lcase, ltrim, rtrim, trim, str,
// val, len, instr, asc, chr. Same contract as call_builtin.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/alg_string.h"
#include "value/alg_value.h"
#include "value/call_args.h"

bool call_text_builtin(const alg_string& name, const call_args& args, uint32_t n,
                       alg_value& result);

namespace builtin_table {
struct entry;
}
// The row of the text built-in `name` (lower case), or nullptr.
const builtin_table::entry* find_text_builtin(std::string_view name);
bool text_builtin_arity(std::string_view name, uint32_t& least, uint32_t& most);
