#include "expr/text_builtins.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/errors.h"
#include "base/number_text.h"
#include "expr/builtin_table.h"
#include "value/checks.h"

namespace {

using builtin_table::args_t;
using builtin_table::entry;

const alg_string& s_of(const args_t& args) { return args[1].text(); }

// Counts and positions are read as unsigned 32-bit numbers, so a negative
// count is a very large one and simply takes everything there is.
uint32_t unsigned_of(const alg_value& v) { return static_cast<uint32_t>(v.as_integer()); }

alg_value run_left(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).left(unsigned_of(args[2])));
}

alg_value run_right(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).right(unsigned_of(args[2])));
}

alg_value run_mid(const args_t& args, uint32_t, const alg_string& name) {
  const alg_string& s = s_of(args);
  const int32_t start = args[2].as_integer();
  if (start < 1 || static_cast<uint32_t>(start) > s.length()) throw z_x_outofrange(name);
  return alg_value::of_text(s.mid(static_cast<uint32_t>(start), unsigned_of(args[3])));
}

alg_value run_ucase(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).upper());
}
alg_value run_lcase(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).lower());
}
alg_value run_ltrim(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).ltrim());
}
alg_value run_rtrim(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).rtrim());
}
alg_value run_trim(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_text(s_of(args).trim());
}

// str(x, decimals, exponent, grouping, dropzero): the number text a solve
// would show, en dash included. An integer is written with decimals too,
// because a missing or negative decimals argument means 6, never "as is".
alg_value run_str(const args_t& args, uint32_t n, const alg_string& name) {
  if (n > 5) check_count(n, 5, name);
  check_kind(args[1], "d", name);
  for (uint32_t i = 2; i <= n; ++i) check_kind(args[i], "l", name);

  const int32_t given = n >= 2 ? args[2].as_integer() : -1;
  const int32_t decimals = given >= 0 ? given : 6;
  const bool exponent = n >= 3 && args[3].as_integer() != 0;
  alg_string t = value_to_text(args[1], decimals, exponent, true);
  if (n >= 4 && args[4].as_integer() != 0) t = group_thousands(t);
  if (n == 5 && args[5].as_integer() != 0) {
    const int first = t.char_at(1);
    const uint32_t p =
        (first == '+' || first == '-' || first == static_cast<unsigned char>(en_dash)) ? 2 : 1;
    if (t.mid(p, 2) == "0.") t = t.left(p - 1) + t.from(p + 1);
  }
  return alg_value::of_text(t);
}

alg_value run_val(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_real(text_to_real(s_of(args)));
}

alg_value run_len(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_integer(static_cast<int32_t>(s_of(args).length()));
}

// instr([start,] text, pattern): both texts are raised to upper case first,
// so the search ignores the case of a-z only, whatever the byte values.
alg_value run_instr(const args_t& args, uint32_t n, const alg_string& name) {
  if (n != 2 && n != 3) check_count(n, 2, name);
  const uint32_t first_text = n == 3 ? 2 : 1;
  if (n == 3) check_kind(args[1], "l", name);
  check_kind(args[first_text], "s", name);
  check_kind(args[first_text + 1], "s", name);

  const uint32_t start = n == 3 ? unsigned_of(args[1]) : 1;
  const alg_string hay = args[first_text].text().upper();
  const alg_string pattern = args[first_text + 1].text().upper();
  return alg_value::of_real(hay.find(start, pattern, true));
}

alg_value run_asc(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_real(s_of(args).char_at(1));
}

// as_integer maps NaN and out-of-range reals to a fixed integer, so every
// number has low 8 bits.
alg_value run_chr(const args_t& args, uint32_t, const alg_string&) {
  const auto low = static_cast<unsigned char>(unsigned_of(args[1]) & 0xFFu);
  return alg_value::of_text(alg_string(static_cast<char>(low)));
}

constexpr auto kTextBuiltins = std::to_array<entry>({
    {"asc", 1, "s", run_asc},
    {"chr", 1, "d", run_chr},
    {"instr", 0, "", run_instr, 2, 3},
    {"lcase", 1, "s", run_lcase},
    {"left", 2, "sl", run_left},
    {"len", 1, "s", run_len},
    {"ltrim", 1, "s", run_ltrim},
    {"mid", 3, "sll", run_mid},
    {"right", 2, "sl", run_right},
    {"rtrim", 1, "s", run_rtrim},
    {"str", 0, "", run_str, 1, 5},
    {"trim", 1, "s", run_trim},
    {"ucase", 1, "s", run_ucase},
    {"val", 1, "s", run_val},
});

static_assert(builtin_table::well_formed(kTextBuiltins),
              "the table is searched by bisection: sorted, one kind letter per argument");

}  // namespace

bool text_builtin_arity(std::string_view name, uint32_t& least, uint32_t& most) {
  return builtin_table::arity(kTextBuiltins, name, least, most);
}

const builtin_table::entry* find_text_builtin(std::string_view name) {
  return builtin_table::find(kTextBuiltins, name);
}

bool call_text_builtin(const alg_string& name, const call_args& args, uint32_t n,
                       alg_value& result) {
  return builtin_table::dispatch(kTextBuiltins, name, args, n, result);
}
