#include "tools/grading.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

#include "tools/documents.h"
#include "tools/encoding.h"
#include "tools/json_writer.h"
#include "zekalg/zekalg.hpp"

namespace tools {
namespace {

// Engine bytes a student's answer is read with (Windows-1252).
constexpr char kEnDash = '\x96';
constexpr char kNoBreakSpace = '\xA0';
constexpr char kTimes = '\xD7';
constexpr char kMiddleDot = '\xB7';

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == kNoBreakSpace;
}
bool is_minus(char c) { return c == '-' || c == kEnDash; }

std::string trimmed(const std::string& s) {
  std::size_t first = 0;
  std::size_t last = s.size();
  while (first < last && is_space(s[first])) ++first;
  while (last > first && is_space(s[last - 1])) --last;
  return s.substr(first, last - first);
}

// Letter case folded for the Latin letters of the code page.
char folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
  if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 16);  // Š Œ Ž
  if (u == 0x9F) return '\xFF';                                               // Ÿ
  return c;
}

// A text as answers are compared: spaces at both ends dropped, and the
// engine's en dash taken as the hyphen students type (a front end that
// shows plain minus signs gets its own texts back). `loose` also drops
// every space and folds letter case.
std::string comparable(const std::string& text, bool loose) {
  std::string out;
  for (const char c : trimmed(text)) {
    if (loose && is_space(c)) continue;
    const char plain = c == kEnDash ? '-' : c;
    out += loose ? folded(plain) : plain;
  }
  return out;
}

// Digits separated by `mark` into groups of three after a first of one to
// three ("12,345,678"): the digits, or nothing.
std::optional<std::string> grouped_digits(const std::string& text, char mark) {
  std::string digits;
  std::size_t group = 0;
  bool first = true;
  for (const char c : text) {
    if (c == mark) {
      if ((first && (group == 0 || group > 3)) || (!first && group != 3)) return std::nullopt;
      first = false;
      group = 0;
      continue;
    }
    if (!is_digit(c)) return std::nullopt;
    digits += c;
    ++group;
  }
  if (first || group != 3 || digits.front() == '0') return std::nullopt;
  return digits;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

part_verdict by(bool right) {
  return {right ? part_verdict::kind::right : part_verdict::kind::wrong, {}};
}

part_verdict unreadable(std::string reason) {
  return {part_verdict::kind::unreadable, std::move(reason)};
}

part_verdict grade_number(const part_view& part, const question_part& declared,
                          const std::string& response) {
  const std::optional<written_number> shown =
      part.value ? read_shown_number(part.answer) : std::nullopt;
  if (!shown) {
    // A text, nan or inf: only what the variable shows is right.
    return by(comparable(response, false) == comparable(part.answer, false));
  }
  std::string reason;
  const std::optional<written_number> typed =
      read_typed_number(response, part.answer.find(',') != std::string::npos, &reason);
  if (!typed) return unreadable(reason);
  return judge_number(declared.tol, *part.value, *shown, *typed);
}

part_verdict grade_choice(const part_view& part, const std::string& response) {
  const std::string typed = comparable(response, false);
  const std::size_t n = part.options.size();
  const std::string how = "give an option as shown, or its position from 1 to " + std::to_string(n);
  if (typed.empty()) return unreadable(how);
  std::optional<std::size_t> by_text;
  for (std::size_t i = 0; i < n && !by_text; ++i) {
    if (comparable(part.options[i], false) == typed) by_text = i;
  }
  std::optional<std::size_t> by_position;
  if (typed.size() <= 3 && std::all_of(typed.begin(), typed.end(), is_digit)) {
    const std::size_t k = static_cast<std::size_t>(std::stoi(typed));
    if (k >= 1 && k <= n) by_position = k - 1;
  }
  // An option's own text wins over a position: a front end that sends the
  // text is never misread, whatever the options hold.
  if (by_text) {
    return by(typed ==
              comparable(part.options[static_cast<std::size_t>(part.right_option - 1)], false));
  }
  if (by_position) return by(static_cast<int>(*by_position) + 1 == part.right_option);
  return unreadable(how);
}

// A declared variable's place: where the engine's message points, else the
// declaration.
placed_message placed(const std::string& message, const algorithm_file& file,
                      const algorithm_file* base, int declared_at) {
  placed_message at{0, file.line_of_message(message), message};
  if (at.line == 0 && base != nullptr) {
    at.line = base->line_of_message(message);
    if (at.line != 0) at.level = 1;
  }
  if (at.line == 0) at.line = declared_at;
  return at;
}

const char* kind_name(question_part::kind k) {
  return k == question_part::kind::numeric ? "numeric"
         : k == question_part::kind::text  ? "text"
                                           : "choice";
}

const char* result_name(part_verdict::kind k) {
  return k == part_verdict::kind::right   ? "right"
         : k == part_verdict::kind::wrong ? "wrong"
                                          : "unreadable";
}

}  // namespace

