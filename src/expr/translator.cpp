#include "expr/translator.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/tokens.h"
#include "value/literal_codec.h"

// The passes below work on std::string with 0-based indices and build each
// pass's result in one sweep; the public functions convert at the border.
// NUL is an ordinary byte for every scan here: a formula holding one is
// translated through to its end, and no scan ever leaves the text.

namespace {

constexpr int kEnDash = 150;  // also written as a minus sign

int byte_at(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_name_byte(int c) { return c == '.' || c == '_' || is_digit(c) || is_letter(c); }
bool is_sign(int c) { return c == '+' || c == '-' || c == kEnDash; }

// What may stand in a left operand: a possibly signed number or name.
bool is_left_operand_byte(int c) { return is_name_byte(c) || is_sign(c); }

// The bytes that end a function name when walking left from its '('.
bool ends_name(int c) {
  switch (c) {
    case ',':
    case '~':
    case '+':
    case '-':
    case '(':
    case ')':
    case '"':
    case '|':
      return true;
    default:
      return false;
  }
}

bool is_word_delimiter(int c) { return c == ' ' || ends_name(c); }

// A sign stays a sign after these bytes: nothing stands to its left that it
// could be subtracted from or added to.
bool starts_operand_context(int c) {
  switch (c) {
    case '+':
    case '-':
    case '(':
    case '~':
    case ',':
    case '|':
      return true;
    default:
      return false;
  }
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool matches_ignoring_case(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (ascii_lower(s[at + k]) != ascii_lower(word[k])) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Scanners

}  // namespace

size_t name_start(std::string_view s, size_t open) {
  size_t j = open;
  while (j > 0 && !ends_name(byte_at(s, j - 1))) --j;
  return j;
}

bool is_whole_operand(std::string_view text) {
  if (text.empty()) return true;
  if (text.front() == '"') return text.size() >= 2 && text.find('"', 1) == text.size() - 1;
  bool name_seen = false;
  for (size_t j = 0; j < text.size(); ++j) {
    const int c = byte_at(text, j);
    if (is_sign(c)) {
      // Signs lead an operand, and follow the 'e' of an exponent (1e-5).
      if (name_seen && text[j - 1] != 'e' && text[j - 1] != 'E') return false;
    } else if (is_name_byte(c)) {
      name_seen = true;
    } else {
      return false;
    }
  }
  return true;
}

namespace {

// Start of the left operand of a token at `t` (t <= size). Walks that find
// no partner quote or parenthesis stop at the start of the text.
size_t left_operand_start(std::string_view s, size_t t, scan_mode mode) {
  if (t == 0) return 0;
  const int last = byte_at(s, t - 1);
  if (last == '"') {
    const size_t open = t >= 2 ? s.rfind('"', t - 2) : std::string_view::npos;
    return open == std::string_view::npos ? 0 : open;
  }
  if (mode == scan_mode::translator && last == ')') {
    const char* const bytes = s.data();
    size_t depth = 0;
    for (size_t j = t; j > 0; --j) {
      const char c = bytes[j - 1];
      if (c == ')') {
        ++depth;
      } else if (c == '(' && --depth == 0) {
        // A call such as sin(x) is one operand together with its name.
        return name_start(s, j - 1);
      }
    }
    return 0;
  }
  size_t j = t;
  while (j > 0 && is_left_operand_byte(byte_at(s, j - 1))) --j;
  return j;
}

// One past the ')' matching the '(' at `open`, or the end of the text.
size_t group_end(std::string_view s, size_t open) {
  const char* const bytes = s.data();
  size_t depth = 0;
  for (size_t j = open; j < s.size(); ++j) {
    if (bytes[j] == '(') {
      ++depth;
    } else if (bytes[j] == ')' && --depth == 0) {
      return j + 1;
    }
  }
  return s.size();
}

// One past the end of the right operand that starts at `r` (r <= size).
size_t right_operand_end(std::string_view s, size_t r, scan_mode mode) {
  const size_t n = s.size();
  if (r >= n) return n;
  if (s[r] == '"') {
    const size_t close = s.find('"', r + 1);
    return close == std::string_view::npos ? n : close + 1;
  }
  bool name_seen = false;
  size_t j = r;
  while (j < n) {
    const int c = byte_at(s, j);
    if (is_sign(c)) {
      // Signs lead an operand, and follow the 'e' of an exponent (1e-5).
      const bool after_e = j > r && (s[j - 1] == 'e' || s[j - 1] == 'E');
      if (name_seen && !after_e) break;
      ++j;
    } else if (is_name_byte(c)) {
      name_seen = true;
      ++j;
    } else if (mode == scan_mode::translator && c == '(') {
      return group_end(s, j);
    } else {
      break;
    }
  }
  return j;
}

// Index of the token's right operand: just after its fifth byte, or the end.
size_t after_token(std::string_view s, size_t t) {
  return s.size() - t < token_length ? s.size() : t + token_length;
}

// ---------------------------------------------------------------------------
// Word replacement

std::string replace_word_bytes(std::string_view s, std::string_view word,
                               std::string_view replacement) {
  if (word.empty()) return std::string(s);  // an empty word would match everywhere
  const char lower_first = ascii_lower(word[0]);
  const char upper_first = ascii_upper(word[0]);
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    // A plain loop: find_first_of looks each byte up in the set with a call.
    size_t candidate = i;
    while (candidate < s.size() && s[candidate] != lower_first && s[candidate] != upper_first) {
      ++candidate;
    }
    if (candidate == s.size()) break;
    out.append(s.substr(i, candidate - i));
    i = candidate;
    if (!matches_ignoring_case(s, i, word)) {
      out += s[i++];
      continue;
    }
    // The byte before is read from the text as rewritten so far, so a
    // replacement just made counts as what precedes the next match.
    const bool open_before =
        out.empty() || is_word_delimiter(static_cast<unsigned char>(out.back()));
    const size_t after = i + word.size();
    const bool open_after = after == s.size() || is_word_delimiter(byte_at(s, after));
    if (open_before && open_after) {
      out += replacement;
    } else {
      out.append(s.substr(i, word.size()));
    }
    i = after;
  }
  if (i < s.size()) out.append(s.substr(i));
  return out;
}

// ---------------------------------------------------------------------------
// Translation passes

// A '"' closes a literal unless a backslash escapes it. A run of backslashes
// before it pairs up first (each "\\" stands for one backslash), so only an
// odd run escapes the quote and a literal may end in an escaped backslash.
bool quote_is_escaped(std::string_view s, size_t quote) {
  size_t run = 0;
  while (run < quote && s[quote - 1 - run] == '\\') ++run;
  return run % 2 == 1;
}

// Calls `visit(open, close)` with the positions of the quotes of every
// closed string literal, left to right; an unclosed literal ends the walk.
template <typename F>
void for_each_literal(std::string_view s, F&& visit) {
  size_t open = s.find('"');
  while (open != std::string_view::npos) {
    size_t close = s.find('"', open + 1);
    while (close != std::string_view::npos && quote_is_escaped(s, close)) {
      close = s.find('"', close + 1);
    }
    if (close == std::string_view::npos) return;
    visit(open, close);
    open = close + 1 < s.size() ? s.find('"', close + 1) : std::string_view::npos;
  }
}

// The encoded form of the literal content between the quotes at `open` and
// `close`.
alg_string encoded_content(std::string_view s, size_t open, size_t close) {
  return encode_literal(unescape_literal(alg_string(s.substr(open + 1, close - open - 1))));
}

// Encodes the content of every closed string literal; an unclosed literal
// and everything after it stay as written.
std::string encode_string_literals(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  size_t copied = 0;
  for_each_literal(s, [&](size_t open, size_t close) {
    out.append(s.substr(copied, open + 1 - copied));
    out += encoded_content(s, open, close).str();
    out += '"';
    copied = close + 1;
  });
  out.append(s.substr(copied));
  return out;
}

std::string replace_symbol(std::string_view s, std::string_view symbol, std::string_view token) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  for (size_t at = s.find(symbol); at != std::string_view::npos; at = s.find(symbol, i)) {
    out.append(s.substr(i, at - i));
    out += token;
    i = at + symbol.size();
  }
  out.append(s.substr(i));
  return out;
}

struct word_rewrite {
  std::string_view word;
  std::string_view call;  // the conditional's name, or empty for an operator
  operator_id id;

  std::string_view replacement() const { return call.empty() ? token_text(id).view() : call; }
};

// Word operators and the conditional names, in the order they are rewritten.
// xor comes before or: the "or" in "~xor~" follows an 'x' and is no word.
constexpr word_rewrite kWordRewrites[] = {
    {"mod", {}, operator_id::mod},      {"rem", {}, operator_id::rem},
    {"not", {}, operator_id::not_},     {"eqv", {}, operator_id::eqv},
    {"and", {}, operator_id::and_},     {"xor", {}, operator_id::xor_},
    {"or", {}, operator_id::ior},       {"imp", {}, operator_id::imp},
    {"if", "zek_if", operator_id::fac}, {"choose", "zek_choose", operator_id::fac},
};

// Each word over the whole text. The quotes of a literal count as word
// boundaries, so a literal whose whole content is such a word ("or", "if")
// is rewritten like the word: authors meet this as a known trap of the
// language, and the check command warns about it.
std::string replace_words(std::string_view s) {
  std::string out(s);
  for (const word_rewrite& r : kWordRewrites)
    out = replace_word_bytes(out, r.word, r.replacement());
  return out;
}

std::string remove_spaces(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  for (size_t at = s.find(' '); at != std::string_view::npos; at = s.find(' ', i)) {
    out.append(s.substr(i, at - i));
    i = at + 1;
  }
  out.append(s.substr(i));
  return out;
}

// For an 'e' at `e` that follows a digit: is it the exponent mark of a
// number (1.5e-3) rather than the last letter of a name (x2e)?
bool is_exponent_mark(std::string_view s, size_t e) {
  for (size_t j = e; j > 0; --j) {
    const int c = byte_at(s, j - 1);
    if (is_digit(c) || c == '.') continue;
    if (c == '-' || c == '+' || c == kEnDash) return true;
    return !(is_letter(c) || c == '_');
  }
  return true;
}

// Each `sign` between two operands becomes `token`; the rest stay signs. The
// byte before is read from the text as rewritten so far, so in 1--2 the
// second '-' follows the token made of the first and stays a sign.
std::string mark_between_operands(std::string_view s, char sign, std::string_view token) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  size_t i = 0;
  for (size_t at = s.find(sign); at != std::string_view::npos; at = s.find(sign, i)) {
    out.append(s.substr(i, at - i));
    i = at + 1;
    bool stays_sign = false;
    if (!out.empty()) {
      const size_t last = out.size() - 1;
      const int before = static_cast<unsigned char>(out[last]);
      if (starts_operand_context(before)) {
        stays_sign = true;
      } else if (before == 'e' && last > 0) {
        const int ahead = static_cast<unsigned char>(out[last - 1]);
        stays_sign = (is_digit(ahead) || ahead == '-') && is_exponent_mark(out, last);
      }
    }
    if (stays_sign) {
      out += sign;
    } else {
      out += token;
    }
  }
  out.append(s.substr(i));
  return out;
}

// Fences every `token` in parentheses of its own, left to right, so that
// signs bind more loosely than '!' and '^' and a chain of powers groups from
// the left. Each pair goes in where it would if the operands were found
// again, token after token, in the text as fenced so far (left_operand_start,
// right_operand_end); that form is what stored results depend on.
//
// Done pair after pair on one std::string, that is quadratic: every insert
// moves the rest of the text, and in 2^3^4^... the left operand is the whole
// fenced chain before it. So the text is held as a list of bytes, a pair goes
// in at once, and every parenthesis knows its partner in the text as it
// stands. Most pairs enclose a balanced stretch and change no partner. The
// others (a group that is never closed, or a quote in an unclosed literal)
// change only the partners of the enclosed parentheses that pair outside the
// stretch, and those are found without walking far: see enclose().
class fence_sweep {
 public:
  fence_sweep(std::string_view text, size_t tokens, bool takes_right) : takes_right_(takes_right) {
    const size_t nodes = text.size() + 2 * tokens;
    if (nodes >= kNone) throw z_x_outofstringspace();
    const auto base_size = static_cast<uint32_t>(text.size());
    byte_.reserve(nodes);
    prev_.reserve(nodes);
    next_.reserve(nodes);
    link_.reserve(nodes);
    byte_.assign(text.begin(), text.end());
    std::vector<uint32_t> opens;
    for (uint32_t i = 0; i < base_size; ++i) {
      prev_.push_back(i == 0 ? kNone : i - 1);
      next_.push_back(i + 1 == base_size ? kNone : i + 1);
      link_.push_back(kNone);
      if (byte_[i] == '"') {
        link_[i] = static_cast<uint32_t>(quotes_.size());
        quotes_.push_back(i);
      } else if (byte_[i] == '(') {
        opens.push_back(i);
      } else if (byte_[i] == ')' && !opens.empty()) {
        join(opens.back(), i);
        opens.pop_back();
      }
    }
    head_ = base_size == 0 ? kNone : 0;
    tail_ = base_size == 0 ? kNone : base_size - 1;
    first_lone_close_ = next_lone(head_, ')', next_);
    last_lone_open_ = next_lone(tail_, '(', prev_);
  }

