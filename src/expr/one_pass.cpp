#include "expr/one_pass.h"

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/tokens.h"
#include "expr/evaluator.h"
#include "expr/function_call.h"
#include "expr/limits.h"
#include "expr/operand.h"
#include "expr/translator.h"
#include "value/checks.h"

namespace {

const alg_string kIfCall("zek_if(");
const alg_string kChooseCall("zek_choose(");
const alg_string kOpen("(");
const alg_string kClose(")");

// Long groups (sums of hundreds of terms, text joined piece by piece) would
// cost time quadratic in their length if the text were rewritten for every
// operator. Below, the same steps run on the group's operands kept apart:
// each operator reads the operands the rewriting would read, in the same
// order, and leaves the same text. That holds while every operand is one
// the evaluator's operand scans take whole (is_whole_operand); when a step
// would leave one that is not, the group goes back to text and the step by
// step rewriting carries on from exactly there.

// One operand of the sweep: its text, or, for a text value it produced, the
// value itself (reading a text literal back gives exactly the text it was
// written from, so the literal is only written when it is needed).
struct operand_cell {
  alg_string text;
  alg_value value;
  bool has_value = false;
  uint32_t next_token = 0;  // index + 1 of the token to its right; 0 at the end

  const alg_string& written() {
    if (has_value) {
      text = literal_text(value);
      has_value = false;
    }
    return text;
  }
  alg_value read(scope& s, const alg_string& context) {
    if (has_value) return std::move(value);
    return operand_to_value(s, text, context, false);
  }
};

struct sweep_token {
  const operator_token* row;
  uint32_t left;           // the cell to its left
  uint32_t right;          // the cell to its right
  std::string_view bytes;  // as written in the group
};

}  // namespace

bool reduce_operators_in_one_sweep(scope& s, alg_string& content, alg_value& result) {
  s.spend(content.length());
  const std::string_view bytes = content.view();
  // The rewriting reads a group up to its first NUL.
  if (bytes.find('\0') != std::string_view::npos) return false;
  std::vector<sweep_token> tokens;
  std::vector<operand_cell> cells;
  size_t cell_start = 0;
  for (size_t at = bytes.find('~'); at != std::string_view::npos; at = bytes.find('~', at + 1)) {
    if (at + token_length > bytes.size()) return false;
    const operator_token* row = token_starting_at(bytes, at);
    // A '~' that starts no token, or tokens that share a '~', are left to
    // the rewriting.
    if (row == nullptr || at < cell_start) return false;
    const std::string_view cell = bytes.substr(cell_start, at - cell_start);
    if (!is_whole_operand(cell)) return false;
    cells.push_back({alg_string(cell), {}, false, static_cast<uint32_t>(tokens.size() + 1)});
    tokens.push_back({row, static_cast<uint32_t>(cells.size() - 1),
                      static_cast<uint32_t>(cells.size()), bytes.substr(at, token_length)});
    cell_start = at + token_length;
    at += token_length - 1;  // the closing '~' is checked by the next search
  }
  const std::string_view last = bytes.substr(cell_start);
  if (!is_whole_operand(last)) return false;
  cells.push_back({alg_string(last), {}, false, 0});

  for (int level = 1; level <= operator_level_count; ++level) {
    for (uint32_t k = 0; k < tokens.size(); ++k) {
      sweep_token& tok = tokens[k];
      if (tok.row == nullptr || tok.row->level != level) continue;
      const operator_token& t = *tok.row;
      operand_cell& left = cells[tok.left];
      operand_cell& right = cells[tok.right];
      const alg_string shown(t.shown);
      alg_value a, b;
      if (t.takes_left) a = left.read(s, shown);
      if (t.takes_right) b = right.read(s, shown);
      operand_cell merged;
      if (t.id == operator_id::cat) {
        check_kind(a, "s", shown);
        check_kind(b, "s", shown);
        s.spend(b.text().length());
        a.append_text(b.text());
        merged.value = std::move(a);
        merged.has_value = true;
      } else {
        const alg_value value = apply_operator(t, a, b);
        if (value.is_text()) {
          merged.value = value;
          merged.has_value = true;
        } else {
          merged.text = literal_text(value);
        }
      }
      // An operator without a left (or right) operand leaves the cell on
      // that side in place, next to its result.
      if (!t.takes_left) merged.text = left.written() + merged.written();
      if (!t.takes_right) merged.text = merged.written() + right.written();
      merged.next_token = right.next_token;
      left = std::move(merged);
      if (left.next_token != 0) tokens[left.next_token - 1].left = tok.left;
      tok.row = nullptr;
      if (!left.has_value && !is_whole_operand(left.text.view())) {
        // Back to text: the cells and the tokens still to apply, as written.
        alg_string rest;
        for (uint32_t c = 0;;) {
          rest += cells[c].written();
          const uint32_t next = cells[c].next_token;
          if (next == 0) break;
          rest += alg_string(tokens[next - 1].bytes);
          c = tokens[next - 1].right;
        }
        content = rest;
        return false;
      }
    }
  }
  result = cells[0].read(s, alg_string());
  return true;
}

