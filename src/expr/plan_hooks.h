// plan_hooks: what plans need from the world around a formula beyond what
// the rewriting needs (expr/scope.h): the plans kept for texts, the user
// functions a call may expand in place, and where such calls are kept.
// Only the dispatcher and the plans use them; a scope without them
// (scope::plans() gives nullptr) is always rewritten.
#pragma once

#include <cstdint>
#include <memory>

#include "base/alg_string.h"

class call_memo;
class formula_plan;
struct function_template;

class plan_hooks {
 public:
  // The plan of a translated field evaluated as one group (nullptr: the
  // field is rewritten).
  virtual std::shared_ptr<const formula_plan> group_plan(const alg_string& field) {
    (void)field;
    return nullptr;
  }
  // The plan of a whole translated text, likewise.
  virtual std::shared_ptr<const formula_plan> text_plan(const alg_string& text) {
    (void)text;
    return nullptr;
  }
  // The plan of a user function's expansion, likewise.
  virtual std::shared_ptr<const formula_plan> expansion_plan(const alg_string& text) {
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
  ~plan_hooks() = default;
};
