// The z_x_ error family: every failure inside the engine is one of these.
// Container and resource errors carry no text; algorithm errors carry the
// complete English `message` for the host and a `context` naming the variable
// or user function whose evaluation first caught them (empty until then).
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "base/alg_string.h"

class z_x_exception : public std::exception {};

class z_x_string : public z_x_exception {};
class z_x_outofstringspace : public z_x_string {};
class z_x_illegal_index : public z_x_string {};

class z_x_outofmemory : public z_x_exception {};

class z_x_array : public z_x_exception {};
class z_x_outofbounds : public z_x_array {};
class z_x_arraynotsized : public z_x_array {};

class z_x_hasherror : public z_x_exception {};
class z_x_nodeerror : public z_x_hasherror {};

class z_x_algorithm : public z_x_exception {
 public:
  z_x_algorithm() = default;
  z_x_algorithm(alg_string message, alg_string context)
      : message(std::move(message)), context(std::move(context)) {}

  alg_string message;
  alg_string context;

 protected:
  // Long form with `x` (operator tokens shown as written) when x is not
  // empty, else the short form.
  z_x_algorithm(const alg_string& x, const char* before, const char* after, const char* short_form);
};

// Declares a class of the algorithm branch whose message is
// before + X + after, or short_form when X is empty.
#define ZEKALG_ALGORITHM_ERROR(name, base, before, after, short_form)                         \
  class name : public base {                                                                  \
   public:                                                                                    \
    explicit name(const alg_string& x = alg_string()) : base(x, before, after, short_form) {} \
                                                                                              \
   protected:                                                                                 \
    using base::base;                                                                         \
  };

ZEKALG_ALGORITHM_ERROR(z_x_dividebyzero, z_x_algorithm, "error while evaluating '",
                       "': division by zero", "division by zero")
ZEKALG_ALGORITHM_ERROR(z_x_wrongtype, z_x_algorithm, "error while evaluating '", "': wrong type",
                       "wrong type")
ZEKALG_ALGORITHM_ERROR(z_x_positive_required, z_x_wrongtype, "error while evaluating '",
                       "': positive number required", "positive number required")
ZEKALG_ALGORITHM_ERROR(z_x_integer_required, z_x_wrongtype, "error while evaluating '",
                       "': integer required", "integer required")
ZEKALG_ALGORITHM_ERROR(z_x_number_required, z_x_wrongtype, "error while evaluating '",
                       "': number required", "number required")
ZEKALG_ALGORITHM_ERROR(z_x_string_required, z_x_wrongtype, "error while evaluating '",
                       "': string required", "string required")
ZEKALG_ALGORITHM_ERROR(z_x_match_required, z_x_wrongtype, "error while evaluating '",
                       "': argument types must match", "argument types must match")
ZEKALG_ALGORITHM_ERROR(z_x_outofrange, z_x_algorithm, "error while evaluating '",
                       "': index of out range", "index of out range")
ZEKALG_ALGORITHM_ERROR(z_x_toomanyparameters, z_x_algorithm, "error while calling '",
                       "': too many parameters", "too many parameters")
ZEKALG_ALGORITHM_ERROR(z_x_toofewparameters, z_x_algorithm, "error while calling '",
                       "': too few parameters", "too few parameters")
ZEKALG_ALGORITHM_ERROR(z_x_stack_overflow, z_x_algorithm, "error in '", "': stack overflow",
                       "stack overflow")
ZEKALG_ALGORITHM_ERROR(z_x_baddefinition, z_x_algorithm, "invalid definition for ", "",
                       "invalid definition")
// The two forms name the words in opposite orders; hosts match on both.
ZEKALG_ALGORITHM_ERROR(z_x_missing_operand, z_x_algorithm, "error while evaluating '",
                       "': illegal/missing operand", "missing/illegal operand")
ZEKALG_ALGORITHM_ERROR(z_x_func_notdefined, z_x_algorithm, "function '", "' not defined",
                       "function not defined")
ZEKALG_ALGORITHM_ERROR(z_x_var_notdefined, z_x_algorithm, "variable '", "' not defined",
                       "variable not defined")
ZEKALG_ALGORITHM_ERROR(z_x_endlessloop, z_x_algorithm, "endless loop: '", "' refers to itself",
                       "endless loop")
ZEKALG_ALGORITHM_ERROR(z_x_condition_not_satisfied, z_x_algorithm, "condition ",
                       " could not be satisfied", "condition could not be satisfied")

#undef ZEKALG_ALGORITHM_ERROR

// Runs a step that builds text and turns a failed allocation into the
// engine's own string error. Callers assign their result only after the step
// succeeded, so a failure leaves the target as it was.
template <typename F>
auto with_string_space(F&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    throw z_x_outofstringspace();
  } catch (const std::length_error&) {
    throw z_x_outofstringspace();
  }
}

// Has no X: always "factorial operand exceeds 170".
class z_x_factorial_too_high : public z_x_algorithm {
 public:
  z_x_factorial_too_high();
};

// Has no X: a host call did more evaluation work than any real algorithm
// needs (see expr/limits.h), and was stopped.
class z_x_work_limit : public z_x_algorithm {
 public:
  z_x_work_limit();
};

// The context handlers shared by named-variable evaluation and user-function
// calls. They run `body`; an algorithm error without context gets `name` as
// its context and "name: " in front of its message and travels on as a plain
// z_x_algorithm; any other failure becomes "name: unexpected error occurred".
// With `keep_count_errors`, parameter-count errors are labelled the same way
// but keep their class (user-function calls need this).
[[noreturn]] void rethrow_with_context(const alg_string& name, bool keep_count_errors = false);

template <typename F>
auto with_context(const alg_string& name, F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    rethrow_with_context(name);
  }
}
