#include "tools/check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "algorithm/definitions.h"
#include "algorithm/drawing.h"
#include "algorithm/solver.h"
#include "api/engine_state.h"
#include "base/alg_string.h"
#include "base/errors.h"
#include "base/number_text.h"
#include "base/random_generator.h"
#include "base/tokens.h"
#include "expr/builtins.h"
#include "expr/evaluator.h"
#include "expr/limits.h"
#include "expr/operand.h"
#include "expr/translator.h"
#include "tools/question.h"
#include "tools/sampling.h"
#include "tools/variable_report.h"
#include "tools/variant_count.h"
#include "value/alg_value.h"
#include "value/literal_codec.h"

namespace tools {
namespace {

constexpr double kOftenFails = 0.5;
// Trial creations stop after this many attempts in all, so that a condition
// that almost never holds cannot make the check take minutes.
constexpr int64_t kAttemptBudget = 50000;
// A draw takes one of this many values, whatever the range.
constexpr int kDistinctDraws = 32768;

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.';
}

bool reads_as_number(const std::string& text) {
  alg_value ignored;
  return read_number(alg_string(text), ignored);
}

bool is_reserved(const std::string& lowered_name) {
  alg_value ignored;
  return reserved_value(lowered_name, ignored);
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

bool is_builtin(const std::string& lowered_name) {
  uint32_t least = 0;
  uint32_t most = 0;
  return builtin_arity(lowered_name, least, most) || lowered_name == "if" ||
         lowered_name == "choose";
}

// A word operator's shown form ("and", "mod"), or nullptr.
const char* word_operator(const std::string& lowered_name) {
  for (const operator_token& t : operator_tokens()) {
    if (lowered_name == t.shown) return t.shown;
  }
  return nullptr;
}

struct name_trap {
  std::string text;
  bool unreachable;  // no lookup ever finds the definition
};

// What goes wrong with a definition of kind `kind` ('f' for functions) named
// `name`, when its name is taken by the language.
std::optional<name_trap> trap_of(char kind, const std::string& name) {
  const std::string key = lowered(name);
  if (kind == 'f') {
    if (is_builtin(key)) {
      return name_trap{
          "function " + quoted(name) + " is never called: the built-in of that name comes first",
          true};
    }
  } else if (is_reserved(key)) {
    alg_value value;
    reserved_value(key, value);
    return name_trap{
        "defines nothing a lookup can reach: " + quoted(name) +
            " is a reserved word (every formula and request reads it as " +
            std::string(value_to_text(value, value.is_integer() ? -1 : 6, false, false).view()) +
            "); choose another name",
        true};
  } else if (is_builtin(key)) {
    return name_trap{quoted(name) + " is also the name of a built-in function: " + name +
                         "(...) calls the built-in, and readers of the formula may take one "
                         "for the other; choose another name",
                     false};
  }
  if (const char* word = word_operator(key)) {
    return name_trap{"defines nothing a lookup can reach: " + quoted(name) +
                         " is the word operator " + word + " in formulas; choose another name",
                     true};
  }
  return std::nullopt;
}

// One definition line, taken apart.
struct parsed_line {
  int number = 0;
  std::string text;
  char kind = 0;  // k q r l c f, or 0
  bool has_bar = false;
  std::string name;                 // as written
  std::string key;                  // lowered
  std::vector<std::string> fields;  // translated, from field 1
  std::string body;                 // raw, after the first "|"
  bool reachable = false;           // the definition a lookup finds
};

// A name or call found in a translated formula.
struct formula_use {
  std::set<std::string> names;                     // lowered operand names
  std::vector<std::pair<std::string, int>> calls;  // lowered name, argument count
  std::vector<std::string> factorial_operands;     // lowered names before "!"
};

// Scans a formula in operator form for the names it reads and the calls it makes.
formula_use scan_formula(const std::string& f) {
  formula_use use;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"') {
      const std::size_t close = f.find('"', i + 1);
      i = close == std::string::npos ? f.size() : close + 1;
      continue;
    }
    if (c == '~' && f.compare(i, 5, "~fac~") == 0) {
      std::size_t s = i;
      while (s > 0 && is_name_byte(f[s - 1])) --s;
      if (s < i) use.factorial_operands.push_back(lowered(f.substr(s, i - s)));
      i += 5;
      continue;
    }
    if (c == '~') {
      i += 5;
      continue;
    }
    if (!is_name_byte(c)) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < f.size() && is_name_byte(f[end])) ++end;
    std::string run = f.substr(i, end - i);
    if (end < f.size() && f[end] == '(') {
      // Count the arguments at the top level of the call.
      int depth = 0;
      int args = 1;
      for (std::size_t k = end; k < f.size(); ++k) {
        if (f[k] == '"') {
          const std::size_t close = f.find('"', k + 1);
          if (close == std::string::npos) break;
          k = close;
        } else if (f[k] == '(') {
          ++depth;
        } else if (f[k] == ')') {
          if (--depth == 0) break;
        } else if (f[k] == ',' && depth == 1) {
          ++args;
        }
      }
      use.calls.emplace_back(lowered(run), args);
    } else if (!reads_as_number(run)) {
      // 1e-5 keeps its exponent sign after the "e": a number, not a name.
      const bool exponent = run.size() >= 2 && (run.back() == 'e' || run.back() == 'E') &&
                            std::isdigit(static_cast<unsigned char>(run.front())) &&
                            end < f.size() && (f[end] == '-' || f[end] == '+');
      if (!exponent) use.names.insert(lowered(run));
    }
    i = end;
  }
  return use;
}

std::string translated(const std::string& text) {
  return std::string(the_engine().translations.translated(alg_string(text)).view());
}

