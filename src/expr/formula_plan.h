// formula_plan: a translated formula read once into its groups, calls,
// operands and operators, and then computed on values instead of by
// rewriting its text.
//
// The rewriting stays what the language means. A plan takes the same steps
// in the same order: inner groups and calls left to right as their ")"
// comes, then each group's operators level by level, leftmost first, every
// operand read when its operator needs it (so names are looked up, and
// variables drawn, at the same moments). Every intermediate result goes
// through what writing its literal and reading it back would make of it.
// Where the text would take a turn the plan does not follow (a user
// function whose expansion holds a conditional, an operand that would not
// stand whole between its tokens), the plan writes out the text as it
// stands at that moment, and the rewriting carries on from there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/alg_array.h"
#include "base/alg_string.h"
#include "base/errors.h"
#include "base/tokens.h"
#include "expr/plan_hooks.h"
#include "expr/scope.h"
#include "value/alg_value.h"

namespace builtin_table {
struct entry;
}

class formula_plan {
 public:
  // One operand between tokens: static text around at most a few nested
  // groups or calls.
  struct cell {
    enum class kind : uint8_t { empty, literal, name, node, slot, composite };
    kind k = kind::empty;
    alg_value literal;  // literal: the value it reads as; name: a reserved word's value
    alg_string text;    // name: the operand text, signs included
    // name: the signs in front, the name as written after them and lowered,
    // and whether it is a reserved word
    uint32_t signs = 0;
    alg_string name;
    alg_string lowered;
    bool reserved = false;
    uint32_t length = 0;  // empty, literal, name: its length in the text
    uint32_t node = 0;    // node: the group or call that fills it; slot: the parameter
    // composite: static pieces and what follows each of them: a node (>= 0),
    // parameter k (-2 - k) or nothing (-1)
    std::vector<std::pair<alg_string, int64_t>> pieces;
  };

  // A group in parentheses, one argument of a call (no parentheses of its
  // own), a call of a built-in or user function, or a conditional (if) or
  // choice (choose), which becomes the group of the argument it chooses.
  struct node {
    enum class kind : uint8_t { group, argument, call, conditional, choice };
    kind k = kind::group;
    uint32_t begin = 0;  // its bytes in the source: [begin, end)
    uint32_t end = 0;
    std::vector<uint32_t> children;  // nodes inside it, in source order
    // group and argument:
    std::vector<cell> cells;
    std::vector<const operator_token*> tokens;  // tokens[i] lies after cells[i]
    std::vector<uint32_t> order;                // tokens in the order applied
    bool has_composite = false;                 // whether a cell is composite
    // call:
    alg_string name;  // lower case
    bool builtin = false;
    const builtin_table::entry* entry = nullptr;  // the built-in's row
    // conditional and choice: the first argument in parentheses, as it is
    // evaluated to choose, and its plan; a choice's first argument may hold
    // conditionals, which are resolved before it is evaluated.
    alg_string selector;
    std::shared_ptr<const formula_plan> selector_plan;
    bool selector_holds_conditional = false;
  };

  // The plan of a translated text, or nullptr when the text is not one
  // group in parentheses the plan can follow from its start (a conditional,
  // a NUL byte, unbalanced parentheses, stray '~', ...).
  // With `parameters` (lower case), every whole word of the text that
  // names one is a slot its argument's literal fills, as a user function's
  // parameters are replaced.
  static std::shared_ptr<const formula_plan> compile(
      const alg_string& text, int depth = 0, const std::vector<alg_string>* parameters = nullptr);

  // Where parameters stand in the text: byte position and parameter.
  struct slot {
    uint32_t at;
    uint32_t parameter;
  };
  const std::vector<slot>& slots() const { return slots_; }
  const std::vector<uint32_t>& parameter_lengths() const { return parameter_lengths_; }

  const alg_string& source() const { return source_; }
  const std::vector<node>& nodes() const { return nodes_; }
  // A text that computes the same whatever it is evaluated in: literals,
  // operators and built-ins other than rand, and no error (a bound, a step,
  // "3+4*2^2"). Its value, what its literal reads back as and the work the
  // rewriting counts for it are known in advance.
  bool is_constant() const { return constant_; }
  const alg_value& constant_value() const { return constant_value_; }
  const alg_value& constant_read() const { return constant_read_; }
  uint64_t constant_work() const { return constant_work_; }
  // Whether the text holds conditionals or choices (resolved first).
  bool has_conditionals() const { return conditionals_; }

 private:
  alg_string source_;
  std::vector<node> nodes_;  // nodes_[0] is the whole text
  bool constant_ = false;
  bool conditionals_ = false;
  std::vector<slot> slots_;
  std::vector<uint32_t> parameter_lengths_;
  alg_value constant_value_;
  alg_value constant_read_;
  uint64_t constant_work_ = 0;
  friend void fold_constant(formula_plan& plan);
  friend class plan_compiler;
};

// A user function compiled once: the plan of "(" formula ")" with its
// parameters as slots, for calls made while solving, whose expansion is
// read where the call stood. nullptr from make_function_template where the
// text replacement could do what slots do not (a parameter spelled like an
// operator, or holding a byte that ends a word).
struct function_template {
  std::shared_ptr<const formula_plan> plan;
  std::vector<alg_string> parameters;  // lower case, in order ("" for an empty one)
  std::vector<uint32_t> occurrences;   // how often each stands in the formula
  uint32_t formula_length = 0;
  uint64_t serial = 0;  // never the same for two templates (calls are kept by it)
};
// `serial` is the new template's (never the same for two templates).
std::shared_ptr<const function_template> make_function_template(const alg_array<alg_string>& fields,
                                                                uint64_t serial);

// The arguments of one call of a function template: their literals' reads
// and lengths, and the literals themselves once needed.
class slot_values;
// Whether no argument's literal holds a word that a later parameter would
// replace in turn (the template then stands for the text replacement).
bool slots_fill_alone(const function_template& function, const slot_values& slots);

class slot_values {
 public:
  explicit slot_values(const call_args& args);
  const alg_value& read(uint32_t k) const { return reads_[k]; }
  uint32_t length(uint32_t k) const { return lengths_[k]; }
  const alg_string& literal(uint32_t k) const;
  uint32_t count() const { return static_cast<uint32_t>(reads_.size()); }

 private:
  const call_args& args_;
  std::vector<alg_value> reads_;
  std::vector<uint32_t> lengths_;
  mutable std::vector<alg_string> literals_;
  mutable std::vector<uint8_t> written_;
};

// What running a plan came to: its result (the value whose literal takes
// the text's place, what that literal reads back as, and its length), or,
// where the text takes a turn the plan does not follow, the text as it
// stands at that moment, for the rewriting to carry on from.
struct plan_run {
  bool handed_back = false;
  alg_value value;  // empty for a text, whose literal reads back as itself
  alg_value read;
  uint32_t length = 0;
  alg_string text;  // handed back
  // The value whose literal takes the text's place.
  const alg_value& written() const { return read.is_text() ? read : value; }
};

// Runs `plan` (not constant) on the scope, with the arguments in `slots`
// when the plan has slots, once its evaluation is entered: the depth and
// the text's length are the caller's to count. A hand-back is a value,
// never an exception; what the text raises is raised.
plan_run run_plan(scope& s, plan_hooks& hooks, const formula_plan& plan,
                  const slot_values* slots = nullptr);

// What replacing the parameters of `function` by the literals of its
// arguments counts towards the work limit and raises (unlabelled), done on
// lengths: the length of the formula with the arguments in it.
uint64_t template_expansion_length(scope& s, const function_template& function,
                                   const slot_values& slots);
