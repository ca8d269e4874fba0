#include "expr/formula_plan.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/thread_stack.h"
#include "expr/builtins.h"
#include "expr/evaluator.h"
#include "expr/operand.h"
#include "expr/plan_detail.h"
#include "expr/text_builtins.h"
#include "expr/translator.h"
#include "value/literal_codec.h"

// Compiling: a translated text read once into its groups, calls, cells and
// tokens, or no plan where the text takes a turn a plan does not follow.

namespace {

// Plans are kept for texts of this size at most (longer ones are rare and
// cost little to rewrite next to what they compute), and nested no deeper
// than this, so reading one never takes much stack.
constexpr size_t kMaxPlannedText = 4096;
constexpr int kMaxPlanDepth = 48;

}  // namespace

class plan_compiler {
 public:
  plan_compiler(int depth, const std::vector<alg_string>* parameters)
      : depth_(depth), parameters_(parameters) {}

  std::shared_ptr<formula_plan> run(const alg_string& text) {
    const std::string_view s = text.view();
    if (s.empty() || s.size() > kMaxPlannedText || s[0] != '(') return nullptr;
    if (s.find('\0') != std::string_view::npos || depth_ > kMaxPlanDepth) return nullptr;
    // Pair the parentheses; the text must be one group from its first byte
    // to its last.
    pair_.assign(s.size(), kNone);
    std::vector<uint32_t> open;
    for (uint32_t i = 0; i < s.size(); ++i) {
      if (s[i] == '(') {
        open.push_back(i);
      } else if (s[i] == ')') {
        if (open.empty()) return nullptr;
        pair_[open.back()] = i;
        open.pop_back();
      }
    }
    if (!open.empty() || pair_[0] != s.size() - 1) return nullptr;
    plan_ = std::make_shared<formula_plan>();
    plan_->source_ = text;
    s_ = plan_->source_.view();
    if (parameters_ != nullptr) {
      for (const alg_string& p : *parameters_) plan_->parameter_lengths_.push_back(p.length());
      for_each_parameter_word(s_, *parameters_, [&](size_t at, size_t k) {
        plan_->slots_.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(k)});
      });
    }
    if (group(0, static_cast<uint32_t>(s.size() - 1), depth_) == kNone) return nullptr;
    for (node& n : plan_->nodes_) {
      if (n.k == node::kind::conditional || n.k == node::kind::choice) plan_->conditionals_ = true;
      for (const cell& c : n.cells) {
        if (c.k == cell::kind::composite) n.has_composite = true;
      }
    }
    return plan_;
  }

 private:
  using node = formula_plan::node;
  using cell = formula_plan::cell;

  uint32_t add(node::kind k, uint32_t begin, uint32_t end) {
    plan_->nodes_.push_back({});
    node& n = plan_->nodes_.back();
    n.k = k;
    n.begin = begin;
    n.end = end;
    return static_cast<uint32_t>(plan_->nodes_.size() - 1);
  }

  // The group whose "(" is at `open` and ")" at `close`.
  uint32_t group(uint32_t open, uint32_t close, int depth) {
    const uint32_t index = add(node::kind::group, open, close + 1);
    return operators(index, open + 1, close, depth) ? index : kNone;
  }

  // The call whose name starts at `from` and whose "(" and ")" are at
  // `open` and `close`: its arguments lie between the commas outside
  // nested parentheses.
  // The first slot at or after byte `at`.
  std::vector<formula_plan::slot>::const_iterator slot_from(uint32_t at) const {
    return std::lower_bound(plan_->slots_.begin(), plan_->slots_.end(), at,
                            [](const formula_plan::slot& x, uint32_t a) { return x.at < a; });
  }
  bool slot_within(uint32_t a, uint32_t b) const {
    const auto it = slot_from(a);
    return it != plan_->slots_.end() && it->at < b;
  }
  // Moves the slots of the static bytes from `start` up to `end` into
  // `pieces` (each after the bytes before it); `start` ends after the last.
  void split_slots(std::vector<std::pair<alg_string, int64_t>>& pieces, uint32_t& start,
                   uint32_t end) const {
    for (auto it = slot_from(start); it != plan_->slots_.end() && it->at < end; ++it) {
      pieces.emplace_back(alg_string(s_.substr(start, it->at - start)),
                          -2 - int64_t{it->parameter});
      start = it->at + plan_->parameter_lengths_[it->parameter];
    }
  }

  uint32_t call(uint32_t from, uint32_t open, uint32_t close, int depth) {
    // A parameter as a call's name would change the call.
    if (slot_within(from, open)) return kNone;
    const alg_string name = alg_string(s_.substr(from, open - from)).lower();
    const std::string_view lowered = name.view();
    const bool conditional = lowered == "zek_if";
    const bool choice = lowered == "zek_choose";
    // A name that only ends like a conditional is one for the rewriting,
    // with the rest of the name left in front of the chosen argument.
    if (!conditional && !choice &&
        (lowered.ends_with("zek_if") || lowered.ends_with("zek_choose"))) {
      return kNone;
    }
    const uint32_t index = add(conditional ? node::kind::conditional
                               : choice    ? node::kind::choice
                                           : node::kind::call,
                               from, close + 1);
    uint32_t least = 0, most = 0;
    plan_->nodes_[index].builtin =
        builtin_arity(lowered, least, most) || text_builtin_arity(lowered, least, most);
    plan_->nodes_[index].entry = find_builtin(lowered);
    plan_->nodes_[index].name = name;
    if (conditional || choice) {
      // The first argument, up to the first comma outside parentheses.
      uint32_t end = open + 1;
      while (end < close && s_[end] != ',') end = s_[end] == '(' ? pair_[end] + 1 : end + 1;
      node& n = plan_->nodes_[index];
      n.selector = alg_string("(") + alg_string(s_.substr(open + 1, end - open - 1)) + ")";
      n.selector_holds_conditional = choice && text_holds_conditional(n.selector);
      n.selector_plan = formula_plan::compile(n.selector, depth + 1, parameters_);
    }
    uint32_t start = open + 1;
    for (uint32_t j = open + 1; j <= close; ++j) {
      if (s_[j] == '(') {
        j = pair_[j];
      } else if (s_[j] == ',' || j == close) {
        const uint32_t argument = add(node::kind::argument, start, j);
        if (!operators(argument, start, j, depth)) return kNone;
        plan_->nodes_[index].children.push_back(argument);
        start = j + 1;
      }
    }
    return index;
  }

  // The cells and tokens of the bytes [a, b) of a group or argument.
  bool operators(uint32_t index, uint32_t a, uint32_t b, int depth) {
    // Compiling nests a few frames a level; on a stack running low the
    // formula goes without a plan, and the rewriting raises the error.
    if (depth > kMaxPlanDepth || stack_running_low()) return false;
    std::vector<cell> cells;
    std::vector<const operator_token*> tokens;
    std::vector<std::pair<alg_string, int64_t>> pieces;
    uint32_t piece_start = a;
    for (uint32_t i = a; i < b;) {
      const char c = s_[i];
      if (c == '(') {
        const auto from = static_cast<uint32_t>(name_start(s_, i));
        // Right after a group or call, the name before this "(" would take
        // in the end of that one's literal.
        if (from > 0 && s_[from - 1] == ')') return false;
        const uint32_t close = pair_[i];
        const uint32_t child =
            from < i ? call(from, i, close, depth + 1) : group(i, close, depth + 1);
        if (child == kNone) return false;
        plan_->nodes_[index].children.push_back(child);
        split_slots(pieces, piece_start, from);
        pieces.emplace_back(alg_string(s_.substr(piece_start, from - piece_start)), child);
        i = close + 1;
        piece_start = i;
      } else if (c == '~') {
        // Every '~' starts a token, and the last byte of a token starts
        // none: the rewriting would see a token there too.
        if (i + token_length > b) return false;
        const operator_token* row = token_starting_at(s_, i);
        if (row == nullptr) return false;
        const uint32_t last = i + token_length - 1;
        if (last + token_length <= b && token_starting_at(s_, last) != nullptr) return false;
        if (slot_within(i, i + token_length)) return false;
        if (!finish_cell(cells, pieces, piece_start, i)) return false;
        tokens.push_back(row);
        i += token_length;
        piece_start = i;
      } else {
        ++i;
      }
    }
    if (!finish_cell(cells, pieces, piece_start, b)) return false;
    if (!plan_order(cells, tokens, plan_->nodes_[index].order)) return false;
    node& n = plan_->nodes_[index];
    n.cells = std::move(cells);
    n.tokens = std::move(tokens);
    return true;
  }

  bool finish_cell(std::vector<cell>& cells, std::vector<std::pair<alg_string, int64_t>>& pieces,
                   uint32_t piece_start, uint32_t end) {
    split_slots(pieces, piece_start, end);
    const std::string_view tail = s_.substr(piece_start, end - piece_start);
    cell made;
    made.length = static_cast<uint32_t>(tail.size());
    if (pieces.empty()) {
      if (!is_whole_operand(tail)) return false;
      const alg_string text(tail);
      if (text.empty()) {
        made.k = cell::kind::empty;
      } else if (text.length() >= 2 && tail.front() == '"' && tail.back() == '"') {
        made.k = cell::kind::literal;
        made.literal = alg_value::of_text(decode_literal(text.mid(2, text.length() - 2)));
      } else if (!(text.length() == 1 && (tail[0] == 'e' || tail[0] == 'E')) &&
                 read_number(text, made.literal)) {
        made.k = cell::kind::literal;
      } else {
        made.k = cell::kind::name;
        made.text = text;
        made.signs = leading_signs(text);
        made.name = text.from(made.signs + 1);
        made.lowered = made.name.lower();
        made.reserved = reserved_value(made.lowered.view(), made.literal);
      }
    } else if (pieces.size() == 1 && pieces[0].first.empty() && tail.empty()) {
      const int64_t filler = pieces[0].second;
      made.k = filler >= 0 ? cell::kind::node : cell::kind::slot;
      made.node = static_cast<uint32_t>(filler >= 0 ? filler : -2 - filler);
    } else {
      made.k = cell::kind::composite;
      made.pieces = std::move(pieces);
      made.pieces.emplace_back(alg_string(tail), -1);
    }
    pieces.clear();
    cells.push_back(std::move(made));
    return true;
  }

  // The order the tokens are applied in: level by level, leftmost first.
  // An operator without a left (right) operand leaves the cell on that side
  // in place next to its result, which changes the operand the next one
  // reads; a plan takes only groups where that cell is empty.
  static bool plan_order(const std::vector<cell>& cells,
                         const std::vector<const operator_token*>& tokens,
                         std::vector<uint32_t>& order) {
    order.resize(tokens.size());
    for (uint32_t k = 0; k < tokens.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t x, uint32_t y) { return tokens[x]->level < tokens[y]->level; });
    std::vector<bool> filled(cells.size());
    for (size_t c = 0; c < cells.size(); ++c) filled[c] = cells[c].k != cell::kind::empty;
    std::vector<uint32_t> left(tokens.size()), right(tokens.size()), next(cells.size());
    for (uint32_t k = 0; k < tokens.size(); ++k) {
      left[k] = k;
      right[k] = k + 1;
    }
    for (uint32_t c = 0; c < cells.size(); ++c) next[c] = c < tokens.size() ? c : kNone;
    for (const uint32_t k : order) {
      if (!tokens[k]->takes_left && filled[left[k]]) return false;
      if (!tokens[k]->takes_right && filled[right[k]]) return false;
      filled[left[k]] = true;
      next[left[k]] = next[right[k]];
      if (next[left[k]] != kNone) left[next[left[k]]] = left[k];
    }
    return true;
  }

  int depth_;
  const std::vector<alg_string>* parameters_;
  std::shared_ptr<formula_plan> plan_;
  std::string_view s_;
  std::vector<uint32_t> pair_;
};

std::shared_ptr<const formula_plan> formula_plan::compile(
    const alg_string& text, int depth, const std::vector<alg_string>* parameters) {
  std::shared_ptr<formula_plan> plan = plan_compiler(depth, parameters).run(text);
  if (plan != nullptr) fold_constant(*plan);
  return plan;
}
