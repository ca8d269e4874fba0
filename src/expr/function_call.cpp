#include "expr/function_call.h"

#include "base/alg_array.h"
#include "base/errors.h"
#include "base/thread_stack.h"
#include "expr/builtins.h"
#include "expr/evaluator.h"
#include "expr/limits.h"
#include "expr/operand.h"

void call_function(scope& s, alg_string& text, uint32_t open, uint32_t close,
                   const alg_string& name) {
  // Split at every comma; no parenthesis and no encoded literal holds one.
  alg_array<alg_string> args;
  const std::string_view inside = text.view().substr(open, close - open - 1);
  size_t start = 0;
  while (true) {
    const size_t comma = inside.find(',', start);
    const size_t end = comma == std::string_view::npos ? inside.size() : comma;
    args.push_back(alg_string("(") + alg_string(inside.substr(start, end - start)) + ")");
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  const uint32_t n = args.count();

  call_args values(n);
  for (uint32_t k = 1; k <= n; ++k) {
    reduce_group(s, args[k], 1, args[k].length());
    values[k] = operand_to_value(s, args[k], name, false);
  }

  const uint32_t from = open - name.length();
  alg_value result;
  if (call_builtin(name, values, n, result)) {
    text = text.splice(literal_text(result), from, close - from + 1);
    return;
  }
  // The call depth is lowered only when the call returns normally.
  if (++s.depths().calls > max_call_depth || ++s.expansions() > max_user_function_expansions ||
      stack_running_low()) {
    throw z_x_stack_overflow(name);
  }
  const alg_string out = s.call_user_function(name, values, n);
  text = text.splice(out, from, close - from + 1);
  --s.depths().calls;
}
