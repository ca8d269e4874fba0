#include "expr/evaluator.h"

#include <cmath>
#include <vector>

#include "base/alg_array.h"
#include "base/errors.h"
#include "base/math_calls.h"
#include "base/number_cast.h"
#include "base/thread_stack.h"
#include "base/tokens.h"
#include "expr/function_call.h"
#include "expr/math_helpers.h"
#include "expr/one_pass.h"
#include "expr/operand.h"
#include "expr/translator.h"
#include "value/checks.h"

namespace {

// Small fixed texts used on every step; built once.
const alg_string kIfCall("zek_if(");
const alg_string kChooseCall("zek_choose(");
const alg_string kOpen("(");
const alg_string kClose(")");

struct token_found {
  uint32_t pos = 0;  // 0: none
  const operator_token* row = nullptr;
};

// The leftmost token of the lowest level in `content` (tokens matched
// without regard to case, the text read up to its first NUL, as the
// searches of the level tables would).
token_found next_token(const alg_string& content) {
  const std::string_view bytes(content.c_str());
  token_found best;
  for (size_t at = bytes.find('~'); at != std::string_view::npos; at = bytes.find('~', at + 1)) {
    if (at + token_length > bytes.size()) break;
    const operator_token* t = token_starting_at(bytes, at);
    if (t != nullptr && (best.row == nullptr || t->level < best.row->level)) {
      best = {static_cast<uint32_t>(at + 1), t};
      if (t->level == 1) break;
    }
  }
  return best;
}

alg_value integer(bool b) { return alg_value::of_integer(b ? 1 : 0); }

bool truth(const alg_value& v) { return v.as_integer() != 0; }

}  // namespace

const operator_token* token_starting_at(std::string_view bytes, size_t at) {
  char five[token_length];
  for (uint32_t k = 0; k < token_length; ++k) {
    const char c = bytes[at + k];
    five[k] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return token_named(std::string_view(five, token_length));
}

alg_value apply_operator(const operator_token& t, const alg_value& a, const alg_value& b) {
  // The shown form is what an error quotes: looked up only then.
  const auto shown = [&t]() -> const alg_string& { return token_shown(t.id); };
  auto numbers = [&] {
    if (!a.is_number() || !b.is_number()) kind_required('d', shown());
  };
  switch (t.id) {
    case operator_id::not_:
      check_kind(b, "d", shown());
      return integer(b.as_integer() == 0);
    case operator_id::fac: {
      check_kind(a, "l", shown());
      const int32_t n = a.as_integer();
      if (n < 0) throw z_x_positive_required(shown());
      if (n > 170) throw z_x_factorial_too_high();
      return alg_value::of_real(zmath::factorial(n));
    }
    case operator_id::exp:
    case operator_id::mul:
    case operator_id::div:
    case operator_id::add:
    case operator_id::sub: {
      numbers();
      double result = 0;
      if (!plain_arithmetic(t.id, a.as_real(), b.as_real(), result)) {
        throw z_x_dividebyzero(shown());
      }
      return alg_value::of_real(result);
    }
    case operator_id::idv: {
      numbers();
      const int32_t d = b.as_integer();
      if (d == 0) throw z_x_dividebyzero(shown());
      const int32_t n = a.as_integer();
      // The one quotient that does not fit wraps instead of trapping.
      if (n == INT32_MIN && d == -1) return alg_value::of_integer(INT32_MIN);
      return alg_value::of_integer(n / d);
    }
    case operator_id::mod:
      numbers();
      if (b.as_integer() == 0) throw z_x_dividebyzero(shown());
      return alg_value::of_real(mcall::fmod(a.as_real(), b.as_real()));
    case operator_id::rem: {
      numbers();
      if (b.as_integer() == 0) throw z_x_dividebyzero(shown());
      const double x = a.as_real(), y = b.as_real();
      const double q = x / y;
      const double t_ = q > 0 ? std::floor(q) : std::ceil(q);
      return alg_value::of_real(x - y * t_);
    }
    case operator_id::cat:
      check_kind(a, "s", shown());
      check_kind(b, "s", shown());
      return alg_value::of_text(a.text() + b.text());
    case operator_id::lss:
      check_match(a, b, shown());
      return integer(values_less(a, b));
    case operator_id::grt:
      check_match(a, b, shown());
      return integer(values_greater(a, b));
    case operator_id::leq:
      check_match(a, b, shown());
      return integer(values_less_or_equal(a, b));
    case operator_id::geq:
      check_match(a, b, shown());
      return integer(values_greater_or_equal(a, b));
    case operator_id::eql:
      check_match(a, b, shown());
      return integer(values_equal(a, b));
    case operator_id::neq:
      check_match(a, b, shown());
      return integer(values_not_equal(a, b));
    case operator_id::eqv:
      numbers();
      return integer(truth(a) == truth(b));
    case operator_id::and_:
      numbers();
      return integer(truth(a) && truth(b));
    case operator_id::ior:
      numbers();
      return integer(truth(a) || truth(b));
    case operator_id::xor_:
      numbers();
      return integer(a.as_integer() != b.as_integer());
    case operator_id::imp:
      numbers();
      return integer(!truth(a) || truth(b));
  }
  return {};
}

namespace {

// Raises the scope's reduction depth for one evaluate_text; it is lowered
// again only on the normal way out (a failed call leaves it raised).
void enter(scope& s, const alg_string& text) {
  nesting_depths& depths = s.depths();
  depths.enter_reduction();
  if (depths.reductions > s.nesting_limit() || stack_running_low()) {
    throw z_x_stack_overflow(text);
  }
  s.spend(text.length());
}

// Every ")" closes a "(" before it, and every "(" is closed.
bool balanced(std::string_view text) {
  int64_t depth = 0;
  for (const char c : text) {
    if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth < 0) {
      return false;
    }
  }
  return depth == 0;
}

bool holds_conditional(const alg_string& text) {
  return text.find(1, kIfCall, true) != 0 || text.find(1, kChooseCall, true) != 0;
}

}  // namespace