// Counts, per condition, how often the engine's own build loop checked it
// and how often it failed.
class condition_counter final : public build_observer {
 public:
  explicit condition_counter(std::size_t conditions)
      : evaluated(conditions, 0), failed(conditions, 0) {}
  void attempt_started() override {
    ++attempts;
    in_evaluation = -1;
  }
  void condition_reached(uint32_t position) override {
    ++evaluated.at(position);
    in_evaluation = static_cast<int64_t>(position);
  }
  void condition_checked(uint32_t position, bool held) override {
    if (!held) ++failed.at(position);
    in_evaluation = -1;
  }

  int64_t attempts = 0;
  // The condition whose evaluation has started and not finished: after an
  // error, the one that raised it.
  int64_t in_evaluation = -1;
  std::vector<int64_t> evaluated;
  std::vector<int64_t> failed;
};

// Base files after the algorithm, each in line order; on one line, what
// names a character (it has a column) before what it causes.
void sort_diagnostics(std::vector<diagnostic>& found) {
  std::stable_sort(found.begin(), found.end(), [](const diagnostic& a, const diagnostic& b) {
    return std::make_tuple(a.level, a.line, a.column == 0) <
           std::make_tuple(b.level, b.line, b.column == 0);
  });
}

class checker {
 public:
  checker(const algorithm_file& file, int creations, const algorithm_file* base,
          const check_guard& keep_going)
      : file_(file), creations_(creations), base_(base), keep_going_(keep_going) {}

  bool stopped() const { return stopped_; }

  // With `trials` false, only what the text shows (for a base, whose
  // trials are the question's).
  std::vector<diagnostic> run(bool trials = true) {
    parse();
    if (lines_.empty()) {
      warning(0, "the algorithm is empty: it defines nothing to solve");
      return out_;
    }
    for (diagnostic& d : text_traps(file_)) out_.push_back(std::move(d));
    check_definitions();
    index_definitions();
    check_question();
    check_formulas();
    check_not_equal();
    check_groups();
    check_chains();
    if (trials) run_trials();
    sort_diagnostics(out_);
    return out_;
  }

 private:
  void error(int line, std::string text, std::size_t level = 0) {
    out_.push_back({line, true, std::move(text), level, 0});
  }
  void warning(int line, std::string text) { out_.push_back({line, false, std::move(text), 0, 0}); }

  void parse() {
    if (base_ != nullptr) parse_base();
    for (const definition_line& l : file_.lines) {
      parsed_line p;
      p.number = l.number;
      p.text = l.text;
      const definition_record record = parse_definition_line(alg_string(l.text));
      p.kind = record.kind;
      p.has_bar = record.has_separator;
      if (p.kind != 0 && p.has_bar) {
        const std::size_t bar = l.text.find('|');
        p.name = l.text.substr(2, bar - 2);
        p.key = lowered(p.name);
        p.body = l.text.substr(bar + 1);
        const alg_array<alg_string> fields =
            split_fields(the_engine().translations, alg_string(p.body));
        for (uint32_t k = 1; k <= fields.high(); ++k) p.fields.emplace_back(fields[k].view());
      }
      lines_.push_back(std::move(p));
    }
  }

  // The base's definitions, for lookups only: the first definition of each
  // name is the one a lookup in the base finds.
  void parse_base() {
    std::set<std::string> seen;
    for (const definition_line& l : base_->lines) {
      const definition_record record = parse_definition_line(alg_string(l.text));
      if (record.kind == 0 || record.kind == 'c' || !record.has_separator) continue;
      parsed_line p;
      p.number = l.number;
      p.kind = record.kind;
      p.has_bar = true;
      const std::size_t bar = l.text.find('|');
      p.name = l.text.substr(2, bar - 2);
      p.key = lowered(p.name);
      const alg_array<alg_string> fields =
          split_fields(the_engine().translations, alg_string(l.text.substr(bar + 1)));
      for (uint32_t k = 1; k <= fields.high(); ++k) p.fields.emplace_back(fields[k].view());
      p.reachable = seen.insert((p.kind == 'f' ? "f" : "v") + p.key).second;
      base_lines_.push_back(std::move(p));
    }
  }

  bool is_variable(const parsed_line& p) const {
    return p.kind == 'k' || p.kind == 'q' || p.kind == 'r' || p.kind == 'l';
  }

  void check_definitions() {
    std::map<std::string, const parsed_line*> first_variable;
    std::map<std::string, const parsed_line*> first_function;
    for (parsed_line& p : lines_) {
      if (p.kind == 0) {
        if (is_declaration(p.text)) continue;  // the question's, see check_question
        error(p.number, "defines nothing a lookup can reach: unknown prefix " +
                            quoted(p.text.substr(0, 2)) +
                            " (definitions start with k_, q_, r_, l_, c_ or f_)");
        continue;
      }
      if (!p.has_bar) {
        error(p.number, p.kind == 'c' || p.kind == 'f'
                            ? "defines nothing a lookup can reach: no \"|\" after the name"
                            : "defines nothing a lookup can reach: no \"|\" after the name, and "
                              "every solve that reaches this line fails");
        continue;
      }
      if (p.kind == 'c') continue;
      const char* what = p.kind == 'f' ? "function" : "variable";
      if (p.name.empty()) {
        error(p.number,
              std::string("defines nothing a lookup can reach: the ") + what + " has no name");
        continue;
      }
      const auto bad = std::find_if_not(p.name.begin(), p.name.end(), is_name_byte);
      if (bad != p.name.end()) {
        error(p.number, "defines nothing a lookup can reach: the name " + quoted(p.name) +
                            " holds " + quoted(std::string(1, *bad)) +
                            ", which a formula cannot spell as part of a name");
        continue;
      }
      if (const std::optional<name_trap> trap = trap_of(p.kind, p.name)) {
        error(p.number, trap->text);
        if (trap->unreachable) continue;
      }
      if (p.kind != 'f' && reads_as_number(p.name)) {
        error(p.number, "defines nothing a lookup can reach: " + quoted(p.name) +
                            " reads as a number in formulas");
        continue;
      }
      auto& first = p.kind == 'f' ? first_function : first_variable;
      const auto [it, inserted] = first.emplace(p.key, &p);
      if (!inserted) {
        const parsed_line& earlier = *it->second;
        const std::string where = " (line " + std::to_string(earlier.number) + ")";
        if (earlier.name == p.name) {
          error(p.number, std::string("second definition of ") + what + " " + quoted(p.name) +
                              where + "; lookups only ever find the first");
        } else {
          error(p.number, quoted(p.name) + " differs from " + quoted(earlier.name) + where +
                              " only in letter case; names ignore case, so lookups only ever "
                              "find the first");
        }
        continue;
      }
      p.reachable = true;
      check_fields(p);
    }
  }

