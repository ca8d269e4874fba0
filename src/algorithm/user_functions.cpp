#include "algorithm/user_functions.h"

#include "algorithm/definitions.h"

#include "base/errors.h"
#include "base/tokens.h"
#include "expr/dispatch.h"
#include "expr/formula_plan.h"
#include "expr/translation_store.h"
#include "expr/translator.h"

namespace {

// A parameter spelled like the letters of an operator token would be
// substituted inside the token ("~add~" has "add" between delimiters) and
// silently corrupt the formula; such a definition is refused instead.
bool clashes_with_token(const alg_string& parameter) {
  return spelled_like_token(parameter.lower().view());
}

// A function's translated fields, split at its first call.
const prepared_fields& function_fields(env_frame& frame, uint32_t index, const alg_string& name) {
  return with_context(name, [&]() -> const prepared_fields& {
    return record_fields(frame.environment(), index, frame.call().translations());
  });
}

alg_string expand(env_frame& frame, uint32_t index, const alg_string& name, const call_args& args,
                  uint32_t n, bool reduce) {
  const prepared_fields& prepared = function_fields(frame, index, name);
  const alg_array<alg_string>& fields = prepared.fields;
  const uint32_t j = fields.count();
  if (j == 0) throw z_x_baddefinition(name);
  // Raised by this call itself: these pass without a label.
  if (n > j - 1) throw z_x_toomanyparameters(name);
  if (n < j - 1) throw z_x_toofewparameters(name);

  try {
    const function_template* function = prepared.function.get();
    if ((!reduce || !frame.solving()) && function != nullptr && function->parameters.size() == n) {
      // Rewritten through its template, from the arguments' values, with
      // the work and errors of the text written out below, when nothing
      // needs that text.
      if (std::optional<alg_string> expanded = expand_from_template(frame, *function, args)) {
        return std::move(*expanded);
      }
    }
    alg_string text = fields[1];
    for (uint32_t k = 1; k <= n; ++k) {
      const alg_string& parameter = fields[k + 1];
      if (clashes_with_token(parameter)) throw z_x_baddefinition(name);
      if (parameter.empty()) continue;  // an empty name stands nowhere in the formula
      frame.spend(text.length());
      text = replace_word(text, parameter, literal_text(args[k]));
    }
    if (!reduce || !frame.solving()) {
      // The fields lost their outer parentheses; the formula is rewritten as
      // one whole group in the environment that defines the function.
      // (A template took it above unless plans are off or the evaluation
      // nests too deep, which raises with this text.)
      text = alg_string("(") + text + ")";
      const auto plan = frame.expansion_plan(text);
      rewrite_translated(frame, text, plan.get());
    }
    return alg_string("(") + text + ")";
  } catch (...) {
    rethrow_with_context(name, true);
  }
}

}  // namespace

alg_string call_user_function(env_frame& frame, const alg_string& name, const call_args& args,
                              uint32_t n, bool reduce) {
  // Down the chain of base environments, iteratively (hosts may build long
  // chains). A function found in a base environment is always rewritten
  // there; what it raises is labelled once more by the calling environment's
  // guard, which changes nothing but an unlabelled parameter-count error
  // raised by the base's own check.
  call_context& call = frame.call();
  for (uint32_t p = frame.position(); call.reaches(p); ++p) {
    const alg_environment& e = call.environment(p);
    const uint32_t i = e.find_definition(name.view(), true);
    if (i == 0) continue;
    if (p == frame.position()) return expand(frame, i, name, args, n, reduce);
    try {
      env_frame found(call, p);
      return expand(found, i, name, args, n, false);
    } catch (...) {
      rethrow_with_context(name, true);
    }
  }
  if (!frame.has_base()) throw z_x_func_notdefined(name);
  try {
    throw z_x_func_notdefined(name);
  } catch (...) {
    rethrow_with_context(name, true);
  }
}

const function_template* local_function_template(env_frame& frame, const alg_string& name) {
  alg_environment& env = frame.environment();
  if (!frame.solving()) return nullptr;
  const uint32_t i = env.find_definition(name.view(), true);
  if (i == 0) return nullptr;
  return function_fields(frame, i, name).function.get();
}