  // Fences the token whose first byte is byte `t` of the text as it was given.
  void fence(uint32_t t) {
    const uint32_t token_end = t + token_length - 1;
    const uint32_t before = prev_[t];
    part left = part::plain;
    uint32_t start = t;
    if (before != kNone && byte_[before] == '"') {
      const uint32_t rank = link_[before];
      start = rank == 0 ? head_ : quotes_[rank - 1];
      left = part::scanned;
    } else if (before != kNone && byte_[before] == ')') {
      const uint32_t open = link_[before];
      start = open == kNone ? head_ : name_start(open);
      left = open == kNone ? part::lone : part::balanced;
    } else {
      while (prev_[start] != kNone && is_left_operand_byte(at(prev_[start]))) start = prev_[start];
      while (start != t && (byte_[start] == '+' || byte_[start] == '-')) start = next_[start];
    }

    part right = part::plain;
    uint32_t last = token_end;  // the last byte inside the pair
    const uint32_t r = next_[token_end];
    if (takes_right_ && r != kNone) {
      if (byte_[r] == '"') {
        const uint32_t rank = link_[r] + 1;
        last = rank < quotes_.size() ? quotes_[rank] : tail_;
        right = part::scanned;
      } else {
        right = right_operand(r, last);
      }
    }
    enclose(start, left, before, r, last, right);
  }