  void check_fields(const parsed_line& p) {
    const auto field = [&](std::size_t k) -> std::string {
      return k <= p.fields.size() ? p.fields[k - 1] : std::string();
    };
    switch (p.kind) {
      case 'k': {
        const std::string body = p.body;
        const bool text = body.size() >= 2 && body.front() == '"' && body.back() == '"';
        if (!text && !reads_as_number(body)) {
          error(p.number, "constant " + quoted(p.name) +
                              " must be one literal (a number or a quoted text); use q_ for "
                              "a formula");
        }
        break;
      }
      case 'q':
        if (field(1).empty())
          error(p.number, "formula variable " + quoted(p.name) + " has no formula");
        break;
      case 'r':
        if (p.fields.size() < 2 || field(1).empty() || field(2).empty()) {
          error(p.number, "random variable " + quoted(p.name) + " needs a low and a high bound");
        }
        break;
      case 'l':
        if (p.fields.size() == 2 && field(2).empty()) {
          error(p.number, "list variable " + quoted(p.name) + " has no choices");
        }
        break;
      default:
        break;
    }
  }

  // The translated formulas of a line and the single-operand fields.
  std::vector<std::string> formulas_of(const parsed_line& p) const {
    std::vector<std::string> f;
    const auto add = [&](std::size_t from, std::size_t to) {
      for (std::size_t k = from; k <= std::min(to, p.fields.size()); ++k) {
        if (!p.fields[k - 1].empty()) f.push_back(p.fields[k - 1]);
      }
    };
    switch (p.kind) {
      case 'q':
        add(1, 4);
        break;
      case 'r':
        add(1, 6);
        break;
      case 'l':
        add(2, p.fields.size());
        break;
      case 'f':
        add(1, 1);
        break;
      case 'c':
        f.push_back(translated(p.body));
        break;
      default:
        break;
    }
    return f;
  }

  // The definition a lookup of `key` finds: this algorithm's own first,
  // then the base's.
  // Each table has at most one reachable definition of a name and kind.
  void index_definitions() {
    for (const std::vector<parsed_line>* table : {&lines_, &base_lines_}) {
      for (const parsed_line& p : *table) {
        if (p.reachable) (p.kind == 'f' ? functions_ : variables_).emplace(p.key, &p);
      }
    }
  }
  const parsed_line* find(const std::string& key, bool function) const {
    const auto& index = function ? functions_ : variables_;
    const auto it = index.find(key);
    return it == index.end() ? nullptr : it->second;
  }
  const parsed_line* variable(const std::string& key) const { return find(key, false); }
  const parsed_line* function(const std::string& key) const { return find(key, true); }
  bool in_base(const parsed_line& p) const {
    return !base_lines_.empty() && &p >= &base_lines_.front() && &p <= &base_lines_.back();
  }

  void check_formulas() {
    for (const parsed_line& p : lines_) {
      if (p.kind == 0 || !p.has_bar || (p.kind != 'c' && !p.reachable)) continue;
      check_word_literals(p);
      std::set<std::string> params;
      if (p.kind == 'f') {
        for (std::size_t k = 2; k <= p.fields.size(); ++k) params.insert(lowered(p.fields[k - 1]));
      }
      std::set<std::string> reported;
      for (const std::string& f : formulas_of(p)) {
        const formula_use use = scan_formula(f);
        for (const std::string& n : use.names) {
          if (is_reserved(n) || params.count(n) != 0 || variable(n) != nullptr) continue;
          if (reported.insert(n).second) {
            error(p.number, quoted(n) + " is used but defined nowhere");
          }
        }
        for (const auto& [name, args] : use.calls) check_call(p, name, args, reported);
        for (const std::string& n : use.factorial_operands) {
          const parsed_line* v = variable(n);
          if (v != nullptr && v->kind == 'r' && params.count(n) == 0) {
            error(p.number, "'!' applied to random variable " + quoted(v->name) +
                                ": drawn values are reals, so it fails with \"integer "
                                "required\" (apply it to int(" +
                                v->name + ") instead)");
          }
        }
      }
    }
  }

  void check_call(const parsed_line& p, const std::string& name, int args,
                  std::set<std::string>& reported) {
    if (name == "zek_if" || name == "zek_choose") return;
    int min = 0;
    int max = 0;
    uint32_t least = 0;
    uint32_t most = 0;
    if (builtin_arity(name, least, most)) {
      min = static_cast<int>(least);
      max = most == 0 ? -1 : static_cast<int>(most);
    } else if (const parsed_line* f = function(name)) {
      min = max = static_cast<int>(f->fields.size()) - 1;
    } else {
      if (reported.insert(name + "(").second) {
        error(p.number, "call of unknown function " + quoted(name));
      }
      return;
    }
    if (args >= min && (max < 0 || args <= max)) return;
    std::string takes = std::to_string(min);
    if (max < 0)
      takes += " or more";
    else if (max != min)
      takes += " to " + std::to_string(max);
    error(p.number, quoted(name) + " takes " + takes + " argument" +
                        (max == 1 && min == 1 ? "" : "s") + ", called with " +
                        std::to_string(args));
  }

