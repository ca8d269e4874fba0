// The 22 operator tokens of the formula language: one table that the
// translator, the evaluator and the error messages all read. A token is five
// bytes: '~', three lower-case letters, '~'. Level 1 is applied first.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/alg_string.h"

enum class operator_id : uint8_t {
  fac,
  not_,
  exp,
  mul,
  div,
  idv,
  mod,
  rem,
  add,
  sub,
  cat,
  lss,
  grt,
  leq,
  geq,
  eql,
  neq,
  eqv,
  and_,
  ior,
  xor_,
  imp,
};

struct operator_token {
  operator_id id;
  const char* token;  // "~add~"
  const char* shown;  // "+": what messages and operators_to_text show
  int level;          // 1..11
  bool takes_left;
  bool takes_right;
};

inline constexpr int operator_level_count = 11;
inline constexpr uint32_t token_length = 5;

// All 22 rows, in table order.
std::span<const operator_token> operator_tokens();
const operator_token& token_of(operator_id id);
// The token texts as engine strings (built once, read-only afterwards).
const alg_string& token_text(operator_id id);
// The shown form of a token as an engine string (built once).
const alg_string& token_shown(operator_id id);
// The tokens of one level (1..11) as engine strings, for find_earliest.
std::span<const alg_string> level_tokens(int level);
// The row whose token starts at byte `pos` (1-based) of `text`, or nullptr.
const operator_token* token_at(const alg_string& text, uint32_t pos);
// The row whose token is exactly `five` (five bytes), or nullptr.
const operator_token* token_named(std::string_view five);

// The field separator of definition bodies.
const alg_string& field_separator();

// `text` with every token replaced by its shown form ("x~add~1" -> "x+1").
alg_string operators_to_text(const alg_string& text);
