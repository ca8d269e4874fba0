// Mutations that keep fuzz inputs shaped like algorithms and requests. An
// input is parts separated by NUL bytes; the first `algorithm_parts` parts
// are algorithms (lines k_ q_ r_ l_ c_ f_, fields separated by '|'), the
// others are requests (one formula each). A mutation works on lines, fields,
// formula tokens or whole parts, using names the input defines, the engine's
// operators and built-ins, numbers at the edges of the language and quoted
// texts; some of the time it hands the bytes to libFuzzer's own mutations.
// Everything is drawn from the seed libFuzzer passes, so a run replays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/tokens.h"
#include "expr/builtins.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace fuzz {

class alg_mutator {
 public:
  // `context` is an algorithm whose names the requests may use besides those
  // the input defines (the fixed algorithm of a target that fuzzes requests
  // only); `max_parts` the parts the target reads.
  alg_mutator(size_t algorithm_parts, size_t max_parts, std::string_view context = {})
      : algorithm_parts_(algorithm_parts), max_parts_(max_parts) {
    static constexpr const char* candidates[] = {
        "abs",  "acos",  "acosh", "acot",   "acoth", "acsc",    "acsch",  "asec",  "asech",
        "asin", "asinh", "atan",  "atanh",  "ceil",  "ceiling", "combin", "cos",   "cosh",
        "cot",  "coth",  "csc",   "csch",   "deg",   "exp",     "floor",  "int",   "inv",
        "ln",   "log",   "log10", "logb",   "logn",  "max",     "min",    "perm",  "pow",
        "rad",  "rand",  "round", "sec",    "sech",  "sgn",     "sin",    "sinh",  "sqr",
        "sqrt", "tan",   "tanh",  "unique", "asc",   "chr",     "instr",  "lcase", "left",
        "len",  "ltrim", "mid",   "right",  "rtrim", "str",     "trim",   "ucase", "val"};
    // The engine's own table says which of these exist and what they take.
    for (const char* name : candidates) {
      uint32_t least = 0;
      uint32_t most = 0;
      if (builtin_arity(name, least, most)) builtins_.push_back({name, least, most});
    }
    for (const operator_token& t : operator_tokens()) operators_.push_back(t);
    if (!context.empty()) collect_names(std::string(context), context_);
  }

  size_t mutate(uint8_t* data, size_t size, size_t max_size, unsigned seed) {
    rng_.seed(seed);
    if (size == 0 || chance(5)) return LLVMFuzzerMutate(data, size, max_size);
    input in = parse(data, size);
    names_ = context_;
    for (size_t i = 0; i < in.parts.size() && i < algorithm_parts_; ++i) {
      collect_names(in.parts[i], names_);
    }
    // Long inputs run slowly and rarely find more than their shorter forms:
    // past a kilobyte, every other mutation takes something away.
    if (size > 1024 && chance(2)) {
      shrink(in);
    } else {
      const int rounds = 1 + static_cast<int>(below(3));
      for (int r = 0; r < rounds; ++r) mutate_once(in, max_size);
    }
    const std::string out = join(in.parts);
    if (out.size() > max_size || out.empty()) return LLVMFuzzerMutate(data, size, max_size);
    std::memcpy(data, out.data(), out.size());
    return out.size();
  }