  // "!=" reads as a factorial and "=": a <> b is "not equal".
  void check_not_equal() {
    for (const parsed_line& p : lines_) {
      if (p.kind == 0 || !p.has_bar) continue;
      bool quoted_text = false;
      for (std::size_t i = 0; i + 1 < p.body.size(); ++i) {
        if (p.body[i] == '"') quoted_text = !quoted_text;
        if (quoted_text || p.body[i] != '!' || p.body[i + 1] != '=') continue;
        warning(p.number,
                "'!=' reads as '!' (factorial) followed by '='; to test \"not equal\" "
                "write '<>'");
        break;
      }
    }
  }

  // The translator rewrites words inside quotes too: "and" becomes the operator.
  void check_word_literals(const parsed_line& p) {
    for (const word_literal& w : literals_read_as_words(p.body)) {
      error(p.number, "the text \"" + w.content + "\" is read as the word operator " + w.word +
                          ", not as text (write it as \"" + w.content.substr(0, 1) + "\" & \"" +
                          w.content.substr(1) + "\")");
    }
  }

  void check_groups() {
    struct group_first {
      const parsed_line* line;
      std::size_t choices;
    };
    std::map<std::string, group_first> groups;
    for (const parsed_line& p : lines_) {
      if (p.kind != 'l' || !p.reachable || p.fields.size() < 2 || p.fields[0].empty()) continue;
      const std::string key(decode_literal(alg_string(p.fields[0])).view());
      const std::size_t choices = p.fields.size() - 1;
      const auto [it, inserted] = groups.emplace(key, group_first{&p, choices});
      if (inserted || it->second.choices == choices) continue;
      error(p.number, "list " + quoted(p.name) + " has " + std::to_string(choices) +
                          " choices but " + quoted(it->second.line->name) + " (line " +
                          std::to_string(it->second.line->number) + ") of group " + quoted(key) +
                          " has " + std::to_string(it->second.choices) +
                          ": a shared position beyond the shorter list fails");
    }
  }

  // Names a definition reads, through formula variables and functions.
  std::set<std::string> direct_names(const parsed_line& p) const {
    std::set<std::string> names;
    for (const std::string& f : formulas_of(p)) {
      const formula_use use = scan_formula(f);
      names.insert(use.names.begin(), use.names.end());
      for (const auto& call : use.calls) {
        if (const parsed_line* fn = function(call.first); fn != nullptr && fn != &p) {
          std::set<std::string> params;
          for (std::size_t k = 2; k <= fn->fields.size(); ++k)
            params.insert(lowered(fn->fields[k - 1]));
          for (const std::string& n : scan_formula(fn->fields[0]).names) {
            if (params.count(n) == 0) names.insert(n);
          }
        }
        if (call.first == "rand") names.insert("\x01rand");
      }
    }
    return names;
  }

  void check_chains() {
    // Conditions that only read list variables (and constants).
    for (const parsed_line& p : lines_) {
      if (p.kind != 'c' || !p.has_bar) continue;
      std::set<std::string> seen;
      const std::set<std::string> first = direct_names(p);
      std::vector<std::string> todo(first.begin(), first.end());
      bool random = false;
      std::vector<std::string> lists;
      while (!todo.empty()) {
        const std::string n = todo.back();
        todo.pop_back();
        if (!seen.insert(n).second) continue;
        if (n == "\x01rand") {
          random = true;
          continue;
        }
        const parsed_line* v = variable(n);
        if (v == nullptr) continue;
        if (v->kind == 'r') random = true;
        if (v->kind == 'l') lists.push_back(v->name);
        const std::set<std::string> more = direct_names(*v);
        todo.insert(todo.end(), more.begin(), more.end());
      }
      if (!random && !lists.empty()) {
        std::sort(lists.begin(), lists.end());
        std::string names;
        for (const std::string& n : lists) names += (names.empty() ? "" : ", ") + n;
        warning(p.number, "condition depends only on list variables (" + names +
                              "): their positions survive every attempt, so one unlucky pick "
                              "fails the whole creation");
      }
    }

    // Forward references: a solve resolves in definition order, and a
    // variable that needs a later one nests one evaluation deeper.
    std::set<std::string> done;
    for (const parsed_line& p : lines_) {
      if (!p.reachable || p.kind == 'f' || done.count(p.key) != 0) continue;
      // Depth first, with a stack of its own: an algorithm may hold chains
      // far longer than the call stack would allow.
      struct frame {
        const parsed_line* v;
        std::vector<std::string> names;
        std::size_t next = 0;
      };
      std::vector<frame> stack;
      std::vector<std::string> chain;
      std::size_t longest = 0;
      std::string second;  // of the longest chain
      std::string last;
      std::set<std::string> active;
      bool cycle_reported = false;
      const auto enter = [&](const parsed_line& v) {
        chain.push_back(v.name);
        active.insert(v.key);
        if (chain.size() > longest) {
          longest = chain.size();
          if (longest > 1) second = chain[1];
          last = chain.back();
        }
        const std::set<std::string> names = direct_names(v);
        stack.push_back({&v, {names.begin(), names.end()}});
      };
      enter(p);
      while (!stack.empty()) {
        frame& f = stack.back();
        if (f.next == f.names.size()) {
          active.erase(f.v->key);
          done.insert(f.v->key);
          chain.pop_back();
          stack.pop_back();
          continue;
        }
        const parsed_line* u = variable(f.names[f.next++]);
        if (u == nullptr || in_base(*u) || done.count(u->key) != 0) continue;
        if (active.count(u->key) != 0) {
          if (!cycle_reported) {
            std::string path;
            for (const std::string& c : chain) path += c + " -> ";
            error(p.number, quoted(f.v->name) + " needs itself: " + path + u->name);
            cycle_reported = true;
          }
          continue;
        }
        enter(*u);
      }
      if (static_cast<int>(longest) > solve_nesting_limit) {
        error(p.number, "a chain of " + std::to_string(longest) + " forward references (" + p.name +
                            " -> " + second + " -> ... -> " + last +
                            ") is deeper than the nesting "
                            "limit of " +
                            std::to_string(solve_nesting_limit) +
                            " for solving; define variables after the ones they use");
      }
    }
  }

