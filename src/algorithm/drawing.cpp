#include "algorithm/drawing.h"

#include <cmath>

#include "base/errors.h"
#include "base/number_text.h"
#include "base/random_generator.h"
#include "expr/dispatch.h"
#include "expr/formula_plan.h"
#include "expr/operand.h"
#include "expr/translation_store.h"
#include "value/checks.h"
#include "value/literal_codec.h"

namespace {

// A bound or step: a formula field that must give a number.
double number_field(env_frame& frame, const prepared_fields& prepared, uint32_t k) {
  const formula_plan* plan = field_plan(prepared, k);
  // Bounds and steps are mostly literals: their constant, counted as
  // evaluate_group counts it, straight from this environment's scope.
  const alg_value v = evaluate_field(frame, prepared.fields[k], plan);
  check_kind(v, "d", alg_string());
  return v.as_real();
}

int32_t integer_operand(env_frame& frame, const alg_string& field) {
  const alg_value v = operand_to_value(frame, field, alg_string(), false);
  check_kind(v, "l", alg_string());
  return v.as_integer();
}

}  // namespace

void initialise_environment(alg_environment& env, const alg_string& algorithm,
                            translation_store& translations, build_observer* observer) {
  // Its draws, now and in every later call in it, continue from where this
  // thread's generator stands.
  env.draws.start_here();
  call_context call(env, translations);
  call.observer = observer;
  env_frame frame(call, 0);
  // The lines are read once for every environment built from the same
  // text; each attempt starts again from fresh values.
  env.load(algorithm_image::of(translations, algorithm));
  // An attempt starts again from fresh values: it forgets what the attempt
  // before computed, and costs what it computes and checks, whatever the
  // length of the table.
  std::vector<uint32_t> computed;
  env.attempt_log = &computed;
  struct log_off {
    alg_environment& env;
    ~log_off() { env.attempt_log = nullptr; }
  } const stop_logging{env};
  uint32_t failed = 0;
  for (int attempt = 1; attempt <= max_attempts; ++attempt) {
    if (observer != nullptr) observer->attempt_started();
    if (attempt > 1) {
      call.spend(computed.size());
      clear_values(env.states, computed);
      computed.clear();
    }
    failed = failed_condition(frame);
    if (failed == 0) return;
  }
  throw z_x_condition_not_satisfied(record_body(env.record(failed)));
}

uint32_t failed_condition(env_frame& frame) {
  call_context& call = frame.call();
  alg_environment& env = frame.environment();
  uint32_t position = 0;
  for (const uint32_t i : env.image->conditions) {
    call.spend(1);
    if (call.observer != nullptr) call.observer->condition_reached(position);
    const prepared_fields& prepared = record_fields(env, i, call.translations());
    const alg_value value = evaluate_translated(frame, prepared.fields[1], prepared.plans[0].get(),
                                                alg_string(), false);
    if (!value.is_number()) throw z_x_number_required();
    const bool held = value.as_integer() != 0;
    if (call.observer != nullptr) call.observer->condition_checked(position++, held);
    if (!held) return i;
  }
  return 0;
}

alg_value draw_random(env_frame& frame, definition_state& record, const prepared_fields& prepared,
                      const alg_string& name) {
  const alg_array<alg_string>& fields = prepared.fields;
  const uint32_t count = fields.count();
  if (count < 2 || fields[1].empty() || fields[2].empty()) throw z_x_baddefinition(name);
  const double a = number_field(frame, prepared, 1);
  const double b = number_field(frame, prepared, 2);
  const double step = (count >= 3 && !fields[3].empty()) ? number_field(frame, prepared, 3) : 1.0;
  if (count >= 4 && !fields[4].empty()) record.digits = integer_operand(frame, fields[4]);
  if (count >= 5 && !fields[5].empty()) record.scientific = integer_operand(frame, fields[5]) != 0;
  if (count >= 6 && !fields[6].empty()) record.grouping = integer_operand(frame, fields[6]) != 0;

  const double lo = a > b ? b : a;
  const double hi = a > b ? a : b;
  const double s = std::fabs(step);
  if (s == 0) {
    // Every draw gives the low bound, but the draw is still made so that the
    // variables after this one get the values a seeded host expects.
    (void)random_between(0, 0);
    return alg_value::of_real(lo);
  }
  const double steps = std::trunc((hi - lo) / s);
  // More steps than the generator's range arithmetic holds (or a bound that
  // is not finite) cannot be drawn from.
  if (!(steps >= 0 && steps <= 2147483647.0)) throw z_x_baddefinition(name);
  const int32_t k = random_between(0, static_cast<int32_t>(steps));
  return alg_value::of_real(k * s + lo);
}

alg_value pick_from_list(env_frame& frame, const prepared_fields& prepared,
                         const alg_string& name) {
  const alg_array<alg_string>& fields = prepared.fields;
  const uint32_t m = fields.count();
  const alg_string key = (m >= 2 && !fields[1].empty())
                             ? decode_literal(fields[1])
                             : alg_string("_zek_gname_") + name.lower() + "_";
  alg_string& position = frame.environment().group_choices.find_or_add(key);
  int32_t k = text_to_int(position);
  if (k == 0) {
    k = m < 3 ? 1 : random_between(1, static_cast<int32_t>(m) - 1);
    position = int_to_text(k, false);
  } else if (k < 0 || static_cast<uint32_t>(k) > m - 1) {
    throw z_x_outofrange(name);
  }
  const auto chosen = static_cast<uint32_t>(k) + 1;
  return evaluate_group(frame, fields[chosen], field_plan(prepared, chosen));
}
