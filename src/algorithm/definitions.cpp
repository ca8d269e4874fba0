#include "algorithm/definitions.h"

#include <atomic>
#include <mutex>
#include <new>

#include "algorithm/call_context.h"
#include "algorithm/drawing.h"
#include "algorithm/environment.h"
#include "base/errors.h"
#include "base/tokens.h"
#include "expr/dispatch.h"
#include "expr/operand.h"
#include "expr/translation_store.h"
#include "value/checks.h"

namespace {

void copy_format(format_settings& format, const definition_state& r) {
  format.digits = r.digits;
  format.scientific = r.scientific;
  format.grouping = r.grouping;
}

// A digits/scientific/grouping field: a single operand that must be an integer.
int32_t integer_field(env_frame& frame, const alg_string& field) {
  const alg_value v = operand_to_value(frame, field, alg_string(), false);
  check_kind(v, "l", alg_string());
  return v.as_integer();
}

alg_value evaluate_constant(env_frame& frame, const alg_array<alg_string>& fields,
                            const alg_string& name) {
  if (fields.count() < 1 || fields[1].empty()) throw z_x_baddefinition(name);
  return operand_to_value(frame, fields[1], alg_string(), true);
}

alg_value evaluate_formula(env_frame& frame, definition_state& record,
                           const prepared_fields& prepared, const alg_string& name) {
  const alg_array<alg_string>& fields = prepared.fields;
  if (fields.count() < 1 || fields[1].empty()) throw z_x_baddefinition(name);
  const uint32_t n = fields.count();
  if (n >= 2 && !fields[2].empty()) record.digits = integer_field(frame, fields[2]);
  if (n >= 3 && !fields[3].empty()) record.scientific = integer_field(frame, fields[3]) != 0;
  if (n >= 4 && !fields[4].empty()) record.grouping = integer_field(frame, fields[4]) != 0;
  return evaluate_group(frame, fields[1], field_plan(prepared, 1));
}

// Steps 5 to 9 of a lookup: the cached value, or the evaluation of the record.
alg_value evaluate_record(env_frame& frame, uint32_t index, const alg_string& name) {
  call_context& call = frame.call();
  alg_environment& env = frame.environment();
  const definition_record& record = env.record(index);
  definition_state& state = env.state(index);
  if (state.is_computed()) {
    copy_format(call.format(), state);
    return state.value();
  }
  // Computed once, by one call at a time; the others wait and then read it.
  const std::lock_guard<std::recursive_mutex> lock(env.guard);
  if (state.is_computed()) {
    copy_format(call.format(), state);
    return state.value();
  }
  if (call.being_evaluated(frame.position(), index)) throw z_x_endlessloop(name);
  const call_context::evaluation_mark mark(call, frame.position(), index);
  const prepared_fields& prepared = record_fields(env, index, call.translations());
  alg_value value;
  switch (record.kind) {
    case 'k':
      value = evaluate_constant(frame, prepared.fields, name);
      break;
    case 'q':
      value = evaluate_formula(frame, state, prepared, name);
      break;
    case 'r':
      value = draw_random(frame, state, prepared, name);
      break;
    default:
      value = pick_from_list(frame, prepared, name);
      break;
  }
  state.set_value(value);
  if (env.attempt_log != nullptr) {
    try {
      env.attempt_log->push_back(index);
    } catch (const std::bad_alloc&) {
      throw z_x_outofmemory();
    }
  }
  std::atomic_ref<bool>(state.computed).store(true, std::memory_order_release);
  copy_format(call.format(), state);
  return value;
}

}  // namespace

bool definition_state::is_computed() const noexcept {
  return std::atomic_ref<bool>(const_cast<bool&>(computed)).load(std::memory_order_acquire);
}

alg_value definition_state::value() const {
  switch (static_cast<value_kind>(kind_)) {
    case value_kind::integer:
      return alg_value::of_integer(number_.integer);
    case value_kind::real:
      return alg_value::of_real(number_.real);
    default:
      return text_ != nullptr ? alg_value::of_text(*text_) : alg_value();
  }
}

void definition_state::set_value(const alg_value& v) {
  switch (v.kind()) {
    case value_kind::integer:
      number_.integer = v.as_integer();
      text_.reset();
      break;
    case value_kind::real:
      number_.real = v.as_real();
      text_.reset();
      break;
    default:
      try {
        text_ = v.text().empty() ? nullptr : std::make_unique<alg_string>(v.text());
      } catch (const std::bad_alloc&) {
        throw z_x_outofmemory();
      }
      break;
  }
  kind_ = static_cast<uint8_t>(v.kind());
}

void definition_state::forget() noexcept {
  kind_ = static_cast<uint8_t>(value_kind::text);
  text_.reset();
  computed = false;
  digits = -1;
  scientific = false;
  grouping = false;
}