  // Trial creations with spread seeds, done the engine's way but counting
  // per condition how many attempts it ended.
  void run_trials() {
    std::vector<const parsed_line*> conditions;
    for (const parsed_line& p : lines_) {
      if (p.kind == 'c' && p.has_bar) conditions.push_back(&p);
    }
    condition_counter counts(conditions.size());
    struct creation_failure {
      int count = 0;
      uint32_t seed = 0;
      int line = 0;
    };
    std::map<std::string, creation_failure> creation_errors;  // by message
    std::map<std::string, creation_failure> base_errors;      // by message
    creation_failure unsatisfied;  // no attempt satisfied every condition
    std::string unsatisfied_message;
    // By level and lowered name: one diagnostic per failing variable (its
    // messages may hold drawn values, which differ from trial to trial).
    std::map<std::pair<std::size_t, std::string>, solve_failure> solve_errors;
    std::set<std::string> displays_reported;
    if (file_.text.size() > max_text_length) {
      // The engine takes texts of at most this length; creation fails first.
      error(0, "the algorithm has " + std::to_string(file_.text.size()) +
                   " bytes, more than the engine takes (" + std::to_string(max_text_length) +
                   "): every creation fails with \"Unknown error occurred.\"");
      return;
    }
    const alg_string algorithm(file_.text);
    int made = 0;
    bool ranges_checked = false;
    for (int trial = 1; trial <= creations_ && counts.attempts < kAttemptBudget; ++trial) {
      if (stopped_ || (keep_going_ && !keep_going_(0))) {
        stopped_ = true;
        break;
      }
      const uint32_t seed = row_seed(0x5EED, static_cast<uint64_t>(trial));
      seed_generator(seed);
      ++made;
      // As `zekalg solve --base` does: after the seed, the base, then this
      // algorithm on it.
      std::shared_ptr<alg_environment> base;
      if (base_ != nullptr) {
        base = std::make_shared<alg_environment>();
        try {
          initialise_environment(*base, alg_string(base_->text), the_engine().translations);
        } catch (const z_x_exception& e) {
          const std::string message =
              dynamic_cast<const z_x_algorithm*>(&e) != nullptr
                  ? std::string(static_cast<const z_x_algorithm&>(e).message.view())
                  : "Unknown error occurred.";
          creation_failure& entry = base_errors[message];
          if (entry.count++ == 0) entry.seed = seed;
          continue;
        }
      }
      alg_environment env;
      env.base = base;
      try {
        initialise_environment(env, algorithm, the_engine().translations, &counts);
      } catch (const z_x_exception& e) {
        const auto* engine_error = dynamic_cast<const z_x_algorithm*>(&e);
        const std::string message = engine_error != nullptr
                                        ? std::string(engine_error->message.view())
                                        : "Unknown error occurred.";
        creation_failure& entry = dynamic_cast<const z_x_condition_not_satisfied*>(&e) != nullptr
                                      ? unsatisfied
                                      : creation_errors[message];
        if (entry.count++ == 0) {
          entry.seed = seed;
          // A message names its variable; otherwise the condition being
          // evaluated raised it.
          entry.line = file_.line_of_message(message);
          if (entry.line == 0 && counts.in_evaluation >= 0) {
            entry.line = conditions[static_cast<std::size_t>(counts.in_evaluation)]->number;
          }
          if (&entry == &unsatisfied) unsatisfied_message = message;
        }
        continue;
      }
      if (!ranges_checked) {
        ranges_checked = true;
        check_ranges(env);
      }
      solve_all(env, seed, solve_errors, displays_reported);
      if (!stopped_) check_question_variant(env, seed);
    }
    const std::vector<int64_t>& evaluated = counts.evaluated;
    const std::vector<int64_t>& failed = counts.failed;

    for (std::size_t c = 0; c < conditions.size(); ++c) {
      if (evaluated[c] == 0) continue;
      const double share = static_cast<double>(failed[c]) / static_cast<double>(evaluated[c]);
      if (share < kOftenFails) continue;
      char text[160];
      std::snprintf(text, sizeof text,
                    "condition fails in %.0f%% of the attempts that reach it (%lld of %lld, "
                    "over %d trial creations)",
                    100.0 * share, static_cast<long long>(failed[c]),
                    static_cast<long long>(evaluated[c]), made);
      warning(conditions[c]->number, text);
    }
    const std::string solve_hint = " (zekalg solve " + file_.path +
                                   (base_ != nullptr ? " --base " + base_->path : "") + " --seed ";
    for (const auto& [message, entry] : base_errors) {
      error(base_->line_of_message(message),
            "the base " + base_->path + " fails to build in " + std::to_string(entry.count) +
                " of " + std::to_string(made) + " trial creations: " + message + solve_hint +
                std::to_string(entry.seed) + ")",
            1);
    }
    if (unsatisfied.count > 0) {
      // The engine names the condition that failed last; the one to look at
      // is the one that fails the largest share of the attempts reaching it
      // (conditions after it are reached less often, not held more often).
      const auto share = [&](std::size_t c) {
        return evaluated[c] == 0
                   ? 0.0
                   : static_cast<double>(failed[c]) / static_cast<double>(evaluated[c]);
      };
      std::size_t worst = 0;
      for (std::size_t c = 1; c < conditions.size(); ++c) {
        if (share(c) > share(worst) || (share(c) == share(worst) && failed[c] > failed[worst])) {
          worst = c;
        }
      }
      const bool known = !conditions.empty() && failed[worst] > 0;
      error(known ? conditions[worst]->number : unsatisfied.line,
            "creation fails in " + std::to_string(unsatisfied.count) + " of " +
                std::to_string(made) + " trial creations: no attempt of " +
                std::to_string(max_attempts) + " satisfies every condition" +
                (known ? "; this condition fails most often (in " + std::to_string(failed[worst]) +
                             " of " + std::to_string(evaluated[worst]) + " attempts that reach it)"
                       : "") +
                "; solving reports \"" + unsatisfied_message + "\"" + solve_hint +
                std::to_string(unsatisfied.seed) + ")");
    }
    for (const auto& [message, entry] : creation_errors) {
      error(entry.line, "creation fails in " + std::to_string(entry.count) + " of " +
                            std::to_string(made) + " trial creations: " + message + solve_hint +
                            std::to_string(entry.seed) + ")");
    }
    for (const auto& [place, entry] : solve_errors) {
      const algorithm_file& at = place.first == 0 || base_ == nullptr ? file_ : *base_;
      const int line = entry.line != 0 ? entry.line : at.line_of_name(entry.name);
      error(line,
            "solving " + quoted(entry.name) + " fails: " + entry.message + solve_hint +
                std::to_string(entry.seed) + ")",
            place.first);
    }
    report_question_variants(solve_hint);
  }