  std::string text() const {
    std::string out;
    out.reserve(byte_.size());
    for (uint32_t j = head_; j != kNone; j = next_[j]) out += byte_[j];
    return out;
  }

 private:
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

  // What stands between a pair's '(' and its token, or its token and its ')'.
  enum class part {
    plain,     // no parenthesis
    balanced,  // a group with its partner, and what has no parenthesis
    lone,      // from a group without partner to the start or the end of the text
    scanned,   // any bytes (up to or from a quote): walked through
  };

  int at(uint32_t node) const { return static_cast<unsigned char>(byte_[node]); }

  void join(uint32_t a, uint32_t b) {
    if (a != kNone) link_[a] = b;
    if (b != kNone) link_[b] = a;
  }

  // `from` itself or the nearest parenthesis `paren` without partner in
  // the direction of `step` (next_ or prev_).
  uint32_t next_lone(uint32_t from, char paren, const std::vector<uint32_t>& step) const {
    uint32_t j = from;
    while (j != kNone && !(byte_[j] == paren && link_[j] == kNone)) j = step[j];
    return j;
  }

  // As right_operand_end from node `r`, which is no quote. Sets `last` to
  // the last byte of the operand, or leaves it when the operand is empty.
  part right_operand(uint32_t r, uint32_t& last) const {
    bool name_seen = false;
    uint32_t j = r;
    while (j != kNone) {
      const int c = at(j);
      if (is_sign(c)) {
        const bool after_e = j != r && (byte_[prev_[j]] == 'e' || byte_[prev_[j]] == 'E');
        if (name_seen && !after_e) break;
      } else if (is_name_byte(c)) {
        name_seen = true;
      } else if (c == '(') {
        last = link_[j] == kNone ? tail_ : link_[j];
        return link_[j] == kNone ? part::lone : part::balanced;
      } else {
        break;
      }
      last = j;
      j = next_[j];
    }
    return part::plain;
  }

