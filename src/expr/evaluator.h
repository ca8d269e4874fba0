// The evaluator: computes a formula by rewriting its operator form in place,
// innermost group first, until one literal is left. No tree and no value
// survives a step: each result is written back as literal text and read
// again by the next operator, so an operand's kind is the kind its literal reads as.
#pragma once

#include <cstdint>

#include "base/alg_string.h"
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

// Resolves every conditional and choice of `text`, as repeating
// resolve_conditional while the text holds one would, in one pass. False,
// with the text untouched, when it holds a NUL byte.
bool resolve_conditionals_in_one_pass(scope& s, alg_string& text);

// Replaces the first zek_if( call (or, when there is none, the first
// zek_choose( call) by its chosen argument, without computing the others.
void resolve_conditional(scope& s, alg_string& text);

// The value of the operators of a group's content (no parentheses in it):
// each applied in turn, the lowest level first, leftmost first, its operands
// and token replaced by the literal of its result, until one operand is left.
// `content` may be rewritten on the way. The stepwise form rewrites the text
// for every operator; the other takes long groups in one sweep over their
// operands, with the same result, the same errors and the same lookups.
alg_value reduce_operators(scope& s, alg_string& content);
alg_value reduce_operators_stepwise(scope& s, alg_string& content);

// The value of one field in operator form: "(" field ")" rewritten and read
// by the (non-strict) operand reader.
alg_value evaluate_group(scope& s, const alg_string& field);