  // The declared question: what its lines say, then whether the names they
  // give are variables a lookup finds.
  void check_question() {
    question_ = parse_question(file_, &out_);
    for (const question_text& v : question_.variables()) {
      if (variable(lowered(v.variable)) == nullptr) {
        error(v.line, quoted(v.variable) + " is declared but defined nowhere");
      }
    }
  }

  // A declared variable in a built variant: its display and value, looked up
  // as a solve looks it up (the algorithm's own definition, then the
  // base's). Nothing when it fails; solve_all tells why.
  struct declared_value {
    std::string shown;
    alg_value value;
  };
  std::optional<declared_value> declared(alg_environment& env, const std::string& name) {
    alg_string text;
    try {
      text = solve(env, alg_string(name), 0, the_engine().translations);
    } catch (const z_x_exception&) {
      return std::nullopt;
    }
    const std::string key = lowered(name);
    for (alg_environment* e = &env; e != nullptr; e = e->base.get()) {
      const uint32_t i = e->find_definition(key, false);
      if (i == 0) continue;
      if (!e->state(i).is_computed()) return std::nullopt;
      return declared_value{std::string(text.view()), e->state(i).value()};
    }
    return std::nullopt;
  }

  // What one trial variant shows of the question: texts where texts belong,
  // options that differ, answers a student can type as shown.
  void check_question_variant(alg_environment& env, uint32_t seed) {
    if (!question_.declared()) return;
    ++question_variants_;
    // Kinds of finding on one line: 0 the declaration's values, 1 the
    // tolerance.
    const auto note = [&](int line, int kind, bool is_error, std::string text) {
      question_finding& f = question_findings_[{line, kind}];
      if (f.count++ == 0) f = {1, line, seed, std::move(text), is_error};
    };
    for (const std::optional<question_text>* t :
         {&question_.prompt, &question_.solution, &question_.feedback}) {
      if (!*t || variable(lowered((*t)->variable)) == nullptr) continue;
      const std::optional<declared_value> v = declared(env, (*t)->variable);
      if (!v || !v->value.is_number()) continue;
      const char* what = t == &question_.prompt     ? "the prompt"
                         : t == &question_.solution ? "the solution"
                                                    : "the feedback";
      note((*t)->line, 0, true,
           std::string(what) + " " + quoted((*t)->variable) + " holds a number (" +
               excerpt(v->shown) + "), not a text,");
    }
    for (std::size_t k = 0; k < question_.parts.size(); ++k) {
      const question_part& part = question_.parts[k];
      if (part.what == question_part::kind::numeric) {
        if (variable(lowered(part.variable)) == nullptr) continue;
        const std::optional<declared_value> v = declared(env, part.variable);
        if (!v) continue;
        if (!v->value.is_number()) {
          note(part.line, 0, true,
               "the numeric part " + quoted(part.variable) + " holds a text (" + excerpt(v->shown) +
                   "), not a number,");
          continue;
        }
        const std::optional<written_number> shown = read_shown_number(v->shown);
        if (!shown) continue;  // nan or inf: no student types it
        const verdict as_shown = judge_number(part.tol, v->value.as_real(), *shown, *shown);
        if (as_shown.result == verdict::kind::right) continue;
        const std::string tol = quoted(part.tol.text);
        note(part.line, 1, false,
             as_shown.result == verdict::kind::wrong
                 ? "tolerance " + tol + " is narrower than the precision " + quoted(part.variable) +
                       " is shown with: a student who types the " + "shown value (" + v->shown +
                       ") is marked wrong"
                 : "tolerance " + tol + " refuses " + quoted(part.variable) + " as it is shown (" +
                       v->shown + "; " + as_shown.reason +
                       "): a student who types the shown value is refused");
      } else if (part.what == question_part::kind::choice) {
        std::vector<std::pair<std::string, std::string>> shown;  // option, display
        for (const std::string& o : part.options) {
          if (variable(lowered(o)) == nullptr) continue;
          if (const std::optional<declared_value> v = declared(env, o)) {
            shown.emplace_back(o, v->shown);
          }
        }
        for (std::size_t i = 0; i < shown.size(); ++i) {
          const auto same =
              std::find_if(shown.begin() + static_cast<std::ptrdiff_t>(i) + 1, shown.end(),
                           [&](const auto& o) { return o.second == shown[i].second; });
          if (same == shown.end()) continue;
          note(part.line, 0, true,
               "options " + quoted(shown[i].first) + " and " + quoted(same->first) +
                   " show the same text (" + shown[i].second + ")");
          break;
        }
      }
    }
  }

  // A shown value as a message quotes it: a long text cut short.
  static std::string excerpt(const std::string& shown) {
    constexpr std::size_t kLongest = 40;
    return shown.size() <= kLongest ? shown : shown.substr(0, kLongest - 3) + "...";
  }

  // One diagnostic per finding of the trial variants, with how often it
  // came and the first seed that shows it.
  void report_question_variants(const std::string& solve_hint) {
    for (const auto& [key, f] : question_findings_) {
      const std::string text = f.text + " in " + std::to_string(f.count) + " of " +
                               std::to_string(question_variants_) + " trial variants" + solve_hint +
                               std::to_string(f.seed) + ")";
      if (f.error) {
        error(f.line, text);
      } else {
        warning(f.line, text);
      }
    }
  }