  // As name_start for the '(' at `open`. Kept per '(', as one group may be
  // the left operand again after the partners around it have changed. A name
  // once read stays as it is: later pairs go in before whole operands,
  // before quotes or at the start, or to the right of the token that read it.
  uint32_t name_start(uint32_t open) {
    if (prev_[open] == kNone || ends_name(at(prev_[open]))) return open;
    if (name_starts_.empty()) name_starts_.assign(byte_.capacity(), kNone);
    if (name_starts_[open] == kNone) {
      uint32_t j = open;
      while (prev_[j] != kNone && !ends_name(at(prev_[j]))) j = prev_[j];
      name_starts_[open] = j;
    }
    return name_starts_[open];
  }

  uint32_t add_node(char byte) {
    byte_.push_back(byte);
    prev_.push_back(kNone);
    next_.push_back(kNone);
    link_.push_back(kNone);
    return static_cast<uint32_t>(byte_.size() - 1);
  }

  // Puts `node` between `a` and `b` (neighbours; either may be kNone).
  void link_between(uint32_t node, uint32_t a, uint32_t b) {
    prev_[node] = a;
    next_[node] = b;
    if (a == kNone) {
      head_ = node;
    } else {
      next_[a] = node;
    }
    if (b == kNone) {
      tail_ = node;
    } else {
      prev_[b] = node;
    }
  }

