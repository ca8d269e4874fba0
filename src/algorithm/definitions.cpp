#include "algorithm/definitions.h"

#include <cstring>

#include "algorithm/drawing.h"
#include "base/errors.h"
#include "base/number_cast.h"
#include "base/number_text.h"
#include "expr/evaluator.h"
#include "expr/tokens.h"
#include "expr/translator.h"
#include "value/checks.h"
#include "value/literal_codec.h"

namespace {

format_settings g_format;

struct reserved_word {
  const char* word;
  bool is_real;
  double real;
  int32_t integer;
};

constexpr reserved_word kReservedWords[] = {
    {"pi", true, 3.141592653589793, 0}, {"e", true, 2.718281828459045, 0},
    {"off", false, 0, 0},               {"false", false, 0, 0},
    {"no", false, 0, 0},                {"on", false, 0, 1},
    {"true", false, 0, 1},              {"yes", false, 0, 1},
};

bool is_variable_record(const definition_record& r) {
  return r.kind == 'k' || r.kind == 'q' || r.kind == 'r' || r.kind == 'l';
}

void copy_format(const definition_record& r) {
  g_format.digits = r.digits;
  g_format.scientific = r.scientific;
  g_format.grouping = r.grouping;
}

// A digits/scientific/grouping field: a single operand that must be an integer.
int32_t integer_field(alg_environment& env, const alg_string& field) {
  const alg_value v = operand_to_value(env, field, alg_string(), false);
  check_kind(v, "l", alg_string());
  return v.as_integer();
}

alg_value evaluate_constant(alg_environment& env, const alg_array<alg_string>& fields,
                            const alg_string& name) {
  if (fields.count() < 1 || fields[1].empty()) throw z_x_baddefinition(name);
  return operand_to_value(env, fields[1], alg_string(), true);
}

alg_value evaluate_formula(alg_environment& env, definition_record& record,
                           const alg_array<alg_string>& fields, const alg_string& name) {
  if (fields.count() < 1 || fields[1].empty()) throw z_x_baddefinition(name);
  const uint32_t n = fields.count();
  if (n >= 2 && !fields[2].empty()) record.digits = integer_field(env, fields[2]);
  if (n >= 3 && !fields[3].empty()) record.scientific = integer_field(env, fields[3]) != 0;
  if (n >= 4 && !fields[4].empty()) record.grouping = integer_field(env, fields[4]) != 0;
  return evaluate_group(env, fields[1]);
}

// Steps 5 to 9 of a lookup: the cached value, or the evaluation of the record.
alg_value evaluate_record(alg_environment& env, uint32_t index, const alg_string& name) {
  definition_record& record = env.definitions[index];
  if (record.computed) {
    copy_format(record);
    return record.value;
  }
  if (record.in_progress) throw z_x_endlessloop(name);
  record.in_progress = true;
  const alg_array<alg_string> fields = split_fields(env, record_body(record));
  alg_value value;
  switch (record.kind) {
    case 'k': value = evaluate_constant(env, fields, name); break;
    case 'q': value = evaluate_formula(env, record, fields, name); break;
    case 'r': value = draw_random(env, record, fields, name); break;
    default: value = pick_from_list(env, record, fields, name); break;
  }
  // The table is not reloaded during an evaluation, so the record is still ours.
  definition_record& done = env.definitions[index];
  done.value = value;
  done.computed = true;
  done.in_progress = false;
  copy_format(done);
  return value;
}

// A first byte that ends both number scans at once: a letter other than the
// exponent mark and the first letters of "inf" and "nan", or an underscore.
bool starts_like_name(const alg_string& text) {
  const int c = text.char_at(1);
  const int lower = (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (lower == '_') return true;
  return lower >= 'a' && lower <= 'z' && lower != 'e' && lower != 'i' && lower != 'n';
}

}  // namespace

format_settings& current_format() { return g_format; }

bool has_prefix(const definition_record& record, const char* prefix) {
  return record.line.length() >= 2 && record.line.c_str()[0] == prefix[0] &&
         record.line.c_str()[1] == prefix[1];
}

alg_string record_body(const definition_record& record) {
  const uint32_t bar = record.line.find(1, field_separator(), false);
  return bar == 0 ? alg_string() : record.line.from(bar + 1);
}

void load_definitions(alg_environment& env, const alg_string& algorithm) {
  env.definitions.clear();
  const std::string_view text = algorithm.view();
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '\n' || text[pos] == '\r') {
      ++pos;
      continue;
    }
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    size_t stop = end;
    while (stop > pos && (text[stop - 1] == '\n' || text[stop - 1] == '\r')) --stop;
    if (stop > pos) {
      definition_record record;
      record.line = alg_string(text.substr(pos, stop - pos));
      index_record(record);
      env.definitions.push_back(std::move(record));
    }
    pos = end + 1;
  }
}

