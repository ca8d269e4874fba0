#include "tools/question.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tools {
namespace {

// The engine's en dash, which starts a negative number's display.
constexpr char kEnDash = '\x96';
// The most digits a tolerance may ask for: a double holds about 15.
constexpr int kMostDigits = 15;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string trimmed(const std::string& s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.';
}

bool is_name(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), is_name_byte);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal number ("0.01", ".5", "1e-3"), nothing else strtod takes.
std::optional<double> plain_number(const std::string& s) {
  if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) {
        return is_digit(c) || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
      })) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double x = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

std::optional<int> whole_number(const std::string& s, int least, int most) {
  if (s.empty() || s.size() > 3 || !std::all_of(s.begin(), s.end(), is_digit)) return std::nullopt;
  const int n = std::stoi(s);
  if (n < least || n > most) return std::nullopt;
  return n;
}

std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + quoted(names[i]);
  }
  return text;
}

std::vector<std::string> split_bars(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = text.find('|', start);
    fields.push_back(trimmed(text.substr(start, bar - start)));
    if (bar == std::string::npos) return fields;
    start = bar + 1;
  }
}

std::string plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool is_declaration(const std::string& line) { return !line.empty() && line.front() == '?'; }

std::vector<question_text> question::variables() const {
  std::vector<question_text> names;
  if (prompt) names.push_back(*prompt);
  for (const question_part& p : parts) {
    names.push_back({p.line, p.variable});
    for (const std::string& o : p.options) {
      if (lowered(o) != lowered(p.variable)) names.push_back({p.line, o});
    }
  }
  if (solution) names.push_back(*solution);
  if (feedback) names.push_back(*feedback);
  std::stable_sort(names.begin(), names.end(),
                   [](const question_text& a, const question_text& b) { return a.line < b.line; });
  return names;
}

std::optional<tolerance> parse_tolerance(const std::string& written, std::string* problem) {
  const auto fail = [&](std::string why) -> std::optional<tolerance> {
    if (problem != nullptr) *problem = std::move(why);
    return std::nullopt;
  };
  tolerance tol;
  tol.text = trimmed(written);
  if (tol.text.empty()) return tol;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < tol.text.size();) {
    const std::size_t end = std::min(tol.text.find(' ', i), tol.text.size());
    if (end > i) words.push_back(tol.text.substr(i, end - i));
    i = end + 1;
  }
  const std::string kind = lowered(words.front());
  const std::string what = "tolerance " + quoted(tol.text);
  if (words.size() != 2 || (kind != "abs" && kind != "rel" && kind != "sig" && kind != "dec")) {
    return fail(what +
                " is not one of abs X, rel X%, rel X, sig N or dec N (or empty: the value as "
                "shown)");
  }
  const std::string& amount = words[1];
  if (kind == "abs" || kind == "rel") {
    const bool percent = kind == "rel" && amount.back() == '%';
    const std::optional<double> x =
        plain_number(percent ? amount.substr(0, amount.size() - 1) : amount);
    if (!x || *x < 0) return fail(what + " needs a number of 0 or more after " + kind);
    if (kind == "abs") {
      tol.how = tolerance::kind::absolute;
      tol.amount = *x;
      return tol;
    }
    if (!percent && *x > 1) {
      char share[32];
      std::snprintf(share, sizeof share, "%g%%", *x * 100);
      return fail(what + " allows " + share + " of the value: write " +
                  quoted("rel " + amount + "%") + " for " + amount + " percent");
    }
    tol.how = tolerance::kind::relative;
    tol.amount = percent ? *x / 100 : *x;
    return tol;
  }
  const bool figures = kind == "sig";
  const std::optional<int> n = whole_number(amount, figures ? 1 : 0, kMostDigits);
  if (!n) {
    return fail(what + " needs a whole number of " +
                (figures ? "figures from 1" : "decimals from 0") + " to " +
                std::to_string(kMostDigits));
  }
  tol.how = figures ? tolerance::kind::significant : tolerance::kind::decimals;
  tol.digits = *n;
  return tol;
}