  // Appends the parentheses from `from` to `to` (inclusive) to `found_` and
  // marks them as inside the pair.
  void collect(uint32_t from, uint32_t to) {
    if (inside_.empty()) inside_.assign(byte_.capacity(), 0);
    for (uint32_t j = from;; j = next_[j]) {
      if (byte_[j] == '(' || byte_[j] == ')') {
        inside_[j] = mark_;
        found_.push_back(j);
      }
      if (j == to) break;
    }
  }

  // Puts '(' before `start` and ')' after `last`, and gives every
  // parenthesis its partner in the text that results. Only the enclosed
  // parentheses whose partner lies outside the pair (or who have none) can
  // change partner: say the ')' among them are x1..xa and the '(' are
  // o1..ob, left to right. Then the new '(' takes x1, each x(i) the former
  // partner of x(i-1), the new ')' takes ob, the former partner of each o(k)
  // takes o(k-1), and the former partner of xa (or the new '(' when a is 0)
  // takes the former partner of o1 (or the new ')' when b is 0).
  //
  // A balanced or plain part holds no such parenthesis. A lone part that
  // reaches the start holds no such '(' (nothing is open at its ')'), and of
  // its ')' only the first ')' of the text without partner changes: the
  // others have no partner and keep none. Likewise a lone part that reaches
  // the end: of its '(' only the last one without partner changes, and it
  // holds no such ')'. A scanned part runs between two neighbouring quotes
  // (or, once per pass, from the start to the first quote or from the last
  // quote to the end), and each such stretch is walked at most once on
  // either side of a token, so all the walking is linear.
  void enclose(uint32_t start, part left, uint32_t left_last, uint32_t right_first, uint32_t last,
               part right) {
    std::vector<uint32_t>& xs = xs_;
    std::vector<uint32_t>& os = os_;
    xs.clear();
    os.clear();
    if (left == part::lone) xs.push_back(first_lone_close_);
    if (left == part::scanned || right == part::scanned) {
      ++mark_;
      found_.clear();
      if (left == part::scanned) collect(start, left_last);
      if (right == part::scanned) collect(right_first, last);
      for (const uint32_t j : found_) {
        const uint32_t partner = link_[j];
        if (partner == kNone || inside_[partner] != mark_) (byte_[j] == ')' ? xs : os).push_back(j);
      }
    }
    if (right == part::lone) os.push_back(last_lone_open_);

    const uint32_t open = add_node('(');
    const uint32_t close = add_node(')');
    uint32_t taker = open;  // takes the former partner of o1, or the new ')'
    if (!xs.empty()) {
      uint32_t freed = open;
      for (const uint32_t x : xs) {
        const uint32_t former = link_[x];
        join(freed, x);
        freed = former;
      }
      taker = freed;
    }
    if (os.empty()) {
      join(taker, close);
    } else {
      uint32_t freed = close;
      for (size_t k = os.size(); k-- > 0;) {
        const uint32_t former = link_[os[k]];
        join(freed, os[k]);
        freed = former;
      }
      join(taker, freed);
    }

    link_between(close, last, next_[last]);
    link_between(open, prev_[start], start);
    if (first_lone_close_ != kNone && link_[first_lone_close_] != kNone) {
      first_lone_close_ = next_lone(first_lone_close_, ')', next_);
    }
    if (last_lone_open_ != kNone && link_[last_lone_open_] != kNone) {
      last_lone_open_ = next_lone(last_lone_open_, '(', prev_);
    }
  }

