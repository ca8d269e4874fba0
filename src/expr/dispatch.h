// dispatch: the one seam between the reference rewriting (evaluator.h) and
// its fast forms. Every evaluation of a translated text enters here; the
// dispatcher alone reads the process's switch (fast_forms.h) and the
// scope's forms, chooses a plan or the rewriting, and carries on with the
// rewriting where a plan hands its text back.
//
// What a plan must give, for the choice to change nothing:
// - the value the rewriting gives, or the error it raises, with the same
//   message, from the same step;
// - the same names looked up, the same functions called and the same
//   random numbers drawn, in the same order;
// - the same work counted towards the work limit and the same nesting
//   counted towards the nesting limits, as the rewriting counts them with
//   its one-pass readers on (one_pass.h);
// - where it cannot follow the text, the text exactly as the rewriting
//   would have it at that step, handed back as a value.
#pragma once

#include <optional>

#include "base/alg_string.h"
#include "base/errors.h"
#include "base/thread_stack.h"
#include "expr/evaluator.h"
#include "expr/formula_plan.h"
#include "expr/scope.h"
#include "value/alg_value.h"
#include "value/call_args.h"

// The plan hooks of `s` when its forms take plans; nullptr: rewrite.
inline plan_hooks* plans_of(scope& s) { return s.forms().plans ? s.plans() : nullptr; }

// What evaluate_translated gives for `text` when its plan is constant: the
// nesting and work its evaluation counts, and the constant. A template, so
// that a caller holding the environment's own scope calls it directly.
template <typename Scope>
const alg_value& evaluate_constant(Scope& s, const alg_string& text, const formula_plan& plan) {
  nesting_depths& depths = s.depths();
  depths.enter_reduction();
  if (depths.reductions > s.nesting_limit() || stack_running_low()) {
    throw z_x_stack_overflow(text);
  }
  s.spend(text.length());
  s.spend(plan.constant_work());
  leave_evaluation(s);
  return plan.constant_read();
}

// What evaluate_text(s, text, true) and then operand_to_value(s, text,
// context, strict) give for the translated `text`, computed through `plan`
// (compiled from `text`) when it is given and the scope takes plans.
alg_value evaluate_translated(scope& s, const alg_string& text, const formula_plan* plan,
                              const alg_string& context, bool strict,
                              const slot_values* slots = nullptr);

// What evaluate_text(s, text, true) leaves of the translated `text`,
// computed through `plan` (compiled from `text`) when it is given and the
// scope takes plans: the literal of the value where the rewriting ends in one.
void rewrite_translated(scope& s, alg_string& text, const formula_plan* plan,
                        const slot_values* slots = nullptr);

// The value of one field in operator form: "(" field ")" rewritten and read
// by the (non-strict) operand reader, through the field's plan when the
// scope keeps one (or, in the second form, through `plan` when given).
alg_value evaluate_group(scope& s, const alg_string& field);
alg_value evaluate_group(scope& s, const alg_string& field, const formula_plan* plan);

// evaluate_group with `plan`, its constant taken straight from the scope
// `s` of a known type.
template <typename Scope>
alg_value evaluate_field(Scope& s, const alg_string& field, const formula_plan* plan) {
  if (plan != nullptr && plan->is_constant() && s.forms().plans) {
    return evaluate_constant(s, plan->source(), *plan);
  }
  return evaluate_group(s, field, plan);
}

// The text "(" expansion ")" a call of the user function `function` with
// args[1..n] leaves where it stood, made from its template: what replacing
// its parameters by the arguments' literals and rewriting the formula gives,
// with the same work and errors (unlabelled), without writing that text.
// std::nullopt, with nothing done, where the text replacement is needed: the
// scope takes no plans, an argument's literal holds a word a later
// parameter would replace, or the evaluation would nest too deep.
std::optional<alg_string> expand_from_template(scope& s, const function_template& function,
                                               const call_args& args);