// The argument (1..n) a conditional (or, with `conditional` false, a
// choice) of n arguments takes; `first` is its first argument in
// parentheses. Evaluates it and raises the count, kind and range errors in
// the order the language has them.
uint32_t choose_argument(scope& s, bool conditional, alg_string first, uint32_t n) {
  check_choice_count(conditional, n);
  evaluate_text(s, first, true);
  return chosen_argument(conditional, operand_to_value(s, first, choice_name(conditional), false),
                         n);
}

const alg_string& choice_name(bool conditional) {
  static const alg_string kIf("if");
  static const alg_string kChoose("choose");
  return conditional ? kIf : kChoose;
}

void check_choice_count(bool conditional, uint32_t n) {
  if (n < 2) throw z_x_toofewparameters(choice_name(conditional));
}

uint32_t chosen_argument(bool conditional, const alg_value& selector, uint32_t n) {
  const alg_string& name = choice_name(conditional);
  check_kind(selector, "d", name);
  if (conditional) {
    if (n < 3) throw z_x_toofewparameters(name);
    if (n > 3) throw z_x_toomanyparameters(name);
    return truth(selector) ? 2 : 3;
  }
  const int32_t k = selector.as_integer();
  if (k < 1 || static_cast<uint32_t>(k) >= n) throw z_x_outofrange(name);
  return static_cast<uint32_t>(k) + 1;
}

void enter_evaluation(scope& s, const alg_string& text) { enter(s, text); }

bool text_holds_conditional(const alg_string& text) { return holds_conditional(text); }

bool parentheses_balanced(std::string_view text) { return balanced(text); }

void evaluate_text(scope& s, alg_string& text, bool translated) {
  enter(s, text);
  if (!translated) translate_formula(text);
  rewrite_text(s, text);
  leave_evaluation(s);
}