definition_record parse_definition_line(const alg_string& line) {
  definition_record record;
  record.line = line;
  if (line.length() >= 2 && line.char_at(2) == '_') {
    switch (line.char_at(1)) {
      case 'k':
      case 'q':
      case 'r':
      case 'l':
      case 'c':
      case 'f':
        record.kind = static_cast<char>(line.char_at(1));
        break;
      default:
        break;
    }
  }
  const uint32_t bar = line.find(1, field_separator(), false);
  record.has_separator = bar != 0;
  record.name = bar > 3 ? line.mid(3, bar - 3).lower() : alg_string();
  return record;
}

alg_string variable_name(const definition_record& record) {
  const uint32_t bar = record.line.find(1, field_separator(), false);
  return bar == 0 ? record.line.from(3) : record.line.mid(3, bar - 3);
}

alg_string record_body(const definition_record& record) {
  const uint32_t bar = record.line.find(1, field_separator(), false);
  return bar == 0 ? alg_string() : record.line.from(bar + 1);
}

void clear_values(std::vector<definition_state>& states,
                  const std::vector<uint32_t>& indices) noexcept {
  for (const uint32_t i : indices) states[i - 1].forget();
}

void load_definitions(alg_array<definition_record>& table, const alg_string& algorithm) {
  table.clear();
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
    if (stop > pos)
      table.push_back(parse_definition_line(alg_string(text.substr(pos, stop - pos))));
    pos = end + 1;
  }
}

const formula_plan* field_plan(const prepared_fields& prepared, uint32_t k) {
  return k >= 1 && k <= prepared.plans.size() ? prepared.plans[k - 1].get() : nullptr;
}

prepared_fields prepare_fields(translation_store& store, const definition_record& record) {
  prepared_fields prepared;
  const alg_string body = record_body(record);
  if (record.kind == 'c') {
    // A condition is one formula: its whole body.
    prepared.fields.push_back(store.translated(body));
    prepared.plans.assign(1, store.plan(prepared.fields[1]));
    return prepared;
  }
  prepared.fields = split_fields(store, body);
  if (record.kind == 'f') {
    prepared.function = store.function_template_of(body, prepared.fields);
  } else if (record.kind != 'k') {
    // Constants are literals; every other field may be a formula.
    for (uint32_t k = 1; k <= prepared.fields.high(); ++k) {
      prepared.plans.push_back(store.group_plan(prepared.fields[k]));
    }
  }
  return prepared;
}

bool prepare_record(translation_store& store, definition_record& record) {
  // Only the records that are ever evaluated: variables, conditions with a
  // "|", functions.
  if (!record.is_variable() &&
      !((record.kind == 'c' || record.kind == 'f') && record.has_separator)) {
    return false;
  }
  try {
    record.prepared = prepare_fields(store, record);
    record.is_prepared = true;
  } catch (...) {
    record.prepared = prepared_fields();
    record.is_prepared = false;
  }
  return record.is_prepared;
}

const prepared_fields& record_fields(alg_environment& env, uint32_t index,
                                     translation_store& store) {
  const definition_record& record = env.record(index);
  if (record.is_prepared) return record.prepared;
  // A record the image could not prepare: its translation mostly raises,
  // at every evaluation. Made under the environment's guard, as a base
  // environment's functions are called from many threads.
  const std::lock_guard<std::recursive_mutex> lock(env.guard);
  std::unique_ptr<prepared_fields>* made = nullptr;
  std::unique_ptr<prepared_fields> fields;
  try {
    made = &env.own_fields[index];
    if (*made == nullptr) fields = std::make_unique<prepared_fields>();
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  if (*made == nullptr) {
    *fields = prepare_fields(store, record);
    *made = std::move(fields);
  }
  return **made;
}

alg_array<alg_string> split_fields(translation_store& store, const alg_string& body) {
  alg_string text = store.translated(body);
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

alg_value resolve_name(env_frame& frame, const alg_string& name) {
  const alg_string lowered = name.lower();
  alg_value reserved;
  if (reserved_value(lowered.view(), reserved)) return reserved;
  return resolve_definition(frame, name, lowered);
}

bool defined_anywhere(env_frame& frame, const alg_string& lowered) {
  call_context& call = frame.call();
  for (uint32_t p = frame.position(); call.reaches(p); ++p) {
    if (call.environment(p).find_definition(lowered.view(), false) != 0) return true;
  }
  return false;
}

alg_value resolve_definition(env_frame& frame, const alg_string& name, const alg_string& lowered) {
  // Down the chain of base environments, iteratively: hosts may build long
  // chains. A definition found anywhere is evaluated with its own
  // environment's table and caches; a failure is labelled with the name
  // once, by the innermost lookup that catches it, which is what a nested
  // lookup per base environment would give.
  call_context& call = frame.call();
  for (uint32_t p = frame.position(); call.reaches(p); ++p) {
    const uint32_t i = call.environment(p).find_definition(lowered.view(), false);
    if (i == 0) continue;
    env_frame found(call, p);
    return with_context(name, [&] { return evaluate_record(found, i, name); });
  }
  // Not defined anywhere: an environment with a base reports it through
  // the base's lookup, so with the name in front.
  if (frame.has_base()) {
    return with_context(name, [&]() -> alg_value { throw z_x_var_notdefined(name); });
  }
  throw z_x_var_notdefined(name);
}