// Groups in one left-to-right pass. Rewriting always takes the first ")"
// and the nearest "(" before it, which is what a reader meets who keeps what
// it has read in `out` and computes each group at its ")": nothing before
// that ")" is left to compute, and a result holds no parenthesis. So every
// byte is read once instead of the whole text being searched and copied
// for every group. A user function's text goes back in front of what is
// left to read, as the rewriting splices it. Where the rewriting would do
// anything else (a conditional comes back with a function's text, a ")"
// without "(", a "(" never closed, a NUL byte), the text as it stands is
// handed back to it: false. True when the text is done.

bool reduce_groups_in_one_pass(scope& s, alg_string& text) {
  if (text.view().find('\0') != std::string_view::npos) return false;
  struct segment {
    alg_string bytes;
    size_t next = 0;
  };
  std::vector<segment> unread;  // the top is read first
  unread.push_back({text, 0});
  std::string out;
  std::vector<size_t> opens;  // positions in `out` of the "(" not yet closed
  auto rest_of_text = [&] {
    std::string all = out;
    for (auto it = unread.rbegin(); it != unread.rend(); ++it) {
      all.append(it->bytes.view().substr(it->next));
    }
    text = alg_string(std::string_view(all));
  };
  auto starts_with_open = [&] {
    if (!out.empty()) return out[0] == '(';
    for (auto it = unread.rbegin(); it != unread.rend(); ++it) {
      if (it->next < it->bytes.length()) return it->bytes.view()[it->next] == '(';
    }
    return false;
  };
  while (true) {
    while (!unread.empty() && unread.back().next >= unread.back().bytes.length()) unread.pop_back();
    if (unread.empty()) {
      rest_of_text();
      // A "(" still open: the rewriting reports it.
      return opens.empty();
    }
    segment& top = unread.back();
    const char c = top.bytes.view()[top.next++];
    out.push_back(c);
    if (c == '(') {
      opens.push_back(out.size() - 1);
      continue;
    }
    if (c != ')') continue;
    if (opens.empty()) {
      rest_of_text();
      return false;
    }
    const size_t open = opens.back();
    opens.pop_back();
    const size_t from = name_start(out, open);
    if (from < open) {
      const alg_string name = alg_string(std::string_view(out).substr(from, open - from)).lower();
      alg_string call(std::string_view(out).substr(from));
      out.resize(from);
      call_function(s, call, static_cast<uint32_t>(open - from + 1), call.length(), name);
      if (call.view().find('(') != std::string_view::npos) {
        // A user function's text, to be read again.
        const bool spliced = splice_expansion(s, call);
        unread.push_back({call, 0});
        if (!spliced) {
          rest_of_text();
          return false;
        }
      } else {
        s.spend(call.length());
        out.append(call.view());
      }
    } else {
      alg_string content(std::string_view(out).substr(open + 1, out.size() - open - 2));
      const alg_value value = reduce_operators(s, content);
      const alg_string literal = literal_text(value);
      s.spend(literal.length());
      out.resize(open);
      out.append(literal.view());
    }
    // The rewriting goes on only while the text starts with a "(".
    if (!starts_with_open()) {
      rest_of_text();
      return true;
    }
  }
}

bool splice_expansion(scope& s, alg_string& call) {
  // Its conditionals are the only ones in the whole text, so when it is
  // balanced they are resolved as the rewriting would resolve them, before
  // any group.
  if (call.view().find('\0') != std::string_view::npos) return false;
  if (text_holds_conditional(call) &&
      (!s.forms().conditionals_in_one_pass || !parentheses_balanced(call.view()) ||
       !resolve_conditionals_in_one_pass(s, call))) {
    return false;
  }
  s.spend(call.length());
  return true;
}

namespace {

// Conditionals in one left-to-right pass. The rewriting takes the first
// "zek_if(" in the whole text (and only when there is none, the first
// "zek_choose("), puts the chosen argument in its place and searches again
// from the start; deeply nested or long formulas then cost time quadratic
// in their length. Nothing before the call it took can hold another one, so
// a reader can keep what it has passed in `out` and go on from the chosen
// argument, checking at each "(" whether `out` now ends with a call's name
// (a name may also meet the "(" put in front of a chosen argument). The
// parentheses of the text are paired once, beforehand: an argument is
// balanced, so its pairs stay as they were. All the conditionals are done
// first, then the choices, as the rewriting does.
class conditional_reader {
 public:
  conditional_reader(scope& s, std::string base) : s_(s), base_(std::move(base)) {
    pair_.assign(base_.size(), std::string::npos);
    std::vector<size_t> open;
    for (size_t i = 0; i < base_.size(); ++i) {
      if (base_[i] == '(') {
        open.push_back(i);
      } else if (base_[i] == ')' && !open.empty()) {
        pair_[open.back()] = i;
        open.pop_back();
      }
    }
  }