  // A range of more steps than the generator has distinct draws reaches only
  // some of its values. The bounds may be formulas: they are evaluated in a
  // built environment.
  void check_ranges(alg_environment& env) {
    for (const parsed_line& p : lines_) {
      if (p.kind != 'r' || !p.reachable) continue;
      // The fields are translated already; the engine evaluates each bound
      // as "(" field ")", as here.
      const std::vector<std::string>& f = p.fields;
      if (f.size() < 2 || f[0].empty() || f[1].empty()) continue;
      const auto number = [&](const std::string& field, double& x) {
        try {
          call_context call(env, the_engine().translations);
          env_frame frame(call, 0);
          alg_string rewritten("(" + field + ")");
          evaluate_text(frame, rewritten, true);
          const alg_value v = operand_to_value(frame, rewritten, alg_string(), false);
          if (!v.is_number()) return false;
          x = v.as_real();
          return std::isfinite(x);
        } catch (const z_x_exception&) {
          return false;
        }
      };
      double low = 0;
      double high = 0;
      double step = 1;
      if (!number(f[0], low) || !number(f[1], high)) continue;
      if (f.size() >= 3 && !f[2].empty() && !number(f[2], step)) continue;
      step = std::fabs(step);
      if (step == 0) continue;
      const double steps = std::trunc(std::fabs(high - low) / step) + 1;
      if (steps <= static_cast<double>(kDistinctDraws)) continue;
      char text[320];
      std::snprintf(text, sizeof text,
                    "the range has %.0f values but the generator makes only %d distinct draws: "
                    "%.2g%% of its values can ever appear, about one in every %.0f (narrow the "
                    "range, widen the step, or build the number from smaller draws)",
                    steps, kDistinctDraws, 100.0 * kDistinctDraws / steps,
                    std::ceil(steps / kDistinctDraws));
      warning(p.number, text);
    }
  }

  // A variable's own error from solving (not one it takes over from a
  // variable it reads), with the first variable that met it and its line.
  struct solve_failure {
    std::string name;
    uint32_t seed = 0;
    int line = 0;
    std::string message;  // the first trial's
  };

  void solve_all(alg_environment& env, uint32_t seed,
                 std::map<std::pair<std::size_t, std::string>, solve_failure>& errors,
                 std::set<std::string>& displays_reported) {
    std::size_t held = 0;
    std::vector<solved_name> solved;
    bool failed = false;
    // Each variable that fails on its own is told, wherever it is: a solve
    // stops at the first failure, the report walks past it.
    const auto explain = [&] {
      if (!failed) return;
      std::vector<const algorithm_file*> files{&file_};
      if (base_ != nullptr) files.push_back(base_);
      for (const variable_error& e : explain_failures(&env, files, solved).errors) {
        solve_failure& f = errors[{e.level, lowered(e.name)}];
        if (f.name.empty()) f = {e.name, seed, e.line, e.message};
      }
    };
    for (const parsed_line& p : lines_) {
      if (!p.reachable || p.kind == 'f') continue;
      if (keep_going_ && !keep_going_(held)) {
        stopped_ = true;
        return;
      }
      alg_string text;
      try {
        text = solve(env, alg_string(p.name), 0, the_engine().translations);
      } catch (const z_x_algorithm& e) {
        failed = true;
        solved.push_back({p.name, std::string(e.message.view())});
        continue;
      } catch (const z_x_exception&) {
        failed = true;
        solved.push_back({p.name, std::string("Unknown error occurred.")});
        continue;
      }
      solved.push_back({p.name, std::nullopt});
      held += text.view().size();
    }
    explain();
    check_displays(env, seed, displays_reported);
  }

  // What each variable the trial computed shows, where the display misleads:
  // grouping cut apart past 10^10, a value that shows as zero, a scientific
  // display that reads 10.00e5. Every variable is looked at, also after an
  // earlier one failed (its value then comes from the failure report's
  // own resolution). Told once per variable and kind, at the first seed.
  void check_displays(alg_environment& env, uint32_t seed, std::set<std::string>& reported) {
    const std::string hint =
        " (zekalg solve " + file_.path + " --seed " + std::to_string(seed) + ")";
    std::set<std::string> seen;
    for (const parsed_line& p : lines_) {
      if (!p.reachable || p.kind == 'f' || p.kind == 'c') continue;
      // A second definition of a name is one no lookup finds.
      if (!seen.insert(p.key).second) continue;
      const uint32_t i = env.find_definition(p.key, false);
      if (i == 0) continue;
      const definition_state& state = env.state(i);
      if (!state.is_computed()) continue;
      const alg_value value = state.value();
      if (!value.is_number()) continue;
      const double x = value.as_real();
      int32_t digits = state.digits;
      if (digits < 0 && !value.is_integer()) digits = 6;
      std::string shown(value_to_text(value, digits, state.scientific, true).view());
      const auto once = [&](const char* kind) { return reported.insert(p.key + kind).second; };
      // Past 10^10 the plain number form turns into exponent form, which
      // grouping then cuts apart.
      if (state.grouping && !state.scientific && std::fabs(x) >= 1e10 && once("/grouping")) {
        warning(p.number,
                "value reaches 10^10 with grouping and no scientific format: it shows as " +
                    std::string(group_thousands(alg_string(shown)).view()) + hint);
      }
      if (x != 0 && std::isfinite(x) && shown.find_first_of("123456789") == std::string::npos &&
          once("/zero")) {
        char value_text[32];
        std::snprintf(value_text, sizeof value_text, "%.6g", x);
        warning(p.number, "value " + std::string(value_text) + " shows as " + shown +
                              ": give it more decimals, or the scientific format" + hint);
      }
      if (state.scientific) {
        std::string mantissa = shown.substr(0, shown.find('e'));
        if (!mantissa.empty() && mantissa[0] == en_dash) mantissa.erase(0, 1);
        if (mantissa.starts_with("10") && once("/carry")) {
          warning(p.number, "value shows as " + shown +
                                ": the scientific display rounds the digits before the exponent "
                                "without carrying into it (1 more decimal, or a rounded value, "
                                "avoids it)" +
                                hint);
        }
      }
    }
  }