  size_t cross_over(const uint8_t* a, size_t a_size, const uint8_t* b, size_t b_size, uint8_t* out,
                    size_t max_out, unsigned seed) {
    rng_.seed(seed);
    const input x = parse(a, a_size);
    const input y = parse(b, b_size);
    std::vector<std::string> parts;
    const size_t n = std::max(x.parts.size(), y.parts.size());
    for (size_t i = 0; i < n && i < max_parts_; ++i) {
      const std::string* p = i < x.parts.size() ? &x.parts[i] : nullptr;
      const std::string* q = i < y.parts.size() ? &y.parts[i] : nullptr;
      if (p == nullptr || q == nullptr) {
        if (chance(2)) parts.push_back(p != nullptr ? *p : *q);
        continue;
      }
      if (i < algorithm_parts_) {
        // Some lines of one, then some of the other, in order.
        const std::vector<std::string> l1 = split(*p, '\n');
        const std::vector<std::string> l2 = split(*q, '\n');
        std::vector<std::string> lines;
        for (const auto& l : l1) {
          if (chance(2) || l2.empty()) lines.push_back(l);
        }
        for (const auto& l : l2) {
          if (chance(2)) lines.push_back(l);
        }
        if (chance(2)) std::shuffle(lines.begin(), lines.end(), rng_);
        parts.push_back(join_with(lines, '\n'));
      } else {
        parts.push_back(chance(2) ? *p : *q);
      }
    }
    const std::string joined = join(parts);
    if (joined.size() > max_out) return 0;
    std::memcpy(out, joined.data(), joined.size());
    return joined.size();
  }

 private:
  struct builtin {
    const char* name;
    uint32_t least;
    uint32_t most;
  };
  struct function {
    std::string name;
    size_t arguments;
  };
  struct name_set {
    std::vector<std::string> variables;
    std::vector<function> functions;
    std::vector<std::string> arguments;
  };
  struct input {
    std::vector<std::string> parts;
  };

  // --- random choices

