// Operands: how one operand text of a formula in operator form reads as a
// value (a quoted literal, a number, or a signed name the scope resolves),
// and the reserved words every formula knows.
#pragma once

#include <string_view>

#include "base/alg_string.h"
#include "expr/scope.h"
#include "value/alg_value.h"

struct reserved_word {
  std::string_view word;  // lower case
  bool is_real;
  double real;
  int32_t integer;
};

// The value of a reserved word (pi, e and the truth words) given in lower
// case, or false; names are matched without regard to case and before any
// definition.
bool reserved_value(std::string_view lowered, alg_value& value);

// Whether `text` reads whole as a number (an integer of up to nine bytes,
// else a real), and its value.
bool read_number(const alg_string& text, alg_value& value);

// The value of one operand text. `context` names the operator in messages.
// Strict readers accept literals only (z_x_baddefinition otherwise). Raises
// z_x_missing_operand for an empty operand, the kind error of a sign before
// a text, and whatever the scope raises for a name.
alg_value operand_to_value(scope& s, const alg_string& text, const alg_string& context,
                           bool strict);

// The value of an operand text that reads as no literal (not a quoted text,
// not a number): a name, possibly signed. What operand_to_value gives such a
// text, without trying the literal forms again.
alg_value name_to_value(scope& s, const alg_string& text, const alg_string& context);
// The signs ('+', '-', en dash) at the start of an operand.
uint32_t leading_signs(const alg_string& text);
// What name_to_value makes of `value`, the value of the name after the
// `signs` signs in front of `text`.
alg_value signed_name_value(scope& s, alg_value value, const alg_string& text, uint32_t signs);

// What the literal of `value` reads back as: literal_text(value) handed to
// the operand reader, without writing the literal where that can be
// avoided. A text comes back as it is; an integer of ten bytes or more comes
// back as a real. `length`, when given, receives the literal's length.
alg_value literal_read_back(alg_value value, uint32_t* length = nullptr);
// The same for a real.
alg_value real_read_back(double x, uint32_t* length = nullptr);