  const algorithm_file& file_;
  int creations_;
  const algorithm_file* base_;
  const check_guard& keep_going_;
  bool stopped_ = false;
  std::vector<parsed_line> lines_;
  std::vector<parsed_line> base_lines_;
  std::unordered_map<std::string, const parsed_line*> variables_;
  std::unordered_map<std::string, const parsed_line*> functions_;
  std::vector<diagnostic> out_;
  question question_;
  // A fault of the question seen in trial variants.
  struct question_finding {
    int count = 0;
    int line = 0;
    uint32_t seed = 0;  // the first variant that shows it
    std::string text;
    bool error = true;
  };
  // By line and kind of finding, in line order.
  std::map<std::pair<int, int>, question_finding> question_findings_;
  int question_variants_ = 0;
};

}  // namespace

namespace {

// Fewer distinct variants than this, and students meet the same one often.
constexpr int64_t kFewVariants = 20;

// What the count tells an author: too few variants, or one right answer
// behind many prompts (a student who guesses it is often right).
std::vector<diagnostic> count_findings(const variant_count& n, const question& q) {
  std::vector<diagnostic> out;
  // No variant at all: the failures of the trials tell why.
  if (n.draws && n.variants > 0 && n.variants < kFewVariants) {
    out.push_back({0, false,
                   "the question has " + std::string(n.exact ? "" : "about ") +
                       std::to_string(n.variants) + " distinct variant" +
                       (n.variants == 1 ? "" : "s") +
                       ": students will often get the same one (widen the ranges or loosen the "
                       "conditions)",
                   0, 0});
  }
  if (!q.parts.empty() && n.prompts >= 8 && n.common_answer_prompts * 4 > n.prompts) {
    out.push_back({q.parts.front().line, false,
                   std::to_string(n.common_answer_prompts) + " of " + std::to_string(n.prompts) +
                       " distinct prompts share one right answer (" +
                       (n.common_answer.size() > 40 ? n.common_answer.substr(0, 40) + "..."
                                                    : n.common_answer) +
                       "): a student who guesses it is often right",
                   0, 0});
  }
  return out;
}

}  // namespace

std::vector<diagnostic> check_algorithm(const algorithm_file& file, int creations,
                                        const algorithm_file* base, const check_guard& keep_going,
                                        bool* stopped, std::optional<variant_count>* count) {
  checker check(file, creations, base, keep_going);
  std::vector<diagnostic> found = check.run();
  bool cut_short = check.stopped();
  if (base != nullptr) {
    // What the base's own text shows, told at its file; its creation and
    // its variables are tried in the question's trials.
    checker own(*base, 0, nullptr, {});
    for (diagnostic& d : own.run(false)) {
      d.level = 1;
      found.push_back(std::move(d));
    }
  }
  if (count != nullptr) count->reset();
  if (creations > 0 && !cut_short && !file.lines.empty()) {
    const question q = parse_question(file);
    const std::optional<variant_count> n =
        count_variants(file, base, q, [&] { return !keep_going || keep_going(0); });
    cut_short = !n;
    if (n) {
      for (diagnostic& d : count_findings(*n, q)) found.push_back(std::move(d));
      if (count != nullptr) *count = n;
    }
  }
  if (stopped != nullptr) *stopped = cut_short;
  sort_diagnostics(found);
  return found;
}

std::vector<diagnostic> text_traps(const algorithm_file& file) {
  std::vector<diagnostic> traps;
  for (const definition_line& l : file.lines) {
    bool quoted_text = false;
    std::set<std::string> told;  // each kind once per line, at its first column
    for (std::size_t i = 0; i < l.text.size(); ++i) {
      const char c = l.text[i];
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"') {
        quoted_text = !quoted_text;
        continue;
      }
      if (quoted_text) continue;  // inside a text every character is the author's
      std::string what;
      std::string fix;
      if (c == '\t') {
        what = "a tab";
        fix = "the engine reads it as part of a name or number, not as a space: use spaces";
      } else if (byte < 0x20 || byte == 0x7F) {
        char code[8];
        std::snprintf(code, sizeof code, "%02X", byte);
        what = std::string("a control character (byte 0x") + code + ")";
        fix = "it is invisible and the engine reads it as part of a name: delete it";
      } else if (byte == 0xA0) {
        what = "a non-breaking space";
        fix =
            "the engine does not read it as a space (it comes with text pasted from a word "
            "processor): type a plain space";
      } else if (byte == 0xAD) {
        what = "a soft hyphen";
        fix = "it is invisible and the engine reads it as part of a name: delete it";
      } else if (byte >= 0x91 && byte <= 0x94) {
        what = std::string("a curly quote ") + c;
        fix = byte >= 0x93 ? "texts are written between straight quotes: type \" instead"
                           : "the engine reads it as an ordinary character: type ' or, around "
                             "a text, \"";
      } else {
        continue;
      }
      const int column = static_cast<int>(i) + 1;
      if (!told.insert(what.substr(0, 8)).second) continue;
      traps.push_back({l.number, true, what + ": " + fix, 0, column});
    }
  }
  return traps;
}

std::vector<diagnostic> name_traps(const algorithm_file& file) {
  std::vector<diagnostic> traps;
  for (const definition_line& l : file.lines) {
    const definition_record record = parse_definition_line(alg_string(l.text));
    if (record.kind == 0 || record.kind == 'c' || !record.has_separator) continue;
    const std::string name = l.text.substr(2, l.text.find('|') - 2);
    if (const std::optional<name_trap> trap = trap_of(record.kind, name)) {
      traps.push_back({l.number, false, trap->text});
    }
  }
  return traps;
}

}  // namespace tools