question parse_question(const algorithm_file& file, std::vector<diagnostic>* problems) {
  question q;
  const auto error = [&](int line, std::string text) {
    if (problems != nullptr) problems->push_back({line, true, std::move(text), 0, 0});
  };
  bool part_lines = false;
  for (const definition_line& l : file.lines) {
    if (!is_declaration(l.text)) continue;
    if (q.first_line == 0) q.first_line = l.number;
    const std::size_t bar = l.text.find('|');
    const std::string keyword = lowered(trimmed(l.text.substr(1, bar - 1)));
    std::vector<std::string> fields;
    if (bar != std::string::npos) fields = split_bars(l.text.substr(bar + 1));
    // The first `count` fields name variables: tells the first that does not.
    const auto bad_name = [&](std::size_t count) -> bool {
      for (std::size_t k = 0; k < std::min(count, fields.size()); ++k) {
        if (is_name(fields[k])) continue;
        error(l.number,
              "?" + keyword + " names " + quoted(fields[k]) + ", which is not a variable name");
        return true;
      }
      return false;
    };

    if (keyword == "prompt" || keyword == "solution" || keyword == "feedback") {
      std::optional<question_text>& slot = keyword == "prompt"     ? q.prompt
                                           : keyword == "solution" ? q.solution
                                                                   : q.feedback;
      if (fields.size() != 1 || fields[0].empty()) {
        error(l.number, "?" + keyword + " takes one variable: ?" + keyword + "|NAME");
        continue;
      }
      if (bad_name(1)) continue;
      if (slot) {
        error(l.number, "second ?" + keyword + " (line " + std::to_string(slot->line) +
                            "); a question has one " + keyword);
        continue;
      }
      slot = question_text{l.number, fields[0]};
      continue;
    }

    question_part part;
    part.line = l.number;
    if (keyword == "numeric") {
      part_lines = true;
      if (fields.empty() || fields.size() > 2 || fields[0].empty()) {
        error(l.number,
              "?numeric takes a variable and a tolerance: ?numeric|NAME|TOLERANCE (the tolerance "
              "may be empty)");
        continue;
      }
      if (bad_name(1)) continue;
      std::string problem;
      const std::optional<tolerance> tol =
          parse_tolerance(fields.size() > 1 ? fields[1] : std::string(), &problem);
      if (!tol) {
        error(l.number, problem);
        continue;
      }
      part.what = question_part::kind::numeric;
      part.tol = *tol;
    } else if (keyword == "text") {
      part_lines = true;
      if (fields.empty() || fields.size() > 2 || fields[0].empty()) {
        error(l.number,
              "?text takes a variable and how to compare: ?text|NAME|exact or ?text|NAME|loose");
        continue;
      }
      if (bad_name(1)) continue;
      const std::string mode = fields.size() > 1 ? lowered(fields[1]) : std::string();
      if (!mode.empty() && mode != "exact" && mode != "loose") {
        error(l.number, "?text compares 'exact' or 'loose' (ignoring case and spaces), not " +
                            quoted(fields[1]));
        continue;
      }
      part.what = question_part::kind::text;
      part.loose = mode == "loose";
    } else if (keyword == "choice") {
      part_lines = true;
      if (fields.size() < 3 || std::any_of(fields.begin(), fields.end(),
                                           [](const std::string& f) { return f.empty(); })) {
        error(l.number,
              "?choice takes the right option and every option: ?choice|RIGHT|OPTION|OPTION|...");
        continue;
      }
      if (bad_name(fields.size())) continue;
      part.what = question_part::kind::choice;
      part.options.assign(fields.begin() + 1, fields.end());
      bool twice = false;
      for (std::size_t i = 0; i < part.options.size() && !twice; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
          if (lowered(part.options[i]) != lowered(part.options[j])) continue;
          error(l.number, "option " + quoted(part.options[i]) + " is listed twice");
          twice = true;
          break;
        }
      }
      if (twice) continue;
      const bool among =
          std::any_of(part.options.begin(), part.options.end(),
                      [&](const std::string& o) { return lowered(o) == lowered(fields[0]); });
      if (!among) {
        error(l.number, "the right option " + quoted(fields[0]) + " is not among the options (" +
                            listed(part.options) + ")");
        continue;
      }
    } else {
      error(l.number, "unknown declaration " + quoted("?" + keyword) +
                          " (declarations are ?prompt, ?numeric, ?text, ?choice, ?solution and "
                          "?feedback)");
      continue;
    }
    part.variable = fields[0];
    q.parts.push_back(std::move(part));
  }
  if (q.declared() && !part_lines) {
    error(q.first_line,
          "the question declares no answer part: add a ?numeric, ?text or ?choice line");
  }
  return q;
}

