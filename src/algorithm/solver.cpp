#include "algorithm/solver.h"

#include <vector>

#include "algorithm/definitions.h"
#include "base/errors.h"
#include "base/number_text.h"
#include "expr/evaluator.h"
#include "expr/function_call.h"

namespace {

// The name of a variable record: after the prefix, up to the first "|" (or
// to the end when there is none).
alg_string variable_name(const definition_record& record) {
  const uint32_t bar = record.line.find(1, alg_string("|"), false);
  return bar == 0 ? record.line.from(3) : record.line.mid(3, bar - 3);
}

// Whether the algorithm asks to leave four-digit numbers ungrouped. Any
// failure of the lookup just leaves the option off.
bool ten_thousand_option(alg_environment& env) {
  try {
    const alg_value v = resolve_name(env, alg_string("zek_opt_tenthousand"));
    return (v.is_integer() && v.as_integer() != 0) || (v.is_real() && v.as_real() != 0.0);
  } catch (...) {
    return false;
  }
}

}  // namespace

void evaluate_all(alg_environment& env, const alg_string& request) {
  // Base environments first, from the root of the chain down (iteratively:
  // hosts may build long chains); only this environment stops at the request.
  std::vector<alg_environment*> chain;
  for (alg_environment* e = &env; e != nullptr; e = e->base) chain.push_back(e);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    alg_environment& e = **it;
    e.solving = 1;
    const bool stop_at_request = &e == &env && !request.empty();
    const alg_string wanted = stop_at_request ? request.lower() : alg_string();
    for (uint32_t i = 1; i <= e.definitions.high(); ++i) {
      const definition_record& record = e.definitions[i];
      if (record.kind != 'k' && record.kind != 'q' && record.kind != 'r' && record.kind != 'l') {
        continue;
      }
      const alg_string name = variable_name(record);
      if (stop_at_request && name.lower() == wanted) return;
      if (!e.definitions[i].computed) (void)resolve_name(e, name);
    }
  }
}

alg_string solve(alg_environment& env, const alg_string& request, int32_t mode) {
  reset_expansion_count();
  env.call_depth = 0;
  env.solving = static_cast<uint8_t>(mode);
  env.reduction_depth = 0;
  format_settings& format = current_format();
  format = format_settings{};
  // Marks and depths left by a failed evaluation are cleared up the whole
  // chain: a base environment's depth left raised by an earlier failure
  // would otherwise add up until every solve overflows.
  for (alg_environment* e = &env; e != nullptr; e = e->base) {
    e->call_depth = 0;
    e->reduction_depth = 0;
    for (uint32_t i = 1; i <= e->definitions.high(); ++i) e->definitions[i].in_progress = false;
  }

  evaluate_all(env, request);
  alg_string text = translated(request);
  evaluate_text(env, text, true);
  const alg_value value = operand_to_value(env, text, alg_string(), true);

  int32_t digits = format.digits;
  const bool scientific = format.scientific;
  const bool grouping = format.grouping;
  if (digits < 0 && !value.is_integer()) digits = 6;
  alg_string result = value_to_text(value, digits, scientific, true);
  if (grouping && !scientific && value.is_number()) {
    if (!ten_thousand_option(env) || value.as_real() >= 10000) {
      result = group_thousands(result);
    }
  }
  return result;
}
