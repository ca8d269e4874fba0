// scope: what a formula sees around it. The evaluator keeps no state of its
// own; the value of a name, the call of a function that is no built-in and
// the nesting counters of the current host call all come from the scope it
// is handed. algorithm/ implements it for an environment within one call.
#pragma once

#include <cstdint>
#include <memory>

#include "base/alg_string.h"
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

class call_memo;
class formula_plan;
struct function_template;

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
  // The plan of a translated field evaluated as one group, when the scope
  // keeps plans (nullptr: the field is rewritten).
  virtual std::shared_ptr<const formula_plan> group_plan(const alg_string& field) {
    (void)field;
    return nullptr;
  }
  // The plan of a whole translated text, likewise.
  virtual std::shared_ptr<const formula_plan> text_plan(const alg_string& text) {
    (void)text;
    return nullptr;
  }
  // The template of the user function `name` (lower case) when a call of it
  // from here is expanded in place from this environment's own definition
  // (nullptr: the call is made as text). Raises what reading the
  // definition raises, as the call would.
  virtual const function_template* local_function(const alg_string& name) {
    (void)name;
    return nullptr;
  }
  // The plan of a user function's expansion, likewise.
  virtual std::shared_ptr<const formula_plan> expansion_plan(const alg_string& text) {
    (void)text;
    return nullptr;
  }
  // Where calls of the templates local_function gives are kept (nullptr:
  // nowhere), with what tells whether a call may be kept: a count of the
  // steps whose outcome may depend on more than the call's arguments
  // (names read, functions called through the text, random draws, texts
  // left to the rewriting), and the work counted so far in the host call.
  virtual call_memo* memo() { return nullptr; }
  virtual uint64_t effects() const { return 0; }
  virtual void note_effect() {}
  virtual uint64_t work_spent() const { return 0; }

 protected:
  ~scope() = default;
};
