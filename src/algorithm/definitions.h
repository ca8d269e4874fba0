// Definitions: the algorithm text loaded into an environment's table, and the
// lazy, cached resolution of names. A name is evaluated once, at its first
// use; errors raised while evaluating it are labelled with the innermost name.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/alg_array.h"
#include "base/alg_string.h"
#include "value/alg_value.h"

class env_frame;
class formula_plan;
struct function_template;
class translation_store;

// One definition line and its cached result. The fields read off the line
// never change after loading; `value` and the format are written once,
// before `computed` is published (see environment.h).
struct definition_record {
  alg_string line;
  alg_value value;
  bool computed = false;  // read and written through std::atomic_ref
  int32_t digits = -1;    // -1: not given
  bool scientific = false;
  bool grouping = false;

  // Read off `line` when it is loaded, so lookups need not re-parse it:
  // the kind letter of an exact "k_", "q_", "r_", "l_", "c_" or "f_" prefix
  // (0 for any other start), whether the line has a "|", and the lowered
  // bytes between the prefix and the first "|".
  char kind = 0;
  bool has_separator = false;
  alg_string name;

  // The translated fields of the body (of a condition: its whole translated
  // body), kept from the first evaluation for the next attempts of a build
  // (written under the environment's guard).
  alg_array<alg_string> fields;
  bool has_fields = false;
  // The plans of the fields that are formulas (plans[k - 1] for field k;
  // nullptr where a field is rewritten), kept with them.
  std::vector<std::shared_ptr<const formula_plan>> plans;
  // A function's template, kept with its fields (nullptr: none).
  std::shared_ptr<const function_template> function;

  // Whether the value is there to read (acquire: the value is complete).
  bool is_computed() const noexcept;
  bool is_variable() const noexcept {
    return kind == 'k' || kind == 'q' || kind == 'r' || kind == 'l';
  }
};

// The result format of a variable: set by its definition, handed to the
// solve whose request resolved it last.
struct format_settings {
  int32_t digits = -1;
  bool scientific = false;
  bool grouping = false;
};

// A record for one definition line (no line break in it).
definition_record parse_definition_line(const alg_string& line);

// Replaces `table` with one fresh record per non-empty line of `algorithm`
// (lines end at a line feed; carriage returns around them are dropped).
void load_definitions(alg_array<definition_record>& table, const alg_string& algorithm);

// Forgets every computed value and format, as a fresh load would.
void clear_values(alg_array<definition_record>& table) noexcept;

// The bytes of a record's line after the first "|" (empty when there is none).
alg_string record_body(const definition_record& record);
// The name of a variable record as written, as a solve resolves it: after
// the prefix, up to the first "|" (or to the end when there is none).
alg_string variable_name(const definition_record& record);

// The fields of a definition body, translated, with base index 1. There is
// always at least one field ("" for an empty body).
alg_array<alg_string> split_fields(translation_store& store, const alg_string& body);

// The plan of field k of a record (nullptr when it has none).
const formula_plan* field_plan(const definition_record& record, uint32_t k);

// The value of `name`: a reserved word, a definition of the frame's
// environment or, failing that, of its base environments. Leaves the
// variable's format in the call's format settings. Raises
// z_x_var_notdefined, z_x_endlessloop and whatever evaluating the
// definition raises (labelled).
alg_value resolve_name(env_frame& frame, const alg_string& name);