  bool takes_right_;
  std::vector<char> byte_;
  std::vector<uint32_t> prev_;
  std::vector<uint32_t> next_;
  // A parenthesis's partner (kNone for none); a quote's rank in quotes_.
  std::vector<uint32_t> link_;
  std::vector<uint32_t> quotes_;
  std::vector<uint32_t> name_starts_;  // per '(' once looked up, kNone unknown
  std::vector<uint32_t> inside_;       // == mark_ for parentheses in the current pair
  uint32_t mark_ = 0;
  std::vector<uint32_t> found_;
  std::vector<uint32_t> xs_;
  std::vector<uint32_t> os_;
  uint32_t head_;
  uint32_t tail_;
  uint32_t first_lone_close_;  // the first ')' without partner, or kNone
  uint32_t last_lone_open_;    // the last '(' without partner, or kNone
};

std::string fence_operator(std::string s, std::string_view token, bool takes_right) {
  // A token written into the formula counts like any other; two that
  // overlap (~exp~exp~) are one, as fencing the first breaks the second.
  std::vector<uint32_t> tokens;
  for (size_t t = s.find(token); t != std::string::npos; t = s.find(token, t + token_length)) {
    tokens.push_back(static_cast<uint32_t>(t));
  }
  if (tokens.empty()) return s;
  fence_sweep sweep(s, tokens.size(), takes_right);
  for (const uint32_t t : tokens) sweep.fence(t);
  return sweep.text();
}

alg_string to_alg_string(const std::string& s) {
  if (s.size() > std::numeric_limits<uint32_t>::max()) throw z_x_outofstringspace();
  return alg_string(std::string_view(s));
}

}  // namespace

