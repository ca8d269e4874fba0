// fast_forms: the faster ways an evaluation may take beside the reference
// rewriting (expr/evaluator.h). Each one gives what the reference gives for
// the same text (the same value, the same error, the same names looked up
// in the same order) and has a test that compares it with the reference.
// A host call takes the process's choice once, when it starts
// (algorithm/call_context.h), and hands it down through its scope.
#pragma once

struct fast_forms {
  bool plans = true;                     // formulas computed through plans (formula_plan.h)
  bool sweep = true;                     // a long group's operators in one sweep (one_pass.h)
  bool groups_in_one_pass = true;        // a text's groups and calls in one pass (one_pass.h)
  bool conditionals_in_one_pass = true;  // a text's conditionals in one pass (one_pass.h)

  // The reference alone: every fast form off.
  static constexpr fast_forms none() noexcept { return {false, false, false, false}; }
  bool operator==(const fast_forms&) const = default;
};

// The forms of this process: all on, unless the environment variable
// ZEKALG_REFERENCE_EVALUATOR is set when the library loads: "plans" turns
// plans off and leaves the one-pass readers on (what plans are compared
// with); anything else but "0" turns every fast form off. They are part of the engine's state
// (api/engine_state.h); a call reads them once, when it starts.
//
// The one-pass readers keep intermediate texts as values and count a long
// text's bytes once, where the step-by-step rewriting writes and copies the
// whole text at every step: they give what it gives for every formula
// within the limits, but a formula far beyond what authors write (texts
// near the length limit, groups of many thousands of operators) can reach
// the length or work limit without them and not with them. Plans count and
// hold what the one-pass readers count and hold, so plans are compared
// with the rewriting with its one-pass readers on (formula_plans_enabled
// below), and each one-pass reader with its step-by-step form.
fast_forms process_fast_forms();
void set_process_fast_forms(fast_forms forms);
// Whether plans are taken; switching them leaves the one-pass readers as
// they are.
bool formula_plans_enabled();
void set_formula_plans_enabled(bool on);