std::optional<written_number> read_typed_number(const std::string& response, bool grouped,
                                                std::string* reason) {
  const auto fail = [&](std::string why) -> std::optional<written_number> {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  const std::string s = trimmed(response);
  if (s.empty()) return fail("give a number");
  std::size_t i = 0;
  const auto skip_spaces = [&] {
    while (i < s.size() && is_space(s[i])) ++i;
  };
  const auto sign = [&]() -> std::string {
    if (i < s.size() && (is_minus(s[i]) || s[i] == '+')) return s[i++] == '+' ? "" : "-";
    return "";
  };
  const std::string negative = sign();
  skip_spaces();
  const std::size_t start = i;
  while (i < s.size() && (is_digit(s[i]) || s[i] == '.' || s[i] == ',')) ++i;
  const std::string mantissa = s.substr(start, i - start);

  // The exponent: e-4, or times ten to a power (x, *, the multiplication
  // sign or the middle dot, then 10^-4).
  std::string exponent;
  skip_spaces();
  if (i < s.size()) {
    const char c = s[i];
    bool power = c == 'e' || c == 'E';
    if (!power && (c == 'x' || c == 'X' || c == '*' || c == kTimes || c == kMiddleDot)) {
      ++i;
      skip_spaces();
      if (s.compare(i, 2, "10") != 0) return fail("not a number");
      i += 2;
      skip_spaces();
      if (i >= s.size() || s[i] != '^') return fail("not a number");
      power = true;
    }
    if (!power) return fail("not a number");
    ++i;
    skip_spaces();
    const bool bracket = i < s.size() && s[i] == '(';
    if (bracket) ++i;
    exponent = sign();
    const std::size_t digits = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == digits || i - digits > 4) return fail("not a number");
    exponent += s.substr(digits, i - digits);
    if (bracket) {
      if (i >= s.size() || s[i] != ')') return fail("not a number");
      ++i;
    }
    skip_spaces();
    if (i != s.size()) return fail("not a number");
  }

  // The decimal mark. With both a comma and a point, the last one is it
  // and the other groups thousands. With one kind of mark, twice or more
  // groups thousands; once, a point is the decimal mark, and so is a comma
  // unless three digits follow it, when it could also group them: 1,234
  // is refused rather than guessed.
  const std::size_t commas =
      static_cast<std::size_t>(std::count(mantissa.begin(), mantissa.end(), ','));
  const std::size_t points =
      static_cast<std::size_t>(std::count(mantissa.begin(), mantissa.end(), '.'));
  std::string whole = mantissa;
  std::optional<std::string> fraction;
  char grouping = 0;
  if (commas > 0 && points > 0) {
    const std::size_t mark = mantissa.find_last_of(".,");
    const char decimal = mantissa[mark];
    if ((decimal == '.' ? points : commas) != 1) return fail("not a number");
    grouping = decimal == '.' ? ',' : '.';
    whole = mantissa.substr(0, mark);
    fraction = mantissa.substr(mark + 1);
  } else if (commas + points >= 2) {
    grouping = commas > 0 ? ',' : '.';
  } else if (commas + points == 1) {
    const std::size_t mark = mantissa.find_first_of(".,");
    const std::string before = mantissa.substr(0, mark);
    const std::string after = mantissa.substr(mark + 1);
    const bool could_group = mantissa[mark] == ',' && after.size() == 3 && !before.empty() &&
                             before.size() <= 3 && before.front() != '0';
    if (could_group && grouped) {
      grouping = ',';
    } else if (could_group) {
      return fail(before + "," + after + " could be " + before + after + " or " + before + "." +
                  after + ": write it without the comma, or with a point for the decimals");
    } else {
      whole = before;
      fraction = after;
    }
  }
  if (grouping != 0 && !whole.empty()) {
    const std::optional<std::string> digits = grouped_digits(whole, grouping);
    if (!digits) return fail("not a number");
    whole = *digits;
  }
  if (!std::all_of(whole.begin(), whole.end(), is_digit) ||
      (fraction && !std::all_of(fraction->begin(), fraction->end(), is_digit)) ||
      (whole.empty() && (!fraction || fraction->empty()))) {
    return fail("not a number");
  }
  std::string plain = negative + whole;
  if (fraction) plain += "." + *fraction;
  if (!exponent.empty()) plain += "e" + exponent;
  std::optional<written_number> n = read_shown_number(plain);
  if (!n) return fail("not a number");
  return n;
}

