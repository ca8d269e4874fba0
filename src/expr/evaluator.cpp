#include "expr/evaluator.h"

#include <cmath>
#include <vector>

#include "base/alg_array.h"
#include "base/errors.h"
#include "base/number_cast.h"
#include "base/tokens.h"
#include "expr/function_call.h"
#include "expr/math_helpers.h"
#include "expr/operand.h"
#include "base/tokens.h"
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
    char five[token_length];
    for (uint32_t k = 0; k < token_length; ++k) {
      const char c = bytes[at + k];
      five[k] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    const operator_token* t = token_named(std::string_view(five, token_length));
    if (t != nullptr && (best.row == nullptr || t->level < best.row->level)) {
      best = {static_cast<uint32_t>(at + 1), t};
      if (t->level == 1) break;
    }
  }
  return best;
}

alg_value integer(bool b) { return alg_value::of_integer(b ? 1 : 0); }

bool truth(const alg_value& v) { return v.as_integer() != 0; }

// Applies one operator to its operand values; checks run left value first.
alg_value apply(const operator_token& t, const alg_value& a, const alg_value& b) {
  const alg_string shown(t.shown);
  auto numbers = [&] {
    check_kind(a, "d", shown);
    check_kind(b, "d", shown);
  };
  switch (t.id) {
    case operator_id::not_:
      check_kind(b, "d", shown);
      return integer(b.as_integer() == 0);
    case operator_id::fac: {
      check_kind(a, "l", shown);
      const int32_t n = a.as_integer();
      if (n < 0) throw z_x_positive_required(shown);
      if (n > 170) throw z_x_factorial_too_high();
      return alg_value::of_real(zmath::factorial(n));
    }
    case operator_id::exp:
      numbers();
      return alg_value::of_real(std::pow(a.as_real(), b.as_real()));
    case operator_id::mul:
      numbers();
      return alg_value::of_real(a.as_real() * b.as_real());
    case operator_id::div:
      numbers();
      if (b.as_real() == 0) throw z_x_dividebyzero(shown);
      return alg_value::of_real(a.as_real() / b.as_real());
    case operator_id::idv: {
      numbers();
      const int32_t d = b.as_integer();
      if (d == 0) throw z_x_dividebyzero(shown);
      const int32_t n = a.as_integer();
      // The one quotient that does not fit wraps instead of trapping.
      if (n == INT32_MIN && d == -1) return alg_value::of_integer(INT32_MIN);
      return alg_value::of_integer(n / d);
    }
    case operator_id::mod:
      numbers();
      if (b.as_integer() == 0) throw z_x_dividebyzero(shown);
      return alg_value::of_real(std::fmod(a.as_real(), b.as_real()));
    case operator_id::rem: {
      numbers();
      if (b.as_integer() == 0) throw z_x_dividebyzero(shown);
      const double x = a.as_real(), y = b.as_real();
      const double q = x / y;
      const double t_ = q > 0 ? std::floor(q) : std::ceil(q);
      return alg_value::of_real(x - y * t_);
    }
    case operator_id::add:
      numbers();
      return alg_value::of_real(a.as_real() + b.as_real());
    case operator_id::sub:
      numbers();
      return alg_value::of_real(a.as_real() - b.as_real());
    case operator_id::cat:
      check_kind(a, "s", shown);
      check_kind(b, "s", shown);
      return alg_value::of_text(a.text() + b.text());
    case operator_id::lss:
      check_match(a, b, shown);
      return integer(values_less(a, b));
    case operator_id::grt:
      check_match(a, b, shown);
      return integer(values_greater(a, b));
    case operator_id::leq:
      check_match(a, b, shown);
      return integer(values_less_or_equal(a, b));
    case operator_id::geq:
      check_match(a, b, shown);
      return integer(values_greater_or_equal(a, b));
    case operator_id::eql:
      check_match(a, b, shown);
      return integer(values_equal(a, b));
    case operator_id::neq:
      check_match(a, b, shown);
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

// Raises the scope's reduction depth for one evaluate_text; it is lowered
// again only on the normal way out (a failed call leaves it raised).
void enter(scope& s, const alg_string& text) {
  if (++s.depths().reductions > s.nesting_limit()) throw z_x_stack_overflow(text);
}

}  // namespace

void evaluate_text(scope& s, alg_string& text, bool translated) {
  enter(s, text);
  if (!translated) translate_formula(text);
  while (text.char_at(1) == '(') {
    if (text.find(1, kIfCall, true) != 0 || text.find(1, kChooseCall, true) != 0) {
      resolve_conditional(s, text);
      continue;
    }
    // The innermost group: the first ")" and the nearest "(" before it.
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
  --s.depths().reductions;
}

void reduce_group(scope& s, alg_string& text, uint32_t open, uint32_t close) {
  alg_string content = text.mid(open + 1, close - open - 1);
  // Level by level, the leftmost token first. Applying an operator never
  // brings a token back (literals hold no '~'), so always taking the leftmost
  // token of the lowest level present is the same order, found in one pass.
  for (token_found found = next_token(content); found.row != nullptr;
       found = next_token(content)) {
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
    const alg_value result = apply(t, a, b);
    const uint32_t start = p - left.length();
    content = content.splice(literal_text(result), start,
                             left.length() + token_length + right.length());
  }
  const alg_value value = operand_to_value(s, content, alg_string(), false);
  text = text.splice(literal_text(value), open, close - open + 1);
}

void resolve_conditional(scope& s, alg_string& text) {
  uint32_t at = text.find(1, kIfCall, true);
  const bool conditional = at != 0;
  if (!conditional) at = text.find(1, kChooseCall, true);
  const alg_string name(conditional ? "if" : "choose");
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
  if (close == 0) throw z_x_missing_operand(name);
  commas.push_back(close);

  alg_array<alg_string> args;
  uint32_t start = open + 1;
  for (uint32_t comma : commas) {
    args.push_back(kOpen + text.mid(start, comma - start) + kClose);
    start = comma + 1;
  }
  const uint32_t n = args.count();
  if (n < 2) throw z_x_toofewparameters(name);

  alg_string first = args[1];
  evaluate_text(s, first, true);
  const alg_value selector = operand_to_value(s, first, name, false);
  check_kind(selector, "d", name);

  uint32_t chosen;
  if (conditional) {
    if (n < 3) throw z_x_toofewparameters(name);
    if (n > 3) throw z_x_toomanyparameters(name);
    chosen = truth(selector) ? 2 : 3;
  } else {
    const int32_t k = selector.as_integer();
    if (k < 1 || static_cast<uint32_t>(k) >= n) throw z_x_outofrange(name);
    chosen = static_cast<uint32_t>(k) + 1;
  }
  text = text.splice(args[chosen], at, close - at + 1);
}

alg_value evaluate_group(scope& s, const alg_string& field) {
  alg_string text = kOpen + field + kClose;
  evaluate_text(s, text, true);
  return operand_to_value(s, text, alg_string(), false);
}
