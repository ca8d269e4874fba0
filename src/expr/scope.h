// scope: what a formula sees around it. The evaluator keeps no state of its
// own; the value of a name, the call of a function that is no built-in, the
// nesting counters of the current host call and the fast forms it may take
// all come from the scope it is handed. algorithm/ implements it for an
// environment within one call. What only plans need is apart, in
// plan_hooks.h.
#pragma once

#include <cstdint>
#include <memory>

#include "base/alg_string.h"
#include "expr/fast_forms.h"
#include "value/alg_value.h"
#include "value/call_args.h"

// How deeply one environment's evaluations and user-function calls are
// nested in the current host call. A failed evaluation leaves them raised;
// they start at 0 with every call.
struct nesting_depths {
  int32_t reductions = 0;
  int32_t calls = 0;
  // The deepest `reductions` has been (see call_memo).
  int32_t peak = 0;
  void enter_reduction() noexcept {
    if (++reductions > peak) peak = reductions;
  }
};

class plan_hooks;

class scope {
 public:
  // The value of `name` as written (any case; reserved words included).
  // Raises z_x_var_notdefined and whatever evaluating its definition raises.
  virtual alg_value value_of(const alg_string& name) = 0;
  // The same for a name that is no reserved word, given lowered as well.
  virtual alg_value value_of_lowered(const alg_string& name, const alg_string& lowered) {
    (void)lowered;
    return value_of(name);
  }
  // The text that takes the place of a call of the user function `name`
  // (lower case) with args[1..n]. Raises z_x_func_notdefined, the count
  // errors and whatever rewriting the function raises.
  virtual alg_string call_user_function(const alg_string& name, const call_args& args,
                                        uint32_t n) = 0;
  // This environment's depths in the current call; hold no reference to
  // them across another call into the scope.
  virtual nesting_depths& depths() = 0;
  // The reduction nesting limit of this environment (see limits.h).
  virtual int32_t nesting_limit() const = 0;
  // User-function expansions made so far by the current host call.
  virtual int64_t& expansions() = 0;
  // Counts `bytes` of text rewritten towards the call's work limit; raises
  // z_x_work_limit past it.
  virtual void spend(uint64_t bytes) = 0;
  // The fast forms this scope's evaluations may take (see fast_forms.h).
  const fast_forms& forms() const noexcept { return forms_; }
  // What plans need besides (nullptr: this scope is always rewritten).
  plan_hooks* plans() const noexcept { return plans_; }

 protected:
  ~scope() = default;
  // Set by the scope's maker; read on every evaluation, so kept as data.
  fast_forms forms_;
  plan_hooks* plans_ = nullptr;
};