std::optional<written_number> read_shown_number(const std::string& shown) {
  std::size_t i = 0;
  bool negative = false;
  if (i < shown.size() && (shown[i] == kEnDash || shown[i] == '-')) {
    negative = true;
    ++i;
  }
  std::string digits;  // of the mantissa, without the point
  int after_point = -1;
  bool point = false;
  for (; i < shown.size() && shown[i] != 'e' && shown[i] != 'E'; ++i) {
    const char c = shown[i];
    if (is_digit(c)) {
      digits += c;
      if (point) ++after_point;
    } else if (c == '.' && !point) {
      point = true;
      after_point = 0;
    } else if (c != ',' || point) {
      return std::nullopt;
    }
  }
  if (digits.empty()) return std::nullopt;
  int exponent = 0;
  if (i < shown.size()) {
    ++i;
    bool down = false;
    if (i < shown.size() && (shown[i] == kEnDash || shown[i] == '-' || shown[i] == '+')) {
      down = shown[i] != '+';
      ++i;
    }
    const std::string power = shown.substr(i);
    if (power.empty() || power.size() > 4 || !std::all_of(power.begin(), power.end(), is_digit)) {
      return std::nullopt;
    }
    exponent = (down ? -1 : 1) * std::stoi(power);
  }
  std::string plain = (negative ? "-" : "") + digits;
  if (point) plain.insert(plain.size() - static_cast<std::size_t>(after_point), ".");
  plain += "e" + std::to_string(exponent);
  const std::optional<double> value = plain_number(plain);
  if (!value) return std::nullopt;

  written_number n;
  n.value = *value;
  n.decimals = std::max(0, std::max(after_point, 0) - exponent);
  const std::size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) {
    n.figures = 1;
    n.figures_max = static_cast<int>(digits.size());
  } else {
    const std::string significant = digits.substr(lead);
    n.figures_max = static_cast<int>(significant.size());
    n.figures = point ? n.figures_max : static_cast<int>(significant.find_last_not_of('0') + 1);
  }
  return n;
}

verdict judge_number(const tolerance& tol, double value, const written_number& shown,
                     const written_number& answer) {
  const double distance = std::fabs(answer.value - value);
  // Decimal steps such as 0.01 have no exact double: a distance that equals
  // the limit on paper may come out a few units of the last place above it.
  const auto within = [&](double limit) {
    return distance <= limit * (1 + 1e-9) + 1e-15 * std::fabs(value);
  };
  const auto by = [](bool right) {
    return verdict{right ? verdict::kind::right : verdict::kind::wrong, {}};
  };
  switch (tol.how) {
    case tolerance::kind::shown:
      return by(answer.value == shown.value);
    case tolerance::kind::absolute:
      return by(within(tol.amount));
    case tolerance::kind::relative:
      return by(within(tol.amount * std::fabs(value)));
    case tolerance::kind::decimals:
      if (answer.decimals != tol.digits) {
        return {verdict::kind::unreadable,
                tol.digits == 0 ? "give a whole number"
                                : "give " + plural(tol.digits, "decimal", "decimals")};
      }
      return by(within(0.5 * std::pow(10.0, -tol.digits)));
    case tolerance::kind::significant:
      if (tol.digits < answer.figures || tol.digits > answer.figures_max) {
        return {verdict::kind::unreadable,
                "give " + plural(tol.digits, "significant figure", "significant figures")};
      }
      if (value == 0) return by(answer.value == 0);
      return by(
          within(0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(value))) - tol.digits + 1)));
  }
  return by(false);
}

}  // namespace tools