  size_t below(size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
  }
  bool chance(size_t one_in) { return below(one_in) == 0; }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[below(v.size())];
  }

  // --- input structure

  static std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
      const size_t at = s.find(sep, from);
      out.push_back(s.substr(from, at == std::string::npos ? at : at - from));
      if (at == std::string::npos) return out;
      from = at + 1;
    }
  }
  static std::string join_with(const std::vector<std::string>& v, char sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
      if (i > 0) out += sep;
      out += v[i];
    }
    return out;
  }
  static std::string join(const std::vector<std::string>& parts) { return join_with(parts, '\0'); }
  static input parse(const uint8_t* data, size_t size) {
    return {split(std::string(reinterpret_cast<const char*>(data), size), '\0')};
  }

  static bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }

  // The names an algorithm defines: variables, functions and their arguments.
  static void collect_names(const std::string& algorithm, name_set& into) {
    for (std::string line : split(algorithm, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() < 3 || line[1] != '_') continue;
      const std::vector<std::string> fields = split(line.substr(2), '|');
      const std::string& name = fields[0];
      if (name.empty() || fields.size() < 2) continue;
      switch (line[0]) {
        case 'k':
        case 'q':
        case 'r':
        case 'l':
          if (into.variables.size() < 64) into.variables.push_back(name);
          break;
        case 'f':
          if (into.functions.size() < 32) into.functions.push_back({name, fields.size() - 2});
          for (size_t i = 2; i < fields.size() && into.arguments.size() < 32; ++i) {
            into.arguments.push_back(fields[i]);
          }
          break;
        default:
          break;
      }
    }
  }

  // --- generated pieces

  std::string number() {
    static const std::vector<std::string> edges = {
        "0",          "1",           "-1",          "2",          "3",     "10",       "0.5",
        ".5",         "1e3",         "2.5e-3",      "1e308",      "1e-45", "-0",       "2147483647",
        "2147483648", "-2147483648", "4294967296",  "1234567890", "170",   "171",      "32767",
        "32768",      "9999999999",  "12345678901", "1e23",       "0.1",   "1.005",    "999.995",
        "pi",         "e",           "true",        "false",      "1e309", "123456789"};
    switch (below(3)) {
      case 0:
        return pick(edges);
      case 1:
        return std::to_string(static_cast<int>(below(200)) - 50);
      default: {
        std::string s = std::to_string(below(100000));
        if (chance(2)) s += "." + std::to_string(below(1000));
        if (chance(5)) s += "e" + std::to_string(static_cast<int>(below(40)) - 20);
        return s;
      }
    }
  }

  std::string text() {
    static const std::vector<std::string> texts = {"\"\"",
                                                   "\"a\"",
                                                   "\"abc\"",
                                                   "\"pen\"",
                                                   "\"Hello world\"",
                                                   "\"\\\"\"",
                                                   "\"\\\\\"",
                                                   "\"\\n\"",
                                                   "\"\\t\"",
                                                   "\"\\x41\"",
                                                   "\"\\x00\"",
                                                   "\"\\x96\"",
                                                   "\"12\"",
                                                   "\" 3.5 \"",
                                                   "\"1e3\"",
                                                   "\"\x96"
                                                   "5\"",
                                                   "\"|\"",
                                                   "\"a|b\"",
                                                   "\"(\"",
                                                   "\"~add~\"",
                                                   "\"\xe9\"",
                                                   "\"\x80\"",
                                                   "\"x\\\"",
                                                   "\"ab"};
    return pick(texts);
  }

  std::string variable() {
    if (!names_.variables.empty() && !chance(6)) return pick(names_.variables);
    static const std::vector<std::string> fixed = {"pi", "e", "true", "no",
                                                   "x",  "a", "zz",   "zek_opt_tenthousand"};
    return pick(fixed);
  }

  std::string binary_operator() {
    const operator_token& t = pick(operators_);
    if (chance(40)) return t.token;
    if (!t.takes_left || !t.takes_right) return "+";
    const std::string shown = t.shown;
    if (name_char(shown[0])) return " " + shown + " ";
    static const std::vector<std::string> spellings = {"==", "=<", "=>"};
    if (chance(20)) return pick(spellings);
    return chance(4) ? " " + shown + " " : shown;
  }

  std::string arguments(size_t count, int depth) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
      if (i > 0) s += chance(8) ? " , " : ",";
      s += expression(depth);
    }
    return s;
  }

  std::string call(int depth) {
    if (!names_.functions.empty() && chance(3)) {
      const function& f = pick(names_.functions);
      size_t n = f.arguments;
      if (chance(8)) n = n + below(3) - (n > 0 ? 1 : 0);
      return f.name + "(" + arguments(n, depth) + ")";
    }
    switch (below(8)) {
      case 0:
        return "if(" + arguments(3, depth) + ")";
      case 1:
        return "choose(" + arguments(1 + below(4), depth) + ")";
      default: {
        const builtin& b = pick(builtins_);
        size_t n = b.least + below((b.most == 0 ? b.least + 3 : b.most) - b.least + 1);
        if (chance(10)) n = below(4);
        std::string name = b.name;
        if (chance(10)) name[0] = static_cast<char>(name[0] - 'a' + 'A');  // names ignore case
        return name + "(" + arguments(n, depth) + ")";
      }
    }
  }

  std::string expression(int depth) {
    const size_t leaf = depth <= 0 ? 4 : 10;
    switch (below(leaf)) {
      case 0:
      case 1:
        return number();
      case 2:
        return variable();
      case 3:
        return chance(3) ? text()
                         : (names_.arguments.empty() ? variable() : pick(names_.arguments));
      case 4:
      case 5:
        return expression(depth - 1) + binary_operator() + expression(depth - 1);
      case 6:
        return "(" + expression(depth - 1) + ")";
      case 7:
        switch (below(3)) {
          case 0:
            return "-" + expression(depth - 1);
          case 1:
            return "not " + expression(depth - 1);
          default:
            return expression(0) + "!";
        }
      default:
        return call(depth - 1);
    }
  }

  std::string fresh_name() {
    static const std::vector<std::string> odd = {
        "pi", "sin", "if", "mod", "add", "e2", "fac", "x y", "", "zek_opt_tenthousand", "Q", "_a"};
    if (chance(8)) return pick(odd);
    if (!names_.variables.empty() && chance(5)) return pick(names_.variables);
    std::string s(1, static_cast<char>('a' + below(26)));
    if (chance(2)) s += static_cast<char>('a' + below(26));
    if (chance(3)) s += std::to_string(below(10));
    return s;
  }

  std::string format_fields() {
    std::string s;
    const size_t n = below(4);
    for (size_t i = 0; i < n; ++i) {
      s += "|";
      if (chance(6)) continue;
      s += chance(8) ? variable() : std::to_string(i == 0 ? below(12) : below(2));
    }
    return s;
  }

  std::string line() {
    const std::string name = fresh_name();
    switch (below(7)) {
      case 0:
        return "k_" + name + "|" + (chance(3) ? text() : number());
      case 1:
      case 2:
        return "q_" + name + "|" + expression(2) + format_fields();
      case 3: {
        std::string s = "r_" + name + "|" + expression(1) + "|" + expression(1);
        if (chance(2)) s += "|" + (chance(2) ? number() : expression(1));
        return s + (chance(3) ? format_fields() : "");
      }
      case 4: {
        std::string s = "l_" + name + "|" + (chance(3) ? "" : std::string(1, 'g' + below(3)));
        const size_t n = 1 + below(4);
        for (size_t i = 0; i < n; ++i) s += "|" + expression(1);
        return s;
      }
      case 5: {
        const std::string a = expression(1);
        static const std::vector<std::string> compare = {"<>", "<", ">", "=", ">=", "<="};
        return "c_" + name + "|" + a + pick(compare) + expression(1);
      }
      default: {
        const size_t n = below(4);
        std::vector<std::string> args;
        for (size_t i = 0; i < n; ++i) args.push_back(std::string(1, "xyzpqkn"[below(7)]));
        name_set saved = names_;
        names_.arguments = args;
        names_.functions.push_back({name, n});  // may call itself
        std::string s = "f_" + name + "|" + expression(2);
        names_ = saved;
        for (const auto& a : args) s += "|" + a;
        return s;
      }
    }
  }

  // --- formula tokens

  enum class kind { space, number, name, text, op, open, close, comma, other };
  struct token {
    kind k;
    std::string s;
  };

  static std::vector<token> tokenize(const std::string& f) {
    std::vector<token> out;
    size_t i = 0;
    while (i < f.size()) {
      const char c = f[i];
      size_t j = i + 1;
      kind k = kind::other;
      if (c == ' ' || c == '\t') {
        k = kind::space;
        while (j < f.size() && (f[j] == ' ' || f[j] == '\t')) ++j;
      } else if ((c >= '0' && c <= '9') || c == '.') {
        k = kind::number;
        while (j < f.size() &&
               ((f[j] >= '0' && f[j] <= '9') || f[j] == '.' || ((f[j] == 'e' || f[j] == 'E')) ||
                ((f[j] == '-' || f[j] == '+') && (f[j - 1] == 'e' || f[j - 1] == 'E')))) {
          ++j;
        }
      } else if (name_char(c)) {
        k = kind::name;
        while (j < f.size() && name_char(f[j])) ++j;
      } else if (c == '"') {
        k = kind::text;
        while (j < f.size() && f[j] != '"') j += f[j] == '\\' ? 2 : 1;
        j = std::min(j + 1, f.size());
      } else if (c == '(') {
        k = kind::open;
      } else if (c == ')') {
        k = kind::close;
      } else if (c == ',') {
        k = kind::comma;
      } else if (std::strchr("+-*/\\^!&<>=~", c) != nullptr) {
        k = kind::op;
        while (j < f.size() && j < i + 5 && std::strchr("<>=~", f[j]) != nullptr && c != '~') ++j;
        if (c == '~' && i + 5 <= f.size()) j = i + 5;
      }
      out.push_back({k, f.substr(i, j - i)});
      i = j;
    }
    return out;
  }

  static bool word_operator(const std::string& s) {
    std::string l;
    for (char c : s) l += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return l == "mod" || l == "rem" || l == "not" || l == "and" || l == "or" || l == "xor" ||
           l == "eqv" || l == "imp";
  }

  std::string mutate_formula(const std::string& f) {
    std::vector<token> t = tokenize(f);
    if (t.empty()) return expression(2);
    const size_t at = below(t.size());
    token& x = t[at];
    switch (below(10)) {
      case 0:  // the same kind of token, another value
        if (x.k == kind::number)
          x.s = number();
        else if (x.k == kind::name && word_operator(x.s))
          x.s = binary_operator();
        else if (x.k == kind::name)
          x.s = chance(3) ? pick(builtins_).name : variable();
        else if (x.k == kind::text)
          x.s = text();
        else if (x.k == kind::op)
          x.s = binary_operator();
        else
          x.s = expression(1);
        break;
      case 1:  // an operand becomes a whole expression
        if (x.k == kind::number || x.k == kind::name || x.k == kind::text)
          x.s = expression(2);
        else
          x.s = binary_operator() + expression(1);
        break;
      case 2:  // one more operation
        x.s += binary_operator() + expression(1);
        break;
      case 3:
        t.erase(t.begin() + static_cast<ptrdiff_t>(at));
        break;
      case 4:
        t.insert(t.begin() + static_cast<ptrdiff_t>(at), x);
        break;
      case 5: {  // a call around a run of tokens
        const size_t end = at + below(t.size() - at);
        std::string inner;
        for (size_t i = at; i <= end; ++i) inner += t[i].s;
        t.erase(t.begin() + static_cast<ptrdiff_t>(at) + 1,
                t.begin() + static_cast<ptrdiff_t>(end) + 1);
        const size_t w = below(4);
        if (w == 0)
          t[at].s = "(" + inner + ")";
        else if (w == 1)
          t[at].s = std::string(pick(builtins_).name) + "(" + inner + ")";
        else if (w == 2)
          t[at].s = "if(" + inner + "," + expression(1) + "," + expression(1) + ")";
        else
          t[at].s = "str(" + inner + (chance(2) ? "," + number() : "") + ")";
        break;
      }
      case 6:
        std::swap(t[at], t[below(t.size())]);
        break;
      case 7:  // a bracket or comma more or less
        if (x.k == kind::open || x.k == kind::close || x.k == kind::comma)
          x.s.clear();
        else
          x.s += pick(std::vector<std::string>{"(", ")", ",", " ", "\"", "|"});
        break;
      case 8:
        return expression(3);
      default: {  // libFuzzer's bytes in one token
        std::string s = x.s;
        s.resize(s.size() + 16);
        const size_t n =
            LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(s.data()), x.s.size(), s.size());
        s.resize(n);
        s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
        x.s = s;
        break;
      }
    }
    std::string out;
    for (const token& k : t) out += k.s;
    return out;
  }

  // --- lines

  void mutate_line(std::string& l) {
    const bool cr = !l.empty() && l.back() == '\r';
    if (cr) l.pop_back();
    std::vector<std::string> fields = split(l, '|');
    switch (below(8)) {
      case 0:
        if (l.size() >= 2) l[0] = "kqrlcfxK"[below(8)];
        break;
      case 1:  // another name
        fields[0] = fields[0].substr(0, fields[0].size() >= 2 ? 2 : 0) + fresh_name();
        l = join_with(fields, '|');
        break;
      case 2:
        fields.push_back(chance(2) ? number() : expression(1));
        l = join_with(fields, '|');
        break;
      case 3:
        if (fields.size() > 1)
          fields.erase(fields.begin() + 1 + static_cast<ptrdiff_t>(below(fields.size() - 1)));
        l = join_with(fields, '|');
        break;
      case 4:
        l = line();
        break;
      default:
        if (fields.size() > 1) {
          std::string& f = fields[1 + below(fields.size() - 1)];
          f = mutate_formula(f);
          l = join_with(fields, '|');
        } else {
          l = mutate_formula(l);
        }
        break;
    }
    l.erase(std::remove(l.begin(), l.end(), '\0'), l.end());
    std::replace(l.begin(), l.end(), '\n', ' ');
    if (cr || chance(50)) l += '\r';
  }

  void mutate_algorithm(std::string& algorithm) {
    std::vector<std::string> lines = split(algorithm, '\n');
    switch (below(7)) {
      case 0:
      case 1:
        lines.insert(lines.begin() + static_cast<ptrdiff_t>(below(lines.size() + 1)), line());
        break;
      case 2:
        if (lines.size() > 1)
          lines.erase(lines.begin() + static_cast<ptrdiff_t>(below(lines.size())));
        break;
      case 3:
        lines.insert(lines.begin() + static_cast<ptrdiff_t>(below(lines.size() + 1)), pick(lines));
        break;
      case 4:
        std::swap(lines[below(lines.size())], lines[below(lines.size())]);
        break;
      default:
        mutate_line(lines[below(lines.size())]);
        break;
    }
    algorithm = join_with(lines, '\n');
  }

  std::string request() {
    if (chance(3)) return variable();
    if (!names_.functions.empty() && chance(3)) return call(2);
    return expression(3);
  }

  // Drops a request, or a line of an algorithm.
  void shrink(input& in) {
    const size_t at = below(in.parts.size());
    if (at >= algorithm_parts_) {
      if (in.parts.size() > algorithm_parts_ + 1)
        in.parts.erase(in.parts.begin() + static_cast<ptrdiff_t>(at));
      else
        in.parts[at] = request();
      return;
    }
    std::vector<std::string> lines = split(in.parts[at], '\n');
    const size_t n = 1 + below(lines.size() / 4 + 1);
    for (size_t i = 0; i < n && lines.size() > 1; ++i) {
      lines.erase(lines.begin() + static_cast<ptrdiff_t>(below(lines.size())));
    }
    in.parts[at] = join_with(lines, '\n');
  }

  void mutate_once(input& in, size_t max_size) {
    const size_t requests =
        in.parts.size() > algorithm_parts_ ? in.parts.size() - algorithm_parts_ : 0;
    // Too few parts for the target: add one.
    if (in.parts.size() < algorithm_parts_ || (requests == 0 && chance(2))) {
      in.parts.push_back(in.parts.size() < algorithm_parts_ ? line() : request());
      return;
    }
    const size_t choice = below(10);
    if (choice < 4 && algorithm_parts_ > 0) {
      mutate_algorithm(in.parts[below(algorithm_parts_)]);
    } else if (choice == 4 && in.parts.size() < max_parts_ && max_size > 64) {
      in.parts.insert(
          in.parts.begin() + static_cast<ptrdiff_t>(algorithm_parts_ + below(requests + 1)),
          request());
    } else if (choice == 5 && requests > 1) {
      in.parts.erase(in.parts.begin() + static_cast<ptrdiff_t>(algorithm_parts_ + below(requests)));
    } else if (requests > 0) {
      std::string& r = in.parts[algorithm_parts_ + below(requests)];
      r = chance(5) ? request() : mutate_formula(r);
      r.erase(std::remove(r.begin(), r.end(), '\0'), r.end());
    } else if (algorithm_parts_ > 0) {
      mutate_algorithm(in.parts[below(algorithm_parts_)]);
    }
  }

  size_t algorithm_parts_;
  size_t max_parts_;
  std::vector<builtin> builtins_;
  std::vector<operator_token> operators_;
  name_set context_;
  name_set names_;
  std::minstd_rand rng_;
};

}  // namespace fuzz

// libFuzzer's mutation hooks of a target, handed to its `mutator`.
#define ZEKALG_FUZZ_MUTATOR_HOOKS(mutator)                                                       \
  extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,         \
                                            unsigned int seed) {                                 \
    return (mutator).mutate(data, size, max_size, seed);                                         \
  }                                                                                              \
  extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* a, size_t a_size, const uint8_t* b, \
                                              size_t b_size, uint8_t* out, size_t max_out,       \
                                              unsigned int seed) {                               \
    return (mutator).cross_over(a, a_size, b, b_size, out, max_out, seed);                       \
  }