alg_array<alg_string> split_fields(alg_environment& /*env*/, const alg_string& body) {
  alg_string text = translated(body);
  text = text.length() >= 2 ? text.mid(2, text.length() - 2) : alg_string();
  text += field_separator();
  alg_array<alg_string> fields;
  const std::string_view rest = text.view();
  size_t pos = 0;
  while (pos < rest.size()) {
    const size_t bar = rest.find('|', pos);
    if (bar == std::string_view::npos) break;
    fields.push_back(alg_string(rest.substr(pos, bar - pos)));
    pos = bar + 1;
  }
  return fields;
}

alg_value resolve_name(alg_environment& env, const alg_string& name) {
  const alg_string lowered = name.lower();
  for (const reserved_word& w : kReservedWords) {
    if (lowered == w.word) {
      return w.is_real ? alg_value::of_real(w.real) : alg_value::of_integer(w.integer);
    }
  }
  // Down the chain of base environments, iteratively: hosts may build long
  // chains. A definition found anywhere is evaluated with its own
  // environment's table and caches; a failure is labelled with the name
  // once, by the innermost lookup that catches it, which is what a nested
  // lookup per base environment would give.
  for (alg_environment* e = &env; e != nullptr; e = e->base) {
    for (uint32_t i = 1; i <= e->definitions.high(); ++i) {
      const definition_record& r = e->definitions[i];
      if (!is_variable_record(r) || !r.has_separator || !(r.name == lowered)) continue;
      return with_context(name, [&] { return evaluate_record(*e, i, name); });
    }
  }
  // Not defined anywhere: an environment with a base reports it through
  // the base's lookup, so with the name in front.
  if (env.base != nullptr) {
    return with_context(name, [&]() -> alg_value { throw z_x_var_notdefined(name); });
  }
  throw z_x_var_notdefined(name);
}

alg_value operand_to_value(alg_environment& env, const alg_string& text,
                           const alg_string& context, bool strict) {
  const uint32_t length = text.length();
  if (length == 0) throw z_x_missing_operand(context);
  if (text.char_at(1) == '"' && text.char_at(length) == '"') {
    return alg_value::of_text(decode_literal(length >= 2 ? text.mid(2, length - 2) : alg_string()));
  }
  if (length == 1 && (text.char_at(1) == 'e' || text.char_at(1) == 'E')) {
    if (strict) throw z_x_baddefinition(context);
    return resolve_name(env, alg_string("e"));
  }
  // Operands that start with a letter no number text can start with are
  // names: the number readers would accept none of their bytes.
  if (!starts_like_name(text)) {
    uint32_t consumed = 0;
    const int32_t integer = text_to_int(text, &consumed);
    if (consumed == length && length < 10) return alg_value::of_integer(integer);
    const double real = text_to_real(text, &consumed);
    if (consumed == length) return alg_value::of_real(real);
  }
  if (strict) throw z_x_baddefinition(context);

  // A name with optional signs in front; each sign applies to a number.
  uint32_t signs = 0;
  while (signs < length) {
    const int c = text.char_at(signs + 1);
    if (c != '+' && c != '-' && c != static_cast<unsigned char>(en_dash)) break;
    ++signs;
  }
  alg_value value = resolve_name(env, text.from(signs + 1));
  for (uint32_t i = 1; i <= signs; ++i) {
    const alg_string sign = text.mid(i, 1);
    check_kind(value, "d", sign);
    if (sign.char_at(1) == '+') continue;
    if (value.is_integer()) {
      value.set_integer(wrap_neg(value.as_integer()));
    } else {
      value.set_real(-value.as_real());
    }
  }
  return value;
}
