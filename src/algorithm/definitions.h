// Definitions: the algorithm text loaded into an environment's table, and the
// lazy, cached resolution of names. A name is evaluated once, at its first
// use; errors raised while evaluating it are labelled with the innermost name.
#pragma once

#include <cstdint>

#include "algorithm/environment.h"
#include "base/alg_array.h"
#include "base/alg_string.h"
#include "value/alg_value.h"

// The result format left by the last completed variable resolution
// (process-wide; a solve resets it and reads it).
struct format_settings {
  int32_t digits = -1;
  bool scientific = false;
  bool grouping = false;
};
format_settings& current_format();

// Replaces the definition table with one fresh record per non-empty line.
void load_definitions(alg_environment& env, const alg_string& algorithm);

// The fields of a definition body, translated, with base index 1. There is
// always at least one field ("" for an empty body).
alg_array<alg_string> split_fields(alg_environment& env, const alg_string& body);

// The value of `name`: a reserved word, a definition of this environment or,
// failing that, of its base environments. Raises z_x_var_notdefined,
// z_x_endlessloop and whatever evaluating the definition raises (labelled).
alg_value resolve_name(alg_environment& env, const alg_string& name);

// The value of one operand text: a quoted literal, a number or a (signed)
// name. `context` names the operator in messages. Strict readers accept
// literals only.
alg_value operand_to_value(alg_environment& env, const alg_string& text,
                           const alg_string& context, bool strict);

// The two-byte prefix of a record ("k_", "q_", ...) matched exactly.
bool has_prefix(const definition_record& record, const char* prefix);
// The bytes of a record's line after the first "|" (empty when there is none).
alg_string record_body(const definition_record& record);