void translate_formula(alg_string& text) {
  static constexpr struct {
    const char* symbol;
    operator_id id;
  } kSymbols[] = {
      // Two-byte symbols before the one-byte symbols they contain.
      {"!", operator_id::fac},  {"^", operator_id::exp},  {"*", operator_id::mul},
      {"/", operator_id::div},  {"\\", operator_id::idv}, {"&", operator_id::cat},
      {"<>", operator_id::neq}, {"<=", operator_id::leq}, {"=<", operator_id::leq},
      {">=", operator_id::geq}, {"=>", operator_id::geq}, {"<", operator_id::lss},
      {">", operator_id::grt},  {"==", operator_id::eql}, {"=", operator_id::eql},
  };
  try {
    std::string s(1, '(');
    s.append(encode_string_literals(text.view())).append(1, ')');
    for (const auto& sym : kSymbols) s = replace_symbol(s, sym.symbol, token_text(sym.id).view());
    s = replace_words(s);
    s = remove_spaces(s);
    s = mark_between_operands(s, '-', token_text(operator_id::sub).view());
    s = mark_between_operands(s, '+', token_text(operator_id::add).view());
    s = fence_operator(std::move(s), token_text(operator_id::fac).view(), false);
    s = fence_operator(std::move(s), token_text(operator_id::exp).view(), true);
    text = to_alg_string(s);
  } catch (const std::bad_alloc&) {
    throw z_x_outofstringspace();
  } catch (const std::length_error&) {
    throw z_x_outofstringspace();
  }
}

void extract_operands(const alg_string& text, uint32_t token_pos, scan_mode mode, alg_string& left,
                      alg_string& right) {
  const std::string_view s = text.view();
  alg_string found_left;
  alg_string found_right;
  if (token_pos != 0) {
    const size_t t = std::min<size_t>(token_pos - 1, s.size());
    const size_t start = left_operand_start(s, t, mode);
    const size_t r = after_token(s, t);
    const size_t end = right_operand_end(s, r, mode);
    found_left = alg_string(s.substr(start, t - start));
    found_right = alg_string(s.substr(r, end - r));
  }
  // Built apart first: `left` or `right` may be `text` itself.
  left = std::move(found_left);
  right = std::move(found_right);
}

alg_string name_before(const alg_string& text, uint32_t open_pos) {
  if (open_pos <= 1) return {};
  const std::string_view s = text.view();
  const size_t open = std::min<size_t>(open_pos - 1, s.size());
  const size_t start = name_start(s, open);
  return alg_string(s.substr(start, open - start));
}

bool ends_word(char c) { return is_word_delimiter(static_cast<unsigned char>(c)); }

bool spelled_like_token(std::string_view lowered) {
  for (const operator_token& t : operator_tokens()) {
    if (lowered == std::string_view(t.token + 1, 3)) return true;
  }
  return false;
}

alg_string replace_word(const alg_string& text, const alg_string& word,
                        const alg_string& replacement) {
  try {
    return to_alg_string(replace_word_bytes(text.view(), word.view(), replacement.view()));
  } catch (const std::bad_alloc&) {
    throw z_x_outofstringspace();
  } catch (const std::length_error&) {
    throw z_x_outofstringspace();
  }
}

std::vector<word_literal> literals_read_as_words(std::string_view formula) {
  std::vector<word_literal> found;
  for_each_literal(formula, [&](size_t open, size_t close) {
    const alg_string encoded = encoded_content(formula, open, close);
    for (const word_rewrite& r : kWordRewrites) {
      if (encoded.length() == r.word.size() && matches_ignoring_case(encoded.view(), 0, r.word)) {
        found.push_back(
            {std::string(formula.substr(open + 1, close - open - 1)), std::string(r.word)});
      }
    }
  });
  return found;
}
