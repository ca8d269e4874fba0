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

struct alg_environment;
class env_frame;
class formula_plan;
struct function_template;
class translation_store;

// The translated fields of a definition body, with what is made from them
// once: the plans of the fields that are formulas (plans[k - 1] for field k;
// nullptr where a field is rewritten) and a function's template (nullptr:
// none). A condition has one field, its whole translated body.
struct prepared_fields {
  alg_array<alg_string> fields;
  std::vector<std::shared_ptr<const formula_plan>> plans;
  std::shared_ptr<const function_template> function;
};

// One definition line as read off the algorithm text. Records never change
// once an algorithm's image is made, and every environment built from the
// same text shares them.
struct definition_record {
  alg_string line;
  // The kind letter of an exact "k_", "q_", "r_", "l_", "c_" or "f_" prefix
  // (0 for any other start), whether the line has a "|", and the lowered
  // bytes between the prefix and the first "|".
  char kind = 0;
  bool has_separator = false;
  alg_string name;
  // The fields, translated when the image was made; a body whose
  // translation fails is left to the first evaluation of each environment,
  // which raises what it raises at that moment.
  prepared_fields prepared;
  bool is_prepared = false;

  bool is_variable() const noexcept {
    return kind == 'k' || kind == 'q' || kind == 'r' || kind == 'l';
  }
};

// One record's state in one environment: its cached result and format,
// written once, before `computed` is published (see environment.h).
// Every environment holds one per record of its algorithm, so the state is
// kept to 24 bytes: the value is held by kind, number and text apart.
struct definition_state {
  definition_state() = default;
  definition_state(const definition_state&) = delete;
  definition_state& operator=(const definition_state&) = delete;

  int32_t digits = -1;    // -1: not given
  bool computed = false;  // read and written through std::atomic_ref
  bool scientific = false;
  bool grouping = false;
  uint8_t kind_ = static_cast<uint8_t>(value_kind::text);  // of the value

  // Whether the value is there to read (acquire: the value is complete).
  bool is_computed() const noexcept;
  // The cached result.
  alg_value value() const;
  void set_value(const alg_value& v);
  // Back to the state of a fresh load: no value, no format.
  void forget() noexcept;

 private:
  union {
    int32_t integer;
    double real;
  } number_{};
  std::unique_ptr<alg_string> text_;
};
static_assert(sizeof(void*) != 8 || sizeof(definition_state) == 24);

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

// Translates the record's fields as its first evaluation would; false,
// with the record left unprepared, when that raises (or when the record is
// never evaluated).
bool prepare_record(translation_store& store, definition_record& record);
// The fields of record `index` of `env`: prepared with its image, or made
// now, at the record's first use in the environment (raising what
// translating raises).
const prepared_fields& record_fields(alg_environment& env, uint32_t index,
                                     translation_store& store);

// Forgets the values and formats of the records at `indices`, as a fresh
// load would.
void clear_values(std::vector<definition_state>& states,
                  const std::vector<uint32_t>& indices) noexcept;

// The bytes of a record's line after the first "|" (empty when there is none).
alg_string record_body(const definition_record& record);
// The name of a variable record as written, as a solve resolves it: after
// the prefix, up to the first "|" (or to the end when there is none).
alg_string variable_name(const definition_record& record);

// The fields of a definition body, translated, with base index 1. There is
// always at least one field ("" for an empty body).
alg_array<alg_string> split_fields(translation_store& store, const alg_string& body);

// The plan of field k (nullptr when it has none).
const formula_plan* field_plan(const prepared_fields& prepared, uint32_t k);

// The value of `name`: a reserved word, a definition of the frame's
// environment or, failing that, of its base environments. Leaves the
// variable's format in the call's format settings. Raises
// z_x_var_notdefined, z_x_endlessloop and whatever evaluating the
// definition raises (labelled).
alg_value resolve_name(env_frame& frame, const alg_string& name);
// resolve_name for a name that is no reserved word, given lowered too.
alg_value resolve_definition(env_frame& frame, const alg_string& name, const alg_string& lowered);
// Whether the frame's environment or one of its bases defines `lowered`
// (a name that is no reserved word): what tells resolve_definition's value
// from its z_x_var_notdefined, without the error.
bool defined_anywhere(env_frame& frame, const alg_string& lowered);
