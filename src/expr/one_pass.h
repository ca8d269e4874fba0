// The one-pass readers: the rewriting's fast forms that take a whole text
// or group in one pass instead of searching and copying it at every step.
// Each gives what the step-by-step rewriting beside it gives (the same
// text or value, the same errors, the same names looked up in the same
// order) and hands what it cannot follow back to that rewriting as the
// text stands; each is switched by its own fast_forms flag and tested
// against its step-by-step form. They count work as their own readers do
// (a long group's length once, a conditional reader's bytes in batches),
// which plans count alike.
#pragma once

#include <cstdint>

#include "base/alg_string.h"
#include "expr/scope.h"
#include "value/alg_value.h"

// Contents of this length and more are taken in one sweep; that counts their
// length once towards the work limit instead of at every operator.
inline constexpr uint32_t sweep_from_length = 64;

// The conditional reader counts the bytes it reads towards the work limit a
// batch of this many at a time (and what is left at the end).
inline constexpr uint64_t conditional_work_batch = 4096;

// What reduce_operators_stepwise gives for a group's content, in one sweep
// over its operands. False when the content holds what the sweep does not
// take (a NUL byte, a stray '~', an operand the scans would not take
// whole); `content` then holds the text as it stands at that step, for the
// stepwise form to go on from.
bool reduce_operators_in_one_sweep(scope& s, alg_string& content, alg_value& result);

// What the step-by-step rewriting of rewrite_text makes of the groups and
// calls of a text that holds no conditional, in one left-to-right pass.
// True when the text is done; false when it was handed back, as it stands,
// to the step-by-step rewriting (a conditional brought by a user function,
// a ")" without "(", a "(" never closed, a NUL byte).
bool reduce_groups_in_one_pass(scope& s, alg_string& text);

// A user function's text (it holds a "("), as reduce_groups_in_one_pass
// takes it where the call stood: its conditionals resolved, when it is
// balanced, and its length counted. False, with nothing more counted, when
// the pass hands the whole text back to the rewriting there instead.
bool splice_expansion(scope& s, alg_string& call);

// Resolves every conditional and choice of `text`, as repeating
// resolve_conditional while the text holds one would, in one pass. False,
// with the text untouched, when it holds a NUL byte.
bool resolve_conditionals_in_one_pass(scope& s, alg_string& text);