void rewrite_text(scope& s, alg_string& text) {
  const fast_forms forms = s.forms();
  while (text.char_at(1) == '(') {
    if (holds_conditional(text)) {
      if (forms.conditionals_in_one_pass && resolve_conditionals_in_one_pass(s, text)) continue;
      s.spend(text.length());
      resolve_conditional(s, text);
      continue;
    }
    if (forms.groups_in_one_pass) {
      if (reduce_groups_in_one_pass(s, text)) break;
      // Handed back: a conditional first, else one step of the rewriting.
      if (holds_conditional(text)) continue;
      if (text.char_at(1) != '(') break;
    }
    // The innermost group: the first ")" and the nearest "(" before it.
    s.spend(text.length());
    const uint32_t close = text.find(1, kClose, false);
    if (close == 0) throw z_x_missing_operand(text);  // a "(" that is never closed
    uint32_t open = close - 1;
    while (open > 0 && text.char_at(open) != '(') --open;
    const alg_string name = name_before(text, open).lower();
    if (!name.empty()) {
      call_function(s, text, open, close, name);
    } else {
      reduce_group(s, text, open, close);
    }
  }
}

void reduce_group(scope& s, alg_string& text, uint32_t open, uint32_t close) {
  alg_string content = text.mid(open + 1, close - open - 1);
  const alg_value value = reduce_operators(s, content);
  text = text.splice(literal_text(value), open, close - open + 1);
}

alg_value reduce_operators_stepwise(scope& s, alg_string& content) {
  // Level by level, the leftmost token first. Applying an operator never
  // brings a token back (literals hold no '~'), so always taking the leftmost
  // token of the lowest level present is the same order, found in one pass.
  for (token_found found = next_token(content); found.row != nullptr; found = next_token(content)) {
    s.spend(content.length());
    const uint32_t p = found.pos;
    const operator_token& t = *found.row;
    alg_string left, right;
    extract_operands(content, p, scan_mode::evaluator, left, right);
    if (!t.takes_left) left = alg_string();
    if (!t.takes_right) right = alg_string();
    const alg_string shown(t.shown);
    alg_value a, b;
    if (t.takes_left) a = operand_to_value(s, left, shown, false);
    if (t.takes_right) b = operand_to_value(s, right, shown, false);
    const alg_value result = apply_operator(t, a, b);
    const uint32_t start = p - left.length();
    content =
        content.splice(literal_text(result), start, left.length() + token_length + right.length());
  }
  return operand_to_value(s, content, alg_string(), false);
}

alg_value reduce_operators(scope& s, alg_string& content) {
  alg_value value;
  if (content.length() >= sweep_from_length && s.forms().sweep &&
      reduce_operators_in_one_sweep(s, content, value)) {
    return value;
  }
  return reduce_operators_stepwise(s, content);
}

void resolve_conditional(scope& s, alg_string& text) {
  uint32_t at = text.find(1, kIfCall, true);
  const bool conditional = at != 0;
  if (!conditional) at = text.find(1, kChooseCall, true);
  const uint32_t open = at + (conditional ? 6 : 10);

  // The matching ")" and the commas outside inner parentheses.
  std::vector<uint32_t> commas;
  uint32_t close = 0;
  int depth = 1;
  for (uint32_t i = open + 1; i <= text.length(); ++i) {
    const int c = text.char_at(i);
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) {
        close = i;
        break;
      }
    } else if ((c == ',') && depth == 1) {
      commas.push_back(i);
    }
  }
  // A call whose ")" never comes cannot be split into its arguments.
  if (close == 0) throw z_x_missing_operand(choice_name(conditional));
  commas.push_back(close);

  alg_array<alg_string> args;
  uint32_t start = open + 1;
  for (uint32_t comma : commas) {
    args.push_back(kOpen + text.mid(start, comma - start) + kClose);
    start = comma + 1;
  }
  text =
      text.splice(args[choose_argument(s, conditional, args[1], args.count())], at, close - at + 1);
}
