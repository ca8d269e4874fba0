#include "algorithm/solver.h"

#include "base/errors.h"
#include "base/number_text.h"
#include "expr/dispatch.h"
#include "expr/evaluator.h"
#include "expr/operand.h"
#include "expr/translation_store.h"

namespace {

// Whether the algorithm asks to leave four-digit numbers ungrouped. Any
// failure of the lookup just leaves the option off. Most algorithms do not
// define it: asked before every solve, the lookup would throw and catch an
// error each time, which cost a tenth of a variant.
bool ten_thousand_option(env_frame& frame) {
  const alg_string option("zek_opt_tenthousand");
  if (!defined_anywhere(frame, option)) return false;
  try {
    const alg_value v = resolve_definition(frame, option, option);
    return (v.is_integer() && v.as_integer() != 0) || (v.is_real() && v.as_real() != 0.0);
  } catch (...) {
    return false;
  }
}

}  // namespace

void evaluate_all(call_context& call, const alg_string& request) {
  // Base environments first, from the root of the chain down (iteratively:
  // hosts may build long chains); only the call's environment stops at the
  // request.
  for (uint32_t p = call.chain_length(); p-- > 0;) {
    alg_environment& e = call.environment(p);
    // Every solve in this environment, or above it, marks it as solved in.
    call.mark_solving(p);
    if (e.all_computed.load(std::memory_order_acquire)) continue;
    env_frame frame(call, p);
    bool every_one_computed = true;
    const bool stop_at_request = p == 0 && !request.empty();
    for (uint32_t i = 1; i <= e.definition_count(); ++i) {
      const definition_record& record = e.record(i);
      if (!record.is_variable()) continue;
      // A line with a "|" keeps its lowered name from loading; one without
      // is named by all that follows its prefix.
      if (stop_at_request &&
          (record.has_separator
               ? same_ignoring_case(record.name.view(), request.view())
               : same_ignoring_case(variable_name(record).view(), request.view()))) {
        return;
      }
      if (!e.state(i).is_computed()) {
        // A variable its name does not reach (a second line of one name)
        // stays uncomputed, and is read by name again by every solve.
        every_one_computed = false;
        (void)resolve_name(frame, variable_name(record));
      }
    }
    if (every_one_computed) e.all_computed.store(true, std::memory_order_release);
  }
}

alg_string solve(alg_environment& env, const alg_string& request, int32_t mode,
                 translation_store& translations, format_settings* used) {
  // The two solve exports behave the same: the walk below marks the whole
  // chain as solved in before anything reads the mark.
  (void)mode;
  call_context call(env, translations);
  env_frame frame(call, 0);
  evaluate_all(call, request);
  const std::shared_ptr<const translation_store::request_form> form =
      translations.translated_request(request);
  const alg_value value =
      evaluate_translated(frame, form->form, form->plan.get(), alg_string(), true);

  const format_settings& format = call.format();
  if (used != nullptr) *used = format;
  int32_t digits = format.digits;
  const bool scientific = format.scientific;
  const bool grouping = format.grouping;
  if (digits < 0 && !value.is_integer()) digits = 6;
  alg_string result = value_to_text(value, digits, scientific, true);
  if (grouping && !scientific && value.is_number()) {
    if (!ten_thousand_option(frame) || value.as_real() >= 10000) {
      result = group_thousands(result);
    }
  }
  return result;
}