  // Reads the whole text, resolving the calls of the phase (and, in the
  // phase of choices, the conditionals that meet a "(" put in front of an
  // argument); returns what is left.
  std::string run(bool choices) {
    pending_.push_back({0, base_.size(), 0});
    while (!pending_.empty()) {
      // The bytes read count towards the call's work, a batch at a time.
      if (++read_ >= conditional_work_batch) {
        s_.spend(read_);
        read_ = 0;
      }
      piece& top = pending_.back();
      if (top.next >= top.to) {
        pending_.pop_back();
        continue;
      }
      const size_t at = top.next++;
      const bool wrapped = top.literal != 0;
      const char c = wrapped ? top.literal : base_[at];
      const bool conditional = c == '(' && ends_with(kIfCall);
      if (!conditional && !(c == '(' && choices && ends_with(kChooseCall))) {
        out_.push_back(c);
        continue;
      }
      // A call. Its arguments lie between `inner` and `close`: for a "("
      // put in front of an argument, that argument (the ")" after it is
      // pushed below it), else up to the ")" paired with this one.
      const size_t inner = wrapped ? top.inner_from : at + 1;
      const size_t close = wrapped ? top.inner_to : pair_[at];
      if (close == std::string::npos) {
        throw z_x_missing_operand(choice_name(conditional));
      }
      out_.resize(out_.size() - (conditional ? 6 : 10));
      std::vector<std::pair<size_t, size_t>> ranges;
      size_t from = inner;
      for (size_t j = inner; j < close; ++j) {
        if (base_[j] == '(' && pair_[j] != std::string::npos && pair_[j] < close) {
          j = pair_[j];
        } else if (base_[j] == ',') {
          ranges.emplace_back(from, j);
          from = j + 1;
        }
      }
      ranges.emplace_back(from, close);
      read_ += ranges.size();
      // Only the first argument is needed as a text (each would fit, as
      // the text they come from does, with room for the parentheses).
      for (const auto& [a, b] : ranges) {
        if (b - a + 2 > max_text_length) throw z_x_outofstringspace();
      }
      const alg_string first = kOpen +
                               alg_string(std::string_view(base_).substr(
                                   ranges[0].first, ranges[0].second - ranges[0].first)) +
                               kClose;
      const uint32_t chosen =
          choose_argument(s_, conditional, first, static_cast<uint32_t>(ranges.size()));
      // Go on past the call: the rest of its range, or below the "(", the
      // argument and the ")" it was made of.
      if (wrapped) {
        pending_.resize(pending_.size() - 3);
      } else {
        pending_.back().next = close + 1;
      }
      push_argument(ranges[chosen - 1].first, ranges[chosen - 1].second);
    }
    s_.spend(read_);
    return std::move(out_);
  }

 private:
  // What is left to read: a range of the text, or one parenthesis put
  // around an argument (`literal`), which for a "(" remembers the argument.
  struct piece {
    size_t next;
    size_t to;
    char literal;
    size_t inner_from = 0;
    size_t inner_to = 0;
  };

  // The argument base_[a, b) in parentheses, to be read next.
  void push_argument(size_t a, size_t b) {
    pending_.push_back({0, 1, ')'});
    pending_.push_back({a, b, 0});
    pending_.push_back({0, 1, '(', a, b});
  }

  bool ends_with(const alg_string& call) const {
    const std::string_view name = call.view().substr(0, call.length() - 1);  // without "("
    if (out_.size() < name.size()) return false;
    const std::string_view tail = std::string_view(out_).substr(out_.size() - name.size());
    for (size_t k = 0; k < name.size(); ++k) {
      const char c = tail[k];
      if (((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c) != name[k]) return false;
    }
    return true;
  }

  scope& s_;
  uint64_t read_ = 0;
  std::string base_;
  std::vector<size_t> pair_;
  std::vector<piece> pending_;
  std::string out_;
};

}  // namespace

bool resolve_conditionals_in_one_pass(scope& s, alg_string& text) {
  // The searches of the rewriting stop at a NUL byte.
  if (text.view().find('\0') != std::string_view::npos) return false;
  std::string rest = conditional_reader(s, std::string(text.view())).run(false);
  if (rest.find('_') != std::string::npos) rest = conditional_reader(s, std::move(rest)).run(true);
  text = alg_string(std::string_view(rest));
  return true;
}
