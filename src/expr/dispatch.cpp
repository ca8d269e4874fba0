#include "expr/dispatch.h"

#include <string_view>

#include "base/thread_stack.h"
#include "expr/evaluator.h"
#include "expr/one_pass.h"
#include "expr/operand.h"
#include "expr/plan_hooks.h"
#include "value/literal_codec.h"

namespace {

const alg_string kOpen("(");
const alg_string kClose(")");
const alg_string kNoContext;

}  // namespace

namespace {

void note_effect(plan_hooks* hooks) {
  if (hooks != nullptr) hooks->note_effect();
}

// What is left of `text` after a plan stopped, or without a plan, rewritten
// and read; the depth raised for it is lowered.
[[gnu::noinline]] alg_value rewrite_and_read(scope& s, plan_hooks* hooks, alg_string text,
                                             const alg_string& context, bool strict) {
  note_effect(hooks);
  rewrite_text(s, text);
  leave_evaluation(s);
  return operand_to_value(s, text, context, strict);
}

// The value of a text through its plan, once its evaluation is entered;
// the depth raised for it is lowered.
alg_value evaluate_planned(scope& s, plan_hooks& hooks, const formula_plan& plan,
                           const alg_string& context, bool strict, const slot_values* slots) {
  plan_run run = run_plan(s, hooks, plan, slots);
  if (run.handed_back) return rewrite_and_read(s, &hooks, std::move(run.text), context, strict);
  leave_evaluation(s);
  // A literal reads the same for the strict reader.
  return std::move(run.read);
}

// A text without a plan of its own that holds conditionals: they come
// first, in the whole text, and what they leave may have a plan.
[[gnu::noinline]] alg_value evaluate_conditionals_first(scope& s, plan_hooks& hooks,
                                                        const alg_string& text,
                                                        const alg_string& context, bool strict,
                                                        const slot_values* slots) {
  hooks.note_effect();
  alg_string rest = text;
  std::shared_ptr<const formula_plan> resolved;
  if (!s.forms().conditionals_in_one_pass || !resolve_conditionals_in_one_pass(s, rest) ||
      rest.char_at(1) != '(' || (resolved = hooks.text_plan(rest)) == nullptr) {
    return rewrite_and_read(s, &hooks, std::move(rest), context, strict);
  }
  if (resolved->is_constant()) {
    s.spend(resolved->constant_work());
    leave_evaluation(s);
    return resolved->constant_read();
  }
  return evaluate_planned(s, hooks, *resolved, context, strict, slots);
}

// The text rewritten from the start, as without plans.
[[gnu::noinline]] alg_value evaluate_rewritten(scope& s, plan_hooks* hooks, const alg_string& text,
                                               const alg_string& context, bool strict) {
  note_effect(hooks);
  alg_string rewritten = text;
  evaluate_text(s, rewritten, true);
  return operand_to_value(s, rewritten, context, strict);
}

// The text through its plan, once its evaluation is entered, left as the
// literal of its value (or as the rewriting leaves what the plan hands back).
void rewrite_planned(scope& s, plan_hooks& hooks, alg_string& text, const formula_plan& plan,
                     const slot_values* slots) {
  if (plan.is_constant()) {
    s.spend(plan.constant_work());
    text = literal_text(plan.constant_value());
    return;
  }
  plan_run run = run_plan(s, hooks, plan, slots);
  if (run.handed_back) {
    text = std::move(run.text);
    rewrite_text(s, text);
  } else {
    text = literal_text(run.written());
  }
}

}  // namespace

alg_value evaluate_translated(scope& s, const alg_string& text, const formula_plan* plan,
                              const alg_string& context, bool strict, const slot_values* slots) {
  plan_hooks* hooks = plans_of(s);
  if (hooks != nullptr && plan != nullptr && plan->is_constant()) {
    return evaluate_constant(s, text, *plan);
  }
  if (hooks == nullptr ||
      (plan == nullptr && (!text_holds_conditional(text) || text.char_at(1) != '('))) {
    return evaluate_rewritten(s, hooks, text, context, strict);
  }
  enter_evaluation(s, text);
  if (plan == nullptr) return evaluate_conditionals_first(s, *hooks, text, context, strict, slots);
  return evaluate_planned(s, *hooks, *plan, context, strict, slots);
}

void rewrite_translated(scope& s, alg_string& text, const formula_plan* plan,
                        const slot_values* slots) {
  plan_hooks* hooks = plans_of(s);
  if (plan == nullptr || hooks == nullptr) {
    evaluate_text(s, text, true);
    return;
  }
  enter_evaluation(s, text);
  rewrite_planned(s, *hooks, text, *plan, slots);
  leave_evaluation(s);
}

alg_value evaluate_group(scope& s, const alg_string& field) {
  plan_hooks* hooks = plans_of(s);
  if (hooks == nullptr) return evaluate_group(s, field, nullptr);
  const auto plan = hooks->group_plan(field);
  return evaluate_group(s, field, plan.get());
}

namespace {

// A field without a plan (or with plans off), rewritten.
[[gnu::noinline]] alg_value evaluate_group_rewritten(scope& s, plan_hooks* hooks,
                                                     const alg_string& field) {
  note_effect(hooks);
  // A field with no parenthesis of its own (a bound, a step, a plain
  // formula) is one group: what evaluate_text would do with it, without
  // building and scanning the text around it.
  const std::string_view bytes = field.view();
  if (bytes.find_first_of(std::string_view("()\0", 3)) == std::string_view::npos) {
    nesting_depths& depths = s.depths();
    depths.enter_reduction();
    if (depths.reductions > s.nesting_limit() || stack_running_low()) {
      throw z_x_stack_overflow(kOpen + field + kClose);
    }
    s.spend(field.length() + 2);
    alg_string content = field;
    const alg_string literal = literal_text(reduce_operators(s, content));
    s.spend(literal.length());
    leave_evaluation(s);
    return operand_to_value(s, literal, alg_string(), false);
  }
  alg_string text = kOpen + field + kClose;
  evaluate_text(s, text, true);
  return operand_to_value(s, text, alg_string(), false);
}

}  // namespace

alg_value evaluate_group(scope& s, const alg_string& field, const formula_plan* plan) {
  plan_hooks* hooks = plans_of(s);
  if (plan != nullptr && hooks != nullptr) {
    if (plan->is_constant()) return evaluate_constant(s, plan->source(), *plan);
    return evaluate_translated(s, plan->source(), plan, kNoContext, false);
  }
  return evaluate_group_rewritten(s, hooks, field);
}

std::optional<alg_string> expand_from_template(scope& s, const function_template& function,
                                               const call_args& args) {
  plan_hooks* hooks = plans_of(s);
  if (hooks == nullptr) return std::nullopt;
  const slot_values slots(args);
  if (!slots_fill_alone(function, slots) || s.depths().reductions >= s.nesting_limit()) {
    return std::nullopt;
  }
  const uint64_t length = template_expansion_length(s, function, slots);
  // One more evaluation, which nests within the limit (checked above).
  s.depths().enter_reduction();
  s.spend(length + 2);
  alg_string text;
  rewrite_planned(s, *hooks, text, *function.plan, &slots);
  leave_evaluation(s);
  return kOpen + text + kClose;
}