question_view view_question(const algorithm_file& file, const algorithm_file* base, uint32_t seed) {
  std::vector<diagnostic> problems;
  const question q = parse_question(file, &problems);
  if (!problems.empty()) {
    throw view_error{{problems.front().level, problems.front().line, problems.front().text}};
  }
  if (!q.declared()) {
    throw view_error{{0, 0,
                      "the algorithm declares no question: add a ?prompt line and a ?numeric, "
                      "?text or ?choice line for each part"}};
  }

  // The variant as `zekalg solve` makes it: every variable in definition
  // order, a failure left for the declarations that need it.
  zekalg::seed(seed);
  zekalg::environment base_env;
  zekalg::environment env;
  if (std::optional<placed_message> failed = create_environments(file, base, base_env, env)) {
    throw view_error{std::move(*failed)};
  }
  std::map<std::string, std::pair<bool, std::string>> solved;  // lowered name: ok, text
  const auto solve = [&](const std::string& name) {
    auto [at, fresh] = solved.try_emplace(lowered(name));
    if (!fresh) return;
    try {
      at->second = {true, env.solve(name)};
    } catch (const zekalg::error& e) {
      at->second = {false, e.what()};
    }
  };
  for (const std::string& name : variable_names(file)) solve(name);
  // Names of the base come after, in the order they are declared.
  const std::vector<question_text> declared = q.variables();
  for (const question_text& v : declared) solve(v.variable);
  for (const question_text& v : declared) {
    const auto& [ok, text] = solved.at(lowered(v.variable));
    if (!ok) throw view_error{placed(text, file, base, v.line)};
  }
  const auto shown = [&](const std::string& name) { return solved.at(lowered(name)).second; };

  question_view view;
  view.seed = seed;
  if (q.prompt) view.prompt = shown(q.prompt->variable);
  if (q.solution) view.solution = shown(q.solution->variable);
  if (q.feedback) view.feedback = shown(q.feedback->variable);
  for (const question_part& p : q.parts) {
    part_view& v = view.parts.emplace_back();
    v.what = p.what;
    v.variable = p.variable;
    v.tolerance = p.tol.text;
    v.loose = p.loose;
    v.answer = shown(p.variable);
    if (p.what != question_part::kind::choice) continue;
    // The options in the variant's order: a Fisher-Yates shuffle with draws
    // from the variant's own stream, after every variable is solved.
    for (const std::string& o : p.options) v.options.push_back(shown(o));
    std::vector<std::size_t> order(p.options.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    for (std::size_t i = order.size(); i >= 2; --i) {
      std::size_t j = i;
      try {
        const std::string drawn = env.solve("rand(1, " + std::to_string(i) + ")");
        j = static_cast<std::size_t>(std::strtoul(drawn.c_str(), nullptr, 10));
      } catch (const zekalg::error& e) {
        throw view_error{{0, p.line, e.what()}};
      }
      if (j < 1 || j > i)
        throw view_error{
            {0, p.line, "rand(1, " + std::to_string(i) + ") gave " + std::to_string(j)}};
      std::swap(order[i - 1], order[j - 1]);
    }
    std::vector<std::string> shuffled;
    for (const std::size_t k : order) {
      shuffled.push_back(v.options[k]);
      if (lowered(p.options[k]) == lowered(p.variable)) {
        v.right_option = static_cast<int>(shuffled.size());
      }
    }
    v.options = std::move(shuffled);
  }
  // The values held, for the tolerances: written with every digit a double
  // holds. Solving draws nothing, so it comes after the shuffle's draws.
  for (std::size_t k = 0; k < q.parts.size(); ++k) {
    if (q.parts[k].what != question_part::kind::numeric) continue;
    part_view& v = view.parts[k];
    if (!read_shown_number(v.answer)) continue;
    try {
      const std::optional<written_number> held =
          read_shown_number(env.solve("str(" + q.parts[k].variable + ", 16, 1)"));
      v.value = held ? held->value : read_shown_number(v.answer)->value;
    } catch (const zekalg::error&) {
      // A text holds no number: only its display is right.
    }
  }
  return view;
}

std::vector<part_verdict> grade_responses(const question_view& view, const question& q,
                                          const std::vector<std::string>& responses) {
  std::vector<part_verdict> verdicts;
  for (std::size_t k = 0; k < view.parts.size() && k < q.parts.size() && k < responses.size();
       ++k) {
    const part_view& part = view.parts[k];
    const std::string& response = responses[k];
    switch (part.what) {
      case question_part::kind::numeric:
        verdicts.push_back(grade_number(part, q.parts[k], response));
        break;
      case question_part::kind::text:
        verdicts.push_back(
            by(comparable(response, part.loose) == comparable(part.answer, part.loose)));
        break;
      case question_part::kind::choice:
        verdicts.push_back(grade_choice(part, response));
        break;
    }
  }
  return verdicts;
}

std::vector<part_verdict> grade_utf8_responses(const question_view& view, const question& q,
                                               const std::vector<std::string>& responses) {
  std::vector<std::string> engine(responses.size());
  std::vector<bool> foreign(responses.size(), false);
  for (std::size_t k = 0; k < responses.size(); ++k) {
    std::string text = responses[k];
    // U+2212, the minus sign, has no byte in the code page.
    for (std::size_t at; (at = text.find("\xE2\x88\x92")) != std::string::npos;) {
      text.replace(at, 3, "-");
    }
    try {
      engine[k] = utf8_to_cp1252(text);
    } catch (const encoding_error&) {
      foreign[k] = true;
    }
  }
  std::vector<part_verdict> verdicts = grade_responses(view, q, engine);
  for (std::size_t k = 0; k < verdicts.size(); ++k) {
    if (!foreign[k]) continue;
    verdicts[k] = view.parts[k].what == question_part::kind::text
                      ? part_verdict{part_verdict::kind::wrong, {}}
                  : view.parts[k].what == question_part::kind::numeric
                      ? part_verdict{part_verdict::kind::unreadable, "not a number"}
                      : part_verdict{part_verdict::kind::unreadable,
                                     "give an option as shown, or its position from 1 to " +
                                         std::to_string(view.parts[k].options.size())};
  }
  return verdicts;
}

std::string grade_document(const algorithm_file& file, const algorithm_file* base, uint32_t seed,
                           const std::optional<std::vector<std::string>>& responses,
                           bool ascii_minus) {
  const question_view view = view_question(file, base, seed);
  const question q = parse_question(file);
  if (responses && responses->size() != view.parts.size()) {
    throw view_error{{0, 0,
                      plural(responses->size(), "response", "responses") + " for " +
                          plural(view.parts.size(), "part", "parts")}};
  }
  const auto text = [&](const std::string& engine) { return shown_text(engine, ascii_minus); };
  const auto optional_text = [&](json_writer& w, const char* name,
                                 const std::optional<std::string>& engine) {
    w.key(name);
    if (engine) {
      w.value(text(*engine));
    } else {
      w.null();
    }
  };
  json_writer w;
  w.begin_object().field("seed", view.seed);
  optional_text(w, "prompt", view.prompt);
  w.key("parts").begin_array();
  for (std::size_t k = 0; k < view.parts.size(); ++k) {
    const part_view& p = view.parts[k];
    w.begin_object()
        .field("part", static_cast<int>(k + 1))
        .field("kind", kind_name(p.what))
        .field("variable", cp1252_to_utf8(p.variable));
    if (p.what == question_part::kind::numeric) w.field("tolerance", cp1252_to_utf8(p.tolerance));
    if (p.what == question_part::kind::text) w.field("match", p.loose ? "loose" : "exact");
    if (p.what == question_part::kind::choice) {
      w.key("options").begin_array();
      for (const std::string& o : p.options) w.value(text(o));
      w.end_array();
    }
    w.field("answer", text(p.answer));
    if (p.what == question_part::kind::choice) w.field("right_option", p.right_option);
    w.end_object();
  }
  w.end_array();
  optional_text(w, "solution", view.solution);
  optional_text(w, "feedback", view.feedback);
  if (responses) {
    const std::vector<part_verdict> verdicts = grade_utf8_responses(view, q, *responses);
    int right = 0;
    w.key("verdicts").begin_array();
    for (std::size_t k = 0; k < verdicts.size(); ++k) {
      const part_verdict& v = verdicts[k];
      right += v.result == part_verdict::kind::right ? 1 : 0;
      w.begin_object()
          .field("part", static_cast<int>(k + 1))
          .field("result", result_name(v.result));
      if (v.result == part_verdict::kind::unreadable) w.field("reason", cp1252_to_utf8(v.reason));
      w.end_object();
    }
    w.end_array().field("right", right);
  }
  return w.end_object().take();
}

std::string grade_json(const algorithm_file& file, const algorithm_file* base, uint32_t seed,
                       const std::optional<std::vector<std::string>>& responses, bool ascii_minus) {
  try {
    return grade_document(file, base, seed, responses, ascii_minus);
  } catch (const view_error& e) {
    return error_json(cp1252_to_utf8(e.where.message), e.where.level, e.where.line);
  }
}

}  // namespace tools
