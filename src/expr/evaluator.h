// The evaluator: the reference rewriting, which says what a formula means.
// It computes a formula by rewriting its operator form in place, innermost
// group first, until one literal is left. No tree and no value survives a
// step: each result is written back as literal text and read again by the
// next operator, so an operand's kind is the kind its literal reads as.
// It knows nothing of plans; the dispatcher (dispatch.h) chooses between it
// and them.
#pragma once

#include <cstdint>

#include <string_view>

#include "base/alg_string.h"
#include "base/math_calls.h"
#include "base/tokens.h"
#include "expr/scope.h"
#include "value/alg_value.h"

// Rewrites `text` until it no longer begins with "(" (translating it first
// unless `translated`). Raises z_x_stack_overflow past the scope's nesting
// limit.
void evaluate_text(scope& s, alg_string& text, bool translated);

// Computes the operators between the "(" at `open` and its ")" at `close`
// (no parenthesis between them) and replaces the whole group by the literal
// of its value.
void reduce_group(scope& s, alg_string& text, uint32_t open, uint32_t close);

// Replaces the first zek_if( call (or, when there is none, the first
// zek_choose( call) by its chosen argument, without computing the others.
void resolve_conditional(scope& s, alg_string& text);

// The value of the operators of a group's content (no parentheses in it):
// each applied in turn, the lowest level first, leftmost first, its operands
// and token replaced by the literal of its result, until one operand is left.
// `content` may be rewritten on the way. The stepwise form rewrites the text
// for every operator; reduce_operators takes long groups in one sweep over
// their operands when the scope's forms allow (one_pass.h), with the same
// result, the same errors and the same lookups.
alg_value reduce_operators(scope& s, alg_string& content);
alg_value reduce_operators_stepwise(scope& s, alg_string& content);

// The argument (1..n) a conditional (or, with `conditional` false, a
// choice) of n arguments takes; `first` is its first argument in
// parentheses. Rewrites and reads it and raises the count, kind and range
// errors in the order the language has them.
uint32_t choose_argument(scope& s, bool conditional, alg_string first, uint32_t n);

// The rule of conditionals and choices, for every form that resolves them:
// the name their errors carry ("if" or "choose"); the count error raised
// before the first argument is evaluated; and, from that argument's value,
// the argument (1..n) taken, or the kind, count or range error.
const alg_string& choice_name(bool conditional);
void check_choice_count(bool conditional, uint32_t n);
uint32_t chosen_argument(bool conditional, const alg_value& selector, uint32_t n);

// The row of the operator token whose five bytes start at `at` (at + 5 <=
// size), matched without regard to case, or nullptr.
const operator_token* token_starting_at(std::string_view bytes, size_t at);

// One operator applied to its operand values (the left one is checked
// first); `a` or `b` is ignored when the operator takes no such operand.
alg_value apply_operator(const operator_token& t, const alg_value& a, const alg_value& b);

// The arithmetic of ^, *, /, + and - on two numbers (as reals), which
// raises no error: false for any other operator and for a division by 0,
// which apply_operator reports.
inline bool plain_arithmetic(operator_id id, double a, double b, double& result) noexcept {
  switch (id) {
    case operator_id::exp:
      result = mcall::pow(a, b);
      return true;
    case operator_id::mul:
      result = a * b;
      return true;
    case operator_id::div:
      if (b == 0) return false;
      result = a / b;
      return true;
    case operator_id::add:
      result = a + b;
      return true;
    case operator_id::sub:
      result = a - b;
      return true;
    default:
      return false;
  }
}

// Rewrites a translated text as evaluate_text does once it has entered: the
// loop over conditionals, groups and calls, without raising the depth. The
// one-pass readers the scope's forms allow take what they can follow.
void rewrite_text(scope& s, alg_string& text);

// Raises the scope's reduction depth for one evaluation of `text` and counts
// its bytes, as evaluate_text does on entry; the caller lowers the depth on
// its normal way out, with leave_evaluation.
void enter_evaluation(scope& s, const alg_string& text);
// Lowers the depth an evaluation raised, on its normal way out. Not a scoped
// guard, on purpose: a failed evaluation leaves its depth raised, as the
// language counts it, until the host call ends.
template <typename Scope>
inline void leave_evaluation(Scope& s) noexcept {
  --s.depths().reductions;
}

// Whether `text` holds a zek_if( or zek_choose( call (in any case).
bool text_holds_conditional(const alg_string& text);

// Whether every ")" of `text` closes a "(" before it and every "(" is closed.
bool parentheses_balanced(std::string_view text);
